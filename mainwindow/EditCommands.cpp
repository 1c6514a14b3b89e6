// Editing, navigation and search in the editor: the clipboard commands, the
// caret movements, the find dialog and the current-line display.
#include "MainFrm.h"

#include "EditorLines.h"
#include "FindDialog.h"
#include "MemoEdit.h"
#include "TextMirror.h"
#include "text/NumberParse.h"
#include "text/TextSearch.h"
#include "ui/FittedText.h"
#include "ui/Handler.h"
#include "ui/InputBox.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

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

// The length of the editor's document (soft breaks included).
int documentLength(QPlainTextEdit* edit) {
    return edit->document()->characterCount() - 1;
}

// Places the caret: an empty selection at a document position, limited to
// the text.
void setCaret(QPlainTextEdit* edit, int position) {
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(std::clamp(position, 0, documentLength(edit)));
    edit->setTextCursor(cursor);
}

// The questions about lines that wait for a count: the line display's (of
// the position the caret had at the last key or mouse press) and a move to
// a line. Each is answered when the count comes, unless the record was
// loaded again meanwhile; a move is dropped when the caret moves first.
class LineQuestions : public QObject {
public:
    explicit LineQuestions(TMainFrm* frm) : QObject(frm), m_frm(frm) {
        connect(editorLines(frm->MainEdit), &EditorLines::counted, this, &LineQuestions::answer);
        connect(frm->MainEdit, &QPlainTextEdit::cursorPositionChanged, this, [this] {
            if (!m_moving)
                m_move.reset();
        });
    }

    static LineQuestions* of(TMainFrm* frm) {
        for (QObject* child : frm->children())
            if (auto* questions = dynamic_cast<LineQuestions*>(child))
                return questions;
        return nullptr;
    }

    void showLine(int position) {
        m_display.reset();
        if (const std::optional<int> line =
                editorLines(m_frm->MainEdit)->lineFromPosition(position)) {
            show(*line);
            return;
        }
        m_display = QTextCursor(m_frm->MainEdit->document());
        m_display->setPosition(position);
        m_displayLoad = m_frm->MainEdit->loads();
    }

    void moveToLine(int line) {
        m_move.reset();
        if (const std::optional<int> start = editorLines(m_frm->MainEdit)->lineStart(line)) {
            moveTo(*start);
            return;
        }
        m_move = line;
        m_moveLoad = m_frm->MainEdit->loads();
    }

private:
    // Every digit shows, however long the record.
    void show(int line) { setTextInFull(m_frm->CurrentLineLbl, QString::number(line + 1)); }

    void moveTo(int start) {
        // A line that does not exist leaves the caret where it is.
        if (start < 0)
            return;
        m_moving = true;
        setCaret(m_frm->MainEdit, start);
        m_moving = false;
    }

    void answer() {
        MemoEdit* edit = m_frm->MainEdit;
        if (m_display && m_displayLoad == edit->loads()) {
            if (const std::optional<int> line =
                    editorLines(edit)->lineFromPosition(m_display->position())) {
                m_display.reset();
                show(*line);
            }
        } else {
            m_display.reset();
        }
        if (m_move && m_moveLoad == edit->loads()) {
            if (const std::optional<int> start = editorLines(edit)->lineStart(*m_move)) {
                m_move.reset();
                moveTo(*start);
            }
        } else {
            m_move.reset();
        }
    }

    TMainFrm* m_frm;
    std::optional<QTextCursor> m_display; // follows the edits made meanwhile
    int m_displayLoad = 0;
    std::optional<int> m_move;
    int m_moveLoad = 0;
    bool m_moving = false;
};

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
        MainEdit->runUserEdit([this] { MainEdit->cut(); });
    if (Sender == CopyMnu)
        MainEdit->copy();
    if (Sender == PasteMnu)
        MainEdit->paste();
    if (Sender == DeleteMnu)
        MainEdit->runUserEdit([this] { MainEdit->textCursor().removeSelectedText(); });
}

