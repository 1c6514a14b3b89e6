// Editing, navigation and search commands, driven through the main window's
// menus, the editor's pop-up menu, the input box and the find dialog.
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/Lines.h"
#include "editor/TextView.h"
#include "mainwindow/FindDialog.h"
#include "mainwindow/MainFrm.h"

#include <QClipboard>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace testing;

namespace {

// What the input box showed.
struct SeenInput {
    QString caption;
    QString prompt;
    QString initial;
    bool seen = false;
};

// Answers the next input box: types the text and presses OK, or presses
// キャンセル when `ok` is false.
std::shared_ptr<SeenInput> answerInputBox(const QString& text, bool ok = true) {
    auto seen = std::make_shared<SeenInput>();
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        seen->seen = true;
        seen->caption = box->windowTitle();
        seen->prompt = box->labelText();
        auto* field = box->findChild<QLineEdit*>();
        seen->initial = field->text();
        QTest::keyClicks(field, text);
        const QString caption = ok ? QStringLiteral("OK") : QStringLiteral("キャンセル");
        for (QPushButton* b : box->findChildren<QPushButton*>()) {
            if (b->text() == caption) {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        }
        qWarning("no button %s", qPrintable(caption));
    });
    timer->start();
    return seen;
}

// A data folder with one group of records and the main window open on the
// first record, the focus in the editor.
struct Fixture {
    DataFolder data;
    std::unique_ptr<Started> started;
    TMainFrm* f = nullptr;

    explicit Fixture(const QString& text, const QString& second = QStringLiteral("second")) {
        data.write(QStringLiteral("Ostrel.ini"), defaultSettingsFile());
        data.write(QStringLiteral("g/a.txt"), text.toUtf8());
        data.write(QStringLiteral("g/b.txt"), second.toUtf8());
        started = std::make_unique<Started>();
        f = started->main;
        focusEditor();
    }
    ~Fixture() {
        if (f->FindDialog)
            f->FindDialog->hide();
    }
    void focusEditor() {
        f->activateWindow();
        QApplication::setActiveWindow(f);
        f->MainEdit->setFocus(Qt::MouseFocusReason);
        // The editing commands are enabled while the focus is in the editor.
        f->MainEditEnter();
    }
    ostrel::editor::TextView* edit() const { return f->MainEdit; }
    QString text() const { return edit()->document()->toString(); }
    int caret() const { return int(edit()->caret()); }
    void select(int anchor, int position) { edit()->select(anchor, position); }
    void setCaret(int position) { select(position, position); }
    QString label() const { return f->CurrentLineLbl->text(); }
    // A point inside the editor's view at a text position.
    QPoint pointAt(int position) const { return edit()->caretRect(position).center(); }
    // Where a line of the text starts (counted from 0).
    int lineStart(int line) const { return int(edit()->document()->lineStart(line)); }
    // Where a row as shown starts (counted from 0), once counted.
    int rowStart(int row) const { return int(edit()->lines()->lineStart(row).value_or(-2)); }
    int rowCount() const { return int(edit()->lines()->lineCount().value_or(-1)); }
    void findThroughDialog(const QString& what) {
        f->FindDialog->FindTextEdt->setText(what);
        QTest::mouseClick(f->FindDialog->FindNextBtn, Qt::LeftButton);
    }
};

QString lines(int count) {
    QStringList out;
    for (int i = 1; i <= count; ++i)
        out.append(QStringLiteral("line%1").arg(i));
    return out.join(u'\n');
}

} // namespace

