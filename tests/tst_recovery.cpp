// Recovery copies of unsaved edits: a copy of the edited text is kept in the
// user's state folder a short while after the last edit, goes when the edits
// are saved or dropped, and a program killed with unsaved edits (its windows
// in a child process, this same executable run with --type) offers them at
// the next start.
#include "TestSupport.h"

#include "mainwindow/MainFrm.h"
#include "mainwindow/RecoveryKeeper.h"
#include "mainwindow/TextMirror.h"
#include "store/Recovery.h"
#include "ui/Application.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

using namespace testing;

namespace {

const QString kYes = QString::fromUtf8("はい(&Y)");
const QString kNo = QString::fromUtf8("いいえ(&N)");
const QString kCancel = QString::fromUtf8("キャンセル");

QString question(const QString& path) {
    return QString::fromUtf8("前回の終了時に保存されていなかった %1 の編集内容が残っています。"
                             "復元しますか？（「いいえ」を選ぶと破棄します）")
        .arg(path);
}

QByteArray settings(const QByteArray& lastGroup, const QByteArray& lastRecord) {
    QByteArray s = defaultSettingsFile();
    s.replace("LAST DIRECTORY=\n", "LAST DIRECTORY=" + lastGroup + "\n");
    s.replace("LAST DOCUMENT=\n", "LAST DOCUMENT=" + lastRecord + "\n");
    return s;
}

QByteArray sjis(const char* utf8) {
    return QStringEncoder("windows-31j").encode(QString::fromUtf8(utf8));
}

QByteArray utf16(const char* utf8) {
    return QByteArray("\xff\xfe", 2) +
           QStringEncoder(QStringConverter::Utf16LE).encode(QString::fromUtf8(utf8));
}

// A file named by its own bytes (which need not be UTF-8).
void writeNamed(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    ::close(fd);
}

QByteArray readNamed(const QByteArray& path) {
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return bytes;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    ::close(fd);
    return bytes;
}

// A copy made by hand for a record's file as it is now.
ostrel::store::RecoverySource sourceOf(const QString& file) {
    return {file, {ostrel::fs::stampOf(file), std::nullopt}};
}

QString recoveryFolder(const DataFolder& data) {
    return data.stateHome() + QStringLiteral("/ostrel/recovery");
}

// The copies in the recovery folder (the files a killed write leaves are
// hidden).
QStringList copies(const DataFolder& data) {
    return QDir(recoveryFolder(data)).entryList(QDir::Files);
}

// Every entry below the data folder, hidden ones too, with its size.
QStringList everythingIn(const DataFolder& data) {
    QStringList found;
    QDirIterator it(data.path(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        found.append(it.filePath() + u' ' + QString::number(it.fileInfo().size()));
    }
    found.sort();
    return found;
}

QStringList listed(TMainFrm* f) {
    QStringList items;
    for (int i = 0; i < f->RecordLst->count(); ++i)
        items.append(f->RecordLst->item(i)->text());
    return items;
}

bool clickRecord(TMainFrm* f, const QString& name) {
    const QList<QListWidgetItem*> found = f->RecordLst->findItems(name, Qt::MatchExactly);
    if (found.isEmpty())
        return false;
    const QRect r = f->RecordLst->visualItemRect(found.first());
    QTest::mouseClick(f->RecordLst->viewport(), Qt::LeftButton, {}, r.center());
    return true;
}

// Types at the end of the editor's text, as an input method commits it.
void typeAtEnd(TMainFrm* f, const QString& text) {
    f->MainEdit->setFocus();
    QTest::keyClick(f->MainEdit, Qt::Key_End, Qt::ControlModifier);
    commitText(f->MainEdit, text);
}

// The editor's text as a save writes it (long lines whole).
QString editorText(TMainFrm* f) {
    QString text;
    for (QStringView part : ostrel::TextMirror::of(f->MainEdit->document())->text())
        text += part;
    return text;
}

// The child process: the program started in the working directory picks a
// record, types at its end and runs on until it is killed.
int typeAndRun(int argc, char** argv) {
    const QString record = QString::fromUtf8(argv[2]);
    const QString text = QString::fromUtf8(argv[3]);
    ostrel::Application app(argc, argv);
    Windows w;
    showMain(w.main);
    if (!clickRecord(w.main, record))
        return 2;
    typeAtEnd(w.main, text);
    std::printf("typed\n");
    std::fflush(stdout);
    return app.exec();
}

// Runs the program in a child process that types `text` at the end of
// `record` (in the group the settings name), waits for its recovery copy and
// kills it.
void killAfterTyping(const DataFolder& data, const QString& record, const QString& text) {
    QProcess child;
    child.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    child.setWorkingDirectory(data.path());
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--type"), record, text});
    QVERIFY(child.waitForStarted());
    QVERIFY2(
        QTest::qWaitFor(
            [&] { return child.canReadLine() || child.state() == QProcess::NotRunning; }, 120000),
        "the program did not start");
    QCOMPARE(child.readLine().trimmed(), QByteArray("typed"));
    QTRY_COMPARE_WITH_TIMEOUT(copies(data).size(), 1, 20000);
    child.kill();
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
}

} // namespace

class RecoveryTest : public QObject {
    Q_OBJECT

private slots:
    void copyFollowsTheEditsOutsideTheDataFolder() {
        DataFolder data;
        data.write("g/a.txt", "alpha\n");
        data.write("g/b.txt", "bravo\n");
        data.write("Ostrel.ini", settings("g", "a.txt"));
        Started main;
        const QStringList before = everythingIn(data);
        const QStringList items = listed(main.main);

        // A burst of keystrokes, each within the quiet pause of the one
        // before, writes nothing.
        QElapsedTimer clock;
        qint64 longestGap = 0;
        clock.start();
        main->MainEdit->setFocus();
        QTest::keyClick(main->MainEdit, Qt::Key_End, Qt::ControlModifier);
        for (const char c : {'x', 'y', 'z', '!'}) {
            longestGap = std::max(longestGap, clock.restart());
            QTest::keyClick(main->MainEdit, c);
            QTest::qWait(300);
        }
        longestGap = std::max(longestGap, clock.elapsed());
        if (longestGap < 900)
            QCOMPARE(copies(data), QStringList());
        else
            qWarning("the machine is too slow to see that keystrokes write no copy");
        commitText(main->MainEdit, QString::fromUtf8("日本語"));

        QTRY_COMPARE_WITH_TIMEOUT(copies(data).size(), 1, 10000);
        const auto left = ostrel::store::leftRecoveryCopies(recoveryFolder(data));
        QCOMPARE(left.size(), size_t(1));
        QCOMPARE(left[0].group, QStringLiteral("g"));
        QCOMPARE(left[0].name, QStringLiteral("a.txt"));
        QCOMPARE(left[0].text, QString::fromUtf8("alpha\nxyz!日本語"));
        QCOMPARE(QFile::permissions(recoveryFolder(data)) & 0x0077, QFileDevice::Permissions());
        QCOMPARE(everythingIn(data), before);
        QCOMPARE(listed(main.main), items);

        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(data.read("g/a.txt"), QString::fromUtf8("alpha\nxyz!日本語").toUtf8());
        QTRY_COMPARE(copies(data), QStringList());
    }

