// The editor's view driven as a person drives it: keys as Qt's plain-text
// editor takes them (moves by character, word, row, page; the edits and
// their steps to undo), the mouse (clicks, drags, double and triple clicks),
// the clipboard, drops, the modified mark, and no edit while the text is
// loading.
#include "editor/Document.h"
#include "editor/Lines.h"
#include "editor/TextView.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <cstring>
#include <thread>

using ostrel::editor::Document;
using ostrel::editor::TextView;

namespace {

// A view of a fixed size and font, shown and focused, holding a text.
struct View {
    TextView view;
    explicit View(const QString& text, int width = 300, int height = 200) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        view.setFont(font);
        view.resize(width, height);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            qFatal("not shown");
        view.activateWindow();
        view.setFocus();
        view.document()->setText(text);
    }
    Document* doc() { return view.document(); }
    QString text() { return doc()->toString(); }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&view, key, modifiers);
    }
    // The middle of the character cell at a position.
    QPoint pointAt(qsizetype position) {
        const QRect r = view.caretRect(position);
        return QPoint(r.left() + 1, r.center().y());
    }
};

using Positions = QList<qsizetype>;

} // namespace

class TestEditorView : public QObject {
    Q_OBJECT

private slots:
    // Moves by word stop where Qt's editor stops: after a word and the spaces
    // after it, at separators, at a line's end and the next line's start;
    // Japanese without spaces is one word.
    void wordMoves() {
        View v(QStringLiteral("foo bar.baz  qux\nline2 日本語のテキスト、です。abc"));
        Positions right, left;
        for (int i = 0; i < 9; ++i) {
            v.key(Qt::Key_Right, Qt::ControlModifier);
            right.append(v.view.caret());
        }
        for (int i = 0; i < 9; ++i) {
            v.key(Qt::Key_Left, Qt::ControlModifier);
            left.append(v.view.caret());
        }
        QCOMPARE(right, (Positions{4, 7, 8, 13, 16, 17, 23, 38, 38}));
        QCOMPARE(left, (Positions{23, 17, 16, 13, 8, 7, 4, 0, 0}));
    }

