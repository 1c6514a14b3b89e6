// Editing, navigation and search in the editor: the clipboard commands, the
// caret movements, the find dialog and the current-line display.
#include "MainFrm.h"

#include "EditorLines.h"
#include "FindDialog.h"
#include "TextMirror.h"
#include "text/NumberParse.h"
#include "ui/FittedText.h"
#include "ui/Handler.h"
#include "ui/InputBox.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>

using namespace ostrel;

namespace {

// The editor's lines as laid out, kept beside its document.
EditorLines* editorLines(QPlainTextEdit* edit) {
    QTextDocument* doc = edit->document();
    auto* lines = doc->findChild<EditorLines*>(QString(), Qt::FindDirectChildrenOnly);
    if (!lines)
        lines = new EditorLines(doc);
    // The editor lays its text out at its viewport's width.
    lines->setTextWidth(edit->viewport()->width());
    return lines;
}

// The editor's text as a search reads it, kept beside its document.
TextMirror* textMirror(QPlainTextEdit* edit) {
    return TextMirror::of(edit->document());
}

// The length of the editor's whole text.
int textLength(QPlainTextEdit* edit) {
    return edit->document()->characterCount() - 1;
}

// Places the caret: an empty selection at a position, limited to the text.
void setCaret(QPlainTextEdit* edit, int position) {
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(std::clamp(position, 0, textLength(edit)));
    edit->setTextCursor(cursor);
}

// Sends the editor's key presses (input-method input included: each key of a
// composition is a key press in the editor) to MainEditKeyDown before the
// editor handles them, and its mouse button presses to MainEditMouseDown
// after it has.
class EditorEvents : public QObject {
public:
    EditorEvents(TMainFrm* frm)
        : QObject(frm), m_frm(frm), m_edit(frm->MainEdit), m_viewport(frm->MainEdit->viewport()) {
        m_edit->installEventFilter(this);
        m_viewport->installEventFilter(this);
    }

protected:
    // The editor's own pointers are compared, never the window's members:
    // the filter still sees the events of the window's destruction, when
    // those are gone.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_edit) {
            if (event->type() == QEvent::KeyPress || event->type() == QEvent::InputMethod)
                runHandler([this] { m_frm->MainEditKeyDown(); });
            return false;
        }
        if (watched == m_viewport && !m_dispatching &&
            (event->type() == QEvent::MouseButtonPress ||
             event->type() == QEvent::MouseButtonDblClick)) {
            // Let the editor handle the press first, then refresh.
            m_dispatching = true;
            QCoreApplication::sendEvent(watched, event);
            m_dispatching = false;
            runHandler([this] { m_frm->MainEditMouseDown(); });
            return true;
        }
        return false;
    }

private:
    TMainFrm* m_frm;
    QObject* m_edit;
    QObject* m_viewport;
    bool m_dispatching = false;
};

} // namespace

// --- clipboard commands ------------------------------------------------------------

void TMainFrm::SC_EditString(QObject* Sender) {
    if (Sender == CutMnu)
        MainEdit->cut();
    if (Sender == CopyMnu)
        MainEdit->copy();
    if (Sender == PasteMnu)
        MainEdit->paste();
    if (Sender == DeleteMnu)
        MainEdit->textCursor().removeSelectedText();
}

void TMainFrm::SC_PopupEdit(QObject* Sender) {
    if (Sender == CutPum3)
        MainEdit->cut();
    if (Sender == CopyPum3)
        MainEdit->copy();
    if (Sender == PastePum3)
        MainEdit->paste();
}

// --- caret movements -----------------------------------------------------------------

void TMainFrm::MoveStartMnuClick() {
    setCaret(MainEdit, 0);
}

void TMainFrm::MoveLastMnuClick() {
    // In front of the last character: before the final line break, if any.
    setCaret(MainEdit, textLength(MainEdit) - 1);
}

void TMainFrm::PointMemoryMnuClick() {
    MemoryPoint = MainEdit->textCursor().selectionStart();
}

void TMainFrm::MoveMemoryMnuClick() {
    setCaret(MainEdit, MemoryPoint);
}

void TMainFrm::MoveLineMnuClick() {
    const std::optional<QString> text = inputBox(
        this, QStringLiteral("行の移動"), QStringLiteral("移動する行番号を入力してください"));
    if (!text)
        return;
    const std::optional<qint32> number = parseInt32(*text);
    if (!number)
        throw UserError(QStringLiteral("'%1' は数値ではありません").arg(*text));
    // Shown line numbers count from 1, the editor's lines from 0. A line that
    // does not exist leaves the caret where it is.
    if (*number < 1)
        return;
    const int start = editorLines(MainEdit)->lineStart(*number - 1);
    if (start >= 0)
        setCaret(MainEdit, start);
}

// --- find ------------------------------------------------------------------------------

void TMainFrm::FindStringMnuClick() {
    // The editor's top-right corner in the window's client area (below the
    // menu bar), handed to the dialog as a screen point.
    const QPoint topLeft = MainEdit->mapTo(centralWidget(), QPoint(0, 0));
    FindDialog->setPosition(QPoint(topLeft.x() + MainEdit->width(), topLeft.y()));
    FindDialog->Execute();
}

void TMainFrm::FindDialogFind() {
    const QString what = FindDialog->FindText();
    if (what.isEmpty())
        return;
    const QTextCursor selection = MainEdit->textCursor();
    const int start = selection.hasSelection() ? selection.selectionEnd() : 0;
    // Forward to the end of the text, case matched, never wrapping around.
    const qsizetype found = textMirror(MainEdit)->indexOf(what, start);
    if (found < 0)
        return;
    activateWindow();
    MainEdit->setFocus(Qt::OtherFocusReason);
    QTextCursor cursor = MainEdit->textCursor();
    cursor.setPosition(int(found));
    cursor.setPosition(int(found + what.size()), QTextCursor::KeepAnchor);
    MainEdit->setTextCursor(cursor);
    MainEdit->ensureCursorVisible();
}

// --- current line display ----------------------------------------------------------

void TMainFrm::MainEditKeyDown() {
    ShowCurrentLine();
}

void TMainFrm::MainEditMouseDown() {
    ShowCurrentLine();
}

void ShowCurrentLine() {
    QPlainTextEdit* edit = MainFrm->MainEdit;
    const int start = edit->textCursor().selectionStart();
    const int line = editorLines(edit)->lineFromPosition(start) + 1;
    // Every digit shows, however long the record.
    setTextInFull(MainFrm->CurrentLineLbl, QString::number(line));
}

void TMainFrm::bindEditorEvents() {
    editorLines(MainEdit);
    textMirror(MainEdit);
    new EditorEvents(this);
    FindDialog = new TFindDialog(this);
    bindHandler(FindDialog, &TFindDialog::find, this, [this] { FindDialogFind(); });
}
