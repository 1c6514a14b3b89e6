// A print system that cannot be asked: a scheduler that takes the connection
// and never answers (a listener of this test's own, reached through
// CUPS_SERVER), and none at all. The print and printer-setup commands keep
// the window answering, show that they wait, and give up with a clear
// message; every call to the print system gives up in time.
#include "TestMain.h"
#include "TestSupport.h"

#include "mainwindow/MainFrm.h"
#include "os/PrintQueue.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <functional>
#include <optional>

using namespace testing;
using ostrel::printqueue::Unanswered;

namespace {

// A scheduler that accepts every connection and never says a word.
class SilentScheduler {
public:
    SilentScheduler() {
        m_server.listen(m_dir.filePath(QStringLiteral("cups.sock")));
        QObject::connect(&m_server, &QLocalServer::newConnection, [this] {
            while (QLocalSocket* s = m_server.nextPendingConnection())
                m_taken.append(s);
        });
    }
    QString path() const { return m_server.fullServerName(); }
    int connections() const { return int(m_taken.size()); }

private:
    QTemporaryDir m_dir;
    QLocalServer m_server;
    QList<QLocalSocket*> m_taken;
};

// The print system the calls of this process reach, while the object lives.
class PrintSystemAt {
public:
    explicit PrintSystemAt(const QString& where) : m_before(qgetenv("CUPS_SERVER")) {
        qputenv("CUPS_SERVER", where.toUtf8());
    }
    ~PrintSystemAt() {
        m_before.isNull() ? qunsetenv("CUPS_SERVER") : qputenv("CUPS_SERVER", m_before);
    }

private:
    QByteArray m_before;
};

// The print system's patience, shortened while the object lives.
class Patience {
public:
    explicit Patience(int ms) : m_before(ostrel::printqueue::patience()) {
        ostrel::printqueue::setPatience(ms);
    }
    ~Patience() { ostrel::printqueue::setPatience(m_before); }

private:
    int m_before;
};

// A data folder with a record, that Ostrel starts on without a question.
void fillFolder(const DataFolder& data) {
    data.write("Ostrel.ini", defaultSettingsFile());
    data.write("メモ/a.txt", "本文\n");
}

// Runs a command of the started window; answers whether the waiting box
// was seen while it ran, `whenWaiting` run on it the first time.
bool runWatchingTheWait(QAction* command, const std::function<void(QDialog*)>& whenWaiting = {}) {
    bool seen = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* wait = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!seen && wait && wait->objectName() == "PrintWaitDialog" && wait->isVisible()) {
            seen = true;
            if (whenWaiting)
                whenWaiting(wait);
        }
    });
    poll.start();
    command->trigger();
    return seen;
}

} // namespace

