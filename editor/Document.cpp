#include "Document.h"

#include "internal/Loader.h"
#include "internal/SnapshotData.h"
#include "internal/TextBuffer.h"
#include "internal/UndoStack.h"

namespace ostrel::editor {

using internal::TextBuffer;

Document::Document(QObject* parent)
    : QObject(parent), m_buffer(std::make_unique<TextBuffer>()),
      m_undo(std::make_unique<internal::UndoStack>()) {}

Document::~Document() {
    m_loader.reset(); // waits for the loading thread
}

void Document::beginNewText() {
    if (m_loader) {
        m_loader.reset();
        ++m_loadNumber;
    }
    m_loading = false;
    m_undo->clear();
}

void Document::setText(const QString& text) {
    beginNewText();
    m_buffer->reset(internal::cutIntoBlocks(text));
    m_complete = true;
    emit reset();
    updateModified();
}

void Document::load(std::unique_ptr<ByteSource> source) {
    beginNewText();
    m_buffer->reset({});
    m_complete = false;
    m_loading = true;
    emit reset();
    updateModified();
    m_loader = std::make_unique<internal::Loader>(this, std::move(source), ++m_loadNumber);
}

bool Document::isLoading() const {
    return m_loading;
}

void Document::cancelLoad() {
    if (!m_loading)
        return;
    m_loader.reset();
    ++m_loadNumber;
    m_loading = false;
}

bool Document::isComplete() const {
    return m_complete && !m_loading;
}

void Document::takeBatch(quint64 load, internal::LoadBatch&& batch) {
    if (load != m_loadNumber || !m_loading)
        return;
    if (batch.restart && m_buffer->length() > 0) {
        m_buffer->reset({});
        emit reset();
    }
    const qsizetype before = m_buffer->length();
    m_buffer->append(std::move(batch.blocks));
    if (m_buffer->length() > before)
        emit changed(before, 0, m_buffer->length() - before);
    emit loadProgress(batch.bytesRead, batch.bytesTotal);
}

void Document::finishLoad(quint64 load, const LoadResult& result) {
    if (load != m_loadNumber || !m_loading)
        return;
    m_loader.reset(); // the thread has ended, or is about to
    m_loading = false;
    m_complete = result.complete;
    emit loadFinished(result);
}

quint64 Document::revision() const {
    return m_buffer->revision();
}
qsizetype Document::length() const {
    return m_buffer->length();
}
QString Document::mid(qsizetype position, qsizetype length) const {
    return m_buffer->reader().mid(position, length);
}
QString Document::toString() const {
    return mid(0, length());
}
QChar Document::at(qsizetype position) const {
    return m_buffer->reader().at(position);
}
qsizetype Document::lineCount() const {
    return m_buffer->reader().lineCount();
}
qsizetype Document::lineOf(qsizetype position) const {
    return m_buffer->reader().lineOf(position);
}
qsizetype Document::lineStart(qsizetype line) const {
    return m_buffer->reader().lineStart(line);
}
qsizetype Document::lineEnd(qsizetype line) const {
    return m_buffer->reader().lineEnd(line);
}
qsizetype Document::indexOf(QStringView what, qsizetype from) const {
    return m_buffer->reader().indexOf(what, from);
}

Snapshot Document::snapshot() const {
    return internal::SnapshotData::of(*m_buffer, isComplete());
}

bool Document::replace(qsizetype position, qsizetype removed, const QString& text, EditKind kind) {
    if (!isComplete())
        return false;
    position = std::clamp<qsizetype>(position, 0, length());
    removed = std::clamp<qsizetype>(removed, 0, length() - position);
    if (removed == 0 && text.isEmpty())
        return true;
    internal::UndoStep step{position, mid(position, removed), text, kind, {}};
    const QString taken = step.removed;
    m_buffer->replace(position, removed, text);
    m_undo->record(std::move(step));
    emit edited(position, taken, text);
    emit changed(position, removed, text.size());
    updateModified();
    return true;
}

void Document::closeUndoStep() {
    m_undo->close();
}
bool Document::isUndoAvailable() const {
    return m_undo->canUndo();
}
bool Document::isRedoAvailable() const {
    return m_undo->canRedo();
}

void Document::beginEditGroup() {
    m_undo->beginGroup();
}

void Document::endEditGroup() {
    m_undo->endGroup();
}

std::optional<qsizetype> Document::undo() {
    if (!isComplete())
        return std::nullopt;
    const internal::UndoStep* step = m_undo->undo();
    if (!step)
        return std::nullopt;
    // The edits of a step taken back, the last first.
    const std::vector<internal::UndoStep> one{*step};
    const std::vector<internal::UndoStep>& edits = step->group.empty() ? one : step->group;
    qsizetype caret = 0;
    for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit) {
        const qsizetype inserted = edit->inserted.size();
        m_buffer->replace(edit->position, inserted, edit->removed);
        emit edited(edit->position, edit->inserted, edit->removed);
        emit changed(edit->position, inserted, edit->removed.size());
        caret = edit->position + edit->removed.size();
    }
    updateModified();
    return caret;
}

std::optional<qsizetype> Document::redo() {
    if (!isComplete())
        return std::nullopt;
    const internal::UndoStep* step = m_undo->redo();
    if (!step)
        return std::nullopt;
    const std::vector<internal::UndoStep> one{*step};
    const std::vector<internal::UndoStep>& edits = step->group.empty() ? one : step->group;
    qsizetype caret = 0;
    for (const internal::UndoStep& edit : edits) {
        const qsizetype removed = edit.removed.size();
        m_buffer->replace(edit.position, removed, edit.inserted);
        emit edited(edit.position, edit.removed, edit.inserted);
        emit changed(edit.position, removed, edit.inserted.size());
        caret = edit.position + edit.inserted.size();
    }
    updateModified();
    return caret;
}

bool Document::isModified() const {
    return m_modified;
}

void Document::setModified(bool modified) {
    if (modified)
        m_undo->markNoneClean();
    else
        m_undo->markClean();
    updateModified();
}

void Document::updateModified() {
    const bool modified = !m_undo->isClean();
    if (modified == m_modified)
        return;
    m_modified = modified;
    emit modificationChanged(modified);
}

} // namespace ostrel::editor
