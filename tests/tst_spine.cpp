// The main window's spine: start-up, picking records and groups, editing,
// saving with the record's own encoding, the unsaved-changes question, closing.
#include "TestSupport.h"
#include "dialogs/CreRecUnit.h"
#include "editor/Document.h"
#include "editor/TextView.h"
#include "mainwindow/MainFrm.h"
#include "store/RecordStore.h"

#include <QDateTime>
#include <QInputMethodEvent>
#include <QStringEncoder>
#include <QTest>
#include <QTextLayout>

#include <sys/stat.h>

using namespace testing;

namespace {

const QString kYes = QString::fromUtf8("はい(&Y)");
const QString kNo = QString::fromUtf8("いいえ(&N)");
const QString kCancel = QString::fromUtf8("キャンセル");
const QString kSaveQuestion = QString::fromUtf8("文書が変更されています。保存しますか？");

QByteArray settings(const QByteArray& lastGroup, const QByteArray& lastRecord) {
    QByteArray s = defaultSettingsFile();
    s.replace("LAST DIRECTORY=\n", "LAST DIRECTORY=" + lastGroup + "\n");
    s.replace("LAST DOCUMENT=\n", "LAST DOCUMENT=" + lastRecord + "\n");
    return s;
}

void clickRecord(TMainFrm* f, const QString& name) {
    const QList<QListWidgetItem*> found = f->RecordLst->findItems(name, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(name));
    const QRect r = f->RecordLst->visualItemRect(found.first());
    QTest::mouseClick(f->RecordLst->viewport(), Qt::LeftButton, {}, r.center());
}

QString selectedRecord(TMainFrm* f) {
    const QList<QListWidgetItem*> selected = f->RecordLst->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void type(TMainFrm* f, const QString& text) {
    f->MainEdit->setFocus();
    QTest::keyClicks(f->MainEdit, text);
}

// Turns a record's file into one the program must refuse: a named pipe, or
// a (sparse) file larger than the program opens.
void makeHostile(const QString& path, const QString& kind) {
    QFile::remove(path);
    if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        return;
    }
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.resize(ostrel::store::recordSizeLimit() + 1));
}

QByteArray sjis(const char* utf8) {
    return QStringEncoder("windows-31j").encode(QString::fromUtf8(utf8));
}

// Two groups: "g" with a.txt and b.txt, "h" with c.txt.
void twoGroups(DataFolder& data, const QByteArray& lastGroup = "g",
               const QByteArray& lastRecord = "a.txt") {
    data.write("g/a.txt", "alpha\n");
    data.write("g/b.txt", "bravo\n");
    data.write("h/c.txt", "charlie\n");
    data.write("Ostrel.ini", settings(lastGroup, lastRecord));
}

} // namespace

class SpineTest : public QObject {
    Q_OBJECT

private slots:
    void startsOnTheLastGroupAndRecord() {
        DataFolder data;
        twoGroups(data, "g", "b.txt");
        Started main;
        QCOMPARE(main->GroupCmb->currentText(), QString("g"));
        QCOMPARE(selectedRecord(main.main), QString("b.txt"));
        QCOMPARE(main->MainEdit->document()->toString(), QString("bravo\n"));
        QCOMPARE(main->RecordPath(), QString("./g/b.txt"));
        QCOMPARE(main->RecordName(), QString("b.txt"));
        QCOMPARE(main->GroupIndex, 0);
        QCOMPARE(main->RecordIndex, 1);
        QVERIFY(main->DeleteRecordMnu->isEnabled());
        QVERIFY(main->DeleteRecBtn->isEnabled());
        QVERIFY(!main->SaveDataBtn->isEnabled());
        QVERIFY(main->MainEdit->isEnabled());
        QVERIFY(!main->Starting);
    }

    void unknownLastNamesSelectTheFirst() {
        DataFolder data;
        twoGroups(data, "deleted group", "b.txt");
        Started main;
        QCOMPARE(main->GroupCmb->currentText(), QString("g"));
        QCOMPARE(selectedRecord(main.main), QString("b.txt"));
    }

