// A record that another program changes, replaces or deletes while its edits
// wait in the editor: every save (the save button, the save asked for when
// another record is picked or the window is closed) asks before it overwrites
// the other program's file or makes a vanished one anew, No is the default,
// and the edits stay in the editor whatever the answer. A record nobody else
// touched saves without a question.
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"
#include "mainwindow/MainFrm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QStringEncoder>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing;

namespace {

const QString kYes = QStringLiteral("はい(&Y)");
const QString kNo = QStringLiteral("いいえ(&N)");
const QString kSaveQuestion = QStringLiteral("文書が変更されています。保存しますか？");
const QString kChangedQuestion =
    QStringLiteral("ファイル ./g/a.txt は、読み込んだ後に他のプログラムによって変更されています。"
                   "上書きして保存しますか？（「いいえ」を選ぶと保存しません）");
const QString kGoneQuestion =
    QStringLiteral("ファイル ./g/a.txt は、読み込んだ後に削除されたか移動されています。"
                   "新しく作成して保存しますか？（「いいえ」を選ぶと保存しません）");

QByteArray sjis(const QString& text) {
    return QStringEncoder("windows-31j").encode(text);
}

// The record: Shift_JIS with CRLF breaks, which a save must keep. What the
// other program writes has the same size.
const QByteArray kLoaded = sjis(QStringLiteral("あいう\r\n"));
const QByteArray kOther = "OTHER!\r\n";
const QByteArray kEdited = sjis(QStringLiteral("Xあいう\r\n"));

enum class Change { RewrittenInPlace, ReplacedByRename, Deleted };
enum class SaveBy { Button, PickingAnother, Closing };

void clickRecord(TMainFrm* f, const QString& name) {
    const QList<QListWidgetItem*> found = f->RecordLst->findItems(name, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(name));
    QTest::mouseClick(f->RecordLst->viewport(), Qt::LeftButton, {},
                      f->RecordLst->visualItemRect(found.first()).center());
}

QString selectedRecord(TMainFrm* f) {
    const QList<QListWidgetItem*> selected = f->RecordLst->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

// Group g with a.txt and b.txt; the window starts on b.txt.
void prepare(DataFolder& data) {
    data.write("g/a.txt", kLoaded);
    data.write("g/b.txt", "bravo\n");
    QByteArray settings = defaultSettingsFile();
    settings.replace("LAST DIRECTORY=\n", "LAST DIRECTORY=g\n");
    settings.replace("LAST DOCUMENT=\n", "LAST DOCUMENT=b.txt\n");
    data.write("Ostrel.ini", settings);
}

// Sets a file's modification time an hour back, long before any load.
void writtenAnHourAgo(const DataFolder& data, const QString& relative) {
    const time_t hourAgo = ::time(nullptr) - 3600;
    const struct timespec times[2] = {{hourAgo, 0}, {hourAgo, 0}};
    QCOMPARE(
        ::utimensat(AT_FDCWD, QFile::encodeName(data.absolute(relative)).constData(), times, 0), 0);
}

// a.txt loaded by a click and edited.
void loadAndEdit(TMainFrm* f) {
    clickRecord(f, "a.txt");
    QCOMPARE(f->RecordPath(), QStringLiteral("./g/a.txt"));
    f->MainEdit->setFocus();
    QTest::keyClicks(f->MainEdit, "X");
    QVERIFY(f->MainEdit->document()->isModified());
}

// What another program does to a.txt behind the window's back.
void changeBehindTheBack(const DataFolder& data, Change change) {
    const QByteArray path = QFile::encodeName(data.absolute("g/a.txt"));
    switch (change) {
    case Change::RewrittenInPlace: {
        // Same file, same size, and the modification time put back as it
        // was: only the content tells.
        struct stat before;
        QCOMPARE(::stat(path.constData(), &before), 0);
        const int fd = ::open(path.constData(), O_WRONLY);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, kOther.constData(), size_t(kOther.size())), ssize_t(kOther.size()));
        ::close(fd);
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
        struct stat after;
        QCOMPARE(::stat(path.constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_size, before.st_size);
        QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        break;
    }
    case Change::ReplacedByRename:
        // As editors save: a new file renamed over the old one.
        data.write("g/.a.txt.new", kOther);
        QCOMPARE(::rename(QFile::encodeName(data.absolute("g/.a.txt.new")).constData(),
                          path.constData()),
                 0);
        break;
    case Change::Deleted:
        QVERIFY(QFile::remove(data.absolute("g/a.txt")));
        break;
    }
}

// The user's save of the edits, answering Yes wherever the save of the edits
// is asked for and `overwrite` to the question about the other program's file.
void save(TMainFrm* f, SaveBy by, BoxAnswerer& boxes, const QString& overwrite) {
    switch (by) {
    case SaveBy::Button:
        boxes.answer(overwrite);
        QTest::mouseClick(f->SaveDataBtn, Qt::LeftButton);
        break;
    case SaveBy::PickingAnother:
        boxes.answer({kYes, overwrite});
        clickRecord(f, "b.txt");
        break;
    case SaveBy::Closing:
        boxes.answer({kYes, overwrite});
        QTest::mouseClick(f->ExitBtn, Qt::LeftButton);
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(SaveBy)

class ChangedElsewhereTest : public QObject {
    Q_OBJECT

private slots:
    void saveAsksBeforeOverwriting_data() {
        QTest::addColumn<Change>("change");
        QTest::addColumn<SaveBy>("by");
        QTest::addColumn<bool>("yes");
        const std::pair<const char*, Change> changes[] = {
            {"rewritten in place", Change::RewrittenInPlace},
            {"replaced by rename", Change::ReplacedByRename},
            {"deleted", Change::Deleted}};
        const std::pair<const char*, SaveBy> ways[] = {{"button", SaveBy::Button},
                                                       {"picking another", SaveBy::PickingAnother},
                                                       {"closing", SaveBy::Closing}};
        for (const auto& [changeName, change] : changes)
            for (const auto& [wayName, by] : ways)
                for (const bool yes : {false, true})
                    QTest::addRow("%s, %s, %s", changeName, wayName, yes ? "yes" : "no")
                        << change << by << yes;
    }

    void saveAsksBeforeOverwriting() {
        QFETCH(Change, change);
        QFETCH(SaveBy, by);
        QFETCH(bool, yes);
        DataFolder data;
        prepare(data);
        Started main;
        // Written just before it is loaded: a file whose modification time
        // cannot yet be trusted to change with its content.
        data.write("g/a.txt", kLoaded);
        loadAndEdit(main.main);
        changeBehindTheBack(data, change);

        BoxAnswerer boxes;
        save(main.main, by, boxes, yes ? kYes : kNo);
        const QString question = change == Change::Deleted ? kGoneQuestion : kChangedQuestion;
        QCOMPARE(boxes.texts().last(), question);
        QCOMPARE(boxes.texts().size(), by == SaveBy::Button ? 1 : 2);
        QCOMPARE(boxes.seen().last().defaultButton, kNo);
        QCOMPARE(boxes.pending(), 0);

        if (yes) {
            // The edits, in the record's own encoding and breaks.
            QCOMPARE(data.read("g/a.txt"), kEdited);
            QCOMPARE(main->isVisible(), by != SaveBy::Closing);
            if (by == SaveBy::PickingAnother)
                QCOMPARE(main->MainEdit->document()->toString(), QStringLiteral("bravo\n"));
            else if (by == SaveBy::Button)
                QVERIFY(!main->MainEdit->document()->isModified());
            return;
        }

        // Nothing written: the other program's file (or none) stays, and the
        // edits stay in the editor, still to be saved, with their record.
        QCOMPARE(data.exists("g/a.txt"), change != Change::Deleted);
        if (change != Change::Deleted)
            QCOMPARE(data.read("g/a.txt"), kOther);
        QVERIFY(main->isVisible());
        QCOMPARE(main->MainEdit->document()->toString(), QStringLiteral("Xあいう\n"));
        QVERIFY(main->MainEdit->document()->isModified());
        QVERIFY(main->SaveDataBtn->isEnabled());
        QCOMPARE(main->RecordPath(), QStringLiteral("./g/a.txt"));
        // The record is selected again, or nothing when the list, read again
        // for the pick, no longer holds it: another record selected would
        // pass for the one edited.
        const bool unlisted = change == Change::Deleted && by == SaveBy::PickingAnother;
        QCOMPARE(selectedRecord(main.main), unlisted ? QString() : QStringLiteral("a.txt"));

        // Saved later, the question comes again rather than the file being
        // overwritten without one.
        BoxAnswerer again;
        save(main.main, SaveBy::Button, again, kYes);
        QCOMPARE(again.texts(), QStringList{question});
        QCOMPARE(data.read("g/a.txt"), kEdited);
        QVERIFY(!main->MainEdit->document()->isModified());
    }

    void changedWhileAnotherQuestionWaits() {
        // The question about characters Shift-JIS cannot hold waits for the
        // user as long as they like; the other program rewrites the record
        // meanwhile. The save that follows Yes still asks before overwriting.
        DataFolder data;
        prepare(data);
        Started main;
        loadAndEdit(main.main);
        commitText(main->MainEdit, QStringLiteral("😀"));

        BoxAnswerer boxes;
        QString encodingQuestion;
        QTimer whileAsked;
        QObject::connect(&whileAsked, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || !encodingQuestion.isEmpty())
                return;
            encodingQuestion = box->text();
            data.write("g/a.txt", "rewritten by another program\n");
            boxes.answer(kNo);
            for (QAbstractButton* b : box->buttons())
                if (b->text() == kYes)
                    QTest::mouseClick(b, Qt::LeftButton);
        });
        whileAsked.start(10);
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QVERIFY(encodingQuestion.startsWith(
            QStringLiteral("この文書には Shift-JIS で保存できない文字")));
        QCOMPARE(boxes.texts(), QStringList{kChangedQuestion});
        QCOMPARE(data.read("g/a.txt"), QByteArray("rewritten by another program\n"));
        QCOMPARE(main->MainEdit->document()->toString(), QStringLiteral("X😀あいう\n"));
        QVERIFY(main->MainEdit->document()->isModified());

        // Saved with Yes to both, the edits are written in UTF-8.
        BoxAnswerer again;
        again.answer({kYes, kYes});
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(data.read("g/a.txt"), QStringLiteral("X😀あいう\r\n").toUtf8());
    }

    void rewrittenInPlaceJustAfterASave() {
        // Loaded long after it was written, so only the save that follows
        // can tell what the file's content was.
        DataFolder data;
        prepare(data);
        writtenAnHourAgo(data, "g/a.txt");
        Started main;
        loadAndEdit(main.main);
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(data.read("g/a.txt"), kEdited);
        QTest::keyClicks(main->MainEdit, "Y");
        changeBehindTheBack(data, Change::RewrittenInPlace);
        const QByteArray other = data.read("g/a.txt");
        QVERIFY(other != kEdited);

        BoxAnswerer boxes;
        save(main.main, SaveBy::Button, boxes, kNo);
        QCOMPARE(boxes.texts(), QStringList{kChangedQuestion});
        QCOMPARE(data.read("g/a.txt"), other);
        QVERIFY(main->MainEdit->document()->isModified());
    }

    void untouchedRecordSavesWithoutAQuestion_data() {
        QTest::addColumn<bool>("fresh");
        QTest::newRow("written just before it was loaded") << true;
        QTest::newRow("written an hour before") << false;
    }

    void untouchedRecordSavesWithoutAQuestion() {
        QFETCH(bool, fresh);
        DataFolder data;
        prepare(data);
        Started main;
        data.write("g/a.txt", kLoaded);
        if (!fresh)
            writtenAnHourAgo(data, "g/a.txt");
        loadAndEdit(main.main);

        {
            // A stray question would be answered No and show in the texts.
            BoxAnswerer boxes;
            boxes.answer(kNo);
            QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
            QCOMPARE(data.read("g/a.txt"), kEdited);
            // Saved again at once, within the time the file system's clock
            // cannot tell apart.
            QTest::keyClicks(main->MainEdit, "Y");
            QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
            QCOMPARE(data.read("g/a.txt"), sjis(QStringLiteral("XYあいう\r\n")));
            QCOMPARE(boxes.texts(), QStringList());
        }
        // And on picking another record, only the save is asked about.
        BoxAnswerer boxes;
        boxes.answer({kYes, kNo});
        QTest::keyClicks(main->MainEdit, "Z");
        clickRecord(main.main, "b.txt");
        QCOMPARE(boxes.texts(), QStringList{kSaveQuestion});
        QCOMPARE(data.read("g/a.txt"), sjis(QStringLiteral("XYZあいう\r\n")));
        QCOMPARE(main->MainEdit->document()->toString(), QStringLiteral("bravo\n"));
    }
};

#include "TestMain.h"
OSTREL_TEST_MAIN(ChangedElsewhereTest)
#include "tst_changedelsewhere.moc"