class PrintSystemTest : public QObject {
    Q_OBJECT

private slots:
    void commands_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("print") << "PrintOutMnu";
        QTest::newRow("printer setup") << "PrinterSetupMnu";
    }

    // The window goes on while it waits, shows the wait, and gives up when
    // the print system stays silent.
    void silentPrintSystemIsGivenUp_data() { commands_data(); }
    void silentPrintSystemIsGivenUp() {
        QFETCH(QString, command);
        DataFolder data;
        fillFolder(data);
        Started started;
        SilentScheduler scheduler;
        const PrintSystemAt at(scheduler.path());
        const Patience patience(1500);
        BoxAnswerer boxes;
        boxes.answer("OK");
        QVERIFY(runWatchingTheWait(started->findChild<QAction*>(command)));
        QVERIFY(scheduler.connections() > 0);
        QCOMPARE(boxes.texts(), QStringList{"印刷システムが応答しません."});
        QCOMPARE(boxes.seen().first().title, QStringLiteral("OSTREL"));
        QCOMPARE(boxes.seen().first().icon, int(QMessageBox::Critical));
        QVERIFY2(boxes.seen().first().details.contains(scheduler.path()),
                 qPrintable(boxes.seen().first().details));
    }

    // Giving up waiting ends the command without a word.
    void waitingCanBeGivenUp() {
        DataFolder data;
        fillFolder(data);
        Started started;
        SilentScheduler scheduler;
        const PrintSystemAt at(scheduler.path());
        const Patience patience(600000);
        BoxAnswerer boxes;
        const auto giveUp = [](QDialog* wait) {
            for (QAbstractButton* b : wait->findChildren<QAbstractButton*>())
                if (b->text() == QStringLiteral("キャンセル"))
                    QTest::mouseClick(b, Qt::LeftButton);
        };
        QVERIFY(runWatchingTheWait(started->PrintOutMnu, giveUp));
        // The command can be given again.
        QVERIFY(runWatchingTheWait(started->PrinterSetupMnu, giveUp));
        QVERIFY(boxes.seen().isEmpty());
    }

    // No scheduler at all: for the user there is no printer; where the print
    // system was looked for is in the details, and no stale system error.
    void noPrintSystem_data() { commands_data(); }
    void noPrintSystem() {
        QFETCH(QString, command);
        DataFolder data;
        fillFolder(data);
        Started started;
        const QString nowhere = data.absolute(QStringLiteral("no-cups.sock"));
        const PrintSystemAt at(nowhere);
        BoxAnswerer boxes;
        boxes.answer("OK");
        started->findChild<QAction*>(command)->trigger();
        QCOMPARE(boxes.texts(), QStringList{"デフォルト プリンタが存在しません."});
        QCOMPARE(boxes.seen().first().icon, int(QMessageBox::Critical));
        QCOMPARE(boxes.seen().first().details,
                 QStringLiteral("印刷システム (%1) に接続できません").arg(nowhere));
    }

    // Every call to the print system, the job's included, gives up: at once
    // when nothing listens, after the patience when nothing answers.
    void everyCallGivesUp_data() {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<QString>("call");
        for (const char* call : {"printers", "printer", "job", "job status", "cancel"}) {
            QTest::addRow("silent, %s", call) << true << call;
            QTest::addRow("absent, %s", call) << false << call;
        }
    }
    void everyCallGivesUp() {
        QFETCH(bool, listening);
        QFETCH(QString, call);
        using namespace ostrel::printqueue;
        SilentScheduler scheduler;
        QTemporaryDir empty;
        const QString where =
            listening ? scheduler.path() : empty.filePath(QStringLiteral("cups.sock"));
        const PrintSystemAt at(where);
        const Patience patience(500);
        const Cancel cancel{false};
        // The calls run on a thread of their own, as the window runs them
        // (the print system's settings are read per thread); the listener
        // takes connections from this one's events.
        std::optional<Unanswered> given;
        bool answered = false;
        std::unique_ptr<QThread> asking(QThread::create([&] {
            try {
                if (call == "printers")
                    (void)printers(cancel);
                else if (call == "printer")
                    (void)printerExists(QStringLiteral("OstrelPDF"), cancel);
                else if (call == "job")
                    Job job(QStringLiteral("OstrelPDF"), {}, cancel);
                else if (call == "job status")
                    (void)jobStatus(QStringLiteral("OstrelPDF"), 1, cancel);
                else
                    (void)cancelJob(QStringLiteral("OstrelPDF"), 1, cancel);
                answered = true;
            } catch (const Unanswered& e) {
                given = e;
            }
        }));
        asking->start();
        QVERIFY(QTest::qWaitFor([&] { return asking->isFinished(); }, 60000));
        if (call == "cancel" && answered)
            QFAIL("a job was taken back from a print system that is not there");
        QVERIFY(given);
        QCOMPARE(given->why(), listening ? Unanswered::Why::Silent : Unanswered::Why::Unreachable);
        QCOMPARE(given->server(), where);
    }
};

OSTREL_TEST_MAIN(PrintSystemTest)
#include "tst_printsystem.moc"
