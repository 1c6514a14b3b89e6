// What a window manager reads from the X server for each window's title bar:
// the caption exactly as the program gives it, with nothing added by the
// desktop, and the window class that ties the windows to the menu entry.
// Run under Xvfb.
#include "TestMain.h"
#include "TestSupport.h"

#include "dialogs/CngExpUnit.h"
#include "dialogs/CreateDirUnit.h"
#include "dialogs/CreRecUnit.h"
#include "dialogs/SavePathUnit.h"
#include "mainwindow/FindDialog.h"
#include "mainwindow/MainFrm.h"
#include "ui/MessageBox.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <functional>
#include <memory>

using namespace testing;

namespace {

// The X properties of a top-level window, as xprop prints them.
struct ServerTitle {
    QString netWmName; // _NET_WM_NAME, what today's window managers show
    QString wmName;    // WM_NAME, for older ones
    QString wmClass;   // the class part of WM_CLASS
};

ServerTitle serverTitle(QWidget* window) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window->winId()),
                                          QStringLiteral("_NET_WM_NAME"), QStringLiteral("WM_NAME"),
                                          QStringLiteral("WM_CLASS")});
    if (!xprop.waitForFinished(10000) || xprop.exitCode() != 0)
        qWarning("xprop failed: %s", xprop.readAllStandardError().constData());
    ServerTitle title;
    static const QRegularExpression line(QStringLiteral("^(\\w+)\\([^)]*\\) = (.*)$"));
    static const QRegularExpression quoted(QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*)\""));
    const QStringList lines = QString::fromUtf8(xprop.readAllStandardOutput()).split(u'\n');
    for (const QString& l : lines) {
        const QRegularExpressionMatch m = line.match(l);
        if (!m.hasMatch())
            continue;
        QStringList values;
        for (auto it = quoted.globalMatch(m.captured(2)); it.hasNext();)
            values.append(it.next().captured(1));
        if (values.isEmpty())
            continue;
        if (m.captured(1) == u"_NET_WM_NAME")
            title.netWmName = values.first();
        else if (m.captured(1) == u"WM_NAME")
            title.wmName = values.first();
        else if (m.captured(1) == u"WM_CLASS")
            title.wmClass = values.last();
    }
    return title;
}

// Runs `look` on the next modal window that comes up, then closes it.
void onNextModal(std::function<void(QWidget*)> look) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, look] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !QTest::qWaitForWindowExposed(modal, 0))
            return;
        timer->stop();
        timer->deleteLater();
        look(modal);
        modal->close();
    });
    timer->start();
}

QString startupWmClass() {
    QFile entry(QFINDTESTDATA("../packaging/org.ostrel.Ostrel.desktop"));
    if (!entry.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray& l : entry.readAll().split('\n'))
        if (l.startsWith("StartupWMClass="))
            return QString::fromUtf8(l.mid(int(qstrlen("StartupWMClass="))));
    return QString();
}

} // namespace

class WindowTitlesX11 : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(QGuiApplication::platformName() == u"xcb",
                 qPrintable(QGuiApplication::platformName()));
    }

    void windowsShowTheirCaptionAlone_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("caption");
        QTest::newRow("main window") << "MainFrm"
                                     << "OSTREL ver 1.6.4";
        QTest::newRow("create group") << "CreateDirFrm"
                                      << "グループの作成";
        QTest::newRow("create record") << "CreRecFrm"
                                       << "レコードの作成";
        QTest::newRow("displayed files") << "CngExpFrm"
                                         << "表示するファイルの変更";
        QTest::newRow("destination") << "SavePathFrm"
                                     << "移動/保存先";
        QTest::newRow("find") << "FindDialog"
                              << "検索";
    }

    void windowsShowTheirCaptionAlone() {
        QFETCH(QString, window);
        QFETCH(QString, caption);
        DataFolder data;
        data.write(QStringLiteral("Ostrel.ini"), defaultSettingsFile());
        data.write(QStringLiteral("memo/a.txt"), "alpha\n");
        Windows windows;
        showMain(windows.main);
        QWidget* w = window == u"MainFrm" ? static_cast<QWidget*>(windows.main)
                                          : windows.main->findChild<QWidget*>(window);
        QVERIFY(w);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));

        const ServerTitle title = serverTitle(w);
        QCOMPARE(title.netWmName, caption);
        QCOMPARE(title.wmName, caption);
        // The desktop entry names this class, so that the running windows
        // belong to its menu entry and icon.
        QCOMPARE(title.wmClass, startupWmClass());
    }

    void boxesShowTheirCaptionAlone() {
        QStringList seen;
        const auto look = [&seen](QWidget* box) {
            const ServerTitle title = serverTitle(box);
            seen.append(title.netWmName + u'|' + title.wmName);
        };
        onNextModal(look);
        ostrel::showMessage(QStringLiteral("お知らせ"));
        onNextModal(look);
        ostrel::askQuestion(ostrel::QuestionKind::Warning, QStringLiteral("よろしいですか"),
                            ostrel::YesButton | ostrel::NoButton);
        QCOMPARE(seen, (QStringList{QStringLiteral("OSTREL|OSTREL"), QStringLiteral("警告|警告")}));
    }
};

OSTREL_TEST_MAIN(WindowTitlesX11)
#include "tst_windowtitles_x11.moc"
