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
    internal::UndoStep step{position, mid(position, removed), text, kind};
    m_buffer->replace(position, removed, text);
    m_undo->record(std::move(step));
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

std::optional<qsizetype> Document::undo() {
    if (!isComplete())
        return std::nullopt;
    const internal::UndoStep* step = m_undo->undo();
    if (!step)
        return std::nullopt;
    const qsizetype position = step->position;
    const QString removed = step->removed;
    const qsizetype inserted = step->inserted.size();
    m_buffer->replace(position, inserted, removed);
    emit changed(position, inserted, removed.size());
    updateModified();
    return position + removed.size();
}

std::optional<qsizetype> Document::redo() {
    if (!isComplete())
        return std::nullopt;
    const internal::UndoStep* step = m_undo->redo();
    if (!step)
        return std::nullopt;
    const qsizetype position = step->position;
    const QString inserted = step->inserted;
    const qsizetype removed = step->removed.size();
    m_buffer->replace(position, removed, inserted);
    emit changed(position, removed, inserted.size());
    updateModified();
    return position + inserted.size();
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
