#include "Loader.h"

#include "text/TextCodec.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <cstring>

namespace ostrel::editor::internal {

namespace {

constexpr qint64 kReadSize = 256 * 1024;
// Fed to the decoder at a time: the text of one feed and what waited before
// it fit in one block.
constexpr qsizetype kFeedSize = 32 * 1024;
// A batch goes to the document when it holds this much text, or when this
// long has passed since the last (the first block goes at once, so that
// the first screen of text shows as soon as it is read).
constexpr qsizetype kBatchUnits = 2 * 1024 * 1024;
constexpr qint64 kBatchMilliseconds = 40;

} // namespace

Loader::Loader(Document* document, std::unique_ptr<ByteSource> source, quint64 number)
    : m_document(document), m_source(std::move(source)), m_number(number) {
    m_thread = std::thread([this] { run(); });
}

Loader::~Loader() {
    cancel();
}

void Loader::cancel() {
    m_cancelled = true;
    if (m_thread.joinable())
        m_thread.join();
}

void Loader::send(LoadBatch batch) {
    batch.bytesRead = m_read;
    batch.bytesTotal = m_source->size();
    auto shared = std::make_shared<LoadBatch>(std::move(batch));
    Document* document = m_document;
    const quint64 number = m_number;
    QMetaObject::invokeMethod(
        document, [document, number, shared] { document->takeBatch(number, std::move(*shared)); },
        Qt::QueuedConnection);
}

void Loader::finish(const LoadResult& result) {
    Document* document = m_document;
    const quint64 number = m_number;
    QMetaObject::invokeMethod(
        document, [document, number, result] { document->finishLoad(number, result); },
        Qt::QueuedConnection);
}

bool Loader::readAll(QByteArray& bytes) {
    if (!m_source->rewind())
        return false;
    m_read = 0;
    const qint64 expected = m_source->size();
    if (expected > 0)
        bytes.reserve(expected);
    for (;;) {
        if (m_cancelled)
            return false;
        const qsizetype at = bytes.size();
        bytes.resize(at + kReadSize);
        const qint64 n = m_source->read(bytes.data() + at, kReadSize);
        if (n < 0)
            return false;
        bytes.resize(at + n);
        m_read += n;
        if (n == 0)
            return true;
    }
}

void Loader::flush() {
    if (m_batch.blocks.empty() && !m_batch.restart)
        return;
    send(std::move(m_batch));
    m_batch = LoadBatch();
    m_batchUnits = 0;
    m_sentAny = true;
    m_sinceSent.restart();
}

void Loader::cut(bool all) {
    qsizetype from = 0;
    while (m_pending.size() - from >= (all ? 1 : kBlockTarget)) {
        qsizetype n = std::min(m_pending.size() - from, kMaxBlock);
        if (!all || n == kMaxBlock) {
            n = std::min(n, kBlockTarget);
            if (m_pending[from + n - 1].isHighSurrogate())
                --n;
        }
        // A block exactly as long as its text.
        BlockPtr block = BlockData::make(QStringView(m_pending).sliced(from, n).toString());
        m_made.push_back(block);
        m_batchUnits += n;
        m_batch.blocks.push_back(std::move(block));
        if (!m_sentAny || m_batchUnits >= kBatchUnits ||
            m_sinceSent.elapsed() >= kBatchMilliseconds)
            flush();
        from += n;
    }
    // What is left goes to the front by hand: QString::remove at the front
    // would move its start and soon make it allocate again, leaving a hole
    // of the size of a block each time between the blocks.
    const qsizetype rest = m_pending.size() - from;
    if (from > 0 && rest > 0)
        std::memmove(m_pending.data(), m_pending.constData() + from, size_t(rest) * sizeof(QChar));
    m_pending.resize(rest);
}

void Loader::startAgain() {
    m_pending.resize(0);
    m_made.clear();
    m_batch = LoadBatch();
    m_batch.restart = true;
    m_read = 0;
    flush();
    m_sentAny = false; // the first block of the new text goes at once too
}

void Loader::whole() {
    // No encoding reads the bytes without loss: decodeText over all of them
    // says how they are shown.
    startAgain();
    QByteArray bytes;
    if (!readAll(bytes)) {
        if (!m_cancelled)
            finish(LoadResult{false, {}});
        return;
    }
    DecodedText decoded = decodeText(bytes);
    bytes = QByteArray();
    m_pending = std::move(decoded.text);
    cut(true);
    flush();
    finish(LoadResult{true, decoded.format});
}

TextDecoder::Step Loader::readPass(TextDecoder& decoder) {
    QByteArray buffer(kReadSize, Qt::Uninitialized);
    for (;;) {
        if (m_cancelled)
            return TextDecoder::Step::Going;
        const qint64 n = m_source->read(buffer.data(), kReadSize);
        if (n < 0) {
            m_failed = true;
            return TextDecoder::Step::Going;
        }
        m_read += n;
        if (n == 0)
            return TextDecoder::Step::Going;
        for (qint64 at = 0; at < n; at += kFeedSize) {
            const TextDecoder::Step step = decoder.feed(
                QByteArrayView(buffer).sliced(at, std::min(kFeedSize, n - at)), m_pending);
            if (step != TextDecoder::Step::Going)
                return step;
            cut(false);
        }
    }
}

void Loader::hashLines(MixedBreaks& mixed) const {
    QString line; // the start of a line that goes on in the next block
    for (const BlockPtr& block : m_made) {
        QStringView rest(block->text);
        for (qsizetype at = rest.indexOf(u'\n'); at >= 0; at = rest.indexOf(u'\n')) {
            if (line.isEmpty()) {
                mixed.lineHashes.push_back(lineHash(rest.first(at)));
            } else {
                line += rest.first(at);
                mixed.lineHashes.push_back(lineHash(line));
                line.clear();
            }
            rest = rest.sliced(at + 1);
        }
        line += rest;
    }
    mixed.lineHashes.push_back(lineHash(line));
}

void Loader::run() {
    m_sinceSent.start();
    m_pending.reserve(2 * kMaxBlock);
    TextDecoder decoder;
    LoadResult result;
    // A text taken for UTF-8 that is not is read again as Shift-JIS: two
    // passes at most, the second ending in the decoder's answer.
    for (int pass = 0;; ++pass) {
        TextDecoder::Step step = readPass(decoder);
        if (m_cancelled)
            return;
        if (m_failed) {
            cut(true);
            flush();
            finish(LoadResult{false, {}});
            return;
        }
        if (step == TextDecoder::Step::Going)
            step = decoder.finish(m_pending, result.format);
        if (step == TextDecoder::Step::Going)
            break;
        if (step == TextDecoder::Step::Whole || pass > 0)
            return whole();
        if (!m_source->rewind()) {
            flush();
            finish(LoadResult{false, {}});
            return;
        }
        startAgain();
    }
    cut(true);
    if (result.format.mixed) {
        // The hash of every line, so that a save knows which lines kept their breaks.
        auto mixed = std::make_shared<MixedBreaks>(*result.format.mixed);
        hashLines(*mixed);
        result.format.mixed = std::move(mixed);
    }
    m_made.clear();
    flush();
    result.complete = true;
    finish(result);
}

} // namespace ostrel::editor::internal
