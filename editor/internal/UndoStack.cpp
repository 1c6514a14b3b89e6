#include "UndoStack.h"

namespace ostrel::editor::internal {

using Kind = Document::EditKind;

bool UndoStack::join(const UndoStep& step) {
    // Never into the step that holds the unmodified text: undo must reach it.
    if (!m_open || m_done == 0 || m_done != m_steps.size() || m_clean == m_done)
        return false;
    UndoStep& last = m_steps.back();
    if (step.kind != last.kind)
        return false;
    switch (step.kind) {
    case Kind::Typing:
        if (!step.removed.isEmpty() || step.inserted.contains(u'\n') ||
            last.inserted.contains(u'\n') || step.position != last.position + last.inserted.size())
            return false;
        last.inserted += step.inserted;
        return true;
    case Kind::DeleteBackward:
        if (!step.inserted.isEmpty() || !last.inserted.isEmpty() ||
            step.position + step.removed.size() != last.position)
            return false;
        last.position = step.position;
        last.removed.prepend(step.removed);
        return true;
    case Kind::DeleteForward:
        if (!step.inserted.isEmpty() || !last.inserted.isEmpty() || step.position != last.position)
            return false;
        last.removed += step.removed;
        return true;
    case Kind::Other:
        break;
    }
    return false;
}

void UndoStack::beginGroup() {
    if (m_groupDepth > 0) {
        ++m_groupDepth;
        return;
    }
    record(UndoStep());
    m_groupDepth = 1;
}

void UndoStack::endGroup() {
    if (m_groupDepth > 0 && --m_groupDepth == 0 && m_steps.back().group.empty()) {
        // Nothing was edited.
        m_steps.pop_back();
        m_done = m_steps.size();
    }
    m_open = false;
}

void UndoStack::record(UndoStep step) {
    if (m_groupDepth > 0) {
        m_steps.back().group.push_back(std::move(step));
        return;
    }
    if (join(step))
        return;
    if (m_done < m_steps.size()) {
        m_steps.erase(m_steps.begin() + qptrdiff(m_done), m_steps.end());
        if (m_clean && *m_clean > m_done)
            m_clean.reset();
    }
    const bool joinable = step.kind != Kind::Other && step.group.empty();
    m_steps.push_back(std::move(step));
    m_done = m_steps.size();
    m_open = joinable;
}

const UndoStep* UndoStack::undo() {
    m_open = false;
    if (!canUndo())
        return nullptr;
    return &m_steps[--m_done];
}

const UndoStep* UndoStack::redo() {
    m_open = false;
    if (!canRedo())
        return nullptr;
    return &m_steps[m_done++];
}

void UndoStack::clear() {
    m_groupDepth = 0;
    m_steps.clear();
    m_done = 0;
    m_clean = 0;
    m_open = false;
}

} // namespace ostrel::editor::internal
