// Following the data folder below the windows: the pace of the lists
// (plain logic on a clock of its own), the edits that turn a list into
// another, and the real system's reports of what other programs do in a
// data folder, with its limits.
#include "TestSupport.h"
#include "os/FileSystem.h"
#include "os/FolderWatch.h"
#include "store/DiskWatch.h"
#include "store/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace ostrel;
using namespace testing;

namespace {

// The changes handed over, gathered.
struct Handed {
    store::DiskChanges changes;
    int times = 0;
    bool refuse = false;
    int refused = 0;
    store::DataFolderWatch::Apply apply() {
        return [this](const store::DiskChanges& c) {
            if (refuse) {
                ++refused;
                return false;
            }
            changes.merge(c);
            ++times;
            return true;
        };
    }
};

QStringList sorted(QSet<QString> names) {
    QStringList out(names.begin(), names.end());
    out.sort();
    return out;
}

void makeFile(const QString& path, const QByteArray& bytes = "x") {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class DiskWatchTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { fs::FolderWatch::limitWatchesForTesting(std::nullopt); }

    void pacerShowsSoonAndAtMostTwiceASecond_data() {
        QTest::addColumn<int>("every");    // ms between changes
        QTest::addColumn<int>("lasting");  // ms the changes go on
        QTest::addColumn<int>("maxShown"); // times shown at most
        QTest::newRow("one change") << 1 << 1 << 1;
        QTest::newRow("a file every millisecond for ten seconds") << 1 << 10000 << 21;
        QTest::newRow("a file every 300 ms for three seconds") << 300 << 3000 << 7;
    }

    void pacerShowsSoonAndAtMostTwiceASecond() {
        // A clock stepped by the millisecond: each change is shown within
        // 600 ms of coming, never two showings closer than 500 ms.
        QFETCH(int, every);
        QFETCH(int, lasting);
        QFETCH(int, maxShown);
        store::RelistPacer pacer;
        std::vector<qint64> shownAt;
        qint64 oldestUnshown = -1;
        qint64 longestWait = 0;
        for (qint64 now = 0; now < lasting + 2000; ++now) {
            if (now < lasting && now % every == 0) {
                pacer.changed(now);
                if (oldestUnshown < 0)
                    oldestUnshown = now;
            }
            if (pacer.due() && *pacer.due() <= now) {
                pacer.shown(now);
                shownAt.push_back(now);
                longestWait = std::max(longestWait, now - oldestUnshown);
                oldestUnshown = -1;
            }
        }
        QCOMPARE(oldestUnshown, -1);
        QVERIFY(!shownAt.empty() && shownAt.size() <= size_t(maxShown));
        QCOMPARE(shownAt.front(), store::RelistPacer::kSettleMs);
        QVERIFY2(longestWait <= 600, qPrintable(QString::number(longestWait)));
        for (size_t i = 1; i < shownAt.size(); ++i)
            QVERIFY(shownAt[i] - shownAt[i - 1] >= store::RelistPacer::kIntervalMs);
    }

    void pacerWaitsForPostponementsAndSlowShowing() {
        store::RelistPacer pacer;
        QVERIFY(!pacer.due());
        pacer.changed(1000);
        QCOMPARE(*pacer.due(), 1100);
        pacer.postponed(1100);
        QCOMPARE(*pacer.due(), 1600);
        pacer.changed(1200); // joins the pending ones
        QCOMPARE(*pacer.due(), 1600);
        pacer.shown(1600);
        QVERIFY(!pacer.due());
        pacer.changed(1650);
        QCOMPARE(*pacer.due(), 2100);
        // The list shown took a while (read on another thread).
        pacer.showingEnded(1900);
        QCOMPARE(*pacer.due(), 2400);
    }

    void listEditsTurnOneListIntoTheOther_data() {
        QTest::addColumn<QStringList>("from");
        QTest::addColumn<QStringList>("to");
        QTest::addColumn<int>("steps");
        QTest::newRow("same") << QStringList{"a", "b"} << QStringList{"a", "b"} << 0;
        QTest::newRow("from nothing") << QStringList{} << QStringList{"a", "b"} << 1;
        QTest::newRow("to nothing") << QStringList{"a", "b"} << QStringList{} << 1;
        QTest::newRow("runs apart")
            << QStringList{"b", "d", "e", "f"} << QStringList{"a", "b", "c", "c2", "f", "g"} << 4;
        QTest::newRow("one in the middle")
            << QStringList{"a.txt", "c.txt"} << QStringList{"a.txt", "B.txt", "c.txt"} << 1;
        QTest::newRow("renamed") << QStringList{"a.txt", "b.txt", "c.txt"}
                                 << QStringList{"a.txt", "c.txt", "d.txt"} << 2;
        QTest::newRow("names alike but for case")
            << QStringList{"A.txt", "b.txt"} << QStringList{"a.txt", "A.txt", "b.txt"} << 1;
        QTest::newRow("a name twice (two patterns)")
            << QStringList{"a.c", "b.txt"} << QStringList{"a.c", "a.c", "b.txt", "b.txt"} << 2;
        QTest::newRow("a burst at the end")
            << QStringList{"a"} << QStringList{"a", "m1", "m2", "m3", "m4"} << 1;
        QTest::newRow("conflict copies beside their record")
            << QStringList{"memo.txt"}
            << QStringList{"memo (conflicted copy 2024-05-01 101500).txt",
                           "memo.sync-conflict-20240501-101500-ABCDEFG.txt", "memo.txt"}
            << 1;
    }

    void listEditsTurnOneListIntoTheOther() {
        QFETCH(QStringList, from);
        QFETCH(QStringList, to);
        QFETCH(int, steps);
        // The lists as the window sorts them.
        sortForList(from);
        sortForList(to);
        const auto edits = listEdits(from, to, 64);
        QVERIFY(edits);
        QCOMPARE(int(edits->size()), steps);
        QStringList list = from;
        for (const ListEdit& e : *edits) {
            if (e.kind == ListEdit::Kind::Insert) {
                for (qsizetype k = 0; k < e.inserted.size(); ++k)
                    list.insert(e.row + k, e.inserted[k]);
            } else {
                list.remove(e.row, e.removed);
            }
        }
        QCOMPARE(list, to);
        // More than allowed: filled anew.
        if (steps > 0)
            QVERIFY(!listEdits(from, to, steps - 1));
    }

    void listPositionKeepsTheListsOrder() {
        QStringList items{"a.txt", "B.txt", "c.txt", "d.txt"};
        QCOMPARE(listPosition(items, "c.txt"), 2);
        QCOMPARE(listPosition(items, "b.txt"), 2); // after "B.txt", before "c.txt"
        QCOMPARE(listPosition(items, "zz"), 4);
    }

    void changesOfOtherProgramsAreHandedOver_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("groups");  // names in the data folder
        QTest::addColumn<QStringList>("records"); // names in group g that came or went
        QTest::addColumn<QStringList>("written"); // names in g written
        QTest::newRow("record made") << "make g/new.txt" << QStringList{} << QStringList{"new.txt"}
                                     << QStringList{"new.txt"};
        QTest::newRow("record deleted")
            << "delete g/a.txt" << QStringList{} << QStringList{"a.txt"} << QStringList{};
        QTest::newRow("record renamed") << "rename g/a.txt g/b.txt" << QStringList{}
                                        << QStringList{"a.txt", "b.txt"} << QStringList{};
        QTest::newRow("record rewritten in place")
            << "write g/a.txt" << QStringList{} << QStringList{} << QStringList{"a.txt"};
        // As a sync engine (and Ostrel) saves: a hidden temporary renamed
        // over the record; the temporary is no list's business.
        QTest::newRow("record replaced by a hidden temporary")
            << "replace g/a.txt" << QStringList{} << QStringList{"a.txt"} << QStringList{};
        QTest::newRow("group made")
            << "mkdir h" << QStringList{"h"} << QStringList{} << QStringList{};
        QTest::newRow("hidden folder made")
            << "mkdir .stversions" << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("record moved to another group")
            << "rename g/a.txt other/a.txt" << QStringList{} << QStringList{"a.txt"}
            << QStringList{};
    }

