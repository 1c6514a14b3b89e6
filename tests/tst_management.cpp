// Deleting records and groups, copying and moving a record, copying a group:
// driven through the menus and pop-up items, the question boxes and the
// destination folder dialog, then checked on the widgets and on the disk.
#include "SavePathDriver.h"
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"

#include "mainwindow/MainFrm.h"
#include "os/Drives.h"
#include "store/RecordStore.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

using namespace testing;
using namespace testing::savepath;

namespace {

const QString Yes = QStringLiteral("はい(&Y)");
const QString No = QStringLiteral("いいえ(&N)");
const QString Cancel = QStringLiteral("キャンセル");
const QString kSaveQuestion = QStringLiteral("文書が変更されています。保存しますか？");

// The data folder every case starts from: groups A (two records and a file
// that is no record), B (one record) and C (empty).
void writeGroups(const DataFolder& data) {
    data.write("Ostrel.ini", defaultSettingsFile());
    data.write("A/a1.txt", "one");
    data.write("A/a2.txt", "two");
    data.write("A/notes.dat", "not listed");
    data.write("B/b1.txt", "bee");
    data.addGroup("C");
}

// Starts the program on the data folder: group A is shown and a1.txt loaded.
std::unique_ptr<Started> start() {
    return std::make_unique<Started>();
}

void makeReadOnly(const QString& path) {
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

void typeIntoEditor(TMainFrm* frm) {
    frm->MainEdit->setFocus();
    QTest::keyClicks(frm->MainEdit, "edited ");
}

// What the user's trash holds (under the test's XDG_DATA_HOME): each entry's
// name with its bytes (a folder: its file names), and the original path its
// information file gives.
struct Trashed {
    QStringList names;
    QStringList paths;
};
Trashed trashOf(const DataFolder& data) {
    Trashed t;
    const QString trash = data.dataHome() + "/Trash";
    t.names = QDir(trash + "/files")
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : t.names) {
        QFile info(trash + "/info/" + name + ".trashinfo");
        if (!info.open(QIODevice::ReadOnly))
            return {};
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("Path="))
                t.paths.append(QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(5))));
    }
    return t;
}
QByteArray trashedBytes(const DataFolder& data, const QString& name) {
    QFile f(data.dataHome() + "/Trash/files/" + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

// The state a deletion leaves the editor and the record commands in.
void verifyEditorReset(TMainFrm* frm) {
    QCOMPARE(frm->MainEdit->document()->toString(), QString());
    QVERIFY(!frm->MainEdit->isEnabled());
    QVERIFY(!frm->MainEdit->document()->isModified());
    QVERIFY(!frm->SaveDataBtn->isEnabled());
    QVERIFY(!frm->DeleteRecordMnu->isEnabled());
    QVERIFY(!frm->DeleteRecBtn->isEnabled());
}

// Files whose names are bytes that are not UTF-8, as an old archive leaves them.
void writeRaw(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    ::close(fd);
}

QByteArray readRaw(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return "(missing)";
    char buf[256];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    return QByteArray(buf, int(qMax<ssize_t>(n, 0)));
}

bool hasSelection(const QListWidget* list) {
    return !list->selectedItems().isEmpty();
}

} // namespace

class Management : public QObject {
    Q_OBJECT

private slots:
    void init() { ostrel::drives::forgetCurrentDirectories(); }

    // --- deleting the loaded record -------------------------------------------------

    void deleteRecord_data() {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<bool>("edited");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("answer");
        QTest::newRow("menu, yes") << "menu" << false << false << Yes;
        QTest::newRow("tool button, edited, yes") << "button" << true << false << Yes;
        QTest::newRow("pop-up, read-only, yes") << "popup" << false << true << Yes;
        QTest::newRow("menu, edited, no") << "menu" << true << false << No;
        QTest::newRow("pop-up, no") << "popup" << false << false << No;
    }

    void deleteRecord() {
        QFETCH(QString, trigger);
        QFETCH(bool, edited);
        QFETCH(bool, readOnly);
        QFETCH(QString, answer);
        DataFolder data;
        writeGroups(data);
        if (readOnly)
            makeReadOnly(data.absolute("A/a1.txt"));
        auto w = start();
        TMainFrm* frm = w->main;
        QCOMPARE(frm->RecordPath(), QStringLiteral("./A/a1.txt"));
        QVERIFY(frm->DeleteRecBtn->isEnabled());
        if (edited)
            typeIntoEditor(frm);

        BoxAnswerer boxes;
        boxes.answer({answer, "OK"});
        if (trigger == "menu")
            frm->DeleteRecordMnu->trigger();
        else if (trigger == "button")
            QTest::mouseClick(frm->DeleteRecBtn, Qt::LeftButton);
        else
            frm->DeleteRecordPum2->trigger();

        QVERIFY(!boxes.seen().isEmpty());
        QCOMPARE(boxes.seen()[0].title, QStringLiteral("情報"));
        QCOMPARE(boxes.seen()[0].buttons, (QStringList{Yes, No}));
        QCOMPARE(boxes.seen()[0].text,
                 edited ? QStringLiteral("編集中のレコードを削除します。 よろしいですか？")
                        : QStringLiteral("展開中のレコードを削除します。 よろしいですか？"));

        if (answer != Yes) {
            QCOMPARE(boxes.seen().size(), 1);
            QVERIFY(data.exists("A/a1.txt"));
            QCOMPARE(frm->MainEdit->document()->isModified(), edited);
            QVERIFY(frm->MainEdit->document()->toString().endsWith("one"));
            QVERIFY(frm->DeleteRecordMnu->isEnabled());
            QCOMPARE(frm->GroupIndex, 0);
            return;
        }

        if (readOnly) {
            QCOMPARE(boxes.texts().value(1), QStringLiteral("削除に失敗しました"));
            QCOMPARE(data.read("A/a1.txt"), QByteArray("one"));
            QCOMPARE(items(frm->RecordLst), (QStringList{"a1.txt", "a2.txt"}));
            QCOMPARE(trashOf(data).names, QStringList());
        } else {
            QCOMPARE(boxes.seen().size(), 1);
            QVERIFY(!data.exists("A/a1.txt"));
            QCOMPARE(items(frm->RecordLst), QStringList{"a2.txt"});
            // Kept where the user can get it back, as saved.
            const Trashed trash = trashOf(data);
            QCOMPARE(trash.names, QStringList{"a1.txt"});
            QCOMPARE(trash.paths, QStringList{data.absolute("A/a1.txt")});
            QCOMPARE(trashedBytes(data, "a1.txt"), QByteArray("one"));
        }
        QVERIFY(!hasSelection(frm->RecordLst));
        verifyEditorReset(frm);
        QCOMPARE(frm->GroupIndex, -1);
        QCOMPARE(frm->RecordIndex, -1);
        QCOMPARE(frm->RecordPath(), QStringLiteral("./A/a1.txt"));
        QCOMPARE(frm->RecordName(), QStringLiteral("a1.txt"));
    }

    // --- deleting a group -----------------------------------------------------------------

    void lastGroupIsNotDeleted() {
        DataFolder data;
        data.write("Ostrel.ini", defaultSettingsFile());
        data.write("A/a1.txt", "one");
        auto w = start();
        BoxAnswerer boxes;
        boxes.answer("OK");
        w->main->DeleteGroupMnu->trigger();
        QCOMPARE(boxes.texts(), QStringList{"グループは一つ以上必要なので削除する事ができません"});
        QCOMPARE(boxes.seen()[0].buttons, QStringList{"OK"});
        QCOMPARE(data.read("A/a1.txt"), QByteArray("one"));
        QCOMPARE(w->main->MainEdit->document()->toString(), QStringLiteral("one"));
    }

    void deleteTheLoadedRecordsGroup_data() {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QByteArray>("trashed"); // a1.txt as it lies in the trash
        QTest::newRow("no edits") << false << QStringList{Yes} << QByteArray("one");
        // Unsaved edits are asked about before the group question.
        QTest::newRow("edits saved first")
            << true << QStringList{Yes, Yes} << QByteArray("edited one");
        QTest::newRow("edits dropped") << true << QStringList{No, Yes} << QByteArray("one");
        QTest::newRow("cancel keeps the group") << true << QStringList{Cancel} << QByteArray();
    }

    void deleteTheLoadedRecordsGroup() {
        QFETCH(bool, edited);
        QFETCH(QStringList, answers);
        QFETCH(QByteArray, trashed);
        DataFolder data;
        writeGroups(data);
        auto w = start();
        TMainFrm* frm = w->main;
        if (edited)
            typeIntoEditor(frm);

        BoxAnswerer boxes;
        boxes.answer(answers);
        frm->DeleteGroupPum1->trigger();

        const QString groupQuestion =
            "削除するグループ内のレコードを展開中ですが。削除してもよろしいですか？";
        QStringList asked = edited ? QStringList{kSaveQuestion} : QStringList();
        if (!trashed.isEmpty())
            asked.append(groupQuestion);
        QCOMPARE(boxes.texts(), asked);
        if (!trashed.isEmpty())
            QCOMPARE(boxes.seen().last().title, QStringLiteral("警告"));
        if (trashed.isEmpty()) {
            QCOMPARE(data.read("A/a1.txt"), QByteArray("one"));
            QCOMPARE(frm->MainEdit->document()->toString(), QStringLiteral("edited one"));
            QVERIFY(frm->MainEdit->document()->isModified());
            QVERIFY(frm->MainEdit->isEnabled());
            QCOMPARE(items(frm->GroupCmb), (QStringList{"A", "B", "C"}));
            return;
        }
        QVERIFY(!QFileInfo::exists(data.absolute("A")));
        // The group lies in the trash whole, with the edits saved when asked.
        QCOMPARE(trashOf(data).names, QStringList{"A"});
        QCOMPARE(trashOf(data).paths, QStringList{data.absolute("A")});
        QCOMPARE(trashedBytes(data, "A/a1.txt"), trashed);
        QCOMPARE(trashedBytes(data, "A/a2.txt"), QByteArray("two"));
        QCOMPARE(items(frm->GroupCmb), (QStringList{"B", "C"}));
        QCOMPARE(frm->GroupCmb->currentText(), QStringLiteral("B"));
        QCOMPARE(items(frm->RecordLst), QStringList{"b1.txt"});
        QVERIFY(!hasSelection(frm->RecordLst));
        verifyEditorReset(frm);
        QCOMPARE(frm->RecordPath(), QStringLiteral("./A/a1.txt"));
    }

    // A group other than the loaded record's goes without touching the
    // editor: its record, unsaved edits and all, stays shown and saves.
    void deleteAnotherGroupKeepsTheEdits() {
        DataFolder data;
        writeGroups(data);
        auto w = start();
        TMainFrm* frm = w->main;
        typeIntoEditor(frm);
        frm->GroupCmb->setCurrentIndex(1); // the user shows group B

        BoxAnswerer boxes;
        boxes.answer(Yes);
        frm->DeleteGroupMnu->trigger();
        QCOMPARE(boxes.texts(), QStringList{"グループを内容ごと全て削除します。よろしいですか？"});
        QVERIFY(!QFileInfo::exists(data.absolute("B")));
        QCOMPARE(items(frm->GroupCmb), (QStringList{"A", "C"}));
        QCOMPARE(frm->GroupCmb->currentText(), QStringLiteral("A"));
        QCOMPARE(frm->RecordLst->currentItem()->text(), QStringLiteral("a1.txt"));
        QVERIFY(hasSelection(frm->RecordLst));
        QCOMPARE(frm->MainEdit->document()->toString(), QStringLiteral("edited one"));
        QVERIFY(frm->MainEdit->isEnabled());
        QVERIFY(frm->MainEdit->document()->isModified());
        QVERIFY(frm->DeleteRecordMnu->isEnabled());
        QTest::mouseClick(frm->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(data.read("A/a1.txt"), QByteArray("edited one"));
        QCOMPARE(boxes.seen().size(), 1);
    }

    void deleteAnotherGroupAnsweredNo() {
        DataFolder data;
        writeGroups(data);
        auto w = start();
        TMainFrm* frm = w->main;
        frm->GroupCmb->setCurrentIndex(1); // the user shows group B

        BoxAnswerer boxes;
        boxes.answer(No);
        frm->DeleteGroupMnu->trigger();
        QCOMPARE(boxes.texts(), QStringList{"グループを内容ごと全て削除します。よろしいですか？"});
        QCOMPARE(data.read("B/b1.txt"), QByteArray("bee"));
        QCOMPARE(items(frm->RecordLst), QStringList{"b1.txt"});
        QCOMPARE(frm->MainEdit->document()->toString(), QStringLiteral("one"));
        QVERIFY(frm->MainEdit->isEnabled());
    }

    void groupThatResistsIsKeptWhole() {
        // A group holding a read-only file or a folder is not deleted at all:
        // the failure is reported and not one of its files is gone.
        DataFolder data;
        writeGroups(data);
        data.write("B/.hidden", "h");
        data.write("B/locked.txt", "ro");
        data.write("B/sub/inner.txt", "in");
        makeReadOnly(data.absolute("B/locked.txt"));
        auto w = start();
        TMainFrm* frm = w->main;
        frm->GroupCmb->setCurrentIndex(1);

        BoxAnswerer boxes;
        boxes.answer({Yes, "OK"});
        frm->DeleteGroupMnu->trigger();
        QCOMPARE(boxes.texts(), (QStringList{"グループを内容ごと全て削除します。よろしいですか？",
                                             "エラー：グループを削除できませんでした"}));
        QCOMPARE(filesIn(data.absolute("B")), (QStringList{".hidden", "b1.txt", "locked.txt"}));
        QCOMPARE(data.read("B/b1.txt"), QByteArray("bee"));
        QCOMPARE(data.read("B/sub/inner.txt"), QByteArray("in"));
        QCOMPARE(trashOf(data).names, QStringList());
        QCOMPARE(items(frm->GroupCmb), (QStringList{"A", "B", "C"}));
        QCOMPARE(frm->GroupCmb->currentText(), QStringLiteral("A"));
        QCOMPARE(items(frm->RecordLst), (QStringList{"a1.txt", "a2.txt"}));
        // The loaded record, of another group, stays.
        QCOMPARE(frm->RecordLst->currentItem()->text(), QStringLiteral("a1.txt"));
        QCOMPARE(frm->MainEdit->document()->toString(), QStringLiteral("one"));
        QVERIFY(frm->MainEdit->isEnabled());
    }

    void linkedGroupIsRemovedAsALink() {
        // A group that is a link to a folder outside the data folder: the link
        // goes, and nothing in the folder it points to is touched.
        QTemporaryDir outside;
        const QString target = outside.path() + "/folder";
        QVERIFY(QDir().mkpath(target + "/sub"));
        const QStringList outsideFiles = {"notes.txt", ".bashrc", "photo.jpg", "sub/keep.txt"};
        for (const QString& name : outsideFiles) {
            QFile f(target + '/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(name.toUtf8());
        }
        DataFolder data;
        writeGroups(data);
        QVERIFY(QFile::link(target, data.absolute("linked")));
        auto w = start();
        TMainFrm* frm = w->main;
        frm->GroupCmb->setCurrentIndex(frm->GroupCmb->findText("linked"));
        QCOMPARE(items(frm->RecordLst), QStringList{"notes.txt"});

        BoxAnswerer boxes;
        boxes.answer(Yes);
        frm->DeleteGroupMnu->trigger();
        QCOMPARE(boxes.texts(), QStringList{"グループを内容ごと全て削除します。よろしいですか？"});
        QVERIFY(!QFileInfo(data.absolute("linked")).isSymLink());
        QVERIFY(!QFileInfo::exists(data.absolute("linked")));
        for (const QString& name : outsideFiles) {
            QFile f(target + '/' + name);
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(name));
            QCOMPARE(f.readAll(), name.toUtf8());
        }
        // A link is not kept: its target never enters the trash.
        QCOMPARE(trashOf(data).names, QStringList());
        QCOMPARE(items(frm->GroupCmb), (QStringList{"A", "B", "C"}));
    }

    void noGroupShownDeletesNothing() {
        DataFolder data;
        writeGroups(data);
        auto w = start();
        MainFrm->SelectGroup(-1);
        QCOMPARE(w->main->GroupCmb->currentText(), QString());
        BoxAnswerer boxes;
        boxes.answer("OK");
        w->main->DeleteGroupMnu->trigger();
        QCOMPARE(boxes.seen().size(), 1);
        QCOMPARE(boxes.seen()[0].buttons, QStringList{"OK"});
        for (const char* g : {"A", "B", "C"})
            QVERIFY(QFileInfo(data.absolute(g)).isDir());
        QCOMPARE(data.read("Ostrel.ini").isEmpty(), false);
    }

    void namesThatAreNotUtf8() {
        // "メモ.txt" in Shift-JIS bytes is shown decoded; bytes that no code
        // page reads are shown escaped. Either opens, saves, copies and is
        // deleted as its own file.
        DataFolder data;
        writeGroups(data);
        data.addGroup("S");
        const QByteArray group = QFile::encodeName(data.absolute("S")) + '/';
        const QByteArray memo = "\x83\x81\x83\x82.txt";
        writeRaw(group + memo, "sjis name");
        writeRaw(group + "\xff\xfe.txt", "escaped");
        auto w = start();
        TMainFrm* frm = w->main;
        frm->GroupCmb->setCurrentIndex(frm->GroupCmb->findText("S"));
        QCOMPARE(items(frm->RecordLst), (QStringList{"\\xFF\\xFE.txt", "メモ.txt"}));

        const auto pick = [&](const QString& name) {
            QListWidgetItem* item = frm->RecordLst->findItems(name, Qt::MatchExactly).value(0);
            QVERIFY(item);
            QTest::mouseClick(frm->RecordLst->viewport(), Qt::LeftButton, {},
                              frm->RecordLst->visualItemRect(item).center());
        };
        pick("\\xFF\\xFE.txt");
        QCOMPARE(frm->MainEdit->document()->toString(), QStringLiteral("escaped"));
        pick("メモ.txt");
        QCOMPARE(frm->MainEdit->document()->toString(), QStringLiteral("sjis name"));
        frm->MainEdit->setFocus();
        QTest::keyClicks(frm->MainEdit, "X");
        QTest::mouseClick(frm->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(readRaw(group + memo), QByteArray("Xsjis name"));
        QVERIFY(!data.exists("S/メモ.txt")); // no second file under a UTF-8 name

        BoxAnswerer boxes;
        whenShown([] {
            doubleClick("B");
            pressEnter();
        });
        frm->MoveRecordPum->trigger();
        QCOMPARE(boxes.seen().size(), 0);
        QCOMPARE(readRaw(QFile::encodeName(data.absolute("B")) + '/' + memo),
                 QByteArray("Xsjis name"));

        boxes.answer(Yes);
        frm->DeleteRecordMnu->trigger();
        QCOMPARE(readRaw(group + memo), QByteArray("(missing)"));
        QCOMPARE(readRaw(group + "\xff\xfe.txt"), QByteArray("escaped"));
    }

    // --- copying and moving the loaded record --------------------------------------------

    void moveIntoAnotherGroup_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QByteArray>("moved"); // B/a1.txt afterwards
        QTest::newRow("yes saves, then moves") << Yes << QByteArray("edited one");
        QTest::newRow("no drops the edits") << No << QByteArray("one");
        QTest::newRow("cancel stops the move") << QStringLiteral("キャンセル") << QByteArray();
    }

    // Unsaved edits are asked about before the record leaves its group.
    void moveIntoAnotherGroup() {
        QFETCH(QString, answer);
        QFETCH(QByteArray, moved);
        DataFolder data;
        writeGroups(data);
        auto w = start();
        TMainFrm* frm = w->main;
        typeIntoEditor(frm);

        BoxAnswerer boxes;
        boxes.answer(answer);
        bool chosen = false;
        if (!moved.isEmpty())
            whenShown([&] {
                chosen = true;
                doubleClick("B");
                pressEnter();
            });
        frm->MoveRecordPum2->trigger();

        QCOMPARE(boxes.texts(), QStringList{"文書が変更されています。保存しますか？"});
        QCOMPARE(QDir::currentPath(), data.path());
        if (moved.isEmpty()) {
            QVERIFY(!chosen);
            QCOMPARE(data.read("A/a1.txt"), QByteArray("one"));
            QVERIFY(!data.exists("B/a1.txt"));
            QCOMPARE(frm->MainEdit->document()->toString(), QStringLiteral("edited one"));
            QVERIFY(frm->MainEdit->document()->isModified());
            QCOMPARE(frm->RecordPath(), QStringLiteral("./A/a1.txt"));
            return;
        }
        QVERIFY(chosen);
        QCOMPARE(frm->SaveDir, data.path() + "/B/");
        QCOMPARE(data.read("B/a1.txt"), moved);
        QVERIFY(!data.exists("A/a1.txt"));
        // The copy is in place: the source is not kept in the trash.
        QCOMPARE(trashOf(data).names, QStringList());
        QCOMPARE(items(frm->RecordLst), QStringList{"a2.txt"});
        verifyEditorReset(frm);
        QCOMPARE(frm->GroupIndex, -1);
    }

    void copyReplacesTheDestinationFile() {
        DataFolder data;
        writeGroups(data);
        data.write("B/a1.txt", "old");
        auto w = start();
        TMainFrm* frm = w->main;

        BoxAnswerer boxes;
        whenShown([] {
            doubleClick("B");
            pressEnter();
        });
        frm->MoveRecordPum->trigger();

        QCOMPARE(boxes.seen().size(), 0);
        QCOMPARE(data.read("B/a1.txt"), QByteArray("one"));
        QCOMPARE(data.read("A/a1.txt"), QByteArray("one"));
        QCOMPARE(filesIn(data.absolute("B")), (QStringList{"a1.txt", "b1.txt"}));
        // The replaced file is kept in the trash, whole.
        QCOMPARE(trashOf(data).names, QStringList{"a1.txt"});
        QCOMPARE(trashOf(data).paths, QStringList{data.absolute("B/a1.txt")});
        QCOMPARE(trashedBytes(data, "a1.txt"), QByteArray("old"));
        QCOMPARE(QDir::currentPath(), data.path());
        QCOMPARE(frm->MainEdit->document()->toString(), QStringLiteral("one"));
        QVERIFY(frm->MainEdit->isEnabled());
        QVERIFY(frm->DeleteRecordMnu->isEnabled());
    }

    void unlistedDestinationIsTold_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("where");    // "data": the data folder, "out": a folder outside
        QTest::addColumn<bool>("throughLink"); // out holds a link to group B, opened
        QTest::addColumn<QString>("told");     // the message's path, relative to `where`
        // A single click only highlights: the opened folder (the data folder
        // itself) is taken, and the record lands beside Ostrel.ini.
        QTest::newRow("move, a group only highlighted") << "MoveRecordPum2"
                                                        << "data" << false << "a1.txt";
        QTest::newRow("copy outside") << "MoveRecordPum"
                                      << "out" << false << "a1.txt";
        QTest::newRow("group copy outside") << "FixGroupPum"
                                            << "out" << false << "";
        QTest::newRow("copy into a group through a link") << "MoveRecordPum"
                                                          << "out" << true << QString();
    }

    // Copied or moved into a folder that is no group, a record is shown in no
    // list: the user is told where it went.
    void unlistedDestinationIsTold() {
        QFETCH(QString, item);
        QFETCH(QString, where);
        QFETCH(bool, throughLink);
        QFETCH(QString, told);
        DataFolder data;
        writeGroups(data);
        QTemporaryDir out;
        QVERIFY(QFile::link(data.absolute("B"), out.path() + "/toB"));
        const QString folder = where == "data" ? data.path() : out.path();
        auto w = start();
        TMainFrm* frm = w->main;

        BoxAnswerer boxes;
        boxes.answer("OK");
        whenShown([&] {
            if (where == "data") {
                click("B");
            } else {
                // Up to the folder that holds both, then down into the other one.
                doubleClickPath(QFileInfo(data.path()).path());
                doubleClick(QFileInfo(out.path()).fileName());
                if (throughLink)
                    doubleClick("toB");
            }
            pressEnter();
        });
        frm->findChild<QAction*>(item)->trigger();
        QCOMPARE(QDir::currentPath(), data.path());
        if (told.isNull()) {
            QCOMPARE(boxes.seen().size(), 0);
            QCOMPARE(data.read("B/a1.txt"), QByteArray("one"));
            return;
        }
        const QString path = told.isEmpty() ? folder : folder + '/' + told;
        QCOMPARE(boxes.texts(),
                 QStringList{QStringLiteral("レコードを %1 に%2しました。グループのフォルダではない"
                                            "ため、一覧には表示されません。")
                                 .arg(path, item == "MoveRecordPum2" ? "移動" : "コピー")});
        QCOMPARE(QFile(folder + "/a1.txt").size(), 3);
        if (item == "FixGroupPum")
            QCOMPARE(filesIn(folder), (QStringList{"a1.txt", "a2.txt"}));
        QCOMPARE(data.exists("A/a1.txt"), item != "MoveRecordPum2");
    }

    void recordOntoItselfIsKept_data() {
        QTest::addColumn<bool>("move");
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("copy into its group") << false << false;
        QTest::newRow("move into its group") << true << false;
        QTest::newRow("move through a link") << true << true;
    }

    void recordOntoItselfIsKept() {
        QFETCH(bool, move);
        QFETCH(bool, throughLink);
        DataFolder data;
        writeGroups(data);
        QFile::link(data.absolute("A"), data.absolute("B/toA"));
        auto w = start();
        TMainFrm* frm = w->main;

        BoxAnswerer boxes;
        boxes.answer("OK");
        whenShown([throughLink] {
            if (throughLink) {
                doubleClick("B");
                doubleClick("toA");
            } else {
                doubleClick("A");
            }
            pressEnter();
        });
        (move ? frm->MoveRecordPum2 : frm->MoveRecordPum)->trigger();

        QCOMPARE(boxes.texts(), QStringList{"コピーに失敗しました"});
        QCOMPARE(data.read("A/a1.txt"), QByteArray("one"));
        QCOMPARE(filesIn(data.absolute("A")), (QStringList{"a1.txt", "a2.txt", "notes.dat"}));
        QCOMPARE(QDir::currentPath(), data.path());
        QCOMPARE(frm->MainEdit->document()->toString(), QStringLiteral("one"));
        QVERIFY(frm->MainEdit->isEnabled());
        QCOMPARE(items(frm->RecordLst), (QStringList{"a1.txt", "a2.txt"}));
    }

    void moveOntoReadOnlyFileDeletesNothing() {
        DataFolder data;
        writeGroups(data);
        data.write("B/a1.txt", "old");
        makeReadOnly(data.absolute("B/a1.txt"));
        auto w = start();

        BoxAnswerer boxes;
        boxes.answer("OK");
        whenShown([] {
            doubleClick("B");
            pressEnter();
        });
        w->main->MoveRecordPum2->trigger();
        QCOMPARE(boxes.texts(), QStringList{"コピーに失敗しました"});
        QCOMPARE(data.read("B/a1.txt"), QByteArray("old"));
        QCOMPARE(data.read("A/a1.txt"), QByteArray("one"));
        QCOMPARE(filesIn(data.absolute("B")), (QStringList{"a1.txt", "b1.txt"}));
        QCOMPARE(QDir::currentPath(), data.path());
    }

    void cancelAfterBrowsingRestoresTheWorkingDirectory() {
        DataFolder data;
        writeGroups(data);
        auto w = start();
        BoxAnswerer boxes;
        QString during;
        whenShown([&] {
            doubleClick("B");
            during = QDir::currentPath();
            pressEsc();
        });
        w->main->MoveRecordPum2->trigger();
        QCOMPARE(during, data.path() + "/B");
        QCOMPARE(QDir::currentPath(), data.path());
        QCOMPARE(boxes.seen().size(), 0);
        QVERIFY(data.exists("A/a1.txt"));
        QCOMPARE(filesIn(data.absolute("B")), QStringList{"b1.txt"});
    }

    void copyAfterDeletingTheRecordFails() {
        DataFolder data;
        writeGroups(data);
        auto w = start();
        BoxAnswerer boxes;
        boxes.answer({Yes, "OK"});
        w->main->DeleteRecordMnu->trigger();
        whenShown([] {
            doubleClick("B");
            pressEnter();
        });
        w->main->MoveRecordPum->trigger();
        QCOMPARE(boxes.texts().value(1), QStringLiteral("コピーに失敗しました"));
        QCOMPARE(QDir::currentPath(), data.path());
        QCOMPARE(filesIn(data.absolute("B")), QStringList{"b1.txt"});
    }

    void copiesNeedALoadedRecord_data() {
        QTest::addColumn<QString>("item");
        QTest::newRow("record copy") << "MoveRecordPum";
        QTest::newRow("record move") << "MoveRecordPum2";
        QTest::newRow("group copy") << "FixGroupPum";
    }

    void copiesNeedALoadedRecord() {
        QFETCH(QString, item);
        DataFolder data;
        data.write("Ostrel.ini", defaultSettingsFile());
        data.addGroup("A"); // the first group, without records: nothing is loaded
        data.write("B/b1.txt", "bee");
        auto w = start();
        QCOMPARE(w->main->RecordPath(), QString());

        BoxAnswerer boxes;
        boxes.answer("OK");
        bool shown = false;
        whenShown([&] {
            shown = true;
            pressEsc();
        });
        w->main->findChild<QAction*>(item)->trigger();
        QCOMPARE(boxes.texts(), QStringList{"ファイルを選択してください"});
        QVERIFY(!shown);
        QCOMPARE(QDir::currentPath(), data.path());
    }

    // --- copying a group ----------------------------------------------------------------------

    void copyGroup() {
        DataFolder data;
        writeGroups(data);
        data.write("B/a1.txt", "old");
        auto w = start();
        TMainFrm* frm = w->main;

        BoxAnswerer boxes;
        whenShown([] {
            doubleClick("B");
            pressEnter();
        });
        frm->FixGroupPum->trigger();
        QCOMPARE(boxes.seen().size(), 0);
        QCOMPARE(filesIn(data.absolute("B")), (QStringList{"a1.txt", "a2.txt", "b1.txt"}));
        QCOMPARE(data.read("B/a1.txt"), QByteArray("one"));
        QCOMPARE(data.read("B/a2.txt"), QByteArray("two"));
        QCOMPARE(frm->GroupCmb->currentText(), QStringLiteral("A"));
        QCOMPARE(items(frm->RecordLst), (QStringList{"a1.txt", "a2.txt"}));
        QCOMPARE(QDir::currentPath(), data.path());
    }

    void groupCopyStopsAtTheFirstFailure_data() {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("inB");
        QTest::newRow("read-only file on the way")
            << "B"
            << "コピーに失敗しました : a2.txt" << QStringList{"a1.txt", "a2.txt", "b1.txt"};
        QTest::newRow("into its own folder")
            << "A"
            << "コピーに失敗しました : a1.txt" << QStringList{"a2.txt", "b1.txt"};
    }

    void groupCopyStopsAtTheFirstFailure() {
        QFETCH(QString, destination);
        QFETCH(QString, message);
        QFETCH(QStringList, inB);
        DataFolder data;
        writeGroups(data);
        data.write("A/a3.txt", "three");
        data.write("B/a2.txt", "old");
        makeReadOnly(data.absolute("B/a2.txt"));
        auto w = start();

        BoxAnswerer boxes;
        boxes.answer("OK");
        whenShown([destination] {
            doubleClick(destination);
            pressEnter();
        });
        w->main->FixGroupPum->trigger();
        QCOMPARE(boxes.texts(), QStringList{message});
        QCOMPARE(filesIn(data.absolute("B")), inB);
        QCOMPARE(data.read("B/a2.txt"), QByteArray("old"));
        QCOMPARE(filesIn(data.absolute("A")),
                 (QStringList{"a1.txt", "a2.txt", "a3.txt", "notes.dat"}));
        QCOMPARE(data.read("A/a1.txt"), QByteArray("one"));
        QCOMPARE(QDir::currentPath(), data.path());
    }

    void copyingAnEmptyGroupCopiesNothing() {
        DataFolder data;
        writeGroups(data);
        auto w = start();
        w->main->GroupCmb->setCurrentIndex(2); // the user shows the empty group C
        QCOMPARE(w->main->RecordLst->count(), 0);

        BoxAnswerer boxes;
        whenShown([] {
            doubleClick("B");
            pressEnter();
        });
        w->main->FixGroupPum->trigger();
        QCOMPARE(boxes.seen().size(), 0);
        QCOMPARE(filesIn(data.absolute("B")), QStringList{"b1.txt"});
        QCOMPARE(QDir::currentPath(), data.path());
    }
};

QTEST_MAIN(Management)
#include "tst_management.moc"
