#pragma once

#include <QPlainTextEdit>
#include <functional>
#include <vector>

namespace ostrel {

// The main window's editor: a plain-text editor that holds the long lines of
// a record in pieces joined by soft breaks (SoftBreaks.h), so that no edit
// lays out more than a piece. The soft breaks are no text: the caret steps
// over them as over the place between two characters, a deletion next to one
// deletes the character beyond it, a copy leaves them out, and an edit never
// leaves an empty piece behind. Positions given to the user's commands are
// text positions; the widget's own are document positions, which count the
// soft breaks too (the two are the same in a record without long lines).
class MemoEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit MemoEdit(QWidget* parent = nullptr);

    // Gives the editor a record's text (lines separated by "\n"), its long
    // lines cut into pieces.
    void setRecordText(const QString& text);
    // How many texts setRecordText has given: an answer that was asked for
    // about an earlier text is out of date.
    int loads() const { return m_loads; }

    // Runs an edit made through the widget by a command (cut, delete) as the
    // user's own.
    void runUserEdit(const std::function<void()>& edit);

    // The length of the text; the text position of a document position and
    // back (where soft breaks stand, after them or before them).
    qsizetype textLength();
    qsizetype textPosition(int documentPosition);
    int documentPosition(qsizetype textPosition, bool afterSoftBreaks = true);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void dropEvent(QDropEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    // Marks the extent of one user's edit; the last to end tidies up.
    class UserEdit;
    struct Change {
        int from;
        int added;
    };

    // Moves the caret over a soft break where the key would otherwise only
    // cross or delete the break.
    void stepOverSoftBreak(const QKeyEvent* event);
    // After a user's edit: the blocks it started with a new line break do
    // not continue a line; pieces grown too long are cut; empty pieces go.
    void tidy();
    void unmarkNewLines(QTextCursor& edit, const std::function<void()>& begin);
    void cutLongPieces(QTextCursor& edit, const std::function<void()>& begin, int from, int to);
    void dropEmptyPieces(QTextCursor& edit, const std::function<void()>& begin, int from, int to);

    int m_loads = 0;
    int m_depth = 0;                // nested user's edits
    std::vector<Change> m_changes;  // made by the current user's edit
    int m_startBefore = 0;          // the selection's start when it began
    bool m_newLinesAreHard = false; // the edit types line breaks
};

} // namespace ostrel
