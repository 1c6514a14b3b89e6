#pragma once

#include "editor/Document.h"
#include "editor/internal/TextBuffer.h"
#include "text/TextCodec.h"

#include <QElapsedTimer>

#include <atomic>
#include <memory>
#include <thread>

namespace ostrel::editor::internal {

// What a load hands the document, on the document's thread.
struct LoadBatch {
    std::vector<BlockPtr> blocks;
    bool restart = false; // the text so far is void: it begins again
    qint64 bytesRead = 0;
    qint64 bytesTotal = -1;
};

// A load on a thread of its own: reads the source, decodes the bytes
// (TextDecoder) and cuts the text into blocks, handed to the document in
// batches through its event queue, each stamped with the load's number so
// that the document drops what a cancelled load sent.
class Loader {
public:
    Loader(Document* document, std::unique_ptr<ByteSource> source, quint64 number);
    // Cancels and waits for the thread.
    ~Loader();
    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;

    // Stops reading as soon as the thread looks (between reads), and waits
    // for it to end.
    void cancel();

private:
    void run();
    bool readAll(QByteArray& bytes);
    void flush();
    void cut(bool all);
    void startAgain();
    void whole();
    void hashLines(MixedBreaks& mixed) const;
    TextDecoder::Step readPass(TextDecoder& decoder);
    void send(LoadBatch batch);
    void finish(const LoadResult& result);

    Document* m_document;
    std::unique_ptr<ByteSource> m_source;
    quint64 m_number;
    std::atomic<bool> m_cancelled{false};
    bool m_failed = false;
    qint64 m_read = 0;
    // The text decoded and not yet cut into blocks; the batch being filled.
    QString m_pending;
    LoadBatch m_batch;
    qsizetype m_batchUnits = 0;
    bool m_sentAny = false;
    QElapsedTimer m_sinceSent;
    // Every block made, shared, for the hashes of mixed line breaks.
    std::vector<BlockPtr> m_made;
    std::thread m_thread;
};

} // namespace ostrel::editor::internal
