#pragma once

#include "core/JobQueue.h"
#include "editor/Snapshot.h"
#include "store/Recovery.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

namespace ostrel {

namespace editor {
class Document;
}

// Keeps a recovery copy of a document's unsaved edits (store/Recovery.h): a
// short while after the last edit (and at least every few seconds while the
// edits go on), never at every keystroke; written on a thread of its own, so
// that a large record does not hold up typing. The copy goes when the
// document is no longer modified (saved, reloaded, cleared) or when the edits
// are dropped.
class RecoveryKeeper : public QObject {
    Q_OBJECT

public:
    // `source` tells the record the document holds (no name: none), the
    // state of its file that the edits began from and its format.
    RecoveryKeeper(editor::Document* document, std::function<store::RecoverySource()> source,
                   QObject* parent = nullptr);
    // Writes the copy that edits still wait for, and waits for every write.
    ~RecoveryKeeper() override;

    QString folder() const { return m_folder; }

    // Takes an existing copy (one restored at the start) as the document's
    // own: it is replaced or removed as if written here.
    void adopt(const QString& file);
    // Writes the copy now if edits wait for one, and waits until it is on disk.
    void flush();
    // The edits are saved or dropped: no copy is kept.
    void discard();

    // The two waits before a copy is written: the pause after the last edit,
    // and the longest wait while edits go on. Tests end them instead of
    // waiting for the clock.
    enum class Wait { Quiet, Longest };
    bool isWaiting(Wait wait) const;
    // Ends a running wait as if its time had run out.
    void endWait(Wait wait);

signals:
    // A copy could not be written into the folder.
    void writeFailed(const QString& folder);

private:
    struct Job {
        QString file;
        store::RecoverySource source;
        bool remove = false; // remove the copy instead of writing it
        // The text as the editor holds it, shared with the editor (no text is
        // copied), and written from the keeper's thread: gathering a large
        // record on the window's thread would stall typing.
        editor::Snapshot text;
    };

    void edited();
    void writeNow();
    void enqueue(Job job);
    // Writes or removes a copy, on the keeper's thread.
    void run(Job& job);

    editor::Document* m_document;
    std::function<store::RecoverySource()> m_source;
    QString m_folder;
    QTimer m_quiet;     // restarted by every edit
    QTimer m_longest;   // started by the first edit that no copy holds
    QString m_copyFile; // the copy written or on its way
    // Last: going, it writes what waits before anything it uses goes.
    JobQueue<Job> m_jobs;
};

} // namespace ostrel
