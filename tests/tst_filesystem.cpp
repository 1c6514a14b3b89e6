// The file-system rules: listing filters, atomic replacement, read-only files.
#include "TestSupport.h"
#include "os/FileSystem.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ostrel;
using testing::DataFolder;

namespace {

// Runs `body` in a child process (optionally as an ordinary user) and answers
// its exit code; the child's own failures show as a code other than 0.
int inChild(const std::function<int()>& body, bool asOrdinaryUser = false) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (asOrdinaryUser && geteuid() == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(99);
        }
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

QStringList entriesOf(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

mode_t modeOf(const QString& path) {
    struct stat st;
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

// The read-only rules, checked by whoever runs them: answers a bit for each
// rule that was broken.
int readOnlyRulesBroken(const QString& dir) {
    const QString file = dir + "/ro.txt";
    const QString other = dir + "/other.txt";
    int broken = 0;
    if (fs::writeFileAtomic(file, "changed"))
        broken |= 1;
    if (fs::deleteFile(file))
        broken |= 2;
    if (fs::copyFile(other, file))
        broken |= 4;
    if (!fs::isReadOnlyFile(file))
        broken |= 8;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || f.readAll() != "original")
        broken |= 16;
    return broken;
}

} // namespace

class FileSystemTest : public QObject {
    Q_OBJECT

private slots:
    void listsWithTheRightAttributes() {
        DataFolder data;
        data.write("file.txt", "x");
        data.write(".hidden", "x");
        data.write("ro.txt", "x");
        QFile::setPermissions(data.absolute("ro.txt"), QFile::ReadOwner);
        data.addGroup("folder");
        data.addGroup(".hiddenfolder");
        QVERIFY(::mkfifo("pipe", 0644) == 0);
        QVERIFY(QFile::link(data.absolute("file.txt"), data.absolute("link.txt")));
        QVERIFY(QFile::link(data.absolute("missing"), data.absolute("dangling")));

        QMap<QString, fs::DirEntry> byName;
        for (const fs::DirEntry& e : fs::listDirectory("."))
            byName.insert(e.name, e);
        QCOMPARE(byName.keys(), QStringList({".hidden", ".hiddenfolder", "dangling", "file.txt",
                                             "folder", "link.txt", "pipe", "ro.txt"}));
        QVERIFY(!byName["file.txt"].isDir && !byName["file.txt"].hidden &&
                !byName["file.txt"].system);
        QVERIFY(byName[".hidden"].hidden);
        QVERIFY(byName["folder"].isDir && byName[".hiddenfolder"].hidden);
        QVERIFY(!byName["ro.txt"].system && fs::isReadOnlyFile("./ro.txt") &&
                !fs::isReadOnlyFile("./file.txt"));
        QVERIFY(byName["pipe"].system);
        QVERIFY(byName["dangling"].system);
        QVERIFY(!byName["link.txt"].system && !byName["link.txt"].isDir);
        QVERIFY(fs::listDirectory("./no such folder").empty());
    }