class TestEditCommands : public QObject {
    Q_OBJECT

private slots:
    void clipboardCommands_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("anchor");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("clipboard");
        // The text is "abcdef"; the clipboard holds "XY" before the command.
        QTest::newRow("cut") << QStringLiteral("CutMnu") << 4 << 1 << QStringLiteral("aef")
                             << QStringLiteral("bcd");
        QTest::newRow("copy") << QStringLiteral("CopyMnu") << 1 << 4 << QStringLiteral("abcdef")
                              << QStringLiteral("bcd");
        QTest::newRow("paste over a selection") << QStringLiteral("PasteMnu") << 1 << 4
                                                << QStringLiteral("aXYef") << QStringLiteral("XY");
        QTest::newRow("paste at the caret") << QStringLiteral("PasteMnu") << 2 << 2
                                            << QStringLiteral("abXYcdef") << QStringLiteral("XY");
        QTest::newRow("delete") << QStringLiteral("DeleteMnu") << 1 << 4 << QStringLiteral("aef")
                                << QStringLiteral("XY");
        QTest::newRow("cut, nothing selected") << QStringLiteral("CutMnu") << 2 << 2
                                               << QStringLiteral("abcdef") << QStringLiteral("XY");
        QTest::newRow("copy, nothing selected") << QStringLiteral("CopyMnu") << 2 << 2
                                                << QStringLiteral("abcdef") << QStringLiteral("XY");
        QTest::newRow("delete, nothing selected")
            << QStringLiteral("DeleteMnu") << 2 << 2 << QStringLiteral("abcdef")
            << QStringLiteral("XY");
        QTest::newRow("pop-up cut") << QStringLiteral("CutPum3") << 1 << 4 << QStringLiteral("aef")
                                    << QStringLiteral("bcd");
        QTest::newRow("pop-up copy") << QStringLiteral("CopyPum3") << 1 << 4
                                     << QStringLiteral("abcdef") << QStringLiteral("bcd");
        QTest::newRow("pop-up paste") << QStringLiteral("PastePum3") << 1 << 4
                                      << QStringLiteral("aXYef") << QStringLiteral("XY");
    }
    void clipboardCommands() {
        QFETCH(QString, item);
        QFETCH(int, anchor);
        QFETCH(int, position);
        QFETCH(QString, text);
        QFETCH(QString, clipboard);
        Fixture x(QStringLiteral("abcdef"));
        QApplication::clipboard()->setText(QStringLiteral("XY"));
        x.select(anchor, position);
        auto* action = x.f->findChild<QAction*>(item);
        QVERIFY(action);
        action->trigger();
        QCOMPARE(x.text(), text);
        QCOMPARE(QApplication::clipboard()->text(), clipboard);
        // A change is an ordinary edit: the record can be saved.
        QCOMPARE(x.f->SaveDataBtn->isEnabled(), text != QStringLiteral("abcdef"));
    }

    void pasteWithoutTextInTheClipboard() {
        Fixture x(QStringLiteral("abc"));
        QApplication::clipboard()->clear();
        x.setCaret(1);
        x.f->PasteMnu->trigger();
        QCOMPARE(x.text(), QStringLiteral("abc"));
    }

    void moveToTheStartAndTheEnd_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("end");
        QTest::newRow("without a final break") << QStringLiteral("abc") << 2;
        QTest::newRow("with a final break") << QStringLiteral("abc\ndef\n") << 7;
        QTest::newRow("empty") << QStringLiteral("") << 0;
    }
    void moveToTheStartAndTheEnd() {
        QFETCH(QString, text);
        QFETCH(int, end);
        Fixture x(text);
        x.f->MoveLastMnu->trigger();
        QCOMPARE(x.caret(), end);
        QVERIFY(!x.edit()->hasSelection());
        x.f->MoveStartMnu->trigger();
        QCOMPARE(x.caret(), 0);
    }

    void moveToALine_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("line"); // 0: the caret stays
        QTest::addColumn<QString>("error");
        QTest::newRow("3") << QStringLiteral("3") << 3 << QStringLiteral("");
        QTest::newRow("1") << QStringLiteral("1") << 1 << QStringLiteral("");
        QTest::newRow("leading space") << QStringLiteral(" 7") << 7 << QStringLiteral("");
        QTest::newRow("hexadecimal") << QStringLiteral("$A") << 10 << QStringLiteral("");
        QTest::newRow("0x") << QStringLiteral("0xb") << 11 << QStringLiteral("");
        QTest::newRow("plus") << QStringLiteral("+2") << 2 << QStringLiteral("");
        QTest::newRow("trailing space")
            << QStringLiteral("7 ") << 0 << QStringLiteral("'7 ' は数値ではありません.");
        QTest::newRow("letters") << QStringLiteral("abc") << 0
                                 << QStringLiteral("'abc' は数値ではありません.");
        QTest::newRow("empty") << QStringLiteral("") << 0
                               << QStringLiteral("'' は数値ではありません.");
        QTest::newRow("too large") << QStringLiteral("2147483648") << 0
                                   << QStringLiteral("'2147483648' は数値ではありません.");
        QTest::newRow("past the last line") << QStringLiteral("99") << 0 << QStringLiteral("");
        QTest::newRow("zero") << QStringLiteral("0") << 0 << QStringLiteral("");
    }
    void moveToALine() {
        QFETCH(QString, input);
        QFETCH(int, line);
        QFETCH(QString, error);
        Fixture x(lines(12));
        x.setCaret(2);
        BoxAnswerer boxes;
        if (!error.isEmpty())
            boxes.answer(QStringLiteral("OK"));
        const auto seen = answerInputBox(input);
        x.f->MoveLineMnu->trigger();
        QVERIFY(seen->seen);
        QCOMPARE(seen->caption, QStringLiteral("行の移動"));
        QCOMPARE(seen->prompt, QStringLiteral("移動する行番号を入力してください"));
        QCOMPARE(seen->initial, QString());
        const int expected = line ? x.lineStart(line - 1) : 2;
        QCOMPARE(x.caret(), expected);
        QCOMPARE(boxes.texts(), error.isEmpty() ? QStringList() : QStringList{error});
        if (!error.isEmpty()) {
            QCOMPARE(boxes.seen().front().title, QStringLiteral("OSTREL"));
            QCOMPARE(boxes.seen().front().icon, int(QMessageBox::Critical));
        }
        QCOMPARE(x.text(), lines(12));
    }

    void moveToALineCancelled() {
        Fixture x(lines(12));
        x.setCaret(2);
        BoxAnswerer boxes;
        const auto seen = answerInputBox(QStringLiteral("5"), false);
        x.f->MoveLineMnu->trigger();
        QVERIFY(seen->seen);
        QCOMPARE(x.caret(), 2);
        QVERIFY(boxes.seen().isEmpty());
    }

    void moveToALineCountsWrappedRows() {
        const QString first =
            QStringLiteral("this first line is long enough to wrap in the editor at its width");
        Fixture x(first + QStringLiteral("\nsecond\nthird"));
        QVERIFY(x.edit()->wordWrap());
        // The second row: the first position shown below the first row.
        int second = 1;
        while (x.edit()->caretRect(second).y() == x.edit()->caretRect(0).y())
            ++second;
        QVERIFY(second < first.size());
        const int rows = x.rowCount() - 2;
        QVERIFY(rows >= 2);

        answerInputBox(QStringLiteral("2"));
        x.f->MoveLineMnu->trigger();
        QCOMPARE(x.caret(), second);

        answerInputBox(QString::number(rows + 2));
        x.f->MoveLineMnu->trigger();
        QCOMPARE(x.caret(), x.lineStart(2));
    }

    void rememberAndReturn() {
        QString longText = QString(200, u'x');
        Fixture x(longText, QString(50, u'y'));
        // Before anything was remembered: the start.
        x.setCaret(30);
        x.f->MoveMemoryMnu->trigger();
        QCOMPARE(x.caret(), 0);

        // A selection dragged from right to left is remembered by its lower end.
        x.select(9, 5);
        x.f->PointMemoryMnu->trigger();
        QCOMPARE(x.f->MemoryPoint, 5);
        x.setCaret(100);
        x.f->MovePointPum3->trigger();
        QCOMPARE(x.caret(), 5);

        // One value for every record: past the end of a shorter one, the end.
        x.setCaret(120);
        x.f->PointPum3->trigger();
        QCOMPARE(x.f->MemoryPoint, 120);
        x.f->RecordLst->setCurrentRow(1);
        QCOMPARE(x.text(), QString(50, u'y'));
        x.focusEditor();
        x.f->MoveMemoryMnu->trigger();
        QCOMPARE(x.caret(), 50);
    }

    void lineDisplayLagsOneKey() {
        Fixture x(lines(6));
        QCOMPARE(x.label(), QStringLiteral("0"));
        x.setCaret(0);
        QTest::keyClick(x.edit(), Qt::Key_Down);
        QCOMPARE(x.label(), QStringLiteral("1"));
        QTest::keyClick(x.edit(), Qt::Key_Down);
        QCOMPARE(x.label(), QStringLiteral("2"));
        QCOMPARE(x.edit()->document()->lineOf(x.caret()), 2);

        // A typed line break shows only with the next key.
        QTest::keyClick(x.edit(), Qt::Key_Return);
        QCOMPARE(x.label(), QStringLiteral("3"));
        QTest::keyClick(x.edit(), Qt::Key_Right);
        QCOMPARE(x.label(), QStringLiteral("4"));

        // Each automatic repeat is a press.
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(x.edit(), &repeat);
        QCOMPARE(x.label(), QStringLiteral("4"));
        QApplication::sendEvent(x.edit(), &repeat);
        QCOMPARE(x.label(), QStringLiteral("5"));

        // Typed Japanese counts as key presses too.
        x.setCaret(0);
        commitText(x.edit(), QStringLiteral("日本"));
        QCOMPARE(x.label(), QStringLiteral("1"));
        QVERIFY(x.text().startsWith(QStringLiteral("日本line1")));
    }

    void lineDisplayFollowsTheMouseAtOnce() {
        Fixture x(lines(8));
        QTest::mouseClick(x.edit()->viewport(), Qt::LeftButton, {}, x.pointAt(x.lineStart(4) + 2));
        QCOMPARE(x.edit()->document()->lineOf(x.caret()), 4);
        QCOMPARE(x.label(), QStringLiteral("5"));
        QTest::mouseDClick(x.edit()->viewport(), Qt::LeftButton, {}, x.pointAt(x.lineStart(1) + 2));
        QCOMPARE(x.label(), QStringLiteral("2"));
        // A right-button press leaves the selection alone (dragged from line 7
        // back to line 1), and the display shows the line of its lower end.
        const int line7 = x.lineStart(6);
        x.select(line7, 1);
        QTest::mousePress(x.edit()->viewport(), Qt::RightButton, {}, x.pointAt(line7 + 2));
        QCOMPARE(x.label(), QStringLiteral("1"));
        QCOMPARE(x.edit()->selectionStart(), 1);
        QCOMPARE(x.edit()->selectionEnd(), line7);
        QTest::mouseRelease(x.edit()->viewport(), Qt::RightButton, {}, x.pointAt(line7 + 2));
        QTRY_VERIFY(MainFrm->Pum3->isVisible());
        MainFrm->Pum3->close();
    }

    void lineDisplayCountsWrappedRows() {
        const QString first =
            QStringLiteral("this first line is long enough to wrap in the editor at its width");
        Fixture x(first + QStringLiteral("\nsecond"));
        const int rows = x.rowCount() - 1;
        QVERIFY(rows >= 2);
        QTest::mouseClick(x.edit()->viewport(), Qt::LeftButton, {}, x.pointAt(x.lineStart(1) + 1));
        QCOMPARE(x.label(), QString::number(rows + 1));

        // Without wrap a line is a line of the text.
        x.f->MainEdit->setWordWrap(false);
        QTest::keyClick(x.edit(), Qt::Key_Left);
        QCOMPARE(x.label(), QStringLiteral("2"));
    }

    // In a record whose rows are counted after a new width, the display
    // shows the number when the count comes, and a move to a line goes there
    // then, unless the caret was moved meanwhile.
    void linesCountedInTheBackground() {
        QStringList text;
        for (int i = 0; i < 3000; ++i)
            text.append(QStringLiteral("line %1 ").arg(i) +
                        QStringLiteral("word ").repeated(i % 40));
        // A new width: what was counted since the load counts no more.
        const auto newWidth = [](Fixture& x) {
            x.f->resize(x.f->width() + 40, x.f->height());
            QApplication::processEvents();
        };
        const auto counted = [](Fixture& x) {
            QTRY_VERIFY(!x.edit()->lines()->counting());
            QVERIFY(x.rowCount() > 3000);
        };
        {
            Fixture x(text.join(u'\n'));
            newWidth(x);
            x.setCaret(0);
            QTest::keyClick(x.edit(), Qt::Key_End, Qt::ControlModifier);
            QCOMPARE(x.label(), QStringLiteral("1"));
            QTest::keyClick(x.edit(), Qt::Key_Left); // the line of the end is asked for
            counted(x);
            QTRY_COMPARE(x.label(), QString::number(x.rowCount()));
        }
        {
            Fixture x(text.join(u'\n'));
            newWidth(x);
            answerInputBox(QStringLiteral("2500"));
            x.f->MoveLineMnu->trigger();
            counted(x);
            QTRY_COMPARE(x.caret(), x.rowStart(2499));
            QVERIFY(x.rowStart(2499) < x.lineStart(2499)); // rows, not lines
        }
        {
            Fixture x(text.join(u'\n'));
            newWidth(x);
            answerInputBox(QStringLiteral("2500"));
            x.f->MoveLineMnu->trigger();
            x.f->MoveLastMnu->trigger();
            const int last = x.caret();
            counted(x);
            QApplication::processEvents();
            QCOMPARE(x.caret(), last);
        }
    }

    void lineDisplayShowsEveryDigit() {
        // Line 1,000,001 in full in the display's fixed room, and a short
        // number after it at the display's own size again.
        Fixture x(QString(1000000, u'\n'));
        const QFont own = x.f->CurrentLineLbl->font();
        x.setCaret(1000000);
        QTest::keyClick(x.edit(), Qt::Key_Up);
        QTRY_COMPARE(x.label(), QStringLiteral("1000001")); // once counted
        const QLabel* display = x.f->CurrentLineLbl;
        QVERIFY(QFontMetrics(display->font()).horizontalAdvance(x.label()) <=
                display->contentsRect().width());
        x.setCaret(0);
        QTest::keyClick(x.edit(), Qt::Key_Down);
        QCOMPARE(x.label(), QStringLiteral("1"));
        QCOMPARE(display->font(), own);
    }

    void otherCommandsLeaveTheLineDisplay() {
        Fixture x(lines(8));
        QTest::keyClick(x.edit(), Qt::Key_Right);
        QCOMPARE(x.label(), QStringLiteral("1"));
        x.f->MoveLastMnu->trigger();
        answerInputBox(QStringLiteral("5"));
        x.f->MoveLineMnu->trigger();
        x.f->FindStringMnu->trigger();
        x.findThroughDialog(QStringLiteral("line7"));
        QCOMPARE(x.edit()->selectedText(), QStringLiteral("line7"));
        QCOMPARE(x.label(), QStringLiteral("1"));
    }

    void findWalksForwardWithoutWrapping() {
        Fixture x(QStringLiteral("abc ABC xABCx abc ABC"));
        x.f->FindStringMnu->trigger();
        TFindDialog* dlg = x.f->FindDialog;
        QVERIFY(dlg->isVisible());
        QCOMPARE(dlg->objectName(), QStringLiteral("FindDialog"));
        QVERIFY(dlg->DownRdb->isChecked());
        QVERIFY(!dlg->MatchCaseChk->isChecked());
        QVERIFY(!dlg->WholeWordChk->isChecked());
        dlg->MatchCaseChk->setChecked(true);

        x.setCaret(10); // nothing selected: from the beginning
        dlg->FindTextEdt->setText(QStringLiteral("ABC"));
        QTest::keyClick(dlg->FindTextEdt, Qt::Key_Return);
        const auto selection = [&] {
            return qMakePair(int(x.edit()->selectionStart()), int(x.edit()->selectionEnd()));
        };
        QCOMPARE(selection(), qMakePair(4, 7));
        QCOMPARE(x.f->focusWidget(), x.edit());
        QVERIFY(dlg->isVisible());
        QTest::mouseClick(dlg->FindNextBtn, Qt::LeftButton);
        QCOMPARE(selection(), qMakePair(9, 12));
        QTest::mouseClick(dlg->FindNextBtn, Qt::LeftButton);
        QCOMPARE(selection(), qMakePair(18, 21));
        // After the last match: nothing happens, nothing is shown.
        BoxAnswerer boxes;
        QTest::mouseClick(dlg->FindNextBtn, Qt::LeftButton);
        QCOMPARE(selection(), qMakePair(18, 21));
        QCoreApplication::processEvents(); // what the event loop has ready
        QVERIFY(boxes.seen().isEmpty());
        // A click empties the selection: the next search starts over.
        QTest::mouseClick(x.edit()->viewport(), Qt::LeftButton, {}, x.pointAt(15));
        QTest::mouseClick(dlg->FindNextBtn, Qt::LeftButton);
        QCOMPARE(selection(), qMakePair(4, 7));
    }

    void findCases_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("found"); // -1: not found
        QTest::newRow("inside a word")
            << QStringLiteral("concatenate") << QStringLiteral("cat") << 3;
        QTest::newRow("case ignored, as the dialog opens")
            << QStringLiteral("abc") << QStringLiteral("ABC") << 0;
        QTest::newRow("empty text") << QStringLiteral("") << QStringLiteral("a") << -1;
        QTest::newRow("Japanese") << QStringLiteral("日本語の文章") << QStringLiteral("文章") << 4;
        QTest::newRow("on a later line")
            << QStringLiteral("one\ntwo\nthree") << QStringLiteral("thr") << 8;
    }
    void findCases() {
        QFETCH(QString, text);
        QFETCH(QString, what);
        QFETCH(int, found);
        Fixture x(text);
        x.setCaret(0);
        x.f->FindStringMnu->trigger();
        x.findThroughDialog(what);
        const ostrel::editor::TextView* c = x.edit();
        QCOMPARE(c->hasSelection() ? c->selectionStart() : -1, found);
        if (found >= 0)
            QCOMPARE(c->selectedText().toCaseFolded(), what.toCaseFolded());
    }

    void findHonoursTheOptions_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("wholeWord");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QList<int>>("walk"); // each request's match (-1: none), in turn
        const QString apples = QStringLiteral("Apple apple APPLE pineapple");
        QTest::newRow("case ignored")
            << apples << "APPLE" << false << false << false << QList<int>{0, 6, 12, 22, 22};
        QTest::newRow("case matched")
            << apples << "APPLE" << true << false << false << QList<int>{12, 12};
        QTest::newRow("whole words")
            << apples << "apple" << false << true << false << QList<int>{0, 6, 12, 12};
        // Up: from the end of the text when nothing is selected, then from
        // the start of each match, never wrapping around.
        QTest::newRow("up") << apples << "apple" << false << false << true
                            << QList<int>{22, 12, 6, 0, 0};
        QTest::newRow("up, case matched, whole words")
            << apples << "apple" << true << true << true << QList<int>{6, 6};
        QTest::newRow("up across lines") << QStringLiteral("one two\none\ntwo") << "one" << false
                                         << false << true << QList<int>{8, 0, 0};
        QTest::newRow("overlapping, up")
            << QStringLiteral("aaaa") << "aa" << false << false << true << QList<int>{2, 0};
        QTest::newRow("full-width letters")
            << QStringLiteral("ａｂｃ ＡＢＣ") << QStringLiteral("ＡＢＣ") << false << false
            << false << QList<int>{0, 4};
        QTest::newRow("whole words, Japanese")
            << QStringLiteral("日本語の文章です") << QStringLiteral("文章") << false << true
            << false << QList<int>{4};
        QTest::newRow("whole words, inside a katakana word")
            << QStringLiteral("テキストファイル") << QStringLiteral("テキスト") << false << true
            << false << QList<int>{-1};
        QTest::newRow("not found up")
            << apples << "pear" << false << false << true << QList<int>{-1};
    }
    void findHonoursTheOptions() {
        QFETCH(QString, text);
        QFETCH(QString, what);
        QFETCH(bool, matchCase);
        QFETCH(bool, wholeWord);
        QFETCH(bool, up);
        QFETCH(QList<int>, walk);
        Fixture x(text);
        x.setCaret(3);
        x.f->FindStringMnu->trigger();
        TFindDialog* dlg = x.f->FindDialog;
        if (matchCase)
            QTest::mouseClick(dlg->MatchCaseChk, Qt::LeftButton);
        if (wholeWord)
            QTest::mouseClick(dlg->WholeWordChk, Qt::LeftButton);
        if (up)
            QTest::mouseClick(dlg->UpRdb, Qt::LeftButton);
        QCOMPARE(dlg->MatchCaseChk->isChecked(), matchCase);
        QCOMPARE(dlg->WholeWordChk->isChecked(), wholeWord);
        QCOMPARE(dlg->UpRdb->isChecked(), up);
        dlg->FindTextEdt->setText(what);
        QList<int> found;
        for (qsizetype i = 0; i < walk.size(); ++i) {
            QTest::mouseClick(dlg->FindNextBtn, Qt::LeftButton);
            const ostrel::editor::TextView* c = x.edit();
            found.append(c->hasSelection() ? int(c->selectionStart()) : -1);
            if (c->hasSelection())
                QCOMPARE(c->selectedText().size(), what.size());
        }
        QCOMPARE(found, walk);
    }

    void findFromTheRecordList() {
        Fixture x(QStringLiteral("alpha beta gamma"));
        x.f->FindStringMnu->trigger();
        x.f->RecordLst->setFocus();
        QCOMPARE(x.f->focusWidget(), x.f->RecordLst);
        x.findThroughDialog(QStringLiteral("beta"));
        QCOMPARE(x.edit()->selectedText(), QStringLiteral("beta"));
        QCOMPARE(x.f->focusWidget(), x.edit());
    }

    void findDialogPlaceAndText() {
        Fixture x(QStringLiteral("text"));
        x.f->FindStringMnu->trigger();
        TFindDialog* dlg = x.f->FindDialog;
        // The editor's top-right corner in the client area, as a screen point.
        const QPoint point(x.edit()->x() + x.edit()->width(), 29);
        QCOMPARE(x.edit()->y(), 29);
        QCOMPARE(dlg->frameGeometry().topLeft(), point);

        // Moved by the user, chosen again: it stays where the user left it.
        dlg->move(point + QPoint(40, 50));
        x.f->FindStringMnu->trigger();
        QCOMPARE(dlg->frameGeometry().topLeft(), point + QPoint(40, 50));

        // Closed and opened again: at the point, with its text kept.
        QTest::keyClicks(dlg->FindTextEdt, QStringLiteral("kept"));
        QTest::mouseClick(dlg->CancelBtn, Qt::LeftButton);
        QVERIFY(!dlg->isVisible());
        x.f->FindStringMnu->trigger();
        QVERIFY(dlg->isVisible());
        QCOMPARE(dlg->frameGeometry().topLeft(), point);
        QCOMPARE(dlg->FindTextEdt->text(), QStringLiteral("kept"));

        // The tool bar hidden: the editor's top is the client area's top.
        dlg->hide();
        x.f->SpeedPanel->hide();
        x.f->centralWidget()->layout()->activate();
        x.f->FindStringMnu->trigger();
        QCOMPARE(dlg->frameGeometry().topLeft(), QPoint(x.edit()->x() + x.edit()->width(), 0));
    }

    void findFieldHoldsAtMost255Bytes() {
        Fixture x(QStringLiteral("text"));
        x.f->FindStringMnu->trigger();
        QLineEdit* field = x.f->FindDialog->FindTextEdt;
        QTest::keyClicks(field, QString(300, u'a'));
        QCOMPARE(field->text().size(), 255);
        field->clear();
        QVERIFY(!x.f->FindDialog->FindNextBtn->isEnabled());
        commitText(field, QString(127, u'あ'));
        commitText(field, QStringLiteral("い"));
        QCOMPARE(field->text(), QString(127, u'あ'));
        QVERIFY(x.f->FindDialog->FindNextBtn->isEnabled());
    }
};

QTEST_MAIN(TestEditCommands)
#include "tst_editcommands.moc"
