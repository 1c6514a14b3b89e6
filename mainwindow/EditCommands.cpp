// Editing, navigation and search in the editor: the clipboard commands, the
// caret movements, the find dialog and the current-line display.
#include "MainFrm.h"

#include "FindDialog.h"
#include "WindowTexts.h"
#include "editor/Document.h"
#include "editor/Lines.h"
#include "editor/TextView.h"
#include "text/NumberParse.h"
#include "text/TextSearch.h"
#include "ui/FittedText.h"
#include "ui/Handler.h"
#include "ui/InputBox.h"

#include <QKeyEvent>
#include <QMouseEvent>

using namespace ostrel;

namespace {

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
        MainEdit->deleteSelection();
}

void TMainFrm::SC_PopupEdit(QObject* Sender) {
    if (Sender == CutPum3)
        MainEdit->cut();
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
    MainEdit->commitComposition();
}

// --- caret movements -----------------------------------------------------------------

void TMainFrm::MoveStartMnuClick() {
    MainEdit->setCaret(0);
}

void TMainFrm::MoveLastMnuClick() {
    // In front of the last character: before the final line break, if any.
    const qsizetype length = MainEdit->document()->length();
    MainEdit->setCaret(length > 0 ? length - 1 : 0);
}

void TMainFrm::PointMemoryMnuClick() {
    MemoryPoint = qint32(std::min<qsizetype>(MainEdit->selectionStart(), INT_MAX));
}

void TMainFrm::MoveMemoryMnuClick() {
    // A place past the end of the text now loaded is its end.
    MainEdit->setCaret(std::max<qsizetype>(MemoryPoint, 0));
}

void TMainFrm::MoveLineMnuClick() {
    const std::optional<QString> text =
        inputBox(this, texts::window::goToLineTitle(), texts::window::goToLinePrompt());
    if (!text)
        return;
    const std::optional<qint32> number = parseInt32(*text);
    if (!number)
        throw UserError(texts::window::notANumber().arg(*text));
    // Shown line numbers count from 1, the editor's lines from 0. A line that
    // does not exist leaves the caret where it is. While the lines before it
    // are counted the caret goes there when they are.
    if (*number < 1)
        return;
    MainEdit->moveCaretToLine(*number - 1);
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
    const editor::Snapshot text = MainEdit->document()->snapshot();
    qsizetype from = 0;
    if (options.backward)
        from = MainEdit->hasSelection() ? MainEdit->selectionStart() : text.length();
    else if (MainEdit->hasSelection())
        from = MainEdit->selectionEnd();
    const qsizetype found = findInText(text.parts(), what, from, options);
    if (found < 0)
        return;
    activateWindow();
    MainEdit->setFocus(Qt::OtherFocusReason);
    MainEdit->select(found, found + what.size());
    MainEdit->ensureCaretVisible();
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
    // number when they are. Every digit shows, however long the record.
    MainEdit->whenLineKnown(MainEdit->selectionStart(), [this](qsizetype line) {
        setTextInFull(CurrentLineLbl, QString::number(line + 1));
    });
}

void TMainFrm::bindEditorEvents() {
    new EditorEvents(this);
    FindDialog = new TFindDialog(this);
    bindHandler(FindDialog, &TFindDialog::find, this, [this] { FindDialogFind(); });
}