    void atomicWriteKeepsModeAndLeavesNoTemporary() {
        DataFolder data;
        data.write("a.txt", "old");
        QFile::setPermissions(data.absolute("a.txt"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        QVERIFY(fs::writeFileAtomic("./a.txt", "new content"));
        QCOMPARE(data.read("a.txt"), QByteArray("new content"));
        QCOMPARE(modeOf(data.absolute("a.txt")), mode_t(0640));
        QCOMPARE(entriesOf(data.path()), QStringList{"a.txt"});
        // A new file is created.
        QVERIFY(fs::writeFileAtomic("./b.txt", "b"));
        QCOMPARE(data.read("b.txt"), QByteArray("b"));
        // Large content, written on the writer's own thread, over a large
        // file (let go on a thread of its own), and over it again.
        QByteArray large(9 << 20, 'x');
        for (int i = 0; i < large.size(); i += 4096)
            large[i] = char('a' + i / 4096 % 26);
        for (const char* last : {"1", "2"}) {
            QVERIFY(fs::writeFileAtomic("./b.txt", large + last));
            QCOMPARE(data.read("b.txt"), large + last);
        }
        QCOMPARE(entriesOf(data.path()), QStringList({"a.txt", "b.txt"}));
    }

    void staleTemporariesAreRemoved_data() {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("today's name") << ".~ostrel-save-"
                                      << ".tmp";
        // Left by an earlier version of the program.
        QTest::newRow("earlier name") << ".ostrel-save-"
                                      << "";
    }

    void staleTemporariesAreRemoved() {
        // What a killed save leaves: an old, unlocked temporary goes, and so
        // does a new one whose writer (named in it) has ended; one whose
        // writer still holds its lock, and one just made by a writer that
        // still runs (it may not have locked it yet), stay; so does
        // everything else.
        QFETCH(QString, prefix);
        QFETCH(QString, suffix);
        const auto temporary = [&](const QString& rest) { return prefix + rest + suffix; };
        DataFolder data;
        const pid_t ended = ::fork();
        if (ended == 0)
            ::_exit(0);
        QVERIFY(ended > 0 && ::waitpid(ended, nullptr, 0) == ended);
        data.write("g/" + temporary(QStringLiteral("%1-killed").arg(ended)), "killed just now");
        data.write("g/" + temporary(QStringLiteral("%1-mine").arg(::getpid())), "being made");
        data.write("g/" + temporary("stale"), "left over");
        data.write("g/" + temporary("writing"), "being written");
        data.write("g/" + temporary("new"), "just made");
        data.write("g/.hidden", "mine");
        data.write("g/a.txt", "a");
        const QDateTime old = QDateTime::currentDateTime().addSecs(-120);
        for (const QString& name : {"g/" + temporary("stale"), "g/" + temporary("writing"),
                                    QStringLiteral("g/.hidden")}) {
            QFile f(data.absolute(name));
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        }
        const int writer =
            ::open(QFile::encodeName("g/" + temporary("writing")).constData(), O_RDONLY);
        QVERIFY(writer >= 0 && ::flock(writer, LOCK_EX) == 0);
        QCOMPARE(fs::removeStaleTemporaries("./g"), 2);
        ::close(writer);
        QStringList left{".hidden", temporary(QStringLiteral("%1-mine").arg(::getpid())),
                         temporary("new"), temporary("writing"), "a.txt"};
        left.sort();
        QCOMPARE(entriesOf(data.absolute("g")), left);
    }

    void temporaryOfASaveIsNamedForSyncEnginesToIgnore() {
        // The patterns the README gives, or that the sync engines ignore by
        // default: the temporary a save writes matches them all, and is
        // hidden from Ostrel's own lists.
        DataFolder data;
        data.write("g/a.txt", "old");
        QString seen;
        QVERIFY(fs::writeFileAtomic("./g/a.txt", [&](const fs::PieceWriter& write) {
            for (const QString& name :
                 QDir(data.absolute("g")).entryList(QDir::Files | QDir::Hidden))
                if (name != QLatin1String("a.txt"))
                    seen = name;
            return write("new");
        }));
        QVERIFY2(!seen.isEmpty(), "no temporary beside the record while it was written");
        for (const char* pattern : {".~ostrel-save-*", "*.~*", ".~*", "*.tmp"})
            QVERIFY2(QRegularExpression(QRegularExpression::wildcardToRegularExpression(
                                            QString::fromLatin1(pattern)))
                         .match(seen)
                         .hasMatch(),
                     qPrintable(seen + " does not match " + pattern));
        QVERIFY(seen.startsWith(u'.'));
        QCOMPARE(entriesOf(data.absolute("g")), QStringList{"a.txt"});
    }

    void atomicWriteGoesThroughLinks() {
        DataFolder data;
        data.write("real/target.txt", "old");
        data.addGroup("group");
        QVERIFY(QFile::link("../real/target.txt", data.absolute("group/link.txt")));
        QVERIFY(fs::writeFileAtomic("./group/link.txt", "new"));
        QVERIFY(QFileInfo(data.absolute("group/link.txt")).isSymLink());
        QCOMPARE(data.read("real/target.txt"), QByteArray("new"));
    }

    void readOnlyFilesAreNeitherWrittenNorDeleted() {
        DataFolder data;
        data.write("ro.txt", "original");
        data.write("other.txt", "other");
        QFile::setPermissions(data.absolute("ro.txt"),
                              QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        QCOMPARE(readOnlyRulesBroken(data.path()), 0);
    }

    void readOnlyFilesAreProtectedForOrdinaryUsersToo() {
        // CI runs as root, which ignores file modes; run the same rules as an
        // ordinary user in a folder that user may write.
        QTemporaryDir dir;
        ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
        {
            QFile f(dir.path() + "/ro.txt");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("original");
        }
        {
            QFile f(dir.path() + "/other.txt");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("other");
        }
        ::chmod(QFile::encodeName(dir.path() + "/ro.txt").constData(), 0444);
        ::chmod(QFile::encodeName(dir.path() + "/other.txt").constData(), 0644);
        const QString path = dir.path();
        QCOMPARE(inChild([path] { return readOnlyRulesBroken(path); }, true), 0);
        // And a file the ordinary user may not write (someone else's) is refused
        // without being touched, while the user's own folder stays clean.
        if (geteuid() == 0) {
            ::chmod(QFile::encodeName(dir.path() + "/other.txt").constData(), 0644);
            const int code = inChild(
                [path] { return fs::writeFileAtomic(path + "/other.txt", "x") ? 1 : 0; }, true);
            QCOMPARE(code, 0);
            QCOMPARE(entriesOf(path), QStringList({"other.txt", "ro.txt"}));
        }
    }

    // A write that falls short fails the whole save, however the bytes come.
    void fullDiskLeavesTheOldFileWhole_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("one write") << 0;
        QTest::newRow("many pieces") << 1;
        QTest::newRow("copy") << 2;
    }
    void fullDiskLeavesTheOldFileWhole() {
        QFETCH(int, how);
        DataFolder data;
        const QByteArray old(100000, 'o');
        data.write("big.txt", old);
        data.write("source.txt", QByteArray(12 << 20, 's'));
        // A file-size limit makes the writes fall short as a full disk does.
        const int code = inChild([how] {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{5 << 20, 5 << 20};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            bool ok = false;
            if (how == 0) {
                ok = fs::writeFileAtomic("./big.txt", QByteArray(6 << 20, 'n'));
            } else if (how == 1) {
                int handed = 0;
                const QByteArray piece(65536, 'n');
                ok = fs::writeFileAtomic("./big.txt", [&](const fs::PieceWriter& write) {
                    for (; handed < 1000; ++handed)
                        if (!write(piece))
                            return false;
                    return true;
                });
                if (handed == 1000)
                    return 2; // the producer was not told to stop
            } else {
                ok = fs::copyFile("./source.txt", "./big.txt");
            }
            return ok ? 1 : 0;
        });
        QCOMPARE(code, 0);
        QCOMPARE(data.read("big.txt"), old);
        QCOMPARE(entriesOf(data.path()), QStringList({"big.txt", "source.txt"}));
    }

    // A file read piece by piece gives its bytes, the hash of the whole and
    // the stamp it was opened with; a file that grows past the limit while it
    // is read fails the read; what is no regular file is not opened.
    void readsAFilePieceByPiece() {
        DataFolder data;
        QByteArray bytes;
        for (int i = 0; i < 100000; ++i)
            bytes += QByteArray::number(i) + '\n';
        data.write(QStringLiteral("g/a.txt"), bytes);
        fs::ReadStatus status;
        std::unique_ptr<fs::FileReader> reader =
            fs::FileReader::open(QStringLiteral("./g/a.txt"), 1 << 30, &status);
        QVERIFY(reader);
        QCOMPARE(reader->size(), bytes.size());
        QVERIFY(reader->stamp().sameState(*fs::stampOf(QStringLiteral("./g/a.txt"))));
        for (int pass = 0; pass < 2; ++pass) {
            QByteArray read;
            char piece[7777];
            for (qint64 n; (n = reader->read(piece, sizeof piece)) > 0;)
                read.append(piece, n);
            QCOMPARE(read, bytes);
            QCOMPARE(reader->hash(), fs::contentHash(bytes));
            QVERIFY(reader->rewind());
        }
        QVERIFY(!fs::FileReader::open(QStringLiteral("./g/a.txt"), 1000, &status));
        QCOMPARE(status, fs::ReadStatus::TooLarge);
        QVERIFY(!fs::FileReader::open(QStringLiteral("./g"), 1 << 30, &status));
        QCOMPARE(status, fs::ReadStatus::CannotOpen);
        reader = fs::FileReader::open(QStringLiteral("./g/a.txt"), bytes.size() + 10, &status);
        QFile grow(data.absolute(QStringLiteral("g/a.txt")));
        QVERIFY(grow.open(QIODevice::Append));
        grow.write(QByteArray(100, 'x'));
        grow.close();
        char piece[1 << 16];
        qint64 n = 0;
        while ((n = reader->read(piece, sizeof piece)) > 0) {
        }
        QCOMPARE(n, -1);
    }

    void createAndDelete() {
        DataFolder data;
        QVERIFY(fs::createNewFile("./a.txt"));
        QVERIFY(!fs::createNewFile("./a.txt"));
        QVERIFY(fs::createDirectory("./g"));
        QVERIFY(!fs::createDirectory("./g"));
        QVERIFY(!fs::deleteFile("./g"));
        QVERIFY(fs::deleteFile("./a.txt"));
        QVERIFY(!fs::deleteFile("./a.txt"));
        QVERIFY(fs::removeDirectory("./g"));
    }

    void copies() {
        DataFolder data;
        data.write("g/a.txt", "source");
        data.write("dest/a.txt", "old");
        QVERIFY(fs::copyFile("./g/a.txt", "./dest/a.txt"));
        QCOMPARE(data.read("dest/a.txt"), QByteArray("source"));
        QCOMPARE(entriesOf(data.absolute("dest")), QStringList{"a.txt"});
        // Onto itself, directly or through a linked folder: refused, nothing lost.
        QVERIFY(!fs::copyFile("./g/a.txt", "./g/a.txt"));
        QVERIFY(QFile::link(data.absolute("g"), data.absolute("alias")));
        QVERIFY(!fs::copyFile("./g/a.txt", "./alias/a.txt"));
        QCOMPARE(data.read("g/a.txt"), QByteArray("source"));
        // A missing source or a folder as destination fails.
        QVERIFY(!fs::copyFile("./g/none.txt", "./dest/none.txt"));
        QVERIFY(!fs::exists("./dest/none.txt"));
        QVERIFY(!fs::copyFile("./g/a.txt", "./dest"));
    }

    void workingDirectory() {
        DataFolder data;
        data.addGroup("sub");
        const QString start = fs::currentDirectory();
        QCOMPARE(fs::setCurrentDirectory("./sub").error, fs::DirectoryError::None);
        QCOMPARE(fs::currentDirectory(), start + "/sub");
        QCOMPARE(fs::setCurrentDirectory("./missing").error, fs::DirectoryError::NotFound);
        QCOMPARE(fs::currentDirectory(), start + "/sub");
        QCOMPARE(fs::setCurrentDirectory(start).error, fs::DirectoryError::None);
    }
};

QTEST_MAIN(FileSystemTest)
#include "tst_filesystem.moc"
