// The destination folder dialog: its folder and drive lists, the folder it
// returns in SaveDir, and the working directory it leaves behind.
#include "SavePathDriver.h"
#include "TestSupport.h"

#include "dialogs/SavePathUnit.h"
#include "mainwindow/MainFrm.h"
#include "os/Drives.h"
#include "ui/Handler.h"

#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace ostrel;
using namespace testing;
using namespace testing::savepath;
using drives::Drive;
using drives::DriveKind;

namespace {

Drive fixedDrive(const QString& root, const QString& label = {}) {
    return Drive{root, label, {}, DriveKind::Fixed, true};
}

// The folder list expected for an opened folder below "/": every folder on
// the way, then the given sub-folders.
QStringList listFor(const QString& opened, const QStringList& subFolders) {
    QStringList out{QStringLiteral("/")};
    out.append(opened.split(u'/', Qt::SkipEmptyParts));
    out.append(subFolders);
    return out;
}

QString cwd() {
    return QDir::currentPath();
}

} // namespace

class SavePathDialog : public QObject {
    Q_OBJECT

private slots:
    void init() { drives::forgetCurrentDirectories(); }

    // --- the lists' contents, without a window --------------------------------------

    void folderEntries_data() {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QStringList>("subFolders");
        // name|path|kind(A ancestor, O opened, S sub-folder)|indent
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("drive root")
            << "/"
            << "/" << QStringList{"a", "B"} << QStringList{"/|/|O|2", "a|/a|S|10", "B|/B|S|10"};
        QTest::newRow("one below the root")
            << "/"
            << "/memo" << QStringList{"x"}
            << QStringList{"/|/|A|2", "memo|/memo|O|6", "x|/memo/x|S|10"};
        QTest::newRow("deeper") << "/"
                                << "/home/u/memo" << QStringList{"b"}
                                << QStringList{"/|/|A|2", "home|/home|A|6", "u|/home/u|A|10",
                                               "memo|/home/u/memo|O|14", "b|/home/u/memo/b|S|18"};
        QTest::newRow("mounted volume")
            << "/media/usb"
            << "/media/usb/docs" << QStringList{}
            << QStringList{"/media/usb|/media/usb|A|2", "docs|/media/usb/docs|O|6"};
        QTest::newRow("mounted volume root")
            << "/media/usb"
            << "/media/usb" << QStringList{"docs"}
            << QStringList{"/media/usb|/media/usb|O|2", "docs|/media/usb/docs|S|10"};
    }

    void folderEntries() {
        QFETCH(QString, root);
        QFETCH(QString, opened);
        QFETCH(QStringList, subFolders);
        QFETCH(QStringList, expected);
        QStringList got;
        for (const FolderEntry& e : ostrel::folderEntries(root, opened, subFolders)) {
            const char kind = e.kind == FolderKind::Ancestor ? 'A'
                              : e.kind == FolderKind::Opened ? 'O'
                                                             : 'S';
            got.append(QStringLiteral("%1|%2|%3|%4").arg(e.name, e.path).arg(kind).arg(e.indent));
        }
        QCOMPARE(got, expected);
    }

    void mountsBecomeDrives_data() {
        QTest::addColumn<QString>("mountPoint");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("removable");
        QTest::addColumn<int>("kind"); // -1: no drive
        const int none = -1;
        QTest::newRow("root ext4") << QString("/") << QString("ext4") << QString("/dev/vda")
                                   << false << int(DriveKind::Fixed);
        QTest::newRow("usb stick") << QString("/media/u/STICK") << QString("vfat")
                                   << QString("/dev/sdb1") << true << int(DriveKind::Removable);
        QTest::newRow("media under /run")
            << QString("/run/media/u/STICK") << QString("exfat") << QString("/dev/sdb1") << true
            << int(DriveKind::Removable);
        QTest::newRow("cd") << QString("/media/cdrom") << QString("iso9660") << QString("/dev/sr0")
                            << true << int(DriveKind::CdRom);
        QTest::newRow("nfs") << QString("/mnt/nas") << QString("nfs4") << QString("srv:/export")
                             << false << int(DriveKind::Network);
        QTest::newRow("cifs") << QString("/mnt/share") << QString("cifs") << QString("//srv/Share")
                              << false << int(DriveKind::Network);
        QTest::newRow("sshfs") << QString("/mnt/ssh") << QString("fuse.sshfs") << QString("u@h:/")
                               << false << int(DriveKind::Network);
        QTest::newRow("tmpfs") << QString("/tmp") << QString("tmpfs") << QString("tmpfs") << false
                               << int(DriveKind::Ram);
        QTest::newRow("proc") << QString("/proc") << QString("proc") << QString("proc") << false
                              << none;
        QTest::newRow("sysfs") << QString("/sys") << QString("sysfs") << QString("sysfs") << false
                               << none;
        QTest::newRow("cgroup") << QString("/sys/fs/cgroup/cpu") << QString("cgroup")
                                << QString("cgroup") << false << none;
        QTest::newRow("devpts") << QString("/dev/pts") << QString("devpts") << QString("devpts")
                                << false << none;
        QTest::newRow("shm") << QString("/dev/shm") << QString("tmpfs") << QString("tmpfs") << false
                             << none;
        QTest::newRow("run tmpfs")
            << QString("/run/user/1000") << QString("tmpfs") << QString("tmpfs") << false << none;
    }