    void missingLastDocumentSelectsTheFirstRecord() {
        DataFolder data;
        twoGroups(data, "h", "");
        data.write("Ostrel.ini",
                   QByteArray("[OSTREL2 for Windows98 ApplicationSettingData]\nSUPPORT "
                              "EXPC=*.txt/\nLAST DIRECTORY=h\n"));
        Started main;
        QCOMPARE(selectedRecord(main.main), QString("c.txt"));
    }

    void groupWithoutRecordsDisablesTheEditor() {
        DataFolder data;
        data.addGroup("empty");
        data.write("Ostrel.ini", settings("empty", ""));
        Started main;
        QCOMPARE(main->RecordLst->count(), 0);
        QVERIFY(!main->MainEdit->isEnabled());
        QVERIFY(!main->DeleteRecordMnu->isEnabled());
        QVERIFY(!main->DeleteRecBtn->isEnabled());
        QCOMPARE(main->RecordPath(), QString());
    }

    void typingEnablesSaveAndSavingWrites() {
        DataFolder data;
        twoGroups(data);
        Started main;
        type(main.main, "X");
        QVERIFY(main->SaveDataBtn->isEnabled());
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QVERIFY(!main->SaveDataBtn->isEnabled());
        QVERIFY(!main->MainEdit->document()->isModified());
        QCOMPARE(data.read("g/a.txt"), QByteArray("Xalpha\n"));
    }

    void pickingAnotherRecordAsksAboutEdits_data() {
        QTest::addColumn<QString>("answer");
        QTest::newRow("yes") << kYes;
        QTest::newRow("no") << kNo;
        QTest::newRow("cancel") << kCancel;
        QTest::newRow("closed") << QString();
    }
    void pickingAnotherRecordAsksAboutEdits() {
        QFETCH(QString, answer);
        DataFolder data;
        twoGroups(data);
        Started main;
        type(main.main, "edit ");
        // Show group h first: no question, the edits stay.
        QTest::keyClick(main->GroupCmb, Qt::Key_Down);
        QCOMPARE(main->GroupCmb->currentText(), QString("h"));
        QCOMPARE(main->MainEdit->document()->toString(), QString("edit alpha\n"));
        QCOMPARE(main->RecordPath(), QString("./g/a.txt"));

        BoxAnswerer boxes;
        boxes.answer(answer);
        clickRecord(main.main, "c.txt");
        QCOMPARE(boxes.texts(), QStringList{kSaveQuestion});
        QCOMPARE(boxes.seen().first().title, QString::fromUtf8("情報"));
        QCOMPARE(boxes.seen().first().buttons, QStringList({kYes, kNo, kCancel}));
        if (answer == kYes || answer == kNo) {
            QCOMPARE(main->MainEdit->document()->toString(), QString("charlie\n"));
            QCOMPARE(main->RecordPath(), QString("./h/c.txt"));
            QCOMPARE(main->GroupIndex, 1);
            QCOMPARE(main->RecordIndex, 0);
            QCOMPARE(data.read("g/a.txt"), QByteArray(answer == kYes ? "edit alpha\n" : "alpha\n"));
            QVERIFY(!main->SaveDataBtn->isEnabled());
        } else {
            // Cancelled: the loaded record's group and record are shown again.
            QCOMPARE(main->GroupCmb->currentText(), QString("g"));
            QCOMPARE(selectedRecord(main.main), QString("a.txt"));
            QCOMPARE(main->MainEdit->document()->toString(), QString("edit alpha\n"));
            QVERIFY(main->MainEdit->document()->isModified());
            QVERIFY(main->SaveDataBtn->isEnabled());
            QCOMPARE(data.read("g/a.txt"), QByteArray("alpha\n"));
        }
    }