void TMainFrm::SC_PopupEdit(QObject* Sender) {
    if (Sender == CutPum3)
        MainEdit->runUserEdit([this] { MainEdit->cut(); });
    if (Sender == CopyPum3)
        MainEdit->copy();
    if (Sender == PastePum3)
        MainEdit->paste();
}

// --- the input method's pre-edit ------------------------------------------------------

void TMainFrm::commitPreedit() {
    // A composition the input method has not committed is shown in the
    // editor but is not yet its text: it is neither marked as an edit nor
    // saved, and a load or a close would drop it without a question.
    const auto preedit = [this] {
        const QTextLayout* layout = MainEdit->textCursor().block().layout();
        return layout ? layout->preeditAreaText() : QString();
    };
    if (preedit().isEmpty())
        return;
    // The input method commits it as it would itself (a conversion chosen,
    // say); one that does not is told to forget it once it is text.
    const bool focused = QGuiApplication::focusObject() == MainEdit;
    if (focused)
        QGuiApplication::inputMethod()->commit();
    const QString left = preedit();
    if (left.isEmpty())
        return;
    QInputMethodEvent commit;
    commit.setCommitString(left);
    QCoreApplication::sendEvent(MainEdit, &commit);
    if (focused)
        QGuiApplication::inputMethod()->reset();
}

// --- caret movements -----------------------------------------------------------------

void TMainFrm::MoveStartMnuClick() {
    setCaret(MainEdit, 0);
}

void TMainFrm::MoveLastMnuClick() {
    // In front of the last character: before the final line break, if any.
    const qsizetype length = MainEdit->textLength();
    if (length > 0)
        setCaret(MainEdit, MainEdit->documentPosition(length - 1));
    else
        setCaret(MainEdit, 0);
}

void TMainFrm::PointMemoryMnuClick() {
    MemoryPoint = qint32(MainEdit->textPosition(MainEdit->textCursor().selectionStart()));
}

void TMainFrm::MoveMemoryMnuClick() {
    // A place past the end of the text now loaded is its end.
    const qsizetype length = MainEdit->textLength();
    setCaret(MainEdit, MainEdit->documentPosition(std::clamp<qsizetype>(MemoryPoint, 0, length)));
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
    // does not exist leaves the caret where it is. While the lines before it
    // are counted the caret goes there when they are.
    if (*number < 1)
        return;
    LineQuestions::of(this)->moveToLine(*number - 1);
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
    const SearchOptions options = FindDialog->Options();
    // Down: from the end of the selection, or from the beginning of the text
    // when nothing is selected, wherever the caret is. Up, alike: from the
    // start of the selection, or from the end of the text. Never wrapping
    // around.
    const QTextCursor selection = MainEdit->textCursor();
    qsizetype from = 0;
    if (options.backward)
        from = selection.hasSelection() ? MainEdit->textPosition(selection.selectionStart())
                                        : MainEdit->textLength();
    else if (selection.hasSelection())
        from = MainEdit->textPosition(selection.selectionEnd());
    const qsizetype found = findInText(textMirror(MainEdit)->text(), what, from, options);
    if (found < 0)
        return;
    activateWindow();
    MainEdit->setFocus(Qt::OtherFocusReason);
    QTextCursor cursor = MainEdit->textCursor();
    cursor.setPosition(MainEdit->documentPosition(found, true));
    cursor.setPosition(MainEdit->documentPosition(found + what.size(), false),
                       QTextCursor::KeepAnchor);
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

void TMainFrm::ShowCurrentLine() {
    // While the lines before the caret are counted, the display shows the
    // number when they are.
    LineQuestions::of(this)->showLine(MainEdit->textCursor().selectionStart());
}

void TMainFrm::bindEditorEvents() {
    editorLines(MainEdit);
    textMirror(MainEdit);
    new LineQuestions(this);
    new EditorEvents(this);
    FindDialog = new TFindDialog(this);
    bindHandler(FindDialog, &TFindDialog::find, this, [this] { FindDialogFind(); });
}