    void mountsBecomeDrives() {
        QFETCH(QString, mountPoint);
        QFETCH(QString, type);
        QFETCH(QString, source);
        QFETCH(bool, removable);
        QFETCH(int, kind);
        const std::optional<DriveKind> got =
            drives::driveKind({mountPoint, type, source}, removable);
        QCOMPARE(got ? int(*got) : -1, kind);
    }

    void driveTexts() {
        QCOMPARE(drives::driveText({"/", "Main DISK", {}, DriveKind::Fixed, true}),
                 QStringLiteral("/ [main disk]"));
        QCOMPARE(drives::driveText({"/home", {}, {}, DriveKind::Fixed, true}),
                 QStringLiteral("/home []"));
        QCOMPARE(drives::driveText({"/media/STICK", "STICK", {}, DriveKind::Removable, false}),
                 QStringLiteral("/media/STICK"));
        QCOMPARE(drives::driveText({"/mnt/share", "X", "//Srv/Share", DriveKind::Network, false}),
                 QStringLiteral("/mnt/share //srv/share"));
        QCOMPARE(drives::driveText({"/mnt/nas", "NAS", {}, DriveKind::Network, true}),
                 QStringLiteral("/mnt/nas [nas]"));
        QCOMPARE(drives::driveText({"/media/cd", "Disc", {}, DriveKind::CdRom, true}),
                 QStringLiteral("/media/cd [disc]"));
        QCOMPARE(drives::driveText({"/tmp", {}, {}, DriveKind::Ram, true}),
                 QStringLiteral("/tmp []"));
    }

    void driveOfAPath() {
        const std::vector<Drive> list = {fixedDrive("/"), fixedDrive("/home"),
                                         fixedDrive("/home/u/usb")};
        QCOMPARE(drives::driveRootOf("/etc", list), QStringLiteral("/"));
        QCOMPARE(drives::driveRootOf("/home", list), QStringLiteral("/home"));
        QCOMPARE(drives::driveRootOf("/homework", list), QStringLiteral("/"));
        QCOMPARE(drives::driveRootOf("/home/u/usb/a", list), QStringLiteral("/home/u/usb"));
        QCOMPARE(drives::driveRootOf("/x", {fixedDrive("/home")}), QStringLiteral("/"));
    }

    void presentDrivesLeaveOutPseudoFileSystems() {
        const std::vector<Drive> present = drives::presentDrives();
        QVERIFY(!present.empty());
        for (const Drive& d : present) {
            QVERIFY2(!d.root.startsWith("/proc") && !d.root.startsWith("/sys") &&
                         !d.root.startsWith("/dev"),
                     qPrintable(d.root));
            QVERIFY(QFileInfo(d.root).isDir());
        }
    }

    // --- the dialog -------------------------------------------------------------------

    void enterAtOnceGivesTheDataFolder() {
        DataFolder data;
        for (const char* g : {"beta", "Alpha", "gamma", ".hidden"})
            data.addGroup(g);
        data.write("notafolder.txt", "x");
        Windows w;
        const QString dataPath = cwd();
        MainFrm->SaveDir = "stale";

        QStringList seen;
        QPoint where;
        QString highlighted;
        whenShown([&] {
            seen = entries();
            where = SavePathFrm->pos();
            highlighted = SavePathFrm->DirPath->currentItem()->text();
            pressEnter();
        });
        MainFrm->ShowForm("SavePath");

        QCOMPARE(seen, listFor(dataPath, {"Alpha", "beta", "gamma"}));
        QCOMPARE(highlighted, QFileInfo(dataPath).fileName());
        QCOMPARE(where, QPoint(643, 112));
        QCOMPARE(SavePathFrm->windowTitle(), QStringLiteral("移動/保存先"));
        QCOMPARE(MainFrm->SaveDir, dataPath + "/");
        QCOMPARE(cwd(), dataPath);
        QVERIFY(!SavePathFrm->isVisible());
    }

    void leavingWithoutEnterGivesNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Esc") << "esc";
        QTest::newRow("Esc on the drive list") << "escDrives";
        QTest::newRow("cancel button") << "button";
        QTest::newRow("close box") << "close";
    }

    void leavingWithoutEnterGivesNothing() {
        QFETCH(QString, how);
        DataFolder data;
        data.addGroup("a");
        Windows w;
        SavePathFrm->fillDriveList({fixedDrive("/")});
        MainFrm->SaveDir = "stale";
        whenShown([&] {
            if (how == "esc")
                pressEsc();
            else if (how == "escDrives")
                pressEsc(SavePathFrm->DrvPath);
            else if (how == "button")
                QTest::mouseClick(SavePathFrm->CancelBtn, Qt::LeftButton);
            else
                SavePathFrm->close();
        });
        MainFrm->ShowForm("SavePath");
        QVERIFY(!SavePathFrm->isVisible());
        QCOMPARE(MainFrm->SaveDir, QString());
    }

    void enterTakesTheOpenedFolderNotTheHighlightedOne() {
        DataFolder data;
        data.addGroup("a");
        data.addGroup("b");
        Windows w;
        SavePathFrm->fillDriveList({fixedDrive("/")});
        QString highlighted;
        whenShown([&] {
            click("b");
            highlighted = SavePathFrm->DirPath->currentItem()->text();
            pressEnter(SavePathFrm->DrvPath); // Enter presses EnterBtn from anywhere
        });
        MainFrm->ShowForm("SavePath");
        QCOMPARE(highlighted, QStringLiteral("b"));
        QCOMPARE(MainFrm->SaveDir, data.path() + "/");
        QCOMPARE(cwd(), data.path());
    }

    void openingFollowsTheWorkingDirectoryAndIsKept() {
        DataFolder data;
        data.addGroup("b/inner");
        data.addGroup("b/Deeper");
        data.addGroup("b/.secret");
        data.addGroup("c");
        Windows w;
        SavePathFrm->fillDriveList({fixedDrive("/")});
        const QString b = data.path() + "/b";

        QStringList seen;
        whenShown([&] {
            doubleClick("b");
            seen = entries();
            pressEsc();
        });
        MainFrm->ShowForm("SavePath");
        QCOMPARE(seen, listFor(b, {"Deeper", "inner"}));
        QCOMPARE(MainFrm->SaveDir, QString()); // cancelled ...
        QCOMPARE(cwd(), b);                    // ... but the working directory stays there

        // The caller puts the working directory back; the dialog keeps its
        // folder and the place it was moved to, and reads its folders afresh
        // (one made meanwhile is offered).
        QDir::setCurrent(data.path());
        data.addGroup("b/Fresh");
        SavePathFrm->move(700, 150);
        MainFrm->SaveDir = "stale";
        QString before;
        QPoint where;
        whenShown([&] {
            seen = entries();
            where = SavePathFrm->pos();
            before = MainFrm->SaveDir;
            // Up again by the ancestor entry of the data folder.
            doubleClickRow(int(listFor(data.path(), {}).size()) - 1);
            pressEnter();
        });
        MainFrm->ShowForm("SavePath");
        QCOMPARE(seen, listFor(b, {"Deeper", "Fresh", "inner"}));
        QCOMPARE(where, QPoint(700, 150));
        QCOMPARE(before, QString());
        QCOMPARE(MainFrm->SaveDir, data.path() + "/");
        QCOMPARE(cwd(), data.path());
    }

    void driveRootEndsInOneSeparator() {
        DataFolder data;
        Windows w;
        SavePathFrm->fillDriveList({fixedDrive("/")});
        QString opened;
        whenShown([&] {
            doubleClickRow(0);
            opened = SavePathFrm->DirPath->currentItem()->text();
            pressEnter();
        });
        MainFrm->ShowForm("SavePath");
        QCOMPARE(opened, QStringLiteral("/"));
        QCOMPARE(MainFrm->SaveDir, QStringLiteral("/"));
        QCOMPARE(cwd(), QStringLiteral("/"));
    }

    void refusedFolderKeepsEverything() {
        DataFolder data;
        data.addGroup("gone");
        data.addGroup("kept");
        data.addGroup("locked");
        Windows w;
        SavePathFrm->fillDriveList({fixedDrive("/")});
        const bool root = ::geteuid() == 0;
        QFile::setPermissions(data.absolute("locked"), QFile::ReadOwner);

        BoxAnswerer boxes;
        boxes.answer(root ? QStringList{"OK"} : QStringList{"OK", "OK"});
        QStringList before, after;
        whenShown([&] {
            before = entries();
            QDir(data.path()).rmdir("gone"); // vanishes while the dialog is open
            doubleClick("gone");
            if (!root)
                doubleClick("locked");
            after = entries();
            pressEnter();
        });
        MainFrm->ShowForm("SavePath");

        QStringList expected{QStringLiteral("ファイルが見つかりません.")};
        if (!root)
            expected.append(QStringLiteral("ファイルへのアクセスが拒否されました."));
        QCOMPARE(boxes.texts(), expected);
        QCOMPARE(boxes.seen()[0].title, QStringLiteral("OSTREL"));
        QCOMPARE(boxes.seen()[0].icon, int(QMessageBox::Critical));
        QCOMPARE(after, before);
        QCOMPARE(MainFrm->SaveDir, data.path() + "/");
        QCOMPARE(cwd(), data.path());
    }

    void errorTexts() {
        using fs::DirectoryError;
        QCOMPARE(directoryErrorText({DirectoryError::NotFound, 2}),
                 QStringLiteral("ファイルが見つかりません"));
        QCOMPARE(directoryErrorText({DirectoryError::InvalidName, 20}),
                 QStringLiteral("不正なファイル名です"));
        QCOMPARE(directoryErrorText({DirectoryError::AccessDenied, 13}),
                 QStringLiteral("ファイルへのアクセスが拒否されました"));
        QCOMPARE(directoryErrorText({DirectoryError::Other, 5}), QStringLiteral("I/O エラー (5)"));
        QCOMPARE(errorBoxText(directoryErrorText({DirectoryError::Other, 123})),
                 QStringLiteral("I/O エラー (123)"));
    }

    void eachDriveKeepsItsFolder() {
        DataFolder data;
        QTemporaryDir base;
        QDir(base.path()).mkpath("d1/sub");
        QDir(base.path()).mkpath("d1/other");
        QDir(base.path()).mkpath("d2/x");
        const QString d1 = base.path() + "/d1", d2 = base.path() + "/d2";
        Windows w;
        SavePathFrm->fillDriveList({fixedDrive("/", "System"), fixedDrive(d1, "DATA"),
                                    fixedDrive(d2), fixedDrive(base.path() + "/nomedium")});

        QStringList driveTexts;
        for (int i = 0; i < SavePathFrm->DrvPath->count(); ++i)
            driveTexts.append(SavePathFrm->DrvPath->itemText(i));
        QCOMPARE(driveTexts, (QStringList{"/ [system]", d1 + " [data]", d2 + " []",
                                          base.path() + "/nomedium []"}));
        QVERIFY(!SavePathFrm->DrvPath->itemIcon(0).isNull());

        BoxAnswerer boxes;
        boxes.answer("OK");
        QStringList onD1, afterRefusal;
        QString dirs[5];
        QString driveShown;
        whenShown([&] {
            QComboBox* drv = SavePathFrm->DrvPath;
            drv->setFocus();
            QTest::keyClick(drv, Qt::Key_Down); // d1: its root
            dirs[0] = cwd();
            onD1 = entries();
            doubleClick("sub");
            dirs[1] = cwd();
            QTest::keyClick(drv, Qt::Key_Down); // d2
            dirs[2] = cwd();
            QTest::keyClick(drv, Qt::Key_Up); // d1 again: back in its folder
            dirs[3] = cwd();
            QTest::keyClick(drv, Qt::Key_Down);
            QTest::keyClick(drv, Qt::Key_Down); // a drive that cannot be entered
            dirs[4] = cwd();
            afterRefusal = entries();
            driveShown = drv->currentText();
            pressEnter(drv);
        });
        MainFrm->ShowForm("SavePath");

        QCOMPARE(onD1, (QStringList{d1, "other", "sub"}));
        QCOMPARE(dirs[0], d1);
        QCOMPARE(dirs[1], d1 + "/sub");
        QCOMPARE(dirs[2], d2);
        QCOMPARE(dirs[3], d1 + "/sub");
        QCOMPARE(boxes.texts(), QStringList{"ファイルが見つかりません."});
        QCOMPARE(dirs[4], d2);
        QCOMPARE(afterRefusal, (QStringList{d2, "x"}));
        QCOMPARE(driveShown, d2 + " []");
        QCOMPARE(MainFrm->SaveDir, d2 + "/");
    }
};

QTEST_MAIN(SavePathDialog)
#include "tst_savepath.moc"
