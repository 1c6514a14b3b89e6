#pragma once

#include "store/RecordStore.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace ostrel {

namespace editor {
class Document;
}
class RecoveryKeeper;

// The record open in the window: the record as it was loaded (where it lies,
// how its file stores its text, the state of that file), the editor's
// document that holds its text, and the recovery copies of its unsaved
// edits. A large record loads in the background; a save is answered with the
// question it needs, which the window asks, passing the answer back.
class OpenRecord : public QObject {
    Q_OBJECT

public:
    // `dataFolder` tells the data folder in full (empty before the start-up),
    // which the recovery copies name.
    explicit OpenRecord(std::function<QString()> dataFolder, QObject* parent = nullptr);
    ~OpenRecord() override;

    editor::Document* document() const { return m_document; }
    RecoveryKeeper* recovery() const { return m_recovery; }
    const store::LoadedRecord& record() const { return m_record; }
    // Whether the document holds the record's whole text: not while a load
    // runs, nor after one that failed.
    bool isComplete() const;
    bool isLoading() const;

    // Records from this size on load in the background.
    static constexpr qint64 kBackgroundSize = 1 << 20;

    // Reads a record into the document: a small one at once, a large one in
    // the background (the document fills as the file is read; loadFinished
    // tells the end, and a switch to another record cancels it). Raises the
    // file-open errors, having changed nothing.
    void load(const QString& group, const QString& name);
    // A record read already (the loaded one read again): its text replaces
    // the document's.
    void show(store::RecordText loaded);
    // The loaded record's file read again holds the document's text: only
    // the file's state is taken.
    void takeState(store::LoadedRecord record);
    // Edits restored from a recovery copy (the document modified), for a
    // record whose file began as `record` says.
    void restore(store::LoadedRecord record, const QString& text, const QString& copyFile);
    // Holds nothing (a deleted record): an empty text, unmodified.
    void clear();

    // --- saving
    enum class Question {
        LossyRead,   // the file was not read without loss: write what is shown?
        Changed,     // another program changed the file since: overwrite?
        Gone,        // the file is gone: create it anew?
        Unencodable, // characters the record's encoding cannot hold: UTF-8?
    };
    // The answers given so far (each a Yes; a No ends the save).
    struct Answers {
        bool writeLossy = false;
        bool overwrite = false;
        bool asUtf8 = false;
    };
    struct SaveResult {
        bool saved = false;
        std::optional<Question> ask; // the question to ask before saving again
    };
    // Writes the text over the record as far as the answers allow: answers
    // that it was saved (the modified mark cleared, the record taking the
    // written file's format and state), or the question to ask next. The
    // file is compared with what was loaded at every call, so that a
    // question that waited long is not taken for an answer about the file
    // as it is now. Raises the file-creation error. Answers neither, having
    // written nothing, while the text is not the whole record's.
    SaveResult save(const Answers& answers);

signals:
    void loadProgress(qint64 bytesRead, qint64 bytesTotal);
    // A background load was dropped for another text before its end (no
    // loadFinished follows).
    void loadCancelled();
    // A background load ended: with an error message when the file could
    // not be read to its end (the document is then emptied), else empty.
    void loadFinished(const QString& error);

private:
    class FileSource;
    void dropLoad();

    editor::Document* m_document;
    RecoveryKeeper* m_recovery;
    store::LoadedRecord m_record;
    // The file a background load reads.
    std::shared_ptr<fs::FileReader> m_file;
};

} // namespace ostrel
