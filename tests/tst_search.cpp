// The search through every record of every group, through its window: the
// lines it finds (encodings, case and width, the editor's unsaved text,
// records it cannot read, the displayed-files patterns), opening a found
// line, typing fast and stopping.
#include "TestMain.h"
#include "TestSupport.h"
#include "dialogs/SearchUnit.h"
#include "editor/Document.h"
#include "editor/TextView.h"
#include "mainwindow/MainFrm.h"
#include "store/RecordSearch.h"
#include "store/RecordStore.h"

#include <QStringEncoder>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing;
using namespace ostrel;

namespace {

const QString kYes = QStringLiteral("はい(&Y)");
const QString kNo = QStringLiteral("いいえ(&N)");
const QString kCancel = QStringLiteral("キャンセル");

QByteArray sjis(const QString& text) {
    return QStringEncoder("windows-31j").encode(text);
}

QByteArray utf16le(const QString& text) {
    return QByteArray("\xFF\xFE") +
           QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(text));
}

QByteArray
settingsFile(const QByteArray& group, const QByteArray& record,
             const QByteArray& patterns = "*.txt/*.ini/*.log/*.bat/*.c/*.cpp/*.cgi/*.htm/*.reg") {
    QByteArray s = defaultSettingsFile();
    s.replace("LAST DIRECTORY=\n", "LAST DIRECTORY=" + group + "\n");
    s.replace("LAST DOCUMENT=\n", "LAST DOCUMENT=" + record + "\n");
    s.replace("SUPPORT EXPC=*.txt/*.ini/*.log/*.bat/*.c/*.cpp/*.cgi/*.htm/*.reg\n",
              "SUPPORT EXPC=" + patterns + "\n");
    return s;
}

