#pragma once

#include "editor/Document.h"

#include <QString>
#include <optional>
#include <vector>

namespace ostrel::editor::internal {

// One step to undo: `removed` at `position` was replaced by `inserted`.
struct UndoStep {
    qsizetype position = 0;
    QString removed;
    QString inserted;
    Document::EditKind kind = Document::EditKind::Other;
    // A step of several edits, in the order they were made (the fields above
    // are then unused).
    std::vector<UndoStep> group;
};

// The steps to undo and redo, and which of them holds the text last marked
// unmodified. Edits of one kind that follow each other join one step, as
// Qt's plain-text editor joins them: characters typed one after another
// (without a line break), Backspace pressed again and again, Delete likewise.
class UndoStack {
public:
    void record(UndoStep step);
    // The next edit starts a step of its own.
    void close() { m_open = false; }
    bool canUndo() const { return m_done > 0; }
    bool canRedo() const { return m_done < m_steps.size(); }
    // The step to undo (or redo) now; the stack moves past it.
    const UndoStep* undo();
    const UndoStep* redo();
    void clear();
    // Edits recorded until endGroup are one step.
    void beginGroup();
    void endGroup();
    // The text now is the unmodified one; or no text reached by undo and
    // redo is.
    void markClean() { m_clean = m_done; }
    void markNoneClean() { m_clean.reset(); }
    bool isClean() const { return m_clean == m_done; }

private:
    bool join(const UndoStep& step);

    std::vector<UndoStep> m_steps;
    size_t m_done = 0; // the steps before this are done
    std::optional<size_t> m_clean = 0;
    bool m_open = false;
    int m_groupDepth = 0;
};

} // namespace ostrel::editor::internal
