// Crash safety of saving: the program (its windows in a child process, this
// same executable run with --save-loop) saves a large record again and again,
// and is killed with SIGKILL at a random moment. After each kill the record
// is whole, the last save reported or the one after it; the next start
// removes any temporary file the killed save left, and loads the record.
//
// OSTREL_KILLS sets the number of kills (a handful by default; the
// benchmark-length run, scripts/kill-test.sh, makes 200), OSTREL_KILL_SEED
// the random moments.
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"

#include "mainwindow/MainFrm.h"
#include "ui/Application.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

#include <cstdio>
#include <cstring>

using namespace testing;

namespace {

const QString kGroup = QStringLiteral("big");
const QString kRecord = QStringLiteral("big/big.txt");

// The record's text after its first line: a few megabytes of Japanese and
// ASCII lines.
QByteArray body() {
    const int megabytes = qMax(1, qEnvironmentVariableIntValue("OSTREL_KILL_MB"));
    QByteArray out;
    out.reserve(megabytes << 20);
    for (int i = 0; out.size() < (megabytes << 20); ++i)
        out += QByteArray::number(i) +
               QString::fromUtf8(" 行目：保存の途中で止められても、記録は丸ごと残る。\n").toUtf8();
    return out;
}

QByteArray firstLine(int generation) {
    return QByteArray("gen ") + QByteArray::number(generation).rightJustified(6, '0') + '\n';
}

// The save loop of the child process: edits the first line of the loaded
// record to the next generation and saves, reporting each save done.
int saveLoop(int argc, char** argv) {
    ostrel::Application app(argc, argv);
    Windows w;
    showMain(w.main);
    TMainFrm* frm = w.main;
    if (frm->RecordPath() != QStringLiteral("./big/big.txt") || !waitForRecord(frm))
        return 2;
    const ostrel::editor::Document* doc = frm->MainEdit->document();
    const int start = doc->mid(0, doc->lineEnd(0)).mid(4).toInt();
    std::printf("ready %d\n", start);
    std::fflush(stdout);
    for (int generation = start + 1;; ++generation) {
        frm->MainEdit->setFocus();
        QTest::keyClick(frm->MainEdit, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(frm->MainEdit, Qt::Key_End, Qt::ShiftModifier);
        QTest::keyClicks(frm->MainEdit, QString::fromLatin1(firstLine(generation).trimmed()));
        QTest::mouseClick(frm->SaveDataBtn, Qt::LeftButton);
        if (frm->MainEdit->document()->isModified())
            return 3; // not saved: a message box would wait here
        std::printf("saved %d\n", generation);
        std::fflush(stdout);
    }
}

QStringList temporariesIn(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".~ostrel-save-*")},
                                  QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

class KillSave : public QObject {
    Q_OBJECT

private slots:
    void recordSurvivesKills() {
        const int kills = qMax(1, qEnvironmentVariableIsSet("OSTREL_KILLS")
                                      ? qEnvironmentVariableIntValue("OSTREL_KILLS")
                                      : 6);
        const quint32 seed = qEnvironmentVariableIsSet("OSTREL_KILL_SEED")
                                 ? quint32(qEnvironmentVariableIntValue("OSTREL_KILL_SEED"))
                                 : QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        const QByteArray rest = body();

        DataFolder data;
        data.write(QStringLiteral("Ostrel.ini"), defaultSettingsFile());
        data.write(kRecord, firstLine(0) + rest);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        int lastSaved = 0, saves = 0, leftBehind = 0;
        QElapsedTimer clock;
        clock.start();
        for (int kill = 0; kill < kills; ++kill) {
            QProcess child;
            child.setProcessEnvironment(env);
            child.setWorkingDirectory(data.path());
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--save-loop")});
            QVERIFY(child.waitForStarted());
            QVERIFY2(QTest::qWaitFor([&] { return child.canReadLine(); }, 120000) ||
                         child.waitForReadyRead(1000),
                     "the program did not start");
            const QByteArray ready = child.readLine().trimmed();
            QCOMPARE(ready, "ready " + QByteArray::number(lastSaved));

            // The start removed what the killed save before it left: the
            // only temporary now can be the running save's own.
            const QString own = QStringLiteral(".~ostrel-save-%1-").arg(child.processId());
            for (const QString& t : temporariesIn(data.absolute(kGroup)))
                QVERIFY2(t.startsWith(own), qPrintable(t));

            // Kill it at a random moment among its saves.
            const int delay = int(random.bounded(600));
            QElapsedTimer waited;
            waited.start();
            while (waited.elapsed() < delay)
                child.waitForReadyRead(int(qMax<qint64>(1, delay - waited.elapsed())));
            child.kill();
            QVERIFY(child.waitForFinished(30000));
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            while (child.canReadLine()) {
                const QByteArray line = child.readLine().trimmed();
                QVERIFY2(line.startsWith("saved "), line.constData());
                lastSaved = line.mid(6).toInt();
                ++saves;
            }

            // Whole: the last save reported, or the next one, which may have
            // been renamed into place before its report.
            const QByteArray file = data.read(kRecord);
            const int generation = file.mid(4, 6).toInt();
            QVERIFY2(generation == lastSaved || generation == lastSaved + 1,
                     qPrintable(QStringLiteral("generation %1 after save %2 was reported")
                                    .arg(generation)
                                    .arg(lastSaved)));
            QVERIFY2(file.size() == firstLine(generation).size() + rest.size() &&
                         file.startsWith(firstLine(generation)) && file.endsWith(rest),
                     qPrintable(QStringLiteral("kill %1 left the record torn").arg(kill + 1)));
            lastSaved = generation;
            leftBehind += int(temporariesIn(data.absolute(kGroup)).size());
        }

        // The next start sees no temporary file and the last save whole.
        {
            Started next;
            QCOMPARE(temporariesIn(data.absolute(kGroup)), QStringList());
            QCOMPARE(next->RecordPath(), QStringLiteral("./big/big.txt"));
            QVERIFY(waitForRecord(next.main));
            const ostrel::editor::Document* doc = next->MainEdit->document();
            QCOMPARE(doc->mid(0, doc->lineEnd(0)).toLatin1() + '\n', firstLine(lastSaved));
        }
        std::printf("kill test: %d kills survived, %d saves completed, %d temporaries left by "
                    "kills and removed at the next start, 0 records lost (%.1f s, seed %u)\n",
                    kills, saves, leftBehind, double(clock.elapsed()) / 1000, seed);
    }
};

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--save-loop") == 0)
        return saveLoop(argc, argv);
    ostrel::Application app(argc, argv);
    KillSave tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_killsave.moc"