    void editsThatGoOnAreCopiedAtLeastEveryTenSeconds() {
        DataFolder data;
        data.write("g/a.txt", "alpha\n");
        data.write("Ostrel.ini", settings("g", "a.txt"));
        Started main;
        main->MainEdit->setFocus();
        QElapsedTimer clock, gap;
        qint64 longestGap = 0;
        clock.start();
        gap.start();
        while (copies(data).isEmpty() && clock.elapsed() < 30000) {
            longestGap = std::max(longestGap, gap.restart());
            QTest::keyClick(main->MainEdit, 'k');
            QTest::qWait(200);
        }
        QVERIFY(!copies(data).isEmpty());
        // Written by the longest wait, not by a pause in typing.
        if (longestGap < 900)
            QVERIFY2(clock.elapsed() >= 9000, qPrintable(QString::number(clock.elapsed())));
        else
            qWarning("the machine is too slow to type without a pause");
    }

    void pickingAnotherRecordAsksAboutTheCopy_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QByteArray>("onDisk");
        QTest::addColumn<bool>("copyLeft");
        QTest::newRow("yes saves") << kYes << QByteArray("alpha\nedit") << false;
        QTest::newRow("no drops") << kNo << QByteArray("alpha\n") << false;
        QTest::newRow("cancel keeps") << kCancel << QByteArray("alpha\n") << true;
    }