    void changesOfOtherProgramsAreHandedOver() {
        QFETCH(QString, operation);
        QFETCH(QStringList, groups);
        QFETCH(QStringList, records);
        QFETCH(QStringList, written);
        DataFolder data;
        data.write("g/a.txt", "a");
        data.addGroup("other");
        data.addGroup("unfollowed");
        Handed handed;
        store::DataFolderWatch watch(data.path(), handed.apply());
        watch.followGroups({"g", "other"});
        QVERIFY(watch.watching());
        QCOMPARE(watch.followedGroups(), QStringList({"g", "other"}));

        const QStringList op = operation.split(u' ');
        const QString target = data.absolute(op.value(1));
        if (op[0] == "make") {
            makeFile(target);
        } else if (op[0] == "delete") {
            QVERIFY(QFile::remove(target));
        } else if (op[0] == "rename") {
            QVERIFY(QFile::rename(target, data.absolute(op[2])));
        } else if (op[0] == "write") {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append));
            f.write("more");
        } else if (op[0] == "replace") {
            makeFile(data.absolute("g/.syncthing.a.txt.tmp"), "new");
            QVERIFY(::rename(QFile::encodeName(data.absolute("g/.syncthing.a.txt.tmp")),
                             QFile::encodeName(target)) == 0);
        } else if (op[0] == "mkdir") {
            QVERIFY(QDir().mkdir(target));
        }
        // A change in a group that is not followed comes to nothing: it
        // ends the wait, which would otherwise not know when to stop.
        data.write("marker.txt", "");
        QTRY_VERIFY(handed.changes.groups.cameOrWent.contains("marker.txt"));
        QStringList groupNames = sorted(handed.changes.groups.cameOrWent);
        groupNames.removeAll("marker.txt");
        QCOMPARE(groupNames, groups);
        const store::NamedChanges g = handed.changes.inGroups["g"];
        QVERIFY(!g.anything);
        QCOMPARE(sorted(g.cameOrWent), records);
        QCOMPARE(sorted(g.written), written);
        QCOMPARE(handed.changes.inGroups.count("unfollowed"), size_t(0));
    }

    void aBurstIsHandedOverAsAnything() {
        // More files than are worth naming, written as fast as the disk
        // takes them: handed over as "anything".
        DataFolder data;
        data.addGroup("g");
        Handed handed;
        store::DataFolderWatch watch(data.path(), handed.apply());
        watch.followGroups({"g"});
        for (int i = 0; i <= store::NamedChanges::kMaxNames; ++i) {
            makeFile(data.absolute(QStringLiteral("g/r%1.txt").arg(i)));
            if (i % 100 == 0)
                QCoreApplication::processEvents();
        }
        QTRY_VERIFY(handed.changes.inGroups["g"].anything);
        QVERIFY(handed.times >= 1);
    }

    void lostCountIsAnything() {
        // More changes than the system's queue holds, made while the event
        // loop does not run: the system drops them and says so.
        const int queue = [] {
            QFile f("/proc/sys/fs/inotify/max_queued_events");
            return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt() : 16384;
        }();
        if (queue > 40000)
            QSKIP("the system's queue of changes is too long to fill in a short test");
        DataFolder data;
        data.addGroup("g");
        Handed handed;
        store::DataFolderWatch watch(data.path(), handed.apply());
        watch.followGroups({"g"});
        // Each file: made, then closed after writing (two changes).
        for (int i = 0; i < queue / 2 + 100; ++i) {
            const int fd = ::open(QFile::encodeName(data.absolute(QStringLiteral("g/%1").arg(i))),
                                  O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        QTRY_VERIFY(handed.changes.groups.anything && handed.changes.inGroups["g"].anything);
    }

    void changesWaitWhileTheyCannotBeShown() {
        DataFolder data;
        data.addGroup("g");
        Handed handed;
        handed.refuse = true;
        store::DataFolderWatch watch(data.path(), handed.apply());
        watch.followGroups({"g"});
        data.write("g/first.txt", "");
        // Refused, then taken with what came meanwhile.
        QTRY_VERIFY(handed.refused > 0);
        data.write("g/second.txt", "");
        handed.refuse = false;
        QTRY_COMPARE(sorted(handed.changes.inGroups["g"].cameOrWent),
                     QStringList({"first.txt", "second.txt"}));
    }

    void aFollowedGroupMadeAnewIsWatchedAgain() {
        DataFolder data;
        data.write("g/a.txt", "");
        Handed handed;
        store::DataFolderWatch watch(data.path(), handed.apply());
        watch.followGroups({"g"});
        QVERIFY(QDir(data.path()).rename("g", "renamed"));
        QTRY_VERIFY(handed.changes.inGroups["g"].anything);
        QCOMPARE(watch.followedGroups(), QStringList());
        data.write("g/b.txt", ""); // the group comes back, with a record
        QTRY_COMPARE(watch.followedGroups(), QStringList{"g"});
        handed.changes = {};
        data.write("g/c.txt", "");
        QTRY_VERIFY(handed.changes.inGroups["g"].cameOrWent.contains("c.txt"));
    }

    void aDataFolderMovedAwayIsNoLongerFollowed() {
        // Its path leads nowhere now: nothing more is handed over (the
        // window goes on as without watching).
        QTemporaryDir parent;
        const QString folder = parent.path() + "/data";
        QDir().mkpath(folder + "/g");
        Handed handed;
        store::DataFolderWatch watch(folder, handed.apply());
        watch.followGroups({"g"});
        QVERIFY(QDir(parent.path()).rename("data", "moved"));
        QTRY_VERIFY(!watch.watching());
        QCOMPARE(watch.followedGroups(), QStringList());
        watch.followGroups({"g"});
        QCOMPARE(watch.followedGroups(), QStringList());
    }

    void systemLimitsMeanNoWatching_data() {
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("watching");
        QTest::addColumn<QStringList>("followed");
        QTest::newRow("no watcher at all") << 0 << false << QStringList{};
        QTest::newRow("the data folder only") << 1 << true << QStringList{};
        QTest::newRow("one group of two") << 2 << true << QStringList{"a"};
    }

    void systemLimitsMeanNoWatching() {
        QFETCH(int, limit);
        QFETCH(bool, watching);
        QFETCH(QStringList, followed);
        DataFolder data;
        data.addGroup("a");
        data.addGroup("b");
        fs::FolderWatch::limitWatchesForTesting(limit);
        Handed handed;
        store::DataFolderWatch watch(data.path(), handed.apply());
        watch.followGroups({"a", "b"});
        QCOMPARE(watch.watching(), watching);
        QCOMPARE(watch.followedGroups(), followed);
    }
};

QTEST_GUILESS_MAIN(DiskWatchTest)
#include "tst_diskwatch.moc"
