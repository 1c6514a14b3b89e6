// Recovery copies of unsaved edits: a copy of the edited text is kept in the
// user's state folder a short while after the last edit, goes when the edits
// are saved or dropped, and a program killed with unsaved edits (its windows
// in a child process, this same executable run with --type) offers them at
// the next start.
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"

#include "mainwindow/MainFrm.h"
#include "record/RecoveryKeeper.h"
#include "store/Recovery.h"
#include "ui/Application.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <fcntl.h>
#include <sys/stat.h>
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
                             "復元しますか？（「いいえ」を選ぶと破棄します。「キャンセル」を選ぶと"
                             "残しておき、次回の起動時にもう一度お尋ねします）")
        .arg(path);
}

QString changedQuestion(const QString& path) {
    return QString::fromUtf8(
               "ファイル %1 は、読み込んだ後に他のプログラムによって変更されています。"
               "上書きして保存しますか？（「いいえ」を選ぶと保存しません）")
        .arg(path);
}

QString goneQuestion(const QString& path) {
    return QString::fromUtf8("ファイル %1 は、読み込んだ後に削除されたか移動されています。"
                             "新しく作成して保存しますか？（「いいえ」を選ぶと保存しません）")
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

QString recoveryFolder(const DataFolder& data) {
    return data.stateHome() + QStringLiteral("/ostrel/recovery");
}

// The full path of an entry of the data folder as the disk names it (the data
// folder's own links resolved).
QByteArray diskPath(const DataFolder& data, const QByteArray& relative) {
    return QFile::encodeName(QDir(data.path()).canonicalPath()) + '/' + relative;
}

// The name of the copy the program keeps for a record (given by its full
// path), as it is in the state folder.
QString copyNameFor(const QByteArray& full) {
    return QString::fromLatin1(full.toPercentEncoding(" "));
}

// A copy as the program leaves one: the head's lines after the first, an
// empty line, the text as UTF-16 code units.
QByteArray copyBytes(const QByteArrayList& head, const QString& text) {
    QByteArray bytes = "Ostrel recovery copy\n" + head.join('\n') + "\n\n";
    for (const QChar c : text) {
        bytes += char(c.unicode() & 0xff);
        bytes += char(c.unicode() >> 8);
    }
    return bytes;
}

QByteArray pathLine(const QByteArray& full) {
    return "Path=" + full.toPercentEncoding();
}

// The head's line for the file as it is now.
QByteArray loadedLine(const QString& file) {
    const auto s = ostrel::fs::stampOf(file);
    if (!s)
        return "Loaded=-";
    return "Loaded=" + QByteArray::number(s->device) + ' ' + QByteArray::number(s->inode) + ' ' +
           QByteArray::number(s->size) + ' ' + QByteArray::number(s->modifiedNs) + ' ' +
           (s->recent ? "1" : "0") + " -";
}

// Puts a file into the recovery folder, made as the program makes it.
void plantCopy(const DataFolder& data, const QString& name, const QByteArray& bytes) {
    QDir().mkpath(recoveryFolder(data));
    QFile::setPermissions(recoveryFolder(data),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile f(recoveryFolder(data) + u'/' + name);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

// The text a copy holds.
QString textOfCopy(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    const QByteArray body = bytes.mid(bytes.indexOf("\n\n") + 2);
    QString text;
    for (qsizetype i = 0; i + 1 < body.size(); i += 2)
        text += QChar(char16_t(quint8(body[i]) | quint8(body[i + 1]) << 8));
    return text;
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
    for (QStringView part : f->MainEdit->document()->snapshot().parts())
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

        // A burst of keystrokes writes nothing: each starts the quiet pause
        // again, and the copy waits for its end.
        using Wait = ostrel::RecoveryKeeper::Wait;
        ostrel::RecoveryKeeper* keeper = main->recovery();
        main->MainEdit->setFocus();
        QTest::keyClick(main->MainEdit, Qt::Key_End, Qt::ControlModifier);
        for (const char c : {'x', 'y', 'z', '!'})
            QTest::keyClick(main->MainEdit, c);
        QVERIFY(keeper->isWaiting(Wait::Quiet));
        QCoreApplication::processEvents();
        QCOMPARE(copies(data), QStringList());
        commitText(main->MainEdit, QString::fromUtf8("日本語"));

        keeper->endWait(Wait::Quiet);
        QTRY_COMPARE_WITH_TIMEOUT(copies(data).size(), 1, 10000);
        QVERIFY(!keeper->isWaiting(Wait::Longest));
        QCOMPARE(copies(data), QStringList{copyNameFor(diskPath(data, "g/a.txt"))});
        QCOMPARE(textOfCopy(recoveryFolder(data) + u'/' + copies(data).first()),
                 QString::fromUtf8("alpha\nxyz!日本語"));
        QCOMPARE(QFile::permissions(recoveryFolder(data)) & 0x0077, QFileDevice::Permissions());
        QCOMPARE(everythingIn(data), before);
        QCOMPARE(listed(main.main), items);

        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(data.read("g/a.txt"), QString::fromUtf8("alpha\nxyz!日本語").toUtf8());
        QTRY_COMPARE(copies(data), QStringList());
    }

    void editsThatGoOnAreCopiedByTheLongestWait() {
        DataFolder data;
        data.write("g/a.txt", "alpha\n");
        data.write("Ostrel.ini", settings("g", "a.txt"));
        Started main;
        using Wait = ostrel::RecoveryKeeper::Wait;
        ostrel::RecoveryKeeper* keeper = main->recovery();
        main->MainEdit->setFocus();
        QTest::keyClick(main->MainEdit, 'k');
        QVERIFY(keeper->isWaiting(Wait::Quiet));
        QVERIFY(keeper->isWaiting(Wait::Longest));
        // The longest wait ends while the typing goes on (the quiet pause
        // still waits): the copy is written all the same.
        QTest::keyClick(main->MainEdit, 'k');
        keeper->endWait(Wait::Longest);
        QTRY_COMPARE_WITH_TIMEOUT(copies(data).size(), 1, 10000);
        QCOMPARE(textOfCopy(recoveryFolder(data) + u'/' + copies(data).first()),
                 QStringLiteral("kkalpha\n"));
        // The next edit starts both waits again.
        QVERIFY(!keeper->isWaiting(Wait::Longest));
        QTest::keyClick(main->MainEdit, 'k');
        QVERIFY(keeper->isWaiting(Wait::Longest));
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
        main->recovery()->flush(); // the copy, without waiting for the pause
        QCOMPARE(copies(data).size(), 1);
        BoxAnswerer boxes;
        boxes.answer(answer);
        QVERIFY(clickRecord(main.main, QStringLiteral("b.txt")));
        QCOMPARE(boxes.seen().size(), 1);
        QCOMPARE(data.read("g/a.txt"), onDisk);
        // A removal is made on the keeper's thread.
        main->recovery()->flush();
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
        main->recovery()->flush(); // the copy, without waiting for the pause
        QCOMPARE(copies(data).size(), 1);
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
        // A removal is made on the keeper's thread.
        main->recovery()->flush();
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
        // Separators and noncharacters are characters like any other: the
        // restored text holds them, and the save writes them back exactly.
        QTest::newRow("separators and noncharacters")
            << QByteArray("a.txt") << QStringLiteral("a.txt")
            << QByteArray("a\xe2\x80\xa9"
                          "b\xef\xb7\x90"
                          "c\xef\xb7\x91"
                          "d\n")
            << QStringLiteral("e")
            << QByteArray("a\xe2\x80\xa9"
                          "b\xef\xb7\x90"
                          "c\xef\xb7\x91"
                          "d\ne")
            << QStringList();
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
        QCOMPARE(editorText(main.main), QString::fromUtf8("元の文\n"));
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
        QCOMPARE(editorText(main.main), QStringLiteral("charlie\nkept"));
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
        // Copies as the previous version wrote them.
        for (const char* record : {"g/a.txt", "h/c.txt"}) {
            const QByteArray full = diskPath(data, record);
            plantCopy(data, copyNameFor(full),
                      copyBytes({pathLine(full), loadedLine(data.absolute(record))},
                                QStringLiteral("restored")));
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
        // One as the previous version wrote it, one that also names its data
        // folder by device and inode.
        const QByteArray full = QFile::encodeName(QDir(other.path()).canonicalPath()) + "/g/a.txt";
        const auto folder = ostrel::fs::stampOf(other.path());
        QVERIFY(folder);
        plantCopy(data, QStringLiteral("older"),
                  copyBytes({pathLine(full), "Loaded=-"}, QStringLiteral("elsewhere")));
        plantCopy(data, QStringLiteral("newer"),
                  copyBytes({pathLine(full),
                             "Folder=" + QByteArray::number(folder->device) + ' ' +
                                 QByteArray::number(folder->inode),
                             "Loaded=-"},
                            QStringLiteral("elsewhere")));
        BoxAnswerer boxes;
        boxes.answer(kYes);
        Started main;
        QCOMPARE(boxes.seen().size(), 0);
        QVERIFY(!main->MainEdit->document()->isModified());
        QCOMPARE(copies(data).size(), 2);
    }

    // Edits in a group that is a link to a folder elsewhere, or in a data
    // folder renamed since, are offered back at the next start and saved
    // where the record is.
    void copyOfALinkedGroupOrAMovedDataFolderIsOffered_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("group is a link") << "link";
        QTest::newRow("data folder renamed") << "rename";
        // The previous version named the copy by the folder the link leads to.
        QTest::newRow("older copy in a linked group") << "older";
    }

    void copyOfALinkedGroupOrAMovedDataFolderIsOffered() {
        QFETCH(QString, how);
        QTemporaryDir elsewhere;
        const QString real = elsewhere.path() + QStringLiteral("/real");
        QVERIFY(QDir().mkpath(real));
        DataFolder data;
        const QByteArray before = sjis("元の文\r\n");
        if (how == "rename") {
            data.write("g/a.txt", before);
        } else {
            QFile f(real + QStringLiteral("/a.txt"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(before);
            f.close();
            QVERIFY(QFile::link(real, data.absolute("g")));
        }
        data.write("g2/b.txt", "bravo\n");
        data.write("Ostrel.ini", settings("g", "a.txt"));
        if (how == "older") {
            const QByteArray full = QFile::encodeName(QDir(real).canonicalPath()) + "/a.txt";
            plantCopy(data, copyNameFor(full),
                      copyBytes({pathLine(full), loadedLine(real + QStringLiteral("/a.txt"))},
                                QString::fromUtf8("元の文\n追記")));
        } else {
            killAfterTyping(data, QStringLiteral("a.txt"), QString::fromUtf8("追記"));
            if (QTest::currentTestFailed())
                return;
        }
        // The working directory is the data folder itself, whatever its name.
        const QString moved = data.path() + QStringLiteral("-moved");
        const auto moveBack = qScopeGuard([&] {
            if (QFileInfo::exists(moved))
                QDir().rename(moved, data.path());
        });
        if (how == "rename")
            QVERIFY(QDir().rename(data.path(), moved));

        BoxAnswerer boxes;
        boxes.answer(kYes);
        Started main;
        QCOMPARE(boxes.texts(), QStringList{question("./g/a.txt")});
        QCOMPARE(main->RecordPath(), QStringLiteral("./g/a.txt"));
        QCOMPARE(editorText(main.main), QString::fromUtf8("元の文\n追記"));
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(boxes.seen().size(), 1);
        QCOMPARE(readNamed("g/a.txt"), sjis("元の文\r\n追記"));
        QTRY_COMPARE(copies(data), QStringList());
    }

    // What the recovery folder holds that is not a copy of a record of the
    // data folder is never offered: what is not a copy (a link, a pipe, a
    // huge file) is passed over; a copy that names something outside the
    // data folder, or whose text is damaged, is refused, said, and kept.
    void onlyCopiesOfRecordsOfTheDataFolderAreOffered_data() {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<bool>("refused");
        QTest::newRow("the data folder's parent") << "parent" << true;
        QTest::newRow("the parent named by the folder's inode") << "parent by inode" << true;
        QTest::newRow("a group named .") << "dot group" << true;
        QTest::newRow("a record named ..") << "dot record" << true;
        QTest::newRow("damaged text") << "odd text" << true;
        QTest::newRow("a link to a copy") << "link" << false;
        QTest::newRow("a pipe") << "fifo" << false;
        QTest::newRow("no copy") << "garbage" << false;
        QTest::newRow("a sparse file of 16 GB") << "huge" << false;
        QTest::newRow("a head without end") << "endless head" << false;
    }

    void onlyCopiesOfRecordsOfTheDataFolderAreOffered() {
        QFETCH(QString, planted);
        QFETCH(bool, refused);
        DataFolder data;
        // The data folder is a folder of the test's own, so that what lies
        // beside it is too.
        data.write("d/g/a.txt", "alpha\n");
        data.write("d/Ostrel.ini", settings("g", "a.txt"));
        data.write("victim.txt", "precious\n");
        QVERIFY(QDir::setCurrent(data.absolute("d")));
        const QByteArray dataDir = diskPath(data, "d");
        const auto folder = ostrel::fs::stampOf(data.absolute("d"));
        QVERIFY(folder);
        const QByteArray folderLine = "Folder=" + QByteArray::number(folder->device) + ' ' +
                                      QByteArray::number(folder->inode);
        const QString text = QStringLiteral("taken");
        const QString name = QStringLiteral("planted");
        const QString file = recoveryFolder(data) + u'/' + name;
        if (planted == "parent") {
            plantCopy(data, name, copyBytes({pathLine(dataDir + "/../victim.txt")}, text));
        } else if (planted == "parent by inode") {
            plantCopy(data, name,
                      copyBytes({pathLine("/elsewhere/../victim.txt"), folderLine}, text));
        } else if (planted == "dot group") {
            plantCopy(data, name, copyBytes({pathLine(dataDir + "/./a.txt"), folderLine}, text));
        } else if (planted == "dot record") {
            plantCopy(data, name, copyBytes({pathLine(dataDir + "/g/.."), folderLine}, text));
        } else if (planted == "odd text") {
            plantCopy(data, name,
                      copyBytes({pathLine(dataDir + "/g/a.txt"), folderLine}, text) + "x");
        } else if (planted == "link") {
            data.write("copy", copyBytes({pathLine(dataDir + "/g/a.txt"), folderLine}, text));
            plantCopy(data, QStringLiteral("other"), QByteArray("no copy"));
            QVERIFY(QFile::link(data.absolute("copy"), file));
        } else if (planted == "fifo") {
            plantCopy(data, QStringLiteral("other"), QByteArray("no copy"));
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        } else if (planted == "garbage") {
            plantCopy(data, name, QByteArray(100000, 'x'));
        } else if (planted == "huge" || planted == "endless head") {
            plantCopy(data, name,
                      planted == "huge" ? QByteArray("\0\0\0\0", 4)
                                        : "Ostrel recovery copy\nPath=" +
                                              (dataDir + "/g/a.txt").toPercentEncoding() + "\n");
            QFile f(file);
            QVERIFY(f.resize(qint64(16) << 30));
        }
        const QStringList inFolder =
            QDir(recoveryFolder(data))
                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);

        BoxAnswerer boxes;
        boxes.answer(kYes);
        Started main;
        QCOMPARE(boxes.texts(),
                 refused
                     ? QStringList{QString::fromUtf8(
                                       "次の編集内容の控えは、壊れているか、データフォルダの外や"
                                       "正しくない名前を指しているため復元できません。"
                                       "控えのファイルはそのまま残します。\n") +
                                   file}
                     : QStringList());
        QCOMPARE(main->RecordPath(), QStringLiteral("./g/a.txt"));
        QVERIFY(!main->MainEdit->document()->isModified());
        QCOMPARE(data.read("victim.txt"), QByteArray("precious\n"));
        QCOMPARE(QDir(recoveryFolder(data))
                     .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 inFolder);
    }

    // A copy whose text is more than can be restored is said, and kept
    // unless the user throws it away.
    void copyTooLargeToRestoreIsKeptUnlessDiscarded_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("kept");
        QTest::newRow("no keeps") << kNo << true;
        QTest::newRow("Esc keeps") << kPressEscape << true;
        QTest::newRow("yes discards") << kYes << false;
    }

    void copyTooLargeToRestoreIsKeptUnlessDiscarded() {
        QFETCH(QString, answer);
        QFETCH(bool, kept);
        DataFolder data;
        data.write("g/a.txt", "alpha\n");
        data.write("Ostrel.ini", settings("g", "a.txt"));
        const QByteArray full = diskPath(data, "g/a.txt");
        const QString file = recoveryFolder(data) + u'/' + copyNameFor(full);
        plantCopy(data, copyNameFor(full),
                  copyBytes({pathLine(full), loadedLine(data.absolute("g/a.txt"))}, QString()));
        QFile f(file);
        QVERIFY(f.resize(f.size() + (qint64(16) << 30)));
        BoxAnswerer boxes;
        boxes.answer(answer);
        Started main;
        QCOMPARE(boxes.texts(),
                 QStringList{QString::fromUtf8("前回の終了時に保存されていなかった ./g/a.txt "
                                               "の編集内容が残っていますが、大きすぎるため復元"
                                               "できません（復元できるのは %1 MB まで）。控えの"
                                               "ファイル %2 を破棄しますか？（「いいえ」を選ぶと"
                                               "残しておきます）")
                                 .arg(ostrel::store::recordSizeLimit() >> 19)
                                 .arg(file)});
        QVERIFY(!main->MainEdit->document()->isModified());
        QCOMPARE(editorText(main.main), QStringLiteral("alpha\n"));
        QCOMPARE(QFileInfo::exists(file), kept);
    }

    // Only an explicit No throws the edits away: Esc, キャンセル and the
    // title bar's close keep them for the next start.
    void onlyNoDiscardsTheCopy_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("kept");
        QTest::newRow("Esc") << kPressEscape << true;
        QTest::newRow("closed") << QString() << true;
        QTest::newRow("cancel") << kCancel << true;
        QTest::newRow("no") << kNo << false;
    }

    void onlyNoDiscardsTheCopy() {
        QFETCH(QString, answer);
        QFETCH(bool, kept);
        DataFolder data;
        data.write("g/a.txt", "alpha\n");
        data.write("Ostrel.ini", settings("g", "a.txt"));
        const QByteArray full = diskPath(data, "g/a.txt");
        plantCopy(data, copyNameFor(full),
                  copyBytes({pathLine(full), loadedLine(data.absolute("g/a.txt"))},
                            QStringLiteral("alpha\nedit")));
        for (const bool again : {false, true}) {
            BoxAnswerer boxes;
            boxes.answer(answer);
            Started main;
            // Asked again at the next start while the copy is kept.
            QCOMPARE(boxes.texts(),
                     again && !kept ? QStringList() : QStringList{question("./g/a.txt")});
            QCOMPARE(editorText(main.main), QStringLiteral("alpha\n"));
            QVERIFY(!main->MainEdit->document()->isModified());
            QCOMPARE(copies(data).size(), kept ? 1 : 0);
        }
    }

    // A restored record is written in its own format: its file's, listed or
    // not; the copy's own word for it when the file is gone; and the user's
    // choice when nothing tells it.
    void restoredRecordKeepsItsOwnFormat_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("asked");
        const QString formatQuestion = QString::fromUtf8(
            "ファイル ./g/a.txt の文字コードと改行コードがわかりません。Shift-JIS（改行 CR+LF）"
            "で保存しますか？（「いいえ」を選ぶと UTF-8（改行 LF）で保存します）");
        QTest::newRow("no longer listed")
            << "unlisted" << QStringList{kYes} << QStringList{question("./g/a.txt")};
        QTest::newRow("file gone") << "gone" << QStringList{kYes, kYes}
                                   << QStringList{question("./g/a.txt"), goneQuestion("./g/a.txt")};
        QTest::newRow("file gone, older copy")
            << "gone older" << QStringList{kYes, kYes, kYes}
            << QStringList{question("./g/a.txt"), formatQuestion, goneQuestion("./g/a.txt")};
    }

    void restoredRecordKeepsItsOwnFormat() {
        QFETCH(QString, how);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, asked);
        DataFolder data;
        data.write("g/a.txt", sjis("元の文\r\n二行目\r\n"));
        data.write("g/b.txt", "bravo\n");
        data.write("Ostrel.ini", settings("g", "b.txt"));
        if (how == "gone older") {
            const QByteArray full = diskPath(data, "g/a.txt");
            plantCopy(data, copyNameFor(full),
                      copyBytes({pathLine(full), loadedLine(data.absolute("g/a.txt"))},
                                QString::fromUtf8("元の文\n二行目\n追記")));
        } else {
            killAfterTyping(data, QStringLiteral("a.txt"), QString::fromUtf8("追記"));
            if (QTest::currentTestFailed())
                return;
        }
        if (how == "unlisted") {
            QByteArray s = settings("g", "b.txt");
            s.replace("SUPPORT EXPC=*.txt/", "SUPPORT EXPC=");
            data.write("Ostrel.ini", s);
        } else {
            QVERIFY(QFile::remove(data.absolute("g/a.txt")));
        }
        BoxAnswerer boxes;
        boxes.answer(answers);
        Started main;
        QCOMPARE(main->RecordPath(), QStringLiteral("./g/a.txt"));
        QCOMPARE(editorText(main.main), QString::fromUtf8("元の文\n二行目\n追記"));
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(boxes.texts(), asked);
        QCOMPARE(data.read("g/a.txt"), sjis("元の文\r\n二行目\r\n追記"));
        QTRY_COMPARE(copies(data), QStringList());
    }

    // A copy that does not tell the state of the file its edits began from
    // counts as changed since: the save asks before it overwrites the file.
    void copyWithoutItsLoadedStateAsksBeforeOverwriting_data() {
        QTest::addColumn<QByteArray>("loaded"); // the head's line
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("malformed") << QByteArray("Loaded=12 x");
        QTest::newRow("five fields") << QByteArray("Loaded=1 2 3 4 1");
        QTest::newRow("bad hash") << QByteArray("Loaded=1 2 6 4 1 xyz");
        QTest::newRow("given twice") << QByteArray("Loaded=-\nLoaded=-");
    }

    void copyWithoutItsLoadedStateAsksBeforeOverwriting() {
        QFETCH(QByteArray, loaded);
        DataFolder data;
        data.write("g/a.txt", "newer\n");
        data.write("Ostrel.ini", settings("g", "a.txt"));
        const QByteArray full = diskPath(data, "g/a.txt");
        QByteArrayList head{pathLine(full)};
        if (!loaded.isEmpty())
            head.append(loaded);
        plantCopy(data, copyNameFor(full), copyBytes(head, QStringLiteral("older\nedit")));
        BoxAnswerer boxes;
        boxes.answer(QStringList{kYes, kNo});
        Started main;
        QTest::mouseClick(main->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(boxes.texts(), (QStringList{question("./g/a.txt"), changedQuestion("./g/a.txt")}));
        QCOMPARE(data.read("g/a.txt"), QByteArray("newer\n"));
        QVERIFY(main->MainEdit->document()->isModified());
        QCOMPARE(editorText(main.main), QStringLiteral("older\nedit"));
    }

    // No link in the recovery folder, or in its place, is written through.
    void noLinkInTheRecoveryFolderIsWrittenThrough_data() {
        QTest::addColumn<QString>("planted");
        QTest::newRow("at the copy's name") << "copy";
        QTest::newRow("for the folder") << "folder";
    }

    void noLinkInTheRecoveryFolderIsWrittenThrough() {
        QFETCH(QString, planted);
        DataFolder data;
        data.write("g/a.txt", "alpha\n");
        data.write("Ostrel.ini", settings("g", "a.txt"));
        data.write("victim/precious.txt", "precious\n");
        const QString name = copyNameFor(diskPath(data, "g/a.txt"));
        if (planted == "copy") {
            plantCopy(data, QStringLiteral("other"), QByteArray("no copy"));
            QVERIFY(QFile::link(data.absolute("victim/precious.txt"),
                                recoveryFolder(data) + u'/' + name));
        } else {
            QDir().mkpath(data.stateHome() + QStringLiteral("/ostrel"));
            QVERIFY(QFile::link(data.absolute("victim"), recoveryFolder(data)));
        }
        Started main;
        BoxAnswerer boxes;
        boxes.answer(QStringLiteral("OK"));
        typeAtEnd(main.main, QStringLiteral("typed"));
        main->recovery()->flush(); // the copy, without waiting for the pause
        if (planted == "copy") {
            QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo(recoveryFolder(data) + u'/' + name).isSymLink(),
                                     10000);
            main->recovery()->flush();
            QCOMPARE(textOfCopy(recoveryFolder(data) + u'/' + name),
                     QStringLiteral("alpha\ntyped"));
            QCOMPARE(boxes.seen().size(), 0);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(boxes.seen().size(), 1, 10000);
            QCOMPARE(boxes.texts().first(),
                     QString::fromUtf8("編集内容の控えを %1 に書き込めません。"
                                       "編集中の内容はこまめに保存してください。")
                         .arg(recoveryFolder(data)));
        }
        QCOMPARE(QDir(data.absolute("victim"))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("precious.txt")});
        QCOMPARE(data.read("victim/precious.txt"), QByteArray("precious\n"));
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
        main->recovery()->flush(); // the copy, without waiting for the pause
        QTRY_COMPARE_WITH_TIMEOUT(boxes.seen().size(), 1, 10000);
        QCOMPARE(boxes.seen().first().text,
                 QString::fromUtf8("編集内容の控えを %1 に書き込めません。"
                                   "編集中の内容はこまめに保存してください。")
                     .arg(recoveryFolder(data)));
        // Typing goes on, and later copies that fail are not told again.
        typeAtEnd(main.main, QStringLiteral(" two"));
        main->recovery()->flush();
        // The failure of the write is handed back to the window's thread.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(boxes.seen().size(), 1);
        QCOMPARE(editorText(main.main), QStringLiteral("alpha\none two"));
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
