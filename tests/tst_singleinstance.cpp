// One Ostrel per data folder, started as the user starts it: the real
// program, twice on one folder. The second start goes at once, having asked
// the first to raise its window; starts on two folders both run; a folder
// whose Ostrel was killed is taken over by the next start; of two starts at
// the same moment exactly one stays.
#include "os/FolderLock.h"
#include "ui/SingleInstance.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <memory>

using namespace testing;

namespace {

// Generous bounds for a slow (sanitizer) build; the waits end as soon as the
// awaited thing happens.
constexpr int kStartMs = 30000;
constexpr int kExitMs = 30000;

// A data folder with a group and a record, that the program starts on
// without a question.
std::unique_ptr<DataFolder> dataFolder() {
    auto data = std::make_unique<DataFolder>();
    data->write("g/a.txt", "alpha\n");
    QByteArray settings = defaultSettingsFile();
    settings.replace("LAST DIRECTORY=\n", "LAST DIRECTORY=g\n");
    data->write("Ostrel.ini", settings);
    return data;
}

// The program started in a data folder (with the user's folders of the
// test); ended when the object goes.
class Program {
public:
    // With the user's runtime folder of `user` (where the locks are).
    Program(const DataFolder& user, const QString& folder) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), user.runtimeFolder());
        m_process.setProcessEnvironment(environment);
        m_process.setProgram(QStringLiteral(OSTREL_PROGRAM));
        m_process.setWorkingDirectory(folder);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start();
    }
    ~Program() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kExitMs);
        }
    }
    bool started() { return m_process.waitForStarted(kStartMs); }
    bool running() const { return m_process.state() == QProcess::Running; }
    // Whether it ended by itself, without a crash, within the bound.
    bool endsWith(int code) {
        const bool ended =
            m_process.state() == QProcess::NotRunning || m_process.waitForFinished(kExitMs);
        return ended && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == code;
    }
    void killHard() {
        ::kill(pid_t(m_process.processId()), SIGKILL);
        m_process.waitForFinished(kExitMs);
    }

private:
    QProcess m_process;
};

// Where the Ostrel of a data folder keeps its lock and socket, in the user's
// runtime folder of `user`.
QString runtimeName(const DataFolder& user, const DataFolder& data) {
    return user.runtimeFolder() + QStringLiteral("/ostrel-") +
           ostrel::fs::folderIdentity(data.path());
}

// Whether an Ostrel holds the folder and answers there.
bool answering(const DataFolder& user, const DataFolder& data) {
    QLocalSocket socket;
    socket.connectToServer(runtimeName(user, data) + QStringLiteral(".socket"));
    return socket.waitForConnected(200);
}

bool held(const DataFolder& user, const DataFolder& data) {
    return !ostrel::fs::FolderLock::take(runtimeName(user, data) + QStringLiteral(".lock"));
}

bool waitUntilAnswering(const DataFolder& user, const DataFolder& data) {
    return QTest::qWaitFor([&] { return answering(user, data); }, kStartMs);
}

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void secondStartGoesAndTheFirstStays() {
        const auto one = dataFolder();
        const auto two = dataFolder();
        const DataFolder& user = *one; // one user's runtime folder for both
        Program first(user, one->path());
        QVERIFY(waitUntilAnswering(user, *one));

        Program second(user, one->path());
        QVERIFY(second.endsWith(0));
        QVERIFY(first.running());
        QVERIFY(held(user, *one));
        // The same folder reached by another path is the same folder.
        const QString link = user.dataHome() + QStringLiteral("/link");
        QVERIFY(QFile::link(one->path(), link));
        Program throughLink(user, link);
        QVERIFY(throughLink.endsWith(0));
        QVERIFY(first.running());

        // Another data folder has an Ostrel of its own.
        Program other(user, two->path());
        QVERIFY(waitUntilAnswering(user, *two));
        QVERIFY(other.running());
        QVERIFY(first.running());

        // The first is killed: its lock file and its socket stay behind, and
        // the next start takes the folder over.
        first.killHard();
        QVERIFY(!held(user, *one));
        Program next(user, one->path());
        QVERIFY(waitUntilAnswering(user, *one));
        Program again(user, one->path());
        QVERIFY(again.endsWith(0));
        QVERIFY(next.running());
        QVERIFY(other.running());
    }

    void secondStartRaisesTheFirstWindow() {
        // The first here is this process holding the folder as the program
        // does, so that the request to raise its window can be seen.
        const auto data = dataFolder();
        const QByteArray settings = data->read("Ostrel.ini");
        ostrel::SingleInstance first;
        QSignalSpy raise(&first, &ostrel::SingleInstance::raiseRequested);
        QVERIFY(first.claim());

        Program second(*data, data->path());
        QVERIFY(second.endsWith(0));
        QVERIFY(raise.count() == 1 || raise.wait(kStartMs));
        QCOMPARE(raise.count(), 1);
        // The second touched nothing of the folder.
        QCOMPARE(data->read("Ostrel.ini"), settings);
    }

    void startDuringTheFirstsExitTakesTheFolderOver() {
        // The first has left its event loop and is still writing what it
        // owes on the way out: a start now must not ask it to raise a window
        // that is going, but wait and take the folder once it has gone.
        const auto data = dataFolder();
        auto first = std::make_unique<ostrel::SingleInstance>();
        QVERIFY(first->claim());
        first->stopAnswering();

        Program next(*data, data->path());
        QVERIFY(next.started());
        QTest::qWait(300);
        QVERIFY(next.running());
        first.reset();
        QVERIFY(waitUntilAnswering(*data, *data));
        QVERIFY(next.running());
    }

    void ofTwoStartsAtOnceOneStays() {
        const auto data = dataFolder();
        Program a(*data, data->path());
        Program b(*data, data->path());
        QVERIFY(a.started());
        QVERIFY(b.started());
        QVERIFY(QTest::qWaitFor([&] { return !a.running() || !b.running(); }, kExitMs));
        Program& gone = a.running() ? b : a;
        Program& stays = a.running() ? a : b;
        QVERIFY(gone.endsWith(0));
        QVERIFY(waitUntilAnswering(*data, *data));
        QVERIFY(stays.running());
    }
};

#include "TestMain.h"
OSTREL_TEST_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