// Records in every form the loader reads, and files that are no records.
void writeRecords(const DataFolder& data) {
    data.write("g1/a.txt", QStringLiteral("会議の議事録\nContract ABC\n").toUtf8());
    data.write("g1/b.txt", sjis(QStringLiteral("一行目\r\n契約書のＡＢＣ\r\n")));
    data.write("g1/.hidden.txt", "Contract abc\n");
    data.write("g1/c.dat", "Contract abc\n");
    data.write("g2/d.txt", utf16le(QStringLiteral("ｶﾞｽとｶﾀｶﾅ\nabc")));
    data.write("g2/e.txt", "x\nlast line abc"); // no break after the last line
    data.write(".g3/f.txt", "Contract abc\n");
    data.write("g1/empty.txt", "");
    // A name that is not UTF-8 (メモ.txt in Shift-JIS, as an old archive
    // unpacks it).
    const QByteArray foreign = QFile::encodeName(data.absolute("g2/")) + "\x83\x81\x83\x82.txt";
    const int fd = ::open(foreign.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0 && ::write(fd, "sjis name abc\n", 14) == 14);
    ::close(fd);
    // A record too large to be opened.
    QFile big(data.absolute("g2/big.txt"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(store::recordSizeLimit() + 1));
}

TSearchFrm* openSearch(TMainFrm* f) {
    QTest::keyClick(f->focusWidget() ? f->focusWidget() : f, Qt::Key_F,
                    Qt::ControlModifier | Qt::ShiftModifier);
    TSearchFrm* s = f->SearchFrm;
    if (!s || !QTest::qWaitFor([s] { return s->isVisible() && s->FindEdt->hasFocus(); }))
        return nullptr;
    return s;
}

bool waitForEnd(TSearchFrm* s) {
    return QTest::qWaitFor([s] { return !s->searching(); }, 60000);
}

// Each row as "group/record:line:text", the matches in the text in [ ], or
// "group/record:!why" for a record that could not be read.
QStringList rows(TSearchFrm* s) {
    QStringList out;
    auto* results = static_cast<SearchResults*>(s->ResultLst->model());
    for (int i = 0; i < results->rowCount(); ++i) {
        const SearchResults::Row& row = results->row(i);
        const SearchResults::Record& record = results->recordOf(row);
        QString line = record.group + u'/' + record.name + u':';
        if (row.match.line < 0) {
            line += u'!' + SearchResults::failureText(record.failure);
        } else {
            QString text = SearchResults::shownLine(row.match);
            auto marks = SearchResults::shownMarks(row.match);
            for (auto m = marks.rbegin(); m != marks.rend(); ++m)
                text.insert(m->first + m->second, u']').insert(m->first, u'[');
            line += QString::number(row.match.line + 1) + u':' + text;
        }
        out.append(line);
    }
    return out;
}

QStringList search(TSearchFrm* s, const QString& what) {
    s->FindEdt->clear();
    commitText(s->FindEdt, what);
    if (!waitForEnd(s))
        return {QStringLiteral("(not ended)")};
    return rows(s);
}

void setCheck(QCheckBox* box, bool on) {
    if (box->isChecked() != on)
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

} // namespace

class SearchTest : public QObject {
    Q_OBJECT

private slots:
    void findsLines_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("matchWidth");
        QTest::addColumn<QByteArray>("patterns");
        QTest::addColumn<QStringList>("expected");
        const QString tooLarge =
            "g2/big.txt:!" + SearchResults::failureText(fs::ReadFailure::TooLarge);
        const QByteArray all = "*.txt/";
        QTest::newRow("case and width folded")
            << "abc" << false << false << all << QStringList{"g1/a.txt:2:Contract [ABC]",
                                                             "g1/b.txt:2:契約書の[ＡＢＣ]",
                                                             tooLarge,
                                                             "g2/d.txt:2:[abc]",
                                                             "g2/e.txt:2:last line [abc]",
                                                             "g2/メモ.txt:1:sjis name [abc]"};
        QTest::newRow("case exact")
            << "ABC" << true << false << all
            << QStringList{"g1/a.txt:2:Contract [ABC]", "g1/b.txt:2:契約書の[ＡＢＣ]", tooLarge};
        QTest::newRow("width exact") << "ａｂｃ" << false << true << all
                                     << QStringList{"g1/b.txt:2:契約書の[ＡＢＣ]", tooLarge};
        QTest::newRow("both exact")
            << "abc" << true << true << all
            << QStringList{tooLarge, "g2/d.txt:2:[abc]", "g2/e.txt:2:last line [abc]",
                           "g2/メモ.txt:1:sjis name [abc]"};
        QTest::newRow("voiced half-width katakana")
            << QStringLiteral("ガス") << false << false << all
            << QStringList{tooLarge, "g2/d.txt:1:[ｶﾞｽ]とｶﾀｶﾅ"};
        QTest::newRow("half-width katakana exact")
            << QStringLiteral("ガス") << false << true << all << QStringList{tooLarge};
        QTest::newRow("katakana") << QStringLiteral("カタカナ") << false << false << all
                                  << QStringList{tooLarge, "g2/d.txt:1:ｶﾞｽと[ｶﾀｶﾅ]"};
        QTest::newRow("japanese, shift-jis")
            << QStringLiteral("契約") << false << false << all
            << QStringList{"g1/b.txt:2:[契約]書のＡＢＣ", tooLarge};
        QTest::newRow("japanese, utf-8") << QStringLiteral("議事") << false << false << all
                                         << QStringList{"g1/a.txt:1:会議の[議事]録", tooLarge};
        // Neither hidden files, nor files the patterns do not list, nor
        // hidden groups.
        QTest::newRow("only records") << "contract" << false << false << all
                                      << QStringList{"g1/a.txt:2:[Contract] ABC", tooLarge};
        QTest::newRow("patterns hide records")
            << "abc" << false << false << QByteArray("a*/e*/")
            << QStringList{"g1/a.txt:2:Contract [ABC]", "g2/e.txt:2:last line [abc]"};
        QTest::newRow("nothing") << "zzz" << false << false << QByteArray("a*/") << QStringList{};
    }

    void findsLines() {
        QFETCH(QString, what);
        QFETCH(bool, matchCase);
        QFETCH(bool, matchWidth);
        QFETCH(QByteArray, patterns);
        QFETCH(QStringList, expected);
        DataFolder data;
        writeRecords(data);
        data.write("Ostrel.ini", settingsFile("g1", "a.txt", patterns));
        Started main;
        TSearchFrm* s = openSearch(main.main);
        QVERIFY(s);
        setCheck(s->MatchCaseChk, matchCase);
        setCheck(s->MatchWidthChk, matchWidth);
        QCOMPARE(search(s, what), expected);
    }

    // The command in the menu "編集/設定", with its hint in the status bar
    // while it is highlighted; chosen, it opens the one search window.
    void commandInTheMenu() {
        DataFolder data;
        writeRecords(data);
        data.write("Ostrel.ini", settingsFile("g1", "a.txt"));
        Started main;
        TMainFrm* f = main.main;
        QTest::mouseClick(f->MainMenu1, Qt::LeftButton, {},
                          f->MainMenu1->actionGeometry(f->MnuConfig->menuAction()).center());
        QTRY_VERIFY(f->MnuConfig->isVisible());
        QTest::mouseMove(f->MnuConfig, f->MnuConfig->actionGeometry(f->FindAllMnu).center());
        QTRY_COMPARE(f->StatusBar->currentMessage(),
                     QStringLiteral("すべてのグループのレコードから文字列を検索します"));
        QTest::mouseClick(f->MnuConfig, Qt::LeftButton, {},
                          f->MnuConfig->actionGeometry(f->FindAllMnu).center());
        QTRY_VERIFY(f->SearchFrm && f->SearchFrm->isVisible());
        TSearchFrm* first = f->SearchFrm;
        QCOMPARE(first->objectName(), QStringLiteral("SearchFrm"));
        QCOMPARE(search(first, QStringLiteral("議事")).size(), 2); // a.txt, and big.txt unread
        // Closed and opened again by its key from the record list: the same
        // window, which searches its text afresh.
        first->close();
        data.write("g1/new.txt", QStringLiteral("議事\n").toUtf8());
        f->RecordLst->setFocus();
        QVERIFY(openSearch(f) == first);
        QVERIFY(waitForEnd(first));
        QCOMPARE(rows(first).size(), 3);
    }

    // The loaded record is searched as the editor holds it.
    void searchesUnsavedEdits() {
        DataFolder data;
        writeRecords(data);
        data.write("Ostrel.ini", settingsFile("g1", "a.txt"));
        Started main;
        main->MainEdit->setFocus();
        main->MainEdit->setCaret(main->MainEdit->document()->length());
        commitText(main->MainEdit, QStringLiteral("新しい行 zzz"));
        QVERIFY(main->MainEdit->document()->isModified());
        TSearchFrm* s = openSearch(main.main);
        QVERIFY(s);
        const QString tooLarge =
            "g2/big.txt:!" + SearchResults::failureText(fs::ReadFailure::TooLarge);
        QCOMPARE(search(s, "zzz"), (QStringList{"g1/a.txt:3:新しい行 [zzz]", tooLarge}));
        // Edited away: no longer found, although the file still holds it.
        main->MainEdit->selectAll();
        commitText(main->MainEdit, QStringLiteral("会議"));
        s->activateWindow();
        QCOMPARE(search(s, "contract"), QStringList{tooLarge});
        QCOMPARE(search(s, QStringLiteral("会議")).first(), QStringLiteral("g1/a.txt:1:[会議]"));
    }

    void opensFoundLine() {
        DataFolder data;
        writeRecords(data);
        data.write("Ostrel.ini", settingsFile("g1", "a.txt"));
        Started main;
        TSearchFrm* s = openSearch(main.main);
        QVERIFY(s);
        QCOMPARE(search(s, "abc").at(4), QStringLiteral("g2/e.txt:2:last line [abc]"));
        s->ResultLst->setFocus();
        s->ResultLst->setCurrentIndex(s->ResultLst->model()->index(4, 0));
        QTest::keyClick(s->ResultLst, Qt::Key_Return);
        QCOMPARE(main->GroupCmb->currentText(), QStringLiteral("g2"));
        QCOMPARE(main->SelectedRecordName(), QStringLiteral("e.txt"));
        QCOMPARE(main->RecordPath(), QStringLiteral("./g2/e.txt"));
        QCOMPARE(main->MainEdit->selectedText(), QStringLiteral("abc"));
        QCOMPARE(main->MainEdit->selectionStart(), 12);
        QCOMPARE(main->CurrentLineLbl->text(), QStringLiteral("2"));
        QVERIFY(main->DeleteRecBtn->isEnabled());
        QTRY_VERIFY(main->isActiveWindow());

        // A double click on a Shift-JIS record's line, the match in full width.
        const QRect second = s->ResultLst->visualRect(s->ResultLst->model()->index(1, 3));
        // As the system sends a double click: a click, then the second press.
        QTest::mouseClick(s->ResultLst->viewport(), Qt::LeftButton, {}, second.center());
        QTest::mouseDClick(s->ResultLst->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(main->RecordPath(), QStringLiteral("./g1/b.txt"));
        QCOMPARE(main->MainEdit->selectedText(), QStringLiteral("ＡＢＣ"));
        QVERIFY(!main->MainEdit->document()->isModified());

        // A record whose name is not UTF-8 opens under the name it is shown by.
        s->ResultLst->setFocus();
        s->ResultLst->setCurrentIndex(s->ResultLst->model()->index(5, 0));
        QTest::keyClick(s->ResultLst, Qt::Key_Return);
        QCOMPARE(main->SelectedRecordName(), QStringLiteral("メモ.txt"));
        QCOMPARE(main->MainEdit->selectedText(), QStringLiteral("abc"));
    }

    void opensThroughTheUnsavedChangesQuestion() {
        DataFolder data;
        writeRecords(data);
        data.write("Ostrel.ini", settingsFile("g1", "a.txt"));
        Started main;
        main->MainEdit->setFocus();
        main->MainEdit->setCaret(main->MainEdit->document()->length());
        commitText(main->MainEdit, QStringLiteral("edit abc"));
        TSearchFrm* s = openSearch(main.main);
        QVERIFY(s);
        QCOMPARE(search(s, "abc").mid(0, 2),
                 (QStringList{"g1/a.txt:2:Contract [ABC]", "g1/a.txt:3:edit [abc]"}));
        const auto open = [s](int row) {
            s->ResultLst->setFocus();
            s->ResultLst->setCurrentIndex(s->ResultLst->model()->index(row, 0));
            QTest::keyClick(s->ResultLst, Qt::Key_Return);
        };
        {
            // The loaded record's own line: no question, the edits stay.
            BoxAnswerer boxes;
            open(1);
            QVERIFY(boxes.seen().isEmpty());
            QVERIFY(main->MainEdit->document()->isModified());
            QCOMPARE(main->MainEdit->selectedText(), QStringLiteral("abc"));
            QCOMPARE(main->MainEdit->selectionStart(), 25);
        }
        {
            // Another record, Cancel: everything stays where it was.
            BoxAnswerer boxes;
            boxes.answer(kCancel);
            open(5); // g2/e.txt
            QCOMPARE(boxes.texts(),
                     QStringList{QStringLiteral("文書が変更されています。保存しますか？")});
            QCOMPARE(main->RecordPath(), QStringLiteral("./g1/a.txt"));
            QCOMPARE(main->GroupCmb->currentText(), QStringLiteral("g1"));
            QCOMPARE(main->SelectedRecordName(), QStringLiteral("a.txt"));
            QVERIFY(main->MainEdit->document()->toString().endsWith("edit abc"));
            QVERIFY(main->MainEdit->document()->isModified());
        }
        {
            // No: the edits are dropped and the record shown.
            BoxAnswerer boxes;
            boxes.answer(kNo);
            open(5);
            QCOMPARE(main->RecordPath(), QStringLiteral("./g2/e.txt"));
            QCOMPARE(main->MainEdit->selectedText(), QStringLiteral("abc"));
            QVERIFY(!main->MainEdit->document()->isModified());
            QCOMPARE(data.read("g1/a.txt"),
                     QStringLiteral("会議の議事録\nContract ABC\n").toUtf8());
        }
        {
            // A record that went since the search: said, nothing changes.
            QVERIFY(QFile::remove(data.absolute("g1/b.txt")));
            BoxAnswerer boxes;
            boxes.answer("OK");
            open(2);
            QTRY_COMPARE(boxes.seen().size(), 1);
            QVERIFY(boxes.texts().first().contains("./g1/b.txt"));
            QCOMPARE(main->RecordPath(), QStringLiteral("./g2/e.txt"));
        }
    }

    // Why a record could not be read is said, and the search goes on (below
    // the window: as root, run by an ordinary user, to whom the closed
    // record is closed).
    void namesUnreadableRecords() {
        DataFolder data;
        data.write("g/a.txt", "abc\n");
        data.write("g/closed.txt", "abc\n");
        for (const QString& path : {data.path(), data.absolute("g")})
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0777) == 0);
        QVERIFY(::chmod(QFile::encodeName(data.absolute("g/a.txt")).constData(), 0644) == 0);
        QVERIFY(::chmod(QFile::encodeName(data.absolute("g/closed.txt")).constData(), 0) == 0);
        store::SearchRequest request;
        request.dataFolder = data.path();
        request.patterns = QStringLiteral("*.txt/");
        request.what = QStringLiteral("ABC");
        const auto check = [&request] {
            int broken = 0;
            const store::FoundRecord a = store::searchRecord(request, "g", "a.txt");
            if (a.failure != fs::ReadFailure::None || a.lines.size() != 1)
                broken |= 1;
            if (store::searchRecord(request, "g", "closed.txt").failure !=
                fs::ReadFailure::AccessDenied)
                broken |= 2;
            if (store::searchRecord(request, "g", "gone.txt").failure != fs::ReadFailure::NotFound)
                broken |= 4;
            if (store::searchedRecords(request.dataFolder, "g", request.patterns) !=
                QStringList{"a.txt", "closed.txt"})
                broken |= 8;
            return broken;
        };
        if (::geteuid() != 0) {
            QCOMPARE(check(), 0);
            return;
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
            ::_exit(check());
        }
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    // Each key starts the search anew; what a search stopped by the next key
    // had found never shows.
    void typingFast() {
        DataFolder data;
        for (int g = 0; g < 4; ++g)
            for (int r = 0; r < 150; ++r) {
                QString text;
                for (int l = 0; l < 40; ++l)
                    text += QStringLiteral("line %1 a ab abc %2\n")
                                .arg(l)
                                .arg(l % 7 == r % 7 ? "abcd" : "");
                data.write(QStringLiteral("g%1/r%2.txt").arg(g).arg(r, 3, 10, QLatin1Char('0')),
                           text.toUtf8());
            }
        data.write("Ostrel.ini", settingsFile("g0", "r000.txt"));
        Started main;
        TSearchFrm* s = openSearch(main.main);
        QVERIFY(s);
        for (const char* key : {"a", "b", "c", "d"}) {
            QTest::keyClicks(s->FindEdt, key);
            // Let each search hand some of its lines over before the next key.
            QTRY_VERIFY(s->ResultLst->model()->rowCount() > 0 || !s->searching());
        }
        QVERIFY(waitForEnd(s));
        QTRY_VERIFY(s->stoppedSearchesEnded());
        QCoreApplication::processEvents();
        const QStringList found = rows(s);
        // 4 groups x 150 records, in each the lines l with l % 7 == r % 7.
        qsizetype expected = 0;
        for (int r = 0; r < 150; ++r)
            for (int l = 0; l < 40; ++l)
                expected += l % 7 == r % 7;
        QCOMPARE(found.size(), 4 * expected);
        for (const QString& row : found)
            QVERIFY2(row.contains("[abcd]"), qPrintable(row));
        QCOMPARE(found.first(), QStringLiteral("g0/r000.txt:1:line 0 a ab abc [abcd]"));
    }

    void escapeStops() {
        DataFolder data;
        for (int r = 0; r < 400; ++r)
            data.write(QStringLiteral("g/r%1.txt").arg(r, 3, 10, QLatin1Char('0')),
                       QByteArray("abc\n").repeated(200));
        data.write("Ostrel.ini", settingsFile("g", "r000.txt"));
        Started main;
        TSearchFrm* s = openSearch(main.main);
        QVERIFY(s);
        // The key and Esc come before the window handles anything else.
        QTest::keyClicks(s->FindEdt, "b");
        QVERIFY(s->searching());
        QTest::keyClick(s->FindEdt, Qt::Key_Escape);
        QVERIFY(!s->searching());
        QVERIFY(s->isVisible());
        QVERIFY(s->ProgressLbl->text().startsWith(QStringLiteral("検索を中止しました")));
        QVERIFY(!s->StopBtn->isEnabled());
        QTRY_VERIFY(s->stoppedSearchesEnded());
        QCoreApplication::processEvents();
        QCOMPARE(s->ResultLst->model()->rowCount(), 0);
        // Esc again, with no search running, closes the window.
        QTest::keyClick(s->FindEdt, Qt::Key_Escape);
        QVERIFY(!s->isVisible());
    }
};

OSTREL_TEST_MAIN(SearchTest)
#include "tst_search.moc"
