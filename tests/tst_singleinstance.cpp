// One Ostrel per data folder, started as the user starts it: the real
// program, twice on one folder. The second start goes at once, having asked
// the first to raise its window; starts on two folders both run; a folder
// whose Ostrel was killed is taken over by the next start; of two starts at
// the same moment exactly one stays. And what the guard meets from others:
// a runtime folder that is not the user's alone, something planted at the
// lock's name, a first Ostrel that is stopped, a socket path too long to
// listen at (the guard itself, in this process, where its message shows).
#include "os/FolderLock.h"
#include "ui/SingleInstance.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QMessageBox>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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
    // With the user's runtime folder of `user` (where the locks are), or
    // another one.
    Program(const DataFolder& user, const QString& folder, const QString& runtime = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                           runtime.isEmpty() ? user.runtimeFolder() : runtime);
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
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }

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

const QString kInUse =
    QStringLiteral("このデータフォルダは、既に起動している OSTREL が使っています。");

// The guard of this process on the working directory's folder, claimed
// with the boxes it shows answered: whether it lets Ostrel start, and the
// boxes' texts.
std::pair<bool, QStringList> claimHere() {
    BoxAnswerer boxes;
    boxes.answer({"OK", "OK"});
    ostrel::SingleInstance guard;
    const bool starts = guard.claim();
    return {starts, boxes.texts()};
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
        QVERIFY(second.started());
        // The first answers the second from this process's events.
        QVERIFY(QTest::qWaitFor([&] { return !second.running(); }, kExitMs));
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

    // Without a runtime folder (XDG_RUNTIME_DIR), the guard's folder in the
    // temporary folder must be the user's alone: one that another user made
    // first (or that others may enter) is not used, and the user is told
    // that the folder cannot be guarded. Ostrel starts all the same.
    void fallbackFolderNotTheUsersAlone_data() {
        QTest::addColumn<bool>("otherOwner");
        QTest::newRow("open to others") << false;
        if (::getuid() == 0)
            QTest::newRow("another user's") << true;
    }
    void fallbackFolderNotTheUsersAlone() {
        QFETCH(bool, otherOwner);
        const auto data = dataFolder();
        QTemporaryDir temp;
        const QString folder =
            temp.path() + QStringLiteral("/ostrel-") + QString::number(::getuid());
        QVERIFY(QDir().mkdir(folder));
        const QByteArray path = QFile::encodeName(folder);
        QVERIFY(::chmod(path.constData(), otherOwner ? 0700 : 0777) == 0);
        if (otherOwner)
            QVERIFY(::chown(path.constData(), 65534, 65534) == 0);
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray tmp = qgetenv("TMPDIR");
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        const auto restored = qScopeGuard([&] {
            qputenv("XDG_RUNTIME_DIR", runtime);
            tmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmp);
        });

        const auto [starts, texts] = claimHere();
        QVERIFY(starts);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().contains(folder) && texts.first().contains("防げません"),
                 qPrintable(texts.first()));
        // Nothing was put into the other user's folder.
        QVERIFY(QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System));
    }

    // Something at the lock's name that is no lock file of the user's own
    // is not taken for a running Ostrel (which would refuse every start),
    // nor written through: the user is told, and Ostrel starts.
    void lockNameTakenBySomethingElse_data() {
        QTest::addColumn<QString>("what");
        QTest::newRow("link to a file") << "link";
        QTest::newRow("dangling link") << "dangling";
        QTest::newRow("folder") << "folder";
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("second name of a file") << "hard link";
    }
    void lockNameTakenBySomethingElse() {
        QFETCH(QString, what);
        const auto data = dataFolder();
        const QString lock = runtimeName(*data, *data) + QStringLiteral(".lock");
        const QString victim = data->stateHome() + QStringLiteral("/victim.txt");
        QVERIFY(QDir().mkpath(data->stateHome()));
        QFile v(victim);
        QVERIFY(v.open(QIODevice::WriteOnly) && v.write("keep me\n") == 8);
        v.close();
        const QByteArray path = QFile::encodeName(lock);
        if (what == "link")
            QVERIFY(QFile::link(victim, lock));
        else if (what == "dangling")
            QVERIFY(QFile::link(data->stateHome() + QStringLiteral("/none"), lock));
        else if (what == "folder")
            QVERIFY(QDir().mkdir(lock));
        else if (what == "fifo")
            QVERIFY(::mkfifo(path.constData(), 0600) == 0);
        else
            QVERIFY(::link(QFile::encodeName(victim).constData(), path.constData()) == 0);

        const auto [starts, texts] = claimHere();
        QVERIFY(starts);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().contains(lock) && texts.first().contains("防げません"),
                 qPrintable(texts.first()));
        QVERIFY(v.open(QIODevice::ReadOnly));
        QCOMPARE(v.readAll(), QByteArray("keep me\n"));
    }

    // A first Ostrel that is stopped (or hangs) takes no request to raise
    // its window, though the system accepts the connection for it: the
    // second start says that the folder is in use rather than going
    // silently.
    void stoppedFirstIsSaid() {
        const auto data = dataFolder();
        Program first(*data, data->path());
        QVERIFY(waitUntilAnswering(*data, *data));
        first.signal(SIGSTOP);
        const auto resumed = qScopeGuard([&] { first.signal(SIGCONT); });
        const auto [starts, texts] = claimHere();
        QVERIFY(!starts);
        QCOMPARE(texts, QStringList{kInUse});
    }

    // A runtime folder whose path leaves no room for the socket: the lock
    // alone keeps the folder, and a second start says that it is in use.
    void socketPathTooLongIsSaid() {
        const auto data = dataFolder();
        QString runtime = data->runtimeFolder();
        while (runtime.size() < 100)
            runtime += QStringLiteral("/long-folder-name");
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(::chmod(QFile::encodeName(runtime).constData(), 0700) == 0);
        const QString lock = runtime + QStringLiteral("/ostrel-") +
                             ostrel::fs::folderIdentity(data->path()) + QStringLiteral(".lock");
        Program first(*data, data->path(), runtime);
        QVERIFY(QTest::qWaitFor([&] { return !ostrel::fs::FolderLock::take(lock); }, kStartMs));
        QVERIFY(first.running());

        const QByteArray before = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        const auto restored = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", before); });
        const auto [starts, texts] = claimHere();
        QVERIFY(!starts);
        QCOMPARE(texts, QStringList{kInUse});
        QVERIFY(first.running());
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
