#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace testing {

DataFolder::DataFolder() {
    m_previous = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    const std::pair<const char*, QString> folders[] = {{"XDG_DATA_HOME", dataHome()},
                                                       {"XDG_STATE_HOME", stateHome()},
                                                       {"XDG_RUNTIME_DIR", runtimeFolder()}};
    for (const auto& [name, folder] : folders) {
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_previousVariables.append({name, qgetenv(name)});
        qputenv(name, QFile::encodeName(folder));
    }
}

DataFolder::~DataFolder() {
    for (const auto& [name, value] : m_previousVariables) {
        if (value.isNull())
            qunsetenv(name.constData());
        else
            qputenv(name.constData(), value);
    }
    QDir::setCurrent(m_previous);
    // Give back write permission so that the folder can be removed.
    for (const QTemporaryDir* dir : {&m_dir, &m_user})
        QProcess::execute(QStringLiteral("chmod"),
                          {QStringLiteral("-R"), QStringLiteral("u+w"), dir->path()});
}

void DataFolder::addGroup(const QString& group) const {
    QDir(m_dir.path()).mkpath(group);
}

void DataFolder::write(const QString& relative, const QByteArray& bytes) const {
    const QString full = absolute(relative);
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(full));
    f.write(bytes);
}

QByteArray DataFolder::read(const QString& relative) const {
    QFile f(absolute(relative));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool DataFolder::exists(const QString& relative) const {
    return QFileInfo::exists(absolute(relative));
}

QString DataFolder::absolute(const QString& relative) const {
    return m_dir.path() + u'/' + relative;
}

BoxAnswerer::BoxAnswerer() : m_timer(new QTimer) {
    m_timer->setInterval(10);
    QObject::connect(m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer->start();
}

BoxAnswerer::~BoxAnswerer() {
    delete m_timer;
}

void BoxAnswerer::answer(const QStringList& captions) {
    m_queue.append(captions);
}

QStringList BoxAnswerer::texts() const {
    QStringList out;
    for (const SeenBox& b : m_seen)
        out.append(b.text);
    return out;
}

void BoxAnswerer::poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->property("ostrelAnswered").toBool())
        return;
    if (m_queue.isEmpty())
        return;
    box->setProperty("ostrelAnswered", true);
    SeenBox seen;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.details = box->detailedText();
    seen.icon = int(box->icon());
    for (QAbstractButton* b : box->buttons())
        seen.buttons.append(b->text());
    if (const QPushButton* d = box->defaultButton())
        seen.defaultButton = d->text();
    m_seen.append(seen);
    const QString caption = m_queue.takeFirst();
    if (caption.isEmpty()) {
        box->close();
        return;
    }
    if (caption == kPressEscape) {
        QTest::keyClick(box, Qt::Key_Escape);
        return;
    }
    for (QAbstractButton* b : box->buttons()) {
        if (b->text() == caption) {
            QTest::mouseClick(b, Qt::LeftButton);
            return;
        }
    }
    qWarning("no button %s in box '%s'", qPrintable(caption), qPrintable(seen.text));
    box->close();
}

void commitText(QWidget* widget, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(widget, &event);
}

QByteArray defaultSettingsFile() {
    return "[OSTREL2 for Windows98 ApplicationSettingData]\n"
           "WINDOW TOP=200\n"
           "WINDOW LEFT=200\n"
           "WINDOW HEIGHT=350\n"
           "WINDOW WIDTH=450\n"
           "FONT SIZE=9\n"
           "BUCK COLOR=-2147483643\n"
           "FONT COLOR=-2147483640\n"
           "LAST DIRECTORY=\n"
           "LAST DOCUMENT=\n"
           "SUPPORT EXPC=*.txt/*.ini/*.log/*.bat/*.c/*.cpp/*.cgi/*.htm/*.reg\n"
           "EDIT WORDWRAP=1\n"
           "TOOLBAR VISIBLE=1\n"
           "STATUSBAR VISIBLE=1\n"
           "RC FORM CLOSE=1\n";
}

QStringList items(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

QStringList items(const QComboBox* cmb) {
    QStringList out;
    for (int i = 0; i < cmb->count(); ++i)
        out.append(cmb->itemText(i));
    return out;
}

} // namespace testing
