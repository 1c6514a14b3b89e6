// Input methods and screen readers on the editor's view: a composition is
// shown in place and goes into the text when committed, one step to undo;
// the input method learns the caret, the text around it and the selection;
// a screen reader reads the exact text, the caret, the selection and each
// row, edits through it, and hears an edit as what it took away and put in
// (a composition as one insert). On a real X server, where Qt's
// accessibility bridge exists (switched on here without a screen reader).
#include "editor/Document.h"
#include "editor/Lines.h"
#include "editor/TextView.h"

#include <QAccessible>
#include <QInputMethodEvent>
#include <QTest>
#include <QTextCharFormat>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

using ostrel::editor::TextView;

namespace {

struct View {
    TextView view;
    explicit View(const QString& text) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        view.setFont(font);
        view.resize(300, 200);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            qFatal("not shown");
        view.activateWindow();
        view.setFocus();
        view.document()->setText(text);
    }
    QString text() { return view.document()->toString(); }
};

void compose(QWidget* w, const QString& preedit, int cursor) {
    QTextCharFormat underlined;
    underlined.setFontUnderline(true);
    const QList<QInputMethodEvent::Attribute> attributes{
        {QInputMethodEvent::Cursor, cursor, 1, QVariant()},
        {QInputMethodEvent::TextFormat, 0, int(preedit.size()), QVariant(underlined)}};
    QInputMethodEvent event(preedit, attributes);
    QApplication::sendEvent(w, &event);
}

void commit(QWidget* w, const QString& text, int replaceFrom = 0, int replaceLength = 0) {
    QInputMethodEvent event;
    event.setCommitString(text, replaceFrom, replaceLength);
    QApplication::sendEvent(w, &event);
}

// The events screen readers were sent, as text.
QStringList seen;
void record(QAccessibleEvent* event) {
    switch (event->type()) {
    case QAccessible::TextInserted:
        seen.append(
            QStringLiteral("insert ") +
            QString::number(static_cast<QAccessibleTextInsertEvent*>(event)->changePosition()) +
            u' ' + static_cast<QAccessibleTextInsertEvent*>(event)->textInserted());
        break;
    case QAccessible::TextRemoved:
        seen.append(
            QStringLiteral("remove ") +
            QString::number(static_cast<QAccessibleTextRemoveEvent*>(event)->changePosition()) +
            u' ' + static_cast<QAccessibleTextRemoveEvent*>(event)->textRemoved());
        break;
    case QAccessible::TextUpdated:
        seen.append(QStringLiteral("update ") +
                    static_cast<QAccessibleTextUpdateEvent*>(event)->textRemoved() +
                    QStringLiteral(" -> ") +
                    static_cast<QAccessibleTextUpdateEvent*>(event)->textInserted());
        break;
    case QAccessible::TextCaretMoved:
        seen.append(
            QStringLiteral("caret ") +
            QString::number(static_cast<QAccessibleTextCursorEvent*>(event)->cursorPosition()));
        break;
    case QAccessible::TextSelectionChanged: {
        auto* s = static_cast<QAccessibleTextSelectionEvent*>(event);
        seen.append(
            QStringLiteral("selection %1-%2").arg(s->selectionStart()).arg(s->selectionEnd()));
        break;
    }
    default:
        break;
    }
}

} // namespace

