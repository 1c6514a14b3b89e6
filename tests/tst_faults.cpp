// Faults injected into a real data folder while the program runs: a disk that
// really fills up, records and groups that vanish or change kind between the
// listing and their use, a data folder that turns read-only, a record whose
// name is bytes that are not UTF-8. Each case drives
// one operation the way a person does and checks the message shown, every
// file's bytes afterwards, and that the program still saves once the fault is
// lifted.
//
// A full disk is a small tmpfs mounted for the case, which needs root; without
// it those cases are skipped, saying so.
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"

#include "dialogs/CreateDirUnit.h"
#include "dialogs/CreRecUnit.h"
#include "mainwindow/MainFrm.h"
#include "os/Drives.h"

#include "SavePathDriver.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing;
using namespace testing::savepath;

using Changes = QMap<QString, QByteArray>;

namespace {

const QString No = QStringLiteral("いいえ(&N)");

// A record in group B whose name is bytes that are neither UTF-8 nor code
// page 932, as an old archive leaves them; every case keeps it whole.
const QByteArray kForeign = "B/b\x82\xa0\xff.txt";

enum class Fault {
    DiskFull,       // no block and no inode left
    Vanished,       // the record (or group) removed after the listing
    ReadOnly,       // the record made read-only after the listing
    Fifo,           // the record replaced by a named pipe
    Link,           // the record replaced by a link to another record
    FolderReadOnly, // the data folder's file system remounted read-only
    None,           // nothing but the record whose name is not UTF-8
};

enum class Operation {
    SaveForeign, // an edit of the record in B whose name is not UTF-8, saved
    CopyGroupB,  // group B copied into A
    Save,
    CloseSavingSettings,
    Copy,
    Move,
    GroupCopy,
    CreateRecord,
    CreateGroup,
    Open
};

// A data folder on a file system of its own: a small tmpfs when it can be
// mounted (as root), else a plain temporary folder. The working directory
// while it lives.
class Disk {
public:
    Disk() {
        m_mounted = ::geteuid() == 0 && ::mount("tmpfs", m_dir.path().toUtf8().constData(), "tmpfs",
                                                0, "size=512k,nr_inodes=200,mode=0755") == 0;
        QDir(m_dir.path()).mkpath(QStringLiteral("data"));
        QDir(m_dir.path()).mkpath(QStringLiteral("fill"));
        m_previous = QDir::currentPath();
        QDir::setCurrent(data());
        ostrel::drives::forgetCurrentDirectories();
    }
    ~Disk() {
        QDir::setCurrent(m_previous);
        if (m_mounted)
            ::umount2(m_dir.path().toUtf8().constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    QString data() const { return m_dir.path() + QStringLiteral("/data"); }
    QString path(const QString& relative) const { return data() + u'/' + relative; }

    void write(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile f(path(relative));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // Fills every block and then every inode, the way a disk fills up.
    void fill() {
        const QByteArray fill = (m_dir.path() + QStringLiteral("/fill/")).toUtf8();
        const int fd = ::open(fill + "blocks", O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        const QByteArray chunk(4096, 'x');
        while (::write(fd, chunk.constData(), size_t(chunk.size())) > 0) {
        }
        QCOMPARE(errno, ENOSPC);
        ::close(fd);
        for (int i = 0;; ++i) {
            const int f = ::open(fill + QByteArray::number(i), O_WRONLY | O_CREAT, 0644);
            if (f < 0)
                break;
            ::close(f);
        }
    }
    void unfill() { QDir(m_dir.path() + QStringLiteral("/fill")).removeRecursively(); }

    bool setReadOnly(bool readOnly) {
        return ::mount("tmpfs", m_dir.path().toUtf8().constData(), "tmpfs",
                       MS_REMOUNT | (readOnly ? MS_RDONLY : 0), nullptr) == 0;
    }

    // Every entry of the data folder, named by its bytes (as Latin-1): a
    // file's bytes, or what else it is.
    QMap<QString, QByteArray> tree() const {
        QMap<QString, QByteArray> out;
        addTree(data().toUtf8(), QByteArray(), out);
        return out;
    }

private:
    static void addTree(const QByteArray& root, const QByteArray& relative,
                        QMap<QString, QByteArray>& out) {
        DIR* d = ::opendir(relative.isEmpty() ? root : root + '/' + relative);
        while (const dirent* e = d ? ::readdir(d) : nullptr) {
            const QByteArray name(e->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray rel = relative.isEmpty() ? name : relative + '/' + name;
            const QByteArray path = root + '/' + rel;
            struct stat st;
            QByteArray& entry = out[QString::fromLatin1(rel)];
            if (::lstat(path, &st) != 0) {
                entry = "gone";
            } else if (S_ISLNK(st.st_mode)) {
                char target[4096];
                const ssize_t n = ::readlink(path, target, sizeof target);
                entry = "link to " + QByteArray(target, int(qMax<ssize_t>(n, 0)));
            } else if (S_ISDIR(st.st_mode)) {
                entry = "folder";
                addTree(root, rel, out);
            } else if (!S_ISREG(st.st_mode)) {
                entry = "special";
            } else {
                entry = "unreadable";
                const int fd = ::open(path, O_RDONLY | O_NONBLOCK);
                if (fd >= 0) {
                    entry.clear();
                    char buf[4096];
                    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
                        entry.append(buf, n);
                    ::close(fd);
                }
            }
        }
        if (d)
            ::closedir(d);
    }

    QTemporaryDir m_dir;
    QString m_previous;
    bool m_mounted = false;
};

void clickRecord(TMainFrm* frm, const QString& name) {
    QListWidget* list = frm->RecordLst;
    const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(found.first()).center());
}

bool activeDialog(QWidget* dialog) {
    return QTest::qWaitFor(
        [dialog] { return dialog->isVisible() && QApplication::activeWindow() == dialog; });
}

// Injects the fault into the data folder.
void inject(Fault fault, Disk& disk) {
    const QByteArray a1 = disk.path(QStringLiteral("A/a1.txt")).toUtf8();
    switch (fault) {
    case Fault::DiskFull:
        disk.fill();
        break;
    case Fault::Vanished:
        QVERIFY(QDir(disk.path(QStringLiteral("A"))).removeRecursively());
        break;
    case Fault::ReadOnly:
        QVERIFY(QFile::setPermissions(disk.path(QStringLiteral("A/a1.txt")),
                                      QFile::ReadOwner | QFile::ReadGroup));
        break;
    case Fault::Fifo:
        QCOMPARE(::unlink(a1.constData()), 0);
        QCOMPARE(::mkfifo(a1.constData(), 0644), 0);
        break;
    case Fault::Link:
        QCOMPARE(::unlink(a1.constData()), 0);
        QCOMPARE(::symlink("../B/b1.txt", a1.constData()), 0);
        break;
    case Fault::FolderReadOnly:
        QVERIFY(disk.setReadOnly(true));
        break;
    case Fault::None:
        break;
    }
}

void lift(Fault fault, Disk& disk) {
    if (fault == Fault::DiskFull)
        disk.unfill();
    else if (fault == Fault::FolderReadOnly)
        QVERIFY(disk.setReadOnly(false));
}

// Copies the loaded record (or the shown group) into group B through the
// destination dialog.
void copyInto(QAction* item) {
    whenShown([] {
        doubleClick("B");
        pressEnter();
    });
    item->trigger();
}

void showGroupB(TMainFrm* frm) {
    frm->GroupCmb->setCurrentIndex(frm->GroupCmb->findText(QStringLiteral("B")));
    QCOMPARE(frm->RecordLst->count(), 2);
}

void perform(Operation op, TMainFrm* frm) {
    switch (op) {
    case Operation::SaveForeign: {
        showGroupB(frm);
        QListWidgetItem* foreign = frm->RecordLst->item(0)->text() == u"b1.txt"
                                       ? frm->RecordLst->item(1)
                                       : frm->RecordLst->item(0);
        clickRecord(frm, foreign->text());
        QCOMPARE(frm->MainEdit->document()->toString(), QStringLiteral("odd"));
        frm->MainEdit->setFocus();
        QTest::keyClicks(frm->MainEdit, "edited ");
        QTest::mouseClick(frm->SaveDataBtn, Qt::LeftButton);
        break;
    }
    case Operation::CopyGroupB:
        showGroupB(frm);
        whenShown([] {
            doubleClick("A");
            pressEnter();
        });
        frm->FixGroupPum->trigger();
        break;
    case Operation::Save:
        frm->MainEdit->setFocus();
        QTest::keyClicks(frm->MainEdit, "edited ");
        QTest::mouseClick(frm->SaveDataBtn, Qt::LeftButton);
        break;
    case Operation::CloseSavingSettings:
        frm->close();
        break;
    case Operation::Copy:
        copyInto(frm->MoveRecordPum);
        break;
    case Operation::Move:
        copyInto(frm->MoveRecordPum2);
        break;
    case Operation::GroupCopy:
        copyInto(frm->FixGroupPum);
        break;
    case Operation::CreateRecord:
        QTest::mouseClick(frm->CreateRecBtn, Qt::LeftButton);
        QVERIFY(activeDialog(CreRecFrm));
        QTest::keyClicks(CreRecFrm->RecNameEdt, "new");
        QTest::keyClick(CreRecFrm->RecNameEdt, Qt::Key_Return);
        if (CreRecFrm->isVisible())
            QTest::mouseClick(CreRecFrm->CloseBtn, Qt::LeftButton);
        break;
    case Operation::CreateGroup:
        frm->CreateGroupMnu->trigger();
        QVERIFY(activeDialog(CreateDirFrm));
        QTest::keyClicks(CreateDirFrm->GroupNameEdt, "G");
        QTest::keyClick(CreateDirFrm->GroupNameEdt, Qt::Key_Return);
        if (CreateDirFrm->isVisible())
            CreateDirFrm->close();
        break;
    case Operation::Open:
        clickRecord(frm, QStringLiteral("a2.txt"));
        break;
    }
}

} // namespace

class Faults : public QObject {
    Q_OBJECT

private slots:
    void fault_data() {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<Operation>("op");
        // What the boxes shown say (each contains its text), in order, and how
        // they are answered.
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("answers");
        // The entries of the data folder that the operation changes, with
        // their bytes afterwards (nothing: gone); all others keep theirs.
        QTest::addColumn<Changes>("changed");

        const QString cannotCreate = QStringLiteral("ファイル ./A/a1.txt を作成できません");
        const QString copyFailed = QStringLiteral("コピーに失敗しました");
        const QString recordFailed = QStringLiteral("エラー：レコードを作成できませんでした");
        const QString groupFailed =
            QStringLiteral("グループを作成できません。 注意を確認して下さい");
        const QStringList settingsFailed{QStringLiteral("Ostrel.ini に書き込めません"),
                                         QStringLiteral("設定を保存できませんでした。")};
        const QStringList ok{"OK"};
        const Changes none;

        QTest::newRow("full disk: record save")
            << Fault::DiskFull << Operation::Save << QStringList{cannotCreate} << ok << none;
        QTest::newRow("full disk: settings at close")
            << Fault::DiskFull << Operation::CloseSavingSettings << settingsFailed
            << QStringList{"OK", No} << none;
        QTest::newRow("full disk: record copy")
            << Fault::DiskFull << Operation::Copy << QStringList{copyFailed} << ok << none;
        QTest::newRow("full disk: record move")
            << Fault::DiskFull << Operation::Move << QStringList{copyFailed} << ok << none;
        QTest::newRow("full disk: group copy")
            << Fault::DiskFull << Operation::GroupCopy
            << QStringList{copyFailed + QStringLiteral(" : a1.txt")} << ok << none;
        QTest::newRow("full disk: record create") << Fault::DiskFull << Operation::CreateRecord
                                                  << QStringList{recordFailed} << ok << none;
        QTest::newRow("full disk: group create")
            << Fault::DiskFull << Operation::CreateGroup << QStringList{groupFailed} << ok << none;

        QTest::newRow("non-UTF-8 name: save")
            << Fault::None << Operation::SaveForeign << QStringList{} << QStringList{}
            << Changes{{QString::fromLatin1(kForeign), "edited odd"}};
        QTest::newRow("non-UTF-8 name: group copy")
            << Fault::None << Operation::CopyGroupB << QStringList{} << QStringList{}
            << Changes{{"A/b1.txt", "bee"},
                       {QString::fromLatin1(kForeign).replace(0, 1, u'A'), "odd"}};
        QTest::newRow("full disk: group copy of a non-UTF-8 name")
            << Fault::DiskFull << Operation::CopyGroupB << QStringList{copyFailed} << ok << none;

        QTest::newRow("vanished record: open")
            << Fault::Vanished << Operation::Open
            << QStringList{QStringLiteral("ファイル ./A/a2.txt は開けません")} << ok << none;
        QTest::newRow("vanished record: copy")
            << Fault::Vanished << Operation::Copy << QStringList{copyFailed} << ok << none;
        QTest::newRow("vanished group: group copy")
            << Fault::Vanished << Operation::GroupCopy
            << QStringList{copyFailed + QStringLiteral(" : a1.txt")} << ok << none;
        QTest::newRow("read-only record: save")
            << Fault::ReadOnly << Operation::Save << QStringList{cannotCreate} << ok << none;
        QTest::newRow("read-only record: move") << Fault::ReadOnly << Operation::Move
                                                << QStringList{QStringLiteral("削除に失敗しました")}
                                                << ok << Changes{{"B/a1.txt", "one"}};
        // A record replaced behind the program's back is asked about first;
        // told to write it anyway, the save still refuses the FIFO.
        QTest::newRow("FIFO record: save")
            << Fault::Fifo << Operation::Save
            << QStringList{QStringLiteral("他のプログラムによって変更されています"), cannotCreate}
            << QStringList{QStringLiteral("はい(&Y)"), "OK"} << none;
        QTest::newRow("FIFO record: copy")
            << Fault::Fifo << Operation::Copy << QStringList{copyFailed} << ok << none;
        QTest::newRow("linked record: copy") << Fault::Link << Operation::Copy << QStringList{}
                                             << QStringList{} << Changes{{"B/a1.txt", "bee"}};
        QTest::newRow("read-only data folder: record save")
            << Fault::FolderReadOnly << Operation::Save << QStringList{cannotCreate} << ok << none;
        QTest::newRow("read-only data folder: settings at close")
            << Fault::FolderReadOnly << Operation::CloseSavingSettings << settingsFailed
            << QStringList{"OK", No} << none;
        QTest::newRow("read-only data folder: record create")
            << Fault::FolderReadOnly << Operation::CreateRecord << QStringList{recordFailed} << ok
            << none;
        QTest::newRow("read-only data folder: group copy")
            << Fault::FolderReadOnly << Operation::GroupCopy
            << QStringList{copyFailed + QStringLiteral(" : a1.txt")} << ok << none;
    }

    void fault() {
        QFETCH(Fault, fault);
        QFETCH(Operation, op);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, answers);
        QFETCH(Changes, changed);

        Disk disk;
        if ((fault == Fault::DiskFull || fault == Fault::FolderReadOnly) && !disk.mounted())
            QSKIP("a full or read-only disk is a tmpfs mounted for the case, which needs root");
        disk.write(QStringLiteral("Ostrel.ini"), defaultSettingsFile());
        disk.write(QStringLiteral("A/a1.txt"), "one");
        disk.write(QStringLiteral("A/a2.txt"), "two");
        disk.write(QStringLiteral("B/b1.txt"), "bee");
        const int fd = ::open(disk.data().toUtf8() + '/' + kForeign, O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0 && ::write(fd, "odd", 3) == 3);
        ::close(fd);
        Started program;
        TMainFrm* frm = program.main;
        QCOMPARE(frm->RecordPath(), QStringLiteral("./A/a1.txt"));

        inject(fault, disk);
        QMap<QString, QByteArray> expected = disk.tree();
        {
            BoxAnswerer boxes;
            boxes.answer(answers);
            perform(op, frm);
            QCOMPARE(boxes.seen().size(), messages.size());
            for (qsizetype i = 0; i < messages.size(); ++i)
                QVERIFY2(boxes.seen()[i].text.contains(messages[i]),
                         qPrintable(boxes.seen()[i].text));
        }
        for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
            if (it.value().isNull())
                expected.remove(it.key());
            else
                expected[it.key()] = it.value();
        }
        QCOMPARE(disk.tree(), expected);
        QVERIFY(frm->isVisible());

        // Once the fault is lifted the program works on: an edit of a record
        // is saved.
        lift(fault, disk);
        BoxAnswerer boxes;
        boxes.answer({No, No});
        // (A failed group creation leaves no group shown: the user picks one.)
        const bool a2 = disk.tree().contains(QStringLiteral("A/a2.txt"));
        const QString group = a2 ? QStringLiteral("A") : QStringLiteral("B");
        const QString record = a2 ? QStringLiteral("a2.txt") : QStringLiteral("b1.txt");
        if (frm->GroupCmb->currentText() != group)
            frm->GroupCmb->setCurrentIndex(frm->GroupCmb->findText(group));
        clickRecord(frm, record);
        QCOMPARE(frm->RecordPath(), QStringLiteral("./%1/%2").arg(group, record));
        const QByteArray before = disk.tree().value(group + u'/' + record);
        frm->MainEdit->setFocus();
        QTest::keyClicks(frm->MainEdit, "after ");
        QTest::mouseClick(frm->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(disk.tree().value(group + u'/' + record), "after " + before);
        // Nothing else to save at the end of the case.
        frm->SaveSettingsOnClose = false;
        frm->MainEdit->document()->setModified(false);
    }
};

QTEST_MAIN(Faults)
#include "tst_faults.moc"
