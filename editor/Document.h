#pragma once

#include "editor/Snapshot.h"
#include "text/TextCodec.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace ostrel::editor {

namespace internal {
class TextBuffer;
class Loader;
class UndoStack;
class RowCounter;
struct LoadBatch;
} // namespace internal

// Where a load reads a file's bytes: called on the loading thread only.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // How many bytes are expected (for the progress shown), or -1.
    virtual qint64 size() const = 0;
    // Reads the next bytes into `into`: answers how many, 0 at the end, or
    // -1 when the read failed.
    virtual qint64 read(char* into, qint64 room) = 0;
    // Starts again at the first byte (a text read as UTF-8 that turns out to
    // be in another encoding is read again); answers false when it cannot.
    virtual bool rewind() = 0;
};

// How a load ended.
struct LoadResult {
    // Every byte was read and decoded; false: the source failed (the text
    // holds what came before, and stays incomplete).
    bool complete = false;
    // How the file stores its text, as decodeText tells it, so that a save
    // writes it back alike.
    TextFormat format;
};

// A record's text in the editor: held once, in blocks of lines with a line
// index, edited in place, with its undo steps and modified mark. Lives on
// the window's thread; other threads read it through snapshots.
//
// Positions are offsets in UTF-16 code units counted from 0; lines are the
// text's own (ended by "\n"), counted from 0. See Lines for the lines as the
// view shows them.
class Document : public QObject {
    Q_OBJECT

public:
    explicit Document(QObject* parent = nullptr);
    // Cancels a load that runs.
    ~Document() override;

    // --- a new text. Each replaces the whole text, empties the undo steps
    // and clears the modified mark; a load that runs is cancelled first.

    // A text already decoded (lines separated by "\n"), complete at once.
    void setText(const QString& text);
    // Reads and decodes a file's bytes on a thread of its own, straight into
    // the document: its blocks arrive one batch after another (each arrival
    // is a change at the end of the text, announced by `changed`), with
    // `loadProgress` beside them, and `loadFinished` ends it. Until then the
    // text is incomplete, and no edit is taken.
    void load(std::unique_ptr<ByteSource> source);
    bool isLoading() const;
    // Stops a load that runs, at once: the text stays what had arrived, and
    // incomplete until the next new text. No `loadFinished` follows.
    void cancelLoad();
    // False while a load runs, and after one that was cancelled or failed:
    // such a text is not the file's and must not be saved over it.
    bool isComplete() const;

    // --- the text
    quint64 revision() const; // changes with every change of the text
    qsizetype length() const;
    QString mid(qsizetype position, qsizetype length) const;
    QString toString() const;
    QChar at(qsizetype position) const;
    qsizetype lineCount() const;
    qsizetype lineOf(qsizetype position) const;
    qsizetype lineStart(qsizetype line) const; // -1: no such line
    qsizetype lineEnd(qsizetype line) const;
    // Case matched, forward from `from`; -1 when there is no match.
    qsizetype indexOf(QStringView what, qsizetype from) const;
    // The text now, for reading on any thread (see Snapshot).
    Snapshot snapshot() const;

    // --- edits. The view's keys and commands reach the text through
    // TextView, which places the caret; these are its steps.

    // What an edit is, for joining edits into one step to undo: characters
    // typed one after another are one step, as are a run of Backspace or of
    // Delete presses; anything else is a step of its own.
    enum class EditKind { Typing, DeleteBackward, DeleteForward, Other };
    // Replaces `removed` units at `position` (limited to the text) by `text`.
    // Answers false, changing nothing, while the text is incomplete.
    bool replace(qsizetype position, qsizetype removed, const QString& text,
                 EditKind kind = EditKind::Other);
    // The next edit starts a step of its own (the caret was moved).
    void closeUndoStep();
    // The edits made until endEditGroup are one step to undo (a text dragged
    // elsewhere: taken away here, put in there).
    void beginEditGroup();
    void endEditGroup();
    bool isUndoAvailable() const;
    bool isRedoAvailable() const;
    // Undoes or redoes a step; answers where the caret goes (after the text
    // the step brought back), or nothing when there was no step.
    std::optional<qsizetype> undo();
    std::optional<qsizetype> redo();

    // The modified mark: set by every edit; undoing back to the text last
    // marked unmodified clears it again.
    bool isModified() const;
    void setModified(bool modified);

signals:
    // The text changed: `removed` units at `position` were replaced by `added`.
    void changed(qsizetype position, qsizetype removed, qsizetype added);
    // An edit (not the text a load brings) with the text it took away and
    // the text it put in; sent just before its `changed`.
    void edited(qsizetype position, const QString& removed, const QString& inserted);
    // A new text begins (setText, load): everything known of the old is gone.
    void reset();
    void modificationChanged(bool modified);
    void loadProgress(qint64 bytesRead, qint64 bytesTotal);
    void loadFinished(const ostrel::editor::LoadResult& result);

private:
    friend class TextView;
    friend class Lines;
    friend class internal::Loader;
    friend class internal::RowCounter;
    internal::TextBuffer& buffer() const { return *m_buffer; }
    void beginNewText();
    void updateModified();
    void takeBatch(quint64 load, internal::LoadBatch&& batch);
    void finishLoad(quint64 load, const LoadResult& result);

    std::unique_ptr<internal::TextBuffer> m_buffer;
    std::unique_ptr<internal::UndoStack> m_undo;
    std::unique_ptr<internal::Loader> m_loader;
    quint64 m_loadNumber = 0;
    bool m_loading = false;
    bool m_complete = true;
    bool m_modified = false;
};

} // namespace ostrel::editor