    void pickingAnotherRecordAsksAboutTheCopy() {
        QFETCH(QString, answer);
        QFETCH(QByteArray, onDisk);
        QFETCH(bool, copyLeft);
        DataFolder data;
        data.write("g/a.txt", "alpha\n");
        data.write("g/b.txt", "bravo\n");
        data.write("Ostrel.ini", settings("g", "a.txt"));
        Started main;
        typeAtEnd(main.main, QStringLiteral("edit"));
        QTRY_COMPARE_WITH_TIMEOUT(copies(data).size(), 1, 10000);
        BoxAnswerer boxes;
        boxes.answer(answer);
        QVERIFY(clickRecord(main.main, QStringLiteral("b.txt")));
        QCOMPARE(boxes.seen().size(), 1);
        QCOMPARE(data.read("g/a.txt"), onDisk);
        // A removal is written on the keeper's thread.
        QTest::qWait(200);
        QCOMPARE(copies(data).size(), copyLeft ? 1 : 0);
    }

    void editsThatEndUnsavedDropTheCopy_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("undone") << "undo";
        QTest::newRow("record deleted") << "delete";
        QTest::newRow("closed without saving") << "close";
    }

    void editsThatEndUnsavedDropTheCopy() {
        QFETCH(QString, how);
        DataFolder data;
        data.write("g/a.txt", "alpha\n");
        data.write("g/b.txt", "bravo\n");
        data.write("Ostrel.ini", settings("g", "a.txt"));
        Started main;
        main->MainEdit->setFocus();
        QTest::keyClicks(main->MainEdit, "edit");
        QTRY_COMPARE_WITH_TIMEOUT(copies(data).size(), 1, 10000);
        BoxAnswerer boxes;
        if (how == "undo") {
            for (int i = 0; i < 4; ++i)
                QTest::keyClick(main->MainEdit, Qt::Key_Z, Qt::ControlModifier);
            QVERIFY(!main->MainEdit->document()->isModified());
        } else if (how == "delete") {
            boxes.answer(kYes);
            QTest::mouseClick(main->DeleteRecBtn, Qt::LeftButton);
            QVERIFY(!data.exists("g/a.txt"));
        } else {
            boxes.answer(kNo);
            main->SaveSettingsOnClose = false;
            QVERIFY(main->close());
            QCOMPARE(data.read("g/a.txt"), QByteArray("alpha\n"));
        }
        QTest::qWait(200);
        QCOMPARE(copies(data), QStringList());
    }

    void killedProgramOffersItsEdits_data() {
        QTest::addColumn<QByteArray>("file"); // the record's name in g, its own bytes
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<QStringList>("saveAnswers");
        QTest::newRow("Shift-JIS CRLF")
            << QByteArray("a.txt") << QStringLiteral("a.txt") << sjis("一行目\r\n二行目\r\n")
            << QString::fromUtf8("追記") << sjis("一行目\r\n二行目\r\n追記") << QStringList();
        QTest::newRow("UTF-16 CRLF")
            << QByteArray("a.txt") << QStringLiteral("a.txt") << utf16("一\r\n")
            << QString::fromUtf8("二") << utf16("一\r\n二") << QStringList();
        const QByteArray longLine = QByteArray("0123456789").repeated(300);
        QTest::newRow("long line")
            << QByteArray("a.txt") << QStringLiteral("a.txt") << "first\n" + longLine
            << QStringLiteral("END") << "first\n" + longLine + "END" << QStringList();
        QTest::newRow("code page 932 name")
            << QByteArray("\x83\x81\x83\x82.txt") << QString::fromUtf8("メモ.txt")
            << QByteArray("memo\n") << QStringLiteral("more") << QByteArray("memo\nmore")
            << QStringList();
        // A copy's name is cut, with a hash, where the percent-encoded path
        // would not fit in a file name.
        const QString longName = QString::fromUtf8("長い名前").repeated(15) + ".txt";
        QTest::newRow("long name") << longName.toUtf8() << longName << QByteArray("x\n")
                                   << QStringLiteral("y") << QByteArray("x\ny") << QStringList();
        QTest::newRow("escaped name")
            << QByteArray("a\xff.txt") << QStringLiteral("a\\xFF.txt") << QByteArray("x\n")
            << QStringLiteral("y") << QByteArray("x\ny") << QStringList();
        // The editor ends a line at each of U+2029, U+FDD0 and U+FDD1; the
        // restored text has the lines the editor had, and the save warns as
        // it would have before the kill.
        QTest::newRow("editor's own line ends")
            << QByteArray("a.txt") << QStringLiteral("a.txt")
            << QByteArray("a\xe2\x80\xa9"
                          "b\xef\xb7\x90"
                          "c\xef\xb7\x91"
                          "d\n")
            << QStringLiteral("e") << QByteArray("a\nb\nc\nd\ne") << QStringList{kYes};
        QTest::newRow("lone surrogate") << QByteArray("a.txt") << QStringLiteral("a.txt")
                                        << QByteArray("\xff\xfe"
                                                      "a\0\x00\xd8"
                                                      "b\0\r\0\n\0",
                                                      12)
                                        << QStringLiteral("c")
                                        << QByteArray("\xff\xfe"
                                                      "a\0\x00\xd8"
                                                      "b\0\r\0\n\0c\0",
                                                      14)
                                        << QStringList();
        QTest::newRow("byte order mark as text")
            << QByteArray("a.txt") << QStringLiteral("a.txt")
            << QByteArray("\xef\xbb\xbf\xef\xbb\xbfx\n") << QStringLiteral("y")
            << QByteArray("\xef\xbb\xbf\xef\xbb\xbfx\ny") << QStringList();
    }

    void killedProgramOffersItsEdits() {
        QFETCH(QByteArray, file);
        QFETCH(QString, shown);
        QFETCH(QByteArray, before);
        QFETCH(QString, typed);
        QFETCH(QByteArray, saved);
        QFETCH(QStringList, saveAnswers);
        DataFolder data;
        data.addGroup("g");
        const QByteArray path = QFile::encodeName(data.absolute("g/")) + file;
        writeNamed(path, before);
        // QTemporaryDir removes only names it can decode.
        const auto removeRecord = qScopeGuard([&] { ::unlink(path.constData()); });
        data.write("g/other.txt", "other\n");
        data.write("Ostrel.ini", settings("g", "other.txt"));
        killAfterTyping(data, shown, typed);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(readNamed(path), before);

        QString held;
        {
            // A box closed without an answer keeps the copy for the next
            // start; the record is loaded as on disk.
            BoxAnswerer boxes;
            boxes.answer(QString());
            Started main;
            QCOMPARE(boxes.texts(), QStringList{question("./g/" + shown)});
            QCOMPARE(main->RecordPath(), QStringLiteral("./g/other.txt"));
            QVERIFY(!main->MainEdit->document()->isModified());
            QCOMPARE(copies(data).size(), 1);
        }
        {
            // Restored: the edits are in the editor, unsaved; the save
            // writes them in the record's own format and the copy goes.
            BoxAnswerer boxes;
            boxes.answer(kYes);
            Started main;
            QCOMPARE(boxes.texts(), QStringList{question("./g/" + shown)});
            QCOMPARE(main->RecordPath(), "./g/" + shown);
            QCOMPARE(main->RecordLst->selectedItems().size(), 1);
            QCOMPARE(main->RecordLst->selectedItems().first()->text(), shown);
            QVERIFY(main->MainEdit->document()->isModified());
            QVERIFY(main->SaveDataBtn->isEnabled());
            QCOMPARE(readNamed(path), before);
            held = editorText(main.main);
            QVERIFY(held.endsWith(typed));
            boxes.answer(saveAnswers);
            QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
            QCOMPARE(boxes.pending(), 0);
            QCOMPARE(readNamed(path), saved);
            QVERIFY(!main->MainEdit->document()->isModified());
            QTRY_COMPARE(copies(data), QStringList());
        }
        {
            // Nothing is offered any more; the saved record reads back as
            // the text restored.
            BoxAnswerer boxes;
            Started main;
            QVERIFY(clickRecord(main.main, shown));
            QCOMPARE(boxes.seen().size(), 0);
            QCOMPARE(editorText(main.main), held);
        }
    }

    void droppedCopyLeavesTheRecordAsOnDisk() {
        DataFolder data;
        data.write("g/a.txt", sjis("元の文\r\n"));
        data.write("Ostrel.ini", settings("g", "a.txt"));
        killAfterTyping(data, QStringLiteral("a.txt"), QString::fromUtf8("消える"));
        BoxAnswerer boxes;
        boxes.answer(kNo);
        Started main;
        QCOMPARE(boxes.seen().size(), 1);
        QCOMPARE(copies(data), QStringList());
        QCOMPARE(main->RecordPath(), QStringLiteral("./g/a.txt"));
        QCOMPARE(editorText(main.main), QString::fromUtf8("元の文\u2029"));
        QVERIFY(!main->MainEdit->document()->isModified());
        QVERIFY(!main->SaveDataBtn->isEnabled());
    }

    // Another program deleted or rewrote the record between the kill and the
    // restore: the save asks, as it would have before the kill, and only a
    // Yes writes over the other program's work.
    void restoredEditsAskBeforeOverwritingAnotherProgramsWork_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("deleted");     // else rewritten
        QTest::addColumn<QByteArray>("saved"); // after the Yes
        QTest::newRow("deleted") << QByteArray("alpha\n") << QStringLiteral("kept") << true
                                 << QByteArray("alpha\nkept");
        QTest::newRow("rewritten")
            << sjis("元の文\r\n") << QString::fromUtf8("追記") << false << sjis("元の文\r\n追記");
    }
    void restoredEditsAskBeforeOverwritingAnotherProgramsWork() {
        QFETCH(QByteArray, before);
        QFETCH(QString, typed);
        QFETCH(bool, deleted);
        QFETCH(QByteArray, saved);
        DataFolder data;
        data.write("g/a.txt", before);
        data.write("g/b.txt", "bravo\n");
        data.write("Ostrel.ini", settings("g", "b.txt"));
        killAfterTyping(data, QStringLiteral("a.txt"), typed);
        const QByteArray other = sjis("別のプログラムが書いた文\r\n");
        if (deleted)
            QVERIFY(QFile::remove(data.absolute("g/a.txt")));
        else
            data.write("g/a.txt", other);
        BoxAnswerer boxes;
        boxes.answer(kYes);
        Started main;
        QCOMPARE(boxes.texts(), QStringList{question("./g/a.txt")});
        QVERIFY(main->MainEdit->document()->isModified());
        const QString held = editorText(main.main);
        QVERIFY(held.endsWith(typed));
        // No writes nothing and keeps the edits.
        boxes.answer(kNo);
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(boxes.texts().value(1),
                 deleted ? QString::fromUtf8("ファイル ./g/a.txt は、読み込んだ後に削除されたか"
                                             "移動されています。新しく作成して保存しますか？"
                                             "（「いいえ」を選ぶと保存しません）")
                         : QString::fromUtf8("ファイル ./g/a.txt は、読み込んだ後に他のプログラム"
                                             "によって変更されています。上書きして保存しますか？"
                                             "（「いいえ」を選ぶと保存しません）"));
        if (deleted)
            QVERIFY(!data.exists("g/a.txt"));
        else
            QCOMPARE(data.read("g/a.txt"), other);
        QVERIFY(main->MainEdit->document()->isModified());
        QCOMPARE(editorText(main.main), held);
        boxes.answer(kYes);
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(boxes.seen().size(), 3);
        QCOMPARE(data.read("g/a.txt"), saved);
        QTRY_COMPARE(copies(data), QStringList());
    }

    void copyOfARecordWhoseGroupIsGone() {
        DataFolder data;
        data.write("g/a.txt", "alpha\n");
        data.write("h/c.txt", "charlie\n");
        data.write("Ostrel.ini", settings("h", "c.txt"));
        killAfterTyping(data, QStringLiteral("c.txt"), QStringLiteral("kept"));
        QVERIFY(QDir(data.absolute("h")).removeRecursively());
        data.write("Ostrel.ini", settings("g", "a.txt"));
        BoxAnswerer boxes;
        boxes.answer(kYes);
        Started main;
        QCOMPARE(boxes.texts(), QStringList{question("./h/c.txt")});
        QCOMPARE(main->RecordPath(), QStringLiteral("./h/c.txt"));
        QCOMPARE(editorText(main.main), QStringLiteral("charlie\u2029kept"));
        // No listed record stands for the one in the editor: none is
        // selected, and none can be deleted in its place.
        QCOMPARE(main->RecordLst->selectedItems().size(), 0);
        QVERIFY(!main->DeleteRecBtn->isEnabled());
        QVERIFY(!main->DeleteRecordMnu->isEnabled());
        // A save that cannot be made keeps the edits and their copy.
        boxes.answer(QStringList{kYes, QStringLiteral("OK")});
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QTRY_COMPARE(boxes.seen().size(), 3);
        QVERIFY(main->MainEdit->document()->isModified());
        main->recovery()->flush();
        QCOMPARE(copies(data).size(), 1);
    }

    void copiesOfSeveralRecordsAreOfferedInTurn() {
        DataFolder data;
        data.write("g/a.txt", "alpha\n");
        data.write("h/c.txt", "charlie\n");
        data.write("Ostrel.ini", settings("g", "a.txt"));
        const QString folder = ostrel::store::recoveryFolder();
        for (const char* record : {"g/a.txt", "h/c.txt"}) {
            const QString file = data.absolute(record);
            QVERIFY(ostrel::store::writeRecoveryCopy(ostrel::store::recoveryFileFor(folder, file),
                                                     sourceOf(file), {u"restored"}));
        }
        {
            // One is dropped, the other restored, in its own group.
            BoxAnswerer boxes;
            boxes.answer(QStringList{kNo, kYes});
            Started main;
            QCOMPARE(boxes.seen().size(), 2);
            const QString kept = boxes.texts()[1] == question("./g/a.txt") ? "g" : "h";
            const QString record = kept == "g" ? "a.txt" : "c.txt";
            QCOMPARE(main->RecordPath(), "./" + kept + "/" + record);
            QCOMPARE(main->GroupCmb->currentText(), kept);
            QCOMPARE(main->RecordLst->selectedItems().first()->text(), record);
            QCOMPARE(editorText(main.main), QStringLiteral("restored"));
            QVERIFY(main->DeleteRecBtn->isEnabled());
            QCOMPARE(copies(data).size(), 1);
        }
    }

    void copyOfAnotherDataFolderIsNotOffered() {
        QTemporaryDir other;
        QDir(other.path()).mkpath("g");
        DataFolder data;
        data.write("g/a.txt", "alpha\n");
        data.write("Ostrel.ini", settings("g", "a.txt"));
        const QString otherRecord = other.path() + QStringLiteral("/g/a.txt");
        const QString folder = ostrel::store::recoveryFolder();
        QVERIFY(
            ostrel::store::writeRecoveryCopy(ostrel::store::recoveryFileFor(folder, otherRecord),
                                             sourceOf(otherRecord), {u"elsewhere"}));
        BoxAnswerer boxes;
        boxes.answer(kYes);
        Started main;
        QCOMPARE(boxes.seen().size(), 0);
        QVERIFY(!main->MainEdit->document()->isModified());
        QCOMPARE(copies(data).size(), 1);
    }

    void unwritableFolderIsToldOnce() {
        DataFolder data;
        data.write("g/a.txt", "alpha\n");
        data.write("Ostrel.ini", settings("g", "a.txt"));
        // A file where the folder would be: no copy can be written, even by
        // root.
        QFile blocker(data.stateHome() + QStringLiteral("/ostrel"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Started main;
        BoxAnswerer boxes;
        boxes.answer(QStringList{QStringLiteral("OK"), QStringLiteral("OK")});
        typeAtEnd(main.main, QStringLiteral("one"));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.seen().size(), 1, 10000);
        QCOMPARE(boxes.seen().first().text,
                 QString::fromUtf8("編集内容の控えを %1 に書き込めません。"
                                   "編集中の内容はこまめに保存してください。")
                     .arg(recoveryFolder(data)));
        // Typing goes on, and later copies that fail are not told again.
        typeAtEnd(main.main, QStringLiteral(" two"));
        QTest::qWait(1500);
        main->recovery()->flush();
        QTest::qWait(100);
        QCOMPARE(boxes.seen().size(), 1);
        QCOMPARE(editorText(main.main), QStringLiteral("alpha\u2029one two"));
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(data.read("g/a.txt"), QByteArray("alpha\none two"));
    }
};

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--type") == 0)
        return typeAndRun(argc, argv);
    ostrel::Application app(argc, argv);
    RecoveryTest tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_recovery.moc"