    void readOnlyRecordIsNotSaved() {
        DataFolder data;
        twoGroups(data);
        QFile::setPermissions(data.absolute("g/a.txt"), QFile::ReadOwner | QFile::ReadGroup);
        Started main;
        type(main.main, "X");
        BoxAnswerer boxes;
        boxes.answer("OK");
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(boxes.texts(),
                 QStringList{QString::fromUtf8("ファイル ./g/a.txt を作成できません.")});
        QCOMPARE(boxes.seen().first().title, QString("OSTREL"));
        QVERIFY(main->MainEdit->document()->isModified());
        QVERIFY(main->SaveDataBtn->isEnabled());
        QCOMPARE(data.read("g/a.txt"), QByteArray("alpha\n"));

        // The same failure in the question's Yes path stops the pick: the
        // clicked item is selected, the old record and its edits stay.
        boxes.answer({kYes, "OK"});
        clickRecord(main.main, "b.txt");
        QCOMPARE(boxes.texts().size(), 3);
        QCOMPARE(selectedRecord(main.main), QString("b.txt"));
        QCOMPARE(main->MainEdit->document()->toString(), QString("Xalpha\n"));
        QCOMPARE(main->RecordPath(), QString("./g/a.txt"));
        QVERIFY(main->MainEdit->document()->isModified());
    }

    void vanishedRecordShowsTheOpenError() {
        DataFolder data;
        twoGroups(data);
        Started main;
        type(main.main, "X");
        QFile::remove(data.absolute("g/b.txt"));
        BoxAnswerer boxes;
        boxes.answer({kNo, "OK"});
        clickRecord(main.main, "b.txt");
        QCOMPARE(
            boxes.texts(),
            QStringList({kSaveQuestion, QString::fromUtf8("ファイル ./g/b.txt は開けません.")}));
        // The editor keeps what it had, and still names the record it holds,
        // so a save cannot write this text over another file.
        QCOMPARE(main->MainEdit->document()->toString(), QString("Xalpha\n"));
        QCOMPARE(main->RecordPath(), QString("./g/a.txt"));
    }