class TestEditorInput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QAccessible::installUpdateHandler(record);
        QPlatformAccessibility* bridge =
            QGuiApplicationPrivate::platformIntegration()->accessibility();
        if (!bridge)
            QSKIP("this platform has no accessibility");
        bridge->setActive(true);
    }

    // What is being composed is shown, not yet in the text; each commit goes
    // in as one step to undo.
    void compositions() {
        View v(QStringLiteral("メモ: "));
        v.view.setCaret(4);
        const QRect before = v.view.caretRect();
        const QImage plain = v.view.viewport()->grab().toImage();
        compose(&v.view, QStringLiteral("にほんご"), 4);
        QCOMPARE(v.text(), QStringLiteral("メモ: "));
        QVERIFY(v.view.viewport()->grab().toImage() != plain); // drawn in place
        const QRectF rect = v.view.inputMethodQuery(Qt::ImCursorRectangle).toRectF();
        QVERIFY(rect.left() > before.left() + 20); // the candidates open at its end
        commit(&v.view, QStringLiteral("日本語"));
        commit(&v.view, QStringLiteral("です"));
        QCOMPARE(v.text(), QStringLiteral("メモ: 日本語です"));
        QCOMPARE(v.view.caret(), 9);
        QCOMPARE(v.view.viewport()->grab().toImage().isNull(), false);
        v.view.undo();
        QCOMPARE(v.text(), QStringLiteral("メモ: 日本語"));
        v.view.undo();
        QCOMPARE(v.text(), QStringLiteral("メモ: "));
        // A commit that replaces what stands before the caret (a reconversion).
        v.view.setCaret(2);
        commit(&v.view, QStringLiteral("帳"), -2, 2);
        QCOMPARE(v.text(), QStringLiteral("帳: "));
        QVERIFY(v.view.document()->isModified());
    }

    // A composition left uncommitted becomes text when asked (before a save
    // or a close); a new text drops it.
    void uncommittedCompositions() {
        View v(QStringLiteral("ab"));
        v.view.setCaret(2);
        compose(&v.view, QStringLiteral("にほ"), 2);
        QCOMPARE(v.view.composition(), QStringLiteral("にほ"));
        v.view.commitComposition();
        QCOMPARE(v.text(), QStringLiteral("abにほ"));
        QVERIFY(v.view.composition().isEmpty());
        compose(&v.view, QStringLiteral("ご"), 1);
        v.view.document()->setText(QStringLiteral("new"));
        QVERIFY(v.view.composition().isEmpty());
        v.view.commitComposition();
        QCOMPARE(v.text(), QStringLiteral("new"));
    }

    // The input method asks about the text around the caret, the caret and
    // the selection.
    void queries() {
        View v(QStringLiteral("first line\nsecond line\nthird"));
        v.view.select(13, 18);
        QVERIFY(v.view.inputMethodQuery(Qt::ImEnabled).toBool());
        QCOMPARE(v.view.inputMethodQuery(Qt::ImSurroundingText).toString(),
                 QStringLiteral("second line"));
        QCOMPARE(v.view.inputMethodQuery(Qt::ImCursorPosition).toInt(), 7);
        QCOMPARE(v.view.inputMethodQuery(Qt::ImAnchorPosition).toInt(), 2);
        QCOMPARE(v.view.inputMethodQuery(Qt::ImCurrentSelection).toString(),
                 QStringLiteral("cond "));
        QCOMPARE(v.view.inputMethodQuery(Qt::ImCursorRectangle).toRect().top(),
                 v.view.caretRect().top() + v.view.viewport()->y());
        QVERIFY(v.view.inputMethodQuery(Qt::ImHints).toInt() & Qt::ImhMultiLine);
    }

    // The text a screen reader reads is the exact text, by any range and by
    // row; caret and selection are the view's, and edits through the
    // interface are edits of the text.
    void screenReaderReads() {
        const QString text =
            QStringLiteral("a\u00A0b\u2028c\uFEFF😀\n") + QStringLiteral("word ").repeated(40);
        View v(text);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&v.view);
        QVERIFY(a);
        QCOMPARE(a->role(), QAccessible::EditableText);
        QVERIFY(a->state().editable && a->state().multiLine);
        QAccessibleTextInterface* t = a->textInterface();
        QVERIFY(t);
        QCOMPARE(t->characterCount(), text.size());
        QCOMPARE(t->text(0, t->characterCount()), text);
        QCOMPARE(t->text(2, 5), text.mid(2, 3));
        v.view.select(3, 1);
        QCOMPARE(t->cursorPosition(), 1);
        QCOMPARE(t->selectionCount(), 1);
        int start = 0, end = 0;
        t->selection(0, &start, &end);
        QCOMPARE(start, 1);
        QCOMPARE(end, 3);
        // The row as shown, with word wrap.
        const qsizetype row1 = *v.view.lines()->lineStart(1);
        const qsizetype row2 = *v.view.lines()->lineStart(2);
        QCOMPARE(t->textAtOffset(int(row1 + 2), QAccessible::LineBoundary, &start, &end),
                 text.mid(row1, row2 - row1));
        QCOMPARE(start, int(row1));
        const QString paragraph =
            t->textAtOffset(int(row1 + 2), QAccessible::ParagraphBoundary, &start, &end);
        QCOMPARE(paragraph, text.mid(9));
        QCOMPARE(start, 9);
        QCOMPARE(end, text.size());
        t->setCursorPosition(4);
        QCOMPARE(v.view.caret(), 4);
        a->editableTextInterface()->insertText(0, QStringLiteral("new "));
        QVERIFY(v.text().startsWith(QStringLiteral("new a")));
    }

    // A screen reader hears an edit as what it took away and put in: a
    // composition is one insert (the pre-edit no change at all), a
    // Backspace one removal, typing over a selection one update.
    void screenReaderHearsEdits() {
        View v(QStringLiteral("abc"));
        v.view.setCaret(3);
        seen.clear();
        compose(&v.view, QStringLiteral("にほ"), 2);
        compose(&v.view, QStringLiteral("にほんご"), 4);
        commit(&v.view, QStringLiteral("日本語"));
        QCOMPARE(seen.filter(QStringLiteral("insert")), QStringList{"insert 3 日本語"});
        QVERIFY(seen.filter(QStringLiteral("remove")).isEmpty());
        QVERIFY(seen.filter(QStringLiteral("update")).isEmpty());
        QCOMPARE(seen.last(), QStringLiteral("caret 6"));
        seen.clear();
        QTest::keyClick(&v.view, Qt::Key_Backspace);
        QCOMPARE(seen, (QStringList{"remove 5 語", "caret 5"}));
        seen.clear();
        v.view.select(0, 2);
        QCOMPARE(seen, QStringList{"selection 0-2"});
        seen.clear();
        QTest::keyClick(&v.view, Qt::Key_X);
        QCOMPARE(seen, (QStringList{"update ab -> x", "caret 1"}));
    }
};

QTEST_MAIN(TestEditorInput)
#include "tst_editor_input_x11.moc"