    // A word move or a double click in a line of 300,000 Japanese characters
    // without a space takes the whole run.
    void wordsOfALongRun() {
        const QString run = QStringLiteral("日本語").repeated(100000);
        View v(QStringLiteral("a ") + run + QStringLiteral(" b"));
        v.view.setCaret(2);
        v.key(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(v.view.caret(), 2 + run.size() + 1);
        v.key(Qt::Key_Left, Qt::ControlModifier);
        QCOMPARE(v.view.caret(), 2);
        QTest::mouseDClick(v.view.viewport(), Qt::LeftButton, {}, v.pointAt(4));
        QCOMPARE(v.view.selectionStart(), 2);
        QCOMPARE(v.view.selectionEnd(), 2 + run.size());
    }

    // Left and Right step over whole characters (a surrogate pair, a letter
    // with its accent); Backspace takes one code point, Delete a character.
    void charactersAndClusters() {
        View v(QStringLiteral("a😀e\u0301x"));
        v.view.setCaret(6);
        Positions left;
        for (int i = 0; i < 4; ++i) {
            v.key(Qt::Key_Left);
            left.append(v.view.caret());
        }
        QCOMPARE(left, (Positions{5, 3, 1, 0}));
        v.view.setCaret(5);
        v.key(Qt::Key_Backspace);
        QCOMPARE(v.text(), QStringLiteral("a😀ex"));
        v.view.setCaret(1);
        v.key(Qt::Key_Delete);
        QCOMPARE(v.text(), QStringLiteral("aex"));
    }

    // Up and Down keep the column they started in; at the first or last row
    // only a selection moves, to the start or the end.
    void rowsUpAndDown() {
        View v(QStringLiteral("abcdefgh\nab\nabcdefgh"));
        v.view.setCaret(6);
        Positions seen;
        for (Qt::Key k :
             {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up}) {
            v.key(k);
            seen.append(v.view.caret());
        }
        QCOMPARE(seen, (Positions{11, 18, 18, 11, 6, 6}));
        v.key(Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(v.view.selectionStart(), 0);
        QCOMPARE(v.view.selectionEnd(), 6);
        v.view.setCaret(12);
        v.key(Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(v.view.caret(), 20);
        QCOMPARE(v.view.anchor(), 12);
    }

    // Home and End go to the ends of the row as shown: a row that wraps after
    // a space ends before it; Ctrl+Home and Ctrl+End to the text's ends.
    void rowEnds() {
        View v(QStringLiteral("word ").repeated(30));
        const qsizetype second = *v.view.lines()->lineStart(1);
        QVERIFY(second > 0 && second < 150);
        v.key(Qt::Key_End);
        QCOMPARE(v.view.caret(), second - 1);
        v.key(Qt::Key_Down);
        v.key(Qt::Key_Home);
        QCOMPARE(v.view.caret(), second);
        v.key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(v.view.caret(), 150);
        v.key(Qt::Key_Home, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(v.view.selectionStart(), 0);
        QCOMPARE(v.view.selectionEnd(), 150);
    }

    // Page Down moves the caret and the view by a page of rows.
    void pages() {
        QStringList lines;
        for (int i = 0; i < 100; ++i)
            lines.append(QStringLiteral("line %1").arg(i));
        View v(lines.join(u'\n'));
        const int page = (v.view.viewport()->height() - 4) / v.view.rowHeight();
        v.key(Qt::Key_PageDown);
        QCOMPARE(*v.view.lines()->lineOf(v.view.caret()), page);
        QVERIFY(v.view.caretRect().bottom() <= v.view.viewport()->height());
        QCOMPARE(v.view.positionAt(QPoint(1, 6)), *v.view.lines()->lineStart(page));
        v.key(Qt::Key_PageUp);
        QCOMPARE(v.view.caret(), 0);
        v.key(Qt::Key_End, Qt::ControlModifier);
        QVERIFY(v.view.caretRect().bottom() <= v.view.viewport()->height());
        QCOMPARE(v.view.verticalScrollBar()->value(), v.view.verticalScrollBar()->maximum());
    }

    // Keys that edit, as Qt's editor has them (Shift+Enter too makes a line
    // break, which the record's file holds as one).
    void editingKeys_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("anchor");
        QTest::addColumn<int>("caret");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("caretAfter");
        const int none = Qt::NoModifier, ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
        QTest::newRow("enter over a selection")
            << "abcdef" << 1 << 3 << int(Qt::Key_Return) << none << "a\ndef" << 2;
        QTest::newRow("keypad enter")
            << "ab" << 2 << 2 << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "ab\n"
            << 3;
        QTest::newRow("shift+enter") << "ab" << 2 << 2 << int(Qt::Key_Return) << shift << "ab\n"
                                     << 3;
        QTest::newRow("tab") << "ab" << 1 << 1 << int(Qt::Key_Tab) << none << "a\tb" << 2;
        QTest::newRow("backspace over a selection")
            << "abcdef" << 4 << 1 << int(Qt::Key_Backspace) << none << "aef" << 1;
        QTest::newRow("backspace at the start")
            << "ab" << 0 << 0 << int(Qt::Key_Backspace) << none << "ab" << 0;
        QTest::newRow("delete at the end")
            << "ab" << 2 << 2 << int(Qt::Key_Delete) << none << "ab" << 2;
        QTest::newRow("ctrl+backspace") << "foo bar.baz  qux" << 16 << 16 << int(Qt::Key_Backspace)
                                        << ctrl << "foo bar.baz  " << 13;
        QTest::newRow("ctrl+backspace over spaces")
            << "foo bar.baz  " << 13 << 13 << int(Qt::Key_Backspace) << ctrl << "foo bar." << 8;
        QTest::newRow("ctrl+delete")
            << "foo bar." << 0 << 0 << int(Qt::Key_Delete) << ctrl << "bar." << 0;
        QTest::newRow("typing over a selection")
            << "abcdef" << 1 << 4 << int(Qt::Key_X) << none << "axef" << 2;
        QTest::newRow("ctrl+letter is no typing")
            << "ab" << 1 << 1 << int(Qt::Key_B) << ctrl << "ab" << 1;
    }
    void editingKeys() {
        QFETCH(QString, text);
        QFETCH(int, anchor);
        QFETCH(int, caret);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, after);
        QFETCH(int, caretAfter);
        View v(text);
        v.view.select(anchor, caret);
        v.key(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(v.text(), after);
        QCOMPARE(v.view.caret(), caretAfter);
        QVERIFY(!v.view.hasSelection());
        QCOMPARE(v.doc()->isModified(), after != text);
    }

    // Undo and redo by keys, in the steps typing makes; undoing back to the
    // text as loaded clears the modified mark.
    void undoByKeys() {
        View v(QStringLiteral("start"));
        QSignalSpy modified(v.doc(), &Document::modificationChanged);
        v.view.setCaret(5);
        QTest::keyClicks(&v.view, QStringLiteral("ab cd"));
        v.key(Qt::Key_Return);
        QTest::keyClicks(&v.view, QStringLiteral("ef"));
        QCOMPARE(v.text(), QStringLiteral("startab cd\nef"));
        QVERIFY(v.doc()->isModified());
        QStringList undone;
        for (int i = 0; i < 4; ++i) {
            v.key(Qt::Key_Z, Qt::ControlModifier);
            undone.append(v.text() + u'@' + QString::number(v.view.caret()));
        }
        QCOMPARE(undone, (QStringList{"startab cd\n@11", "startab cd@10", "start@5", "start@5"}));
        QVERIFY(!v.doc()->isModified());
        v.key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(v.text(), QStringLiteral("startab cd"));
        QVERIFY(v.doc()->isModified());
        QCOMPARE(modified.size(), 3);
    }

    void selectAllAndCollapse() {
        View v(QStringLiteral("abcdef"));
        v.key(Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(v.view.selectedText(), QStringLiteral("abcdef"));
        v.view.select(1, 4);
        v.key(Qt::Key_Left);
        QCOMPARE(v.view.caret(), 1);
        v.view.select(4, 1);
        v.key(Qt::Key_Right);
        QCOMPARE(v.view.caret(), 4);
        QVERIFY(!v.view.hasSelection());
    }

    // A click places the caret, a drag selects, Shift extends, a double
    // click selects a word and a triple click the line; the right button
    // selects nothing and asks for a context menu.
    void mouse() {
        View v(QStringLiteral("日本語のテキスト です abc.def\nsecond line"));
        QTest::mouseClick(v.view.viewport(), Qt::LeftButton, {}, v.pointAt(3));
        QCOMPARE(v.view.caret(), 3);
        QTest::mousePress(v.view.viewport(), Qt::LeftButton, {}, v.pointAt(1));
        QTest::mouseMove(v.view.viewport(), v.pointAt(7));
        QTest::mouseRelease(v.view.viewport(), Qt::LeftButton, {}, v.pointAt(7));
        QCOMPARE(v.view.anchor(), 1);
        QCOMPARE(v.view.caret(), 7);
        QTest::mouseClick(v.view.viewport(), Qt::LeftButton, Qt::ShiftModifier, v.pointAt(10));
        QCOMPARE(v.view.selectionStart(), 1);
        QCOMPARE(v.view.selectionEnd(), 10);

        QTest::mouseDClick(v.view.viewport(), Qt::LeftButton, {}, v.pointAt(2));
        QCOMPARE(v.view.selectedText(), QStringLiteral("日本語のテキスト"));
        QTest::mouseClick(v.view.viewport(), Qt::LeftButton, {}, v.pointAt(2));
        QCOMPARE(v.view.selectedText(), QStringLiteral("日本語のテキスト です abc.def\n"));

        v.view.select(1, 4);
        QSignalSpy menu(&v.view, &TextView::contextMenuRequested);
        QTest::mouseClick(v.view.viewport(), Qt::RightButton, {}, v.pointAt(20));
        QCOMPARE(v.view.selectionStart(), 1);
        QCOMPARE(v.view.selectionEnd(), 4);
        QContextMenuEvent event(QContextMenuEvent::Mouse, v.pointAt(20),
                                v.view.viewport()->mapToGlobal(v.pointAt(20)));
        QApplication::sendEvent(v.view.viewport(), &event);
        QCOMPARE(menu.size(), 1);
    }

    // A click right of a row that wraps keeps the caret in that row.
    void clickBeyondAWrappedRow() {
        View v(QStringLiteral("日本語").repeated(40));
        const qsizetype second = *v.view.lines()->lineStart(1);
        const QRect row = v.view.caretRect(0);
        QTest::mouseClick(v.view.viewport(), Qt::LeftButton, {},
                          QPoint(v.view.viewport()->width() - 2, row.center().y()));
        QCOMPARE(*v.view.lines()->lineOf(v.view.caret()), 0);
        QVERIFY(v.view.caret() >= second - 1);
    }

    // The clipboard gets and gives the exact text; pasted line breaks of
    // any kind become the text's.
    void clipboard() {
        View v(QStringLiteral("a\u00A0b c"));
        v.view.select(0, 3);
        v.view.copy();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("a\u00A0b"));
        v.view.setCaret(5);
        QApplication::clipboard()->setText(QStringLiteral("1\r\n2\r3\n4\u20295"));
        v.key(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(v.text(), QStringLiteral("a\u00A0b c1\n2\n3\n4\n5"));
        v.view.setCaret(2);
        QApplication::clipboard()->setText(QStringLiteral("kept"));
        v.view.cut(); // nothing selected
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("kept"));
        v.view.select(0, 1);
        v.key(Qt::Key_Delete, Qt::ShiftModifier); // cut
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("a"));
        QApplication::clipboard()->clear();
        v.view.paste();
        QCOMPARE(v.text(), QStringLiteral("\u00A0b c1\n2\n3\n4\n5"));
    }

    // Text dropped from elsewhere goes in where it is dropped, one step to undo.
    void drop() {
        View v(QStringLiteral("first second"));
        QMimeData data;
        data.setText(QStringLiteral("dropped\r\n"));
        const QPoint at = v.pointAt(6);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(v.view.viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(v.view.viewport(), &drop);
        QCOMPARE(v.text(), QStringLiteral("first dropped\nsecond"));
        v.view.undo();
        QCOMPARE(v.text(), QStringLiteral("first second"));
    }

    // While a file loads, nothing edits the text: not a key, a paste, a drop.
    void noEditWhileLoading() {
        struct Slow : ostrel::editor::ByteSource {
            std::atomic<bool> go{false};
            qint64 at = 0;
            qint64 size() const override { return 2; }
            qint64 read(char* into, qint64) override {
                while (!go)
                    std::this_thread::yield();
                if (at == 2)
                    return 0;
                std::memcpy(into, "ab", 2);
                at = 2;
                return 2;
            }
            bool rewind() override {
                at = 0;
                return true;
            }
        };
        View v{QString()};
        auto source = std::make_unique<Slow>();
        Slow* slow = source.get();
        v.doc()->load(std::move(source));
        QVERIFY(v.view.isReadOnly());
        QTest::keyClicks(&v.view, QStringLiteral("typed"));
        QApplication::clipboard()->setText(QStringLiteral("pasted"));
        v.view.paste();
        QCOMPARE(v.text(), QString());
        slow->go = true;
        QTRY_VERIFY(!v.doc()->isLoading());
        QVERIFY(!v.view.isReadOnly());
        QCOMPARE(v.text(), QStringLiteral("ab"));
        QVERIFY(!v.doc()->isModified());
    }

    // Word wrap switched keeps the text, the modified mark and the caret.
    void wrapSwitchKeepsEverything() {
        View v(QStringLiteral("word ").repeated(100));
        v.view.setCaret(200);
        v.key(Qt::Key_X);
        QVERIFY(*v.view.lines()->lineCount() > 1);
        v.view.setWordWrap(false);
        QCOMPARE(*v.view.lines()->lineCount(), 1);
        QCOMPARE(v.view.caret(), 201);
        QVERIFY(v.doc()->isModified());
        QVERIFY(v.view.caretRect().left() < v.view.viewport()->width());
        QVERIFY(v.view.horizontalScrollBar()->value() > 0);
        v.view.setWordWrap(true);
        QCOMPARE(v.view.caret(), 201);
        QVERIFY(v.view.caretRect().bottom() <= v.view.viewport()->height());
    }
};

QTEST_MAIN(TestEditorView)
#include "tst_editor_view.moc"
