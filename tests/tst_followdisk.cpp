// The window follows the disk: groups and records that other programs (a
// sync engine, a file manager) make, delete or rename show in the lists with
// the selection and the scroll position kept; the loaded record changed
// elsewhere is read again when it has no edits, and a notice tells of it
// otherwise, or when it was deleted; Ostrel's own writes change nothing in
// the window; nothing changes in the middle of the user's command; and where
// the system cannot watch, the window works as it did without this.
#include "SavePathDriver.h"
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"

#include "dialogs/CreRecUnit.h"
#include "mainwindow/DiskFollower.h"
#include "mainwindow/MainFrm.h"
#include "os/FolderWatch.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing;

namespace {

const QString kYes = QStringLiteral("はい(&Y)");
const QString kNo = QStringLiteral("いいえ(&N)");
const QString kChangedQuestion =
    QStringLiteral("ファイル ./g/b.txt は、読み込んだ後に他のプログラムによって変更されています。"
                   "上書きして保存しますか？（「いいえ」を選ぶと保存しません）");
const QString kGoneQuestion =
    QStringLiteral("ファイル ./g/b.txt は、読み込んだ後に削除されたか移動されています。"
                   "新しく作成して保存しますか？（「いいえ」を選ぶと保存しません）");

QString selected(const TMainFrm* f) {
    const QList<QListWidgetItem*> s = f->RecordLst->selectedItems();
    return s.isEmpty() ? QString() : s.first()->text();
}

QString topItem(const TMainFrm* f) {
    const QListWidgetItem* top = f->RecordLst->itemAt(QPoint(1, 1));
    return top ? top->text() : QString();
}

QString notice(const TMainFrm* f) {
    const auto* panel = f->findChild<QFrame*>(QStringLiteral("DiskNoticePanel"));
    return panel && panel->isVisible()
               ? panel->findChild<QLabel*>(QStringLiteral("DiskNoticeLbl"))->text()
               : QString();
}

// Groups g (a, b, c) and h (x); the window starts on g with b.txt loaded.
void prepare(const DataFolder& data) {
    data.write("g/a.txt", "alpha\n");
    data.write("g/b.txt", "bravo one\nbravo two\n");
    data.write("g/c.txt", "charlie\n");
    data.write("h/x.txt", "x-ray\n");
    QByteArray settings = defaultSettingsFile();
    settings.replace("LAST DIRECTORY=\n", "LAST DIRECTORY=g\n");
    settings.replace("LAST DOCUMENT=\n", "LAST DOCUMENT=b.txt\n");
    data.write("Ostrel.ini", settings);
}

// Another program's save: a new file renamed over the old one.
void replace(const DataFolder& data, const QString& relative, const QByteArray& bytes) {
    const QString hidden = QFileInfo(data.absolute(relative)).path() + "/.other-program.tmp";
    QFile f(hidden);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    QCOMPARE(::rename(QFile::encodeName(hidden), QFile::encodeName(data.absolute(relative))), 0);
}

// Makes a record in g and waits until the list shows it: what happened on
// the disk before it has been followed by then.
void marker(const DataFolder& data, TMainFrm* f, const QString& name = "zz-marker.txt") {
    data.write("g/" + name, "");
    QTRY_VERIFY(items(f->RecordLst).contains(name));
}

void setCaret(TMainFrm* f, int position) {
    f->MainEdit->setCaret(position);
}

} // namespace

class FollowDiskTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { ostrel::fs::FolderWatch::limitWatchesForTesting(std::nullopt); }

    void recordsFollowTheDisk_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("made") << "make g/d.txt" << QStringList{"a.txt", "b.txt", "c.txt", "d.txt"};
        QTest::newRow("deleted") << "delete g/c.txt" << QStringList{"a.txt", "b.txt"};
        QTest::newRow("renamed") << "rename g/c.txt g/0.txt"
                                 << QStringList{"0.txt", "a.txt", "b.txt"};
        QTest::newRow("a file the patterns do not show")
            << "make g/photo.jpg" << QStringList{"a.txt", "b.txt", "c.txt"};
        QTest::newRow("a sync engine's temporary")
            << "make g/.syncthing.d.txt.tmp" << QStringList{"a.txt", "b.txt", "c.txt"};
        QTest::newRow("a record of another group")
            << "make h/y.txt" << QStringList{"a.txt", "b.txt", "c.txt"};
        // Conflict copies that sync engines make are records like any other.
        QTest::newRow("Syncthing's conflict copy")
            << "make g/b.sync-conflict-20240501-101500-ABCDEFG.txt"
            << QStringList{"a.txt", "b.sync-conflict-20240501-101500-ABCDEFG.txt", "b.txt",
                           "c.txt"};
        QTest::newRow("Nextcloud's conflict copy")
            << "make g/b (conflicted copy 2024-05-01 101500).txt"
            << QStringList{"a.txt", "b (conflicted copy 2024-05-01 101500).txt", "b.txt", "c.txt"};
    }

    void recordsFollowTheDisk() {
        QFETCH(QString, operation);
        QFETCH(QStringList, listed);
        DataFolder data;
        prepare(data);
        Started main;
        QVERIFY(main->diskFollower()->watching());
        QCOMPARE(selected(main.main), QStringLiteral("b.txt"));

        const int space = operation.indexOf(u' ');
        const QString verb = operation.left(space);
        const QStringList paths = operation.mid(space + 1).split(QStringLiteral(" g/"));
        if (verb == "make")
            data.write(paths[0], "new");
        else if (verb == "delete")
            QVERIFY(QFile::remove(data.absolute(paths[0])));
        else
            QVERIFY(QFile::rename(data.absolute(paths[0]), data.absolute("g/" + paths[1])));
        marker(data, main.main);

        listed.append("zz-marker.txt");
        QCOMPARE(items(main->RecordLst), listed);
        QCOMPARE(selected(main.main), QStringLiteral("b.txt"));
        QCOMPARE(main->RecordPath(), QStringLiteral("./g/b.txt"));
        QCOMPARE(main->GroupCmb->currentText(), QStringLiteral("g"));
        // Nothing in Ostrel deletes or merges a conflict copy on its own.
        for (const QString& name : listed)
            QVERIFY2(data.exists("g/" + name), qPrintable(name));
    }

    void scrollPositionAndSelectionAreKept_data() {
        QTest::addColumn<int>("arriving"); // records arriving above the top of the view
        QTest::addColumn<bool>("topDeleted");
        QTest::newRow("a few arrive") << 3 << false;
        QTest::newRow("hundreds arrive") << 200 << false;
        QTest::newRow("the top record is deleted") << 0 << true;
    }

    void scrollPositionAndSelectionAreKept() {
        QFETCH(int, arriving);
        QFETCH(bool, topDeleted);
        DataFolder data;
        for (int i = 0; i < 300; ++i)
            data.write(QStringLiteral("g/r%1.txt").arg(i, 3, 10, QLatin1Char('0')), "");
        QByteArray settings = defaultSettingsFile();
        settings.replace("LAST DIRECTORY=\n", "LAST DIRECTORY=g\n");
        settings.replace("LAST DOCUMENT=\n", "LAST DOCUMENT=r150.txt\n");
        data.write("Ostrel.ini", settings);
        Started main;
        QListWidget* list = main->RecordLst;
        list->scrollToItem(list->item(100), QAbstractItemView::PositionAtTop);
        QCOMPARE(topItem(main.main), QStringLiteral("r100.txt"));

        for (int i = 0; i < arriving; ++i)
            data.write(QStringLiteral("g/a%1.txt").arg(i, 3, 10, QLatin1Char('0')), "");
        if (topDeleted)
            QVERIFY(QFile::remove(data.absolute("g/r100.txt")));
        marker(data, main.main);

        QCOMPARE(list->count(), 300 + arriving + 1 - (topDeleted ? 1 : 0));
        QCOMPARE(topItem(main.main),
                 topDeleted ? QStringLiteral("r101.txt") : QStringLiteral("r100.txt"));
        QCOMPARE(selected(main.main), QStringLiteral("r150.txt"));
        QCOMPARE(list->currentItem()->text(), QStringLiteral("r150.txt"));
    }

    void aViewAtTheTopStaysThere() {
        DataFolder data;
        prepare(data);
        Started main;
        data.write("g/0-first.txt", "");
        QTRY_COMPARE(main->RecordLst->count(), 4);
        QCOMPARE(topItem(main.main), QStringLiteral("0-first.txt"));
    }

    void groupsFollowTheDisk_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QString>("selected");
        QTest::newRow("made") << "mkdir i" << QStringList{"g", "h", "i"} << "g"
                              << QStringList{"a.txt", "b.txt", "c.txt"} << "b.txt";
        QTest::newRow("another renamed") << "rename h k" << QStringList{"g", "k"} << "g"
                                         << QStringList{"a.txt", "b.txt", "c.txt"} << "b.txt";
        QTest::newRow("hidden folder made") << "mkdir .stversions" << QStringList{"g", "h"} << "g"
                                            << QStringList{"a.txt", "b.txt", "c.txt"} << "b.txt";
        // The shown group went: the first is shown, nothing in it selected.
        QTest::newRow("shown renamed") << "rename g 0g" << QStringList{"0g", "h"} << "0g"
                                       << QStringList{"a.txt", "b.txt", "c.txt"} << "";
        QTest::newRow("shown deleted")
            << "delete g" << QStringList{"h"} << "h" << QStringList{"x.txt"} << "";
    }

    void groupsFollowTheDisk() {
        QFETCH(QString, operation);
        QFETCH(QStringList, groups);
        QFETCH(QString, shown);
        QFETCH(QStringList, records);
        QFETCH(QString, selected);
        DataFolder data;
        prepare(data);
        Started main;
        const QStringList op = operation.split(u' ');
        QDir root(data.path());
        if (op[0] == "mkdir")
            QVERIFY(root.mkdir(op[1]));
        else if (op[0] == "rename")
            QVERIFY(root.rename(op[1], op[2]));
        else
            QVERIFY(QDir(data.absolute(op[1])).removeRecursively());
        QTRY_COMPARE(items(main->GroupCmb), groups);
        QTRY_COMPARE(main->GroupCmb->currentText(), shown);
        QTRY_COMPARE(items(main->RecordLst), records);
        QCOMPARE(::selected(main.main), selected);
        // The group shown after its predecessor went is followed too.
        data.write(shown + "/new.txt", "");
        QTRY_VERIFY(items(main->RecordLst).contains("new.txt"));
    }

    void unmodifiedRecordIsReadAgain_data() {
        QTest::addColumn<QByteArray>("changed");
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<int>("caret"); // after the reload (it was at 14)
        QTest::newRow("replaced, longer")
            << QByteArray("bravo ONE\nbravo two\nthree\n") << false << 14;
        QTest::newRow("rewritten in place") << QByteArray("BRAVO one\nbravo TWO\n") << true << 14;
        QTest::newRow("shorter than the caret's place") << QByteArray("b\n") << false << 2;
        QTest::newRow("Shift-JIS with CRLF")
            << QByteArray("\x82\xa0\x82\xa2\r\n\x82\xa4\r\n") << false << 5;
    }

    void unmodifiedRecordIsReadAgain() {
        QFETCH(QByteArray, changed);
        QFETCH(bool, inPlace);
        QFETCH(int, caret);
        DataFolder data;
        prepare(data);
        Started main;
        setCaret(main.main, 14);
        if (inPlace)
            data.write("g/b.txt", changed);
        else
            replace(data, "g/b.txt", changed);
        const QString expected = changed == "\x82\xa0\x82\xa2\r\n\x82\xa4\r\n"
                                     ? QStringLiteral("あい\nう\n")
                                     : QString::fromUtf8(changed);
        QTRY_COMPARE(main->MainEdit->document()->toString(), expected);
        QCOMPARE(main->MainEdit->caret(), caret);
        QVERIFY(!main->MainEdit->document()->isModified());
        QVERIFY(!main->SaveDataBtn->isEnabled());
        QCOMPARE(main->StatusBar->currentMessage(),
                 QStringLiteral("ファイル ./g/b.txt は他のプログラムによって変更されたため、"
                                "読み込み直しました"));
        QCOMPARE(notice(main.main), QString());
        // Edited and saved, the other program's file is written over without
        // a question, in its own encoding and breaks.
        BoxAnswerer boxes;
        boxes.answer(kNo);
        main->MainEdit->setFocus();
        QTest::keyClick(main->MainEdit, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(main->MainEdit, "z");
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(boxes.texts(), QStringList());
        QVERIFY(data.read("g/b.txt").endsWith(changed.endsWith("\r\n") ? "\r\nz" : "\nz"));
    }

    void theSameTextWrittenAgainChangesNothing() {
        // A sync engine that writes the record anew with what it held: the
        // editor is not touched, nothing is said.
        DataFolder data;
        prepare(data);
        Started main;
        setCaret(main.main, 6);
        replace(data, "g/b.txt", "bravo one\nbravo two\n");
        marker(data, main.main);
        QCOMPARE(main->MainEdit->caret(), 6);
        QVERIFY(!main->StatusBar->currentMessage().contains(QStringLiteral("読み込み直しました")));
        QCOMPARE(notice(main.main), QString());
        // The file as it is now is the one loaded: a save asks nothing.
        BoxAnswerer boxes;
        boxes.answer(kNo);
        QTest::keyClicks(main->MainEdit, "X");
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(data.read("g/b.txt"), QByteArray("bravo Xone\nbravo two\n"));
    }

    void editedRecordIsNotReplaced_data() {
        QTest::addColumn<bool>("deleted");
        QTest::addColumn<bool>("edited");
        QTest::newRow("changed while edited") << false << true;
        QTest::newRow("deleted while edited") << true << true;
        QTest::newRow("deleted, not edited") << true << false;
    }

    void editedRecordIsNotReplaced() {
        QFETCH(bool, deleted);
        QFETCH(bool, edited);
        DataFolder data;
        prepare(data);
        Started main;
        main->MainEdit->setFocus();
        if (edited)
            QTest::keyClicks(main->MainEdit, "X");
        const QString text = main->MainEdit->document()->toString();
        if (deleted)
            QVERIFY(QFile::remove(data.absolute("g/b.txt")));
        else
            replace(data, "g/b.txt", "the other machine's text\n");
        QTRY_VERIFY(!notice(main.main).isEmpty());
        QVERIFY(notice(main.main).startsWith(
            deleted ? QStringLiteral("ファイル ./g/b.txt は他のプログラムによって削除された")
                    : QStringLiteral("ファイル ./g/b.txt は他のプログラムによって変更されました")));
        // The window goes on: the notice asks nothing.
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(main->MainEdit->document()->toString(), text);
        QCOMPARE(main->MainEdit->document()->isModified(), edited);
        QVERIFY(main->MainEdit->isEnabled());
        QCOMPARE(main->RecordPath(), QStringLiteral("./g/b.txt"));
        if (deleted) {
            QTRY_COMPARE(items(main->RecordLst), QStringList({"a.txt", "c.txt"}));
            QCOMPARE(selected(main.main), QString());
        }
        if (!edited)
            QTest::keyClicks(main->MainEdit, "X");

        // The save asks, as before; Yes writes the edits and ends the notice.
        BoxAnswerer boxes;
        boxes.answer(kYes);
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(boxes.texts(), QStringList{deleted ? kGoneQuestion : kChangedQuestion});
        QCOMPARE(data.read("g/b.txt"), QByteArray("Xbravo one\nbravo two\n"));
        QCOMPARE(notice(main.main), QString());
        if (deleted)
            QTRY_COMPARE(items(main->RecordLst), QStringList({"a.txt", "b.txt", "c.txt"}));
    }

    void noticeGoesWithAnotherRecord() {
        DataFolder data;
        prepare(data);
        Started main;
        QTest::keyClicks(main->MainEdit, "X");
        replace(data, "g/b.txt", "other\n");
        QTRY_VERIFY(!notice(main.main).isEmpty());
        BoxAnswerer boxes;
        boxes.answer(kNo); // drop the edits
        QTest::mouseClick(main->RecordLst->viewport(), Qt::LeftButton, {},
                          main->RecordLst->visualItemRect(main->RecordLst->item(0)).center());
        QCOMPARE(main->RecordPath(), QStringLiteral("./g/a.txt"));
        QCOMPARE(notice(main.main), QString());
    }

    void ownWritesChangeNothingInTheWindow() {
        // Saves (the record's and the settings'), a record made and one
        // deleted: the lists keep their items (no refill, no flicker), the
        // editor its text and caret, and no notice comes.
        DataFolder data;
        prepare(data);
        Started main;
        BoxAnswerer boxes;
        main->MainEdit->setFocus();
        QTest::keyClicks(main->MainEdit, "X");
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        main->SaveSettings();
        main->ShowForm(QStringLiteral("CreRec"));
        QTest::keyClicks(CreRecFrm->RecNameEdt, "new");
        QTest::mouseClick(CreRecFrm->CreateBtn, Qt::LeftButton);
        QCOMPARE(main->RecordPath(), QStringLiteral("./g/new.txt"));
        boxes.answer(kYes);
        main->DeleteRecordMnu->trigger();
        QVERIFY(!data.exists("g/new.txt"));
        QTest::mouseClick(main->RecordLst->viewport(), Qt::LeftButton, {},
                          main->RecordLst->visualItemRect(main->RecordLst->item(1)).center());
        QCOMPARE(main->RecordPath(), QStringLiteral("./g/b.txt"));
        QTest::keyClicks(main->MainEdit, "Y");
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        setCaret(main.main, 3);

        QSignalSpy resets(main->RecordLst->model(), &QAbstractItemModel::modelReset);
        QSignalSpy removed(main->RecordLst->model(), &QAbstractItemModel::rowsRemoved);
        QSignalSpy inserted(main->RecordLst->model(), &QAbstractItemModel::rowsInserted);
        const int relistings = main->diskFollower()->relistings();
        marker(data, main.main);
        QCOMPARE(resets.size(), 0);
        QCOMPARE(removed.size(), 0);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(main->diskFollower()->relistings(), relistings + 1);
        QCOMPARE(main->MainEdit->document()->toString(),
                 QStringLiteral("YXbravo one\nbravo two\n"));
        QCOMPARE(main->MainEdit->caret(), 3);
        QVERIFY(!main->StatusBar->currentMessage().contains(QStringLiteral("読み込み直しました")));
        QCOMPARE(notice(main.main), QString());
        QCOMPARE(boxes.texts().size(), 1); // the deletion's question
    }

    void nothingChangesInTheMiddleOfACommand() {
        // The folder dialog browses by changing the working directory: what
        // arrives meanwhile waits, and then shows as in the data folder.
        using namespace testing::savepath;
        DataFolder data;
        prepare(data);
        QDir(data.path()).mkpath("elsewhere/i");
        data.write("elsewhere/g/e.txt", "");
        Started main;
        ostrel::DiskFollower* follower = main->diskFollower();
        bool checked = false;
        whenShown([&] {
            doubleClick("elsewhere");
            QVERIFY(QDir::currentPath().endsWith("/elsewhere"));
            data.write("g/new.txt", "");
            QDir(data.path()).mkdir("j");
            const int waits = follower->waits();
            QTRY_VERIFY(follower->waits() > waits);
            QCOMPARE(items(main->RecordLst), QStringList({"a.txt", "b.txt", "c.txt"}));
            QCOMPARE(items(main->GroupCmb), QStringList({"elsewhere", "g", "h"}));
            checked = true;
            pressEsc();
        });
        main->MoveRecordPum->trigger();
        QVERIFY(checked);
        QTRY_COMPARE(items(main->RecordLst), QStringList({"a.txt", "b.txt", "c.txt", "new.txt"}));
        QTRY_COMPARE(items(main->GroupCmb), QStringList({"elsewhere", "g", "h", "j"}));
        QCOMPARE(QDir::currentPath(), QDir(data.path()).canonicalPath());
    }

    void withoutWatchingTheWindowWorksAsBefore() {
        // The system gives no watcher (its limit reached): no error, and
        // the lists are read at the user's commands, as always.
        ostrel::fs::FolderWatch::limitWatchesForTesting(0);
        DataFolder data;
        prepare(data);
        BoxAnswerer boxes;
        Started main;
        QVERIFY(!main->diskFollower()->watching());
        QCOMPARE(boxes.seen().size(), 0);
        data.write("g/d.txt", "");
        QTest::keyClick(main->GroupCmb, Qt::Key_Down);
        QTest::keyClick(main->GroupCmb, Qt::Key_Up);
        QCOMPARE(items(main->RecordLst), QStringList({"a.txt", "b.txt", "c.txt", "d.txt"}));
        QTest::keyClicks(main->MainEdit, "X");
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(data.read("g/b.txt"), QByteArray("Xbravo one\nbravo two\n"));
        QCOMPARE(boxes.seen().size(), 0);
    }
};

#include "TestMain.h"
OSTREL_TEST_MAIN(FollowDiskTest)
#include "tst_followdisk.moc"
