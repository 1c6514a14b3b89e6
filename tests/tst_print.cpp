// Printing through the print system: the print and printer-setup commands
// driven through their dialogs, the PDFs that arrive from the PDF queue that
// scripts/print-queue.sh sets up, and the errors of the print system.
#include "TestMain.h"
#include "TestSupport.h"

#include "mainwindow/MainFrm.h"
#include "platform/TextCodec.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

using namespace testing;

namespace {

const QString kQueue = QStringLiteral("OstrelPDF");

QString output(const QString& program, const QStringList& args, int* status = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000))
        p.kill();
    if (status)
        *status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

bool run(const QString& program, const QStringList& args) {
    int status = 0;
    output(program, args, &status);
    return status == 0;
}

// Administration commands live in /usr/sbin.
QString admin(const QString& tool) {
    const QString sbin = QStringLiteral("/usr/sbin/") + tool;
    return QFileInfo::exists(sbin) ? sbin : tool;
}

// Why the print system cannot be used here, or nothing.
QString unavailable() {
    if (!output("lpstat", {"-r"}).contains("is running"))
        return QStringLiteral(
            "the CUPS scheduler is not running (scripts/print-queue.sh starts it)");
    if (!output("lpstat", {"-d"}).contains(kQueue))
        return QStringLiteral("%1 is not the default printer (scripts/print-queue.sh adds it)")
            .arg(kQueue);
    if (!run(admin("cupsenable"), {kQueue}))
        return QStringLiteral("the queue cannot be administered by this user");
    return {};
}

QString pdfFolder() {
    return QStringLiteral("/tmp/ostrel-pdf/") + qEnvironmentVariable("USER", "root");
}

QStringList pdfs() {
    QStringList out;
    for (const QString& name : QDir(pdfFolder()).entryList({"*.pdf"}, QDir::Files, QDir::Name))
        out.append(pdfFolder() + u'/' + name);
    return out;
}

void clearPdfs() {
    for (const QString& f : pdfs())
        QFile::remove(f);
}

// Job numbers of a queue's jobs, finished or not.
QList<int> jobsOf(const QString& queue, bool completed) {
    QList<int> ids;
    const QString list =
        output("lpstat", {"-W", completed ? "completed" : "not-completed", "-o", queue});
    static const QRegularExpression id(QStringLiteral("^\\S+-(\\d+)\\s"),
                                       QRegularExpression::MultilineOption);
    for (auto it = id.globalMatch(list); it.hasNext();)
        ids.append(it.next().captured(1).toInt());
    return ids;
}

int lastJob(const QString& queue) {
    const QList<int> done = jobsOf(queue, true) + jobsOf(queue, false);
    return done.isEmpty() ? 0 : *std::max_element(done.begin(), done.end());
}

// Waits (at most 60 s) until the queue is idle and one PDF has arrived.
QString waitForPdf() {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 60000) {
        if (jobsOf(kQueue, false).isEmpty() && pdfs().size() == 1) {
            QTest::qWait(200); // the file was written by a process that is gone
            return pdfs().first();
        }
        QTest::qWait(100);
    }
    return {};
}

int pageCount(const QString& pdf) {
    static const QRegularExpression pages(QStringLiteral("Pages:\\s+(\\d+)"));
    return pages.match(output("pdfinfo", {pdf})).captured(1).toInt();
}

// A page's text lines, as pdftotext reads them (empty lines dropped).
QStringList pageLines(const QString& pdf, int page) {
    const QString n = QString::number(page);
    QStringList lines = output("pdftotext", {"-f", n, "-l", n, pdf, "-"}).split(u'\n');
    lines.removeIf([](const QString& l) { return l.trimmed().isEmpty() || l == "\f"; });
    for (QString& l : lines)
        l.remove(u'\f');
    lines.removeIf([](const QString& l) { return l.trimmed().isEmpty(); });
    return lines;
}

// Answers the next dialog of a kind that comes up (a print or printer-setup
// dialog), acting on it as `act` says, then pressing its OK button or, when
// `act` answers false, its cancel button.
class DialogAnswerer {
public:
    using Act = std::function<bool(QDialog*)>;
    DialogAnswerer() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    void answer(const QString& objectName, Act act) { m_queue.append({objectName, act}); }
    int pending() const { return int(m_queue.size()); }
    QStringList seen;

private:
    void poll() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || qobject_cast<QMessageBox*>(dialog) || !dialog->isVisible() ||
            dialog->property("ostrelAnswered").toBool() || m_queue.isEmpty())
            return;
        if (dialog->objectName() != m_queue.first().first)
            return;
        dialog->setProperty("ostrelAnswered", true);
        seen.append(dialog->objectName());
        const Act act = m_queue.takeFirst().second;
        const bool ok = !act || act(dialog);
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        for (QAbstractButton* b : buttons->buttons()) {
            const auto role = buttons->buttonRole(b);
            if ((ok && role == QDialogButtonBox::AcceptRole) ||
                (!ok && role == QDialogButtonBox::RejectRole)) {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        }
        qWarning("no %s button in %s", ok ? "OK" : "cancel", qPrintable(dialog->objectName()));
        dialog->reject();
    }
    QList<std::pair<QString, Act>> m_queue;
    QTimer m_timer;
};

// Waits until every answer was used (at most 30 s).
bool settled(const DialogAnswerer& dialogs, const BoxAnswerer& boxes) {
    return QTest::qWaitFor([&] { return dialogs.pending() == 0 && boxes.pending() == 0; }, 30000);
}

QByteArray shiftJis(const QString& text) {
    ostrel::TextFormat format;
    format.encoding = ostrel::TextEncoding::ShiftJis;
    format.lineBreak = ostrel::LineBreak::CRLF;
    return *ostrel::encodeText(text, format);
}

} // namespace

class TestPrint : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        const QString why = unavailable();
        if (!why.isEmpty())
            QSKIP(qPrintable("printing through CUPS is not possible here: " + why));
    }

    void init() {
        clearPdfs();
        run(admin("cupsenable"), {kQueue});
        run(admin("cupsaccept"), {kQueue});
    }

    void printsTheRecord() {
        DataFolder data;
        data.write("Ostrel.ini", defaultSettingsFile());
        data.write("メモ/予定.txt", shiftJis(QStringLiteral("一行目\t二列目\n")));
        Windows w;
        showMain(w.main);
        DialogAnswerer dialogs;
        BoxAnswerer boxes;
        dialogs.answer("PrintDialog", {});
        w.main->PrintOutMnu->trigger();
        QVERIFY(settled(dialogs, boxes));
        QCOMPARE(boxes.seen().size(), 0);
        const QString pdf = waitForPdf();
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(pageCount(pdf), 1);
        qDebug() << pageLines(pdf, 1);
    }
};

OSTREL_TEST_MAIN(TestPrint)
#include "tst_print.moc"