    void recordsThatCannotBeHeldAreRefused_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("fifo") << "fifo" << QString::fromUtf8("ファイル ./g/b.txt は開けません.");
        QTest::newRow("too large")
            << "large"
            << QString::fromUtf8("ファイル ./g/b.txt は大きすぎるため開けません（開けるのは %1 MB "
                                 "まで）.")
                   .arg(ostrel::store::recordSizeLimit() >> 20);
    }

    void recordsThatCannotBeHeldAreRefused() {
        // A listed record replaced by a pipe, or one larger than the machine
        // can hold: a click shows the open error at once and the editor keeps
        // what it had.
        QFETCH(QString, kind);
        QFETCH(QString, message);
        DataFolder data;
        twoGroups(data);
        Started main;
        makeHostile(data.absolute("g/b.txt"), kind);
        BoxAnswerer boxes;
        boxes.answer("OK");
        clickRecord(main.main, "b.txt");
        QCOMPARE(boxes.texts(), QStringList{message});
        QCOMPARE(main->MainEdit->document()->toString(), QString("alpha\n"));
        QCOMPARE(main->RecordPath(), QString("./g/a.txt"));
    }

    void startGoesOnWhenTheLastRecordCannotBeHeld() {
        DataFolder data;
        twoGroups(data, "g", "b.txt");
        makeHostile(data.absolute("g/b.txt"), "large");
        BoxAnswerer boxes;
        boxes.answer("OK");
        Started main;
        QCOMPARE(boxes.seen().size(), 1);
        QVERIFY(main->isVisible());
        QVERIFY(!main->MainEdit->isEnabled());
        QCOMPARE(selectedRecord(main.main), QString("b.txt"));
        // The rest of the start ran: picking another record works.
        clickRecord(main.main, "a.txt");
        QCOMPARE(main->MainEdit->document()->toString(), QString("alpha\n"));
        QVERIFY(main->MainEdit->isEnabled());
    }

    void leftoversOfAKilledSaveAreClearedAtStart() {
        DataFolder data;
        twoGroups(data);
        // One of them named as an earlier version of the program named them.
        data.write("g/.~ostrel-save-a1b2c3.tmp", "half a record");
        data.write(".ostrel-save-d4e5f6", "half a settings file");
        const QDateTime old = QDateTime::currentDateTime().addSecs(-120);
        for (const char* name : {"g/.~ostrel-save-a1b2c3.tmp", ".ostrel-save-d4e5f6"}) {
            QFile f(data.absolute(name));
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        }
        Started main;
        QVERIFY(!data.exists("g/.~ostrel-save-a1b2c3.tmp"));
        QVERIFY(!data.exists(".ostrel-save-d4e5f6"));
    }

    void settingsFileThatIsAPipeDoesNotHang() {
        // The start reads the defaults instead of waiting for a writer.
        DataFolder data;
        twoGroups(data);
        QFile::remove(data.absolute("Ostrel.ini"));
        QCOMPARE(::mkfifo("Ostrel.ini", 0644), 0);
        Started main;
        QVERIFY(main->isVisible());
        QCOMPARE(main->GroupCmb->currentText(), QString("g"));
    }

    void savesInTheRecordsOwnEncoding() {
        DataFolder data;
        const QByteArray before = sjis("一行目\r\n二行目\r\n");
        data.write("g/a.txt", before);
        data.write("Ostrel.ini", settings("g", "a.txt"));
        Started main;
        QCOMPARE(main->MainEdit->document()->toString(), QString::fromUtf8("一行目\n二行目\n"));
        // Saved without an edit: byte for byte the same.
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton); // disabled: nothing happens
        main->SaveDataBtnClick();
        QCOMPARE(data.read("g/a.txt"), before);
        // An edit changes only what was edited.
        main->MainEdit->setFocus();
        main->MainEdit->setCaret(main->MainEdit->document()->length());
        commitText(main->MainEdit, QString::fromUtf8("三行目"));
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(data.read("g/a.txt"), sjis("一行目\r\n二行目\r\n三行目"));
    }

    // A no-break space and a line separator are characters of the record like
    // any other: a save keeps them, with or without an edit elsewhere.
    void savingKeepsEveryCharacter_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("utf-8 crlf") << QString::fromUtf8("a\u00a0b\r\nc\u2028d\r\n").toUtf8()
                                    << QString::fromUtf8("a\u00a0b\r\nc\u2028d\r\n追記").toUtf8();
        QTest::newRow("utf-8 lf") << QString::fromUtf8("\u00a0\n\u2028\n").toUtf8()
                                  << QString::fromUtf8("\u00a0\n\u2028\n追記").toUtf8();
        QTest::newRow("mixed breaks") << QString::fromUtf8("\u00a0\r\n\u2028\n").toUtf8()
                                      << QString::fromUtf8("\u00a0\r\n\u2028\n追記").toUtf8();
    }
    void savingKeepsEveryCharacter() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        DataFolder data;
        data.write("g/a.txt", before);
        data.write("Ostrel.ini", settings("g", "a.txt"));
        Started main;
        main->MainEdit->document()->setModified(true);
        main->SaveDataBtnClick();
        QCOMPARE(data.read("g/a.txt"), before);
        main->MainEdit->setFocus();
        main->MainEdit->setCaret(main->MainEdit->document()->length());
        commitText(main->MainEdit, QString::fromUtf8("追記"));
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(data.read("g/a.txt"), after);
    }

    void unencodableCharacterAsksBeforeWriting() {
        DataFolder data;
        const QByteArray before = sjis("メモ\r\n");
        data.write("g/a.txt", before);
        data.write("Ostrel.ini", settings("g", "a.txt"));
        Started main;
        main->MainEdit->setFocus();
        main->MainEdit->setCaret(main->MainEdit->document()->length());
        commitText(main->MainEdit, QString::fromUtf8("𠮷\u301c"));
        BoxAnswerer boxes;
        boxes.answer(kNo);
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(boxes.seen().size(), 1);
        QVERIFY(boxes.seen().first().text.contains("Shift-JIS"));
        QCOMPARE(data.read("g/a.txt"), before);
        QVERIFY(main->SaveDataBtn->isEnabled());
        boxes.answer(kYes);
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(data.read("g/a.txt"), QString::fromUtf8("メモ\r\n𠮷\u301c").toUtf8());
        QVERIFY(!main->SaveDataBtn->isEnabled());
    }

    void unreadableEncodingIsToldBeforeSaving() {
        const QByteArray before("bytes \xff\xfe\xfd\n");
        DataFolder data;
        data.write("g/a.txt", before);
        data.write("Ostrel.ini", settings("g", "a.txt"));
        Started main;
        type(main.main, "X");
        BoxAnswerer boxes;
        boxes.answer(kNo);
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(boxes.seen().size(), 1);
        QCOMPARE(boxes.seen().first().title, QString::fromUtf8("警告"));
        QCOMPARE(data.read("g/a.txt"), before);
        QVERIFY(main->MainEdit->document()->isModified());
    }

    // Separators and noncharacters are characters like any other: read,
    // edited and written back exactly, with no question.
    void separatorsAndNoncharactersAreKept_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("U+2028, U+2029") << QByteArray("a\xe2\x80\xa8"
                                                      "b\xe2\x80\xa9"
                                                      "c\n");
        QTest::newRow("U+FDD0") << QByteArray("a\xef\xb7\x90"
                                              "b\n");
        QTest::newRow("U+FDD1") << QByteArray("a\xef\xb7\x91"
                                              "b\n");
    }
    void separatorsAndNoncharactersAreKept() {
        QFETCH(QByteArray, before);
        DataFolder data;
        data.write("g/a.txt", before);
        data.write("Ostrel.ini", settings("g", "a.txt"));
        Started main;
        QCOMPARE(main->MainEdit->document()->lineCount(), 2); // one line and the empty last
        type(main.main, "X");
        BoxAnswerer boxes;
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QVERIFY(boxes.seen().isEmpty());
        QCOMPARE(data.read("g/a.txt"), "X" + before);
        QVERIFY(!main->MainEdit->document()->isModified());
    }

    void closingAsksAndWritesSettings() {
        DataFolder data;
        twoGroups(data);
        Started main;
        type(main.main, "X");
        BoxAnswerer boxes;
        // Cancel: the window stays open, yet the settings were written.
        data.write("Ostrel.ini", "");
        boxes.answer(kCancel);
        QTest::mouseClick(main->ExitBtn, Qt::LeftButton);
        QVERIFY(main->isVisible());
        QVERIFY(data.read("Ostrel.ini").contains("LAST DOCUMENT=a.txt"));
        // Yes: saved, closed.
        boxes.answer(kYes);
        main->ApplicationCloseMnu->trigger();
        QVERIFY(!main->isVisible());
        QCOMPARE(data.read("g/a.txt"), QByteArray("Xalpha\n"));
    }

    void failedSaveOnCloseKeepsTheWindowOpen() {
        DataFolder data;
        twoGroups(data);
        Started main;
        type(main.main, "X");
        QFile::setPermissions(data.absolute("g/a.txt"), QFile::ReadOwner);
        BoxAnswerer boxes;
        boxes.answer({kYes, "OK"});
        QVERIFY(!main->close());
        QVERIFY(main->isVisible());
        QCOMPARE(boxes.texts().value(1), QString::fromUtf8("ファイル ./g/a.txt を作成できません."));
        QVERIFY(main->MainEdit->document()->isModified());
    }
    // Saving from the file menu or with Ctrl+S, also with the tool bar
    // hidden: both follow the save button's enabled state.
    void saveFromTheMenuAndCtrlS_data() {
        QTest::addColumn<bool>("shortcut");
        QTest::newRow("menu item") << false;
        QTest::newRow("Ctrl+S") << true;
    }
    void saveFromTheMenuAndCtrlS() {
        QFETCH(bool, shortcut);
        DataFolder data;
        twoGroups(data);
        Started main;
        main->HideToolBarMnu->trigger();
        QVERIFY(!main->SpeedPanel->isVisible());
        const auto save = [&] {
            if (shortcut)
                QTest::keyClick(main->MainEdit, Qt::Key_S, Qt::ControlModifier);
            else
                main->SaveMnu->trigger();
        };
        QCOMPARE(main->SaveMnu->statusTip(), main->SaveDataBtn->statusTip());
        QVERIFY(!main->SaveMnu->isEnabled());
        type(main.main, "X");
        QVERIFY(main->SaveMnu->isEnabled());
        save();
        QCOMPARE(data.read("g/a.txt"), QByteArray("Xalpha\n"));
        QVERIFY(!main->SaveMnu->isEnabled());
        QVERIFY(!main->SaveDataBtn->isEnabled());
        QVERIFY(!main->MainEdit->document()->isModified());
        // Nothing to save: the key does nothing and reaches no control.
        data.write("g/a.txt", "changed elsewhere");
        BoxAnswerer boxes;
        save();
        QCOMPARE(data.read("g/a.txt"), QByteArray("changed elsewhere"));
        QCOMPARE(main->MainEdit->document()->toString(), QString("Xalpha\n"));
        QVERIFY(boxes.seen().isEmpty());
    }

    // A composition that the input method has not committed is the user's
    // text too: every command that closes the window or takes the record
    // away makes it text first, and asks about it as about any edit.
    void preeditIsNotLost_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("question"); // empty: none asked
        QTest::addColumn<QByteArray>("saved"); // g/a.txt afterwards
        QTest::addColumn<QString>("editor");   // the editor afterwards (null: closed)
        const QString edited = QString::fromUtf8("あいalpha\n");
        const QByteArray savedEdits = QString::fromUtf8("あいalpha\n").toUtf8();
        QTest::newRow("exit button")
            << "exit button" << kYes << kSaveQuestion << savedEdits << QString();
        QTest::newRow("exit menu")
            << "exit menu" << kCancel << kSaveQuestion << QByteArray("alpha\n") << edited;
        QTest::newRow("window close")
            << "close" << kYes << kSaveQuestion << savedEdits << QString();
        QTest::newRow("record click")
            << "record" << kYes << kSaveQuestion << savedEdits << QString("bravo\n");
        QTest::newRow("group change")
            << "group" << QString() << QString() << QByteArray("alpha\n") << edited;
        QTest::newRow("new record")
            << "create" << kYes << kSaveQuestion << savedEdits << QString("");
        QTest::newRow("record delete")
            << "delete record" << kNo
            << QString::fromUtf8("編集中のレコードを削除します。 よろしいですか？")
            << QByteArray("alpha\n") << edited;
        QTest::newRow("group delete")
            << "delete group" << kCancel << kSaveQuestion << QByteArray("alpha\n") << edited;
        QTest::newRow("record move")
            << "move" << kCancel << kSaveQuestion << QByteArray("alpha\n") << edited;
    }
    void preeditIsNotLost() {
        QFETCH(QString, command);
        QFETCH(QString, answer);
        QFETCH(QString, question);
        QFETCH(QByteArray, saved);
        QFETCH(QString, editor);
        DataFolder data;
        twoGroups(data);
        Started main;
        main->MainEdit->setFocus();
        QInputMethodEvent composing(QString::fromUtf8("あい"), {});
        QApplication::sendEvent(main->MainEdit, &composing);
        QCOMPARE(main->MainEdit->composition(), QString::fromUtf8("あい"));
        QVERIFY(!main->MainEdit->document()->isModified());

        BoxAnswerer boxes;
        if (!answer.isEmpty())
            boxes.answer(answer);
        if (command == "exit button") {
            QTest::mouseClick(main->ExitBtn, Qt::LeftButton);
        } else if (command == "exit menu") {
            main->ApplicationCloseMnu->trigger();
        } else if (command == "close") {
            main->close();
        } else if (command == "record") {
            clickRecord(main.main, "b.txt");
        } else if (command == "group") {
            QTest::keyClick(main->GroupCmb, Qt::Key_Down);
            QCOMPARE(main->GroupCmb->currentText(), QString("h"));
        } else if (command == "create") {
            QTest::mouseClick(main->CreateRecBtn, Qt::LeftButton);
            QTest::keyClicks(CreRecFrm->RecNameEdt, "new");
            QTest::mouseClick(CreRecFrm->CreateBtn, Qt::LeftButton);
        } else if (command == "delete record") {
            main->DeleteRecordMnu->trigger();
        } else if (command == "delete group") {
            main->DeleteGroupMnu->trigger();
        } else if (command == "move") {
            main->MoveRecordPum2->trigger();
        }
        QCOMPARE(boxes.texts(), question.isEmpty() ? QStringList() : QStringList{question});
        QCOMPARE(data.read("g/a.txt"), saved);
        QCOMPARE(main->isVisible(), !editor.isNull());
        if (editor.isNull())
            return;
        QCOMPARE(main->MainEdit->document()->toString(), editor);
        QCOMPARE(main->MainEdit->composition(), QString());
        main->MainEdit->document()->setModified(false);
    }
};

QTEST_MAIN(SpineTest)
#include "tst_spine.moc"
