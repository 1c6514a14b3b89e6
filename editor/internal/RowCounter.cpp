#include "RowCounter.h"

#include "editor/Document.h"
#include "editor/Lines.h"
#include "editor/internal/TextBuffer.h"

#include <QElapsedTimer>
#include <QTimer>

namespace ostrel::editor::internal {

namespace {

// A line at least this long keeps where its rows (or pieces) start, and
// follows edits in it row by row instead of being wrapped again whole.
constexpr qsizetype kLongLine = 16 * 1024;
constexpr size_t kLongLinesKept = 8;
// A text this short is counted at once, without a thread.
constexpr qsizetype kCountHere = 256 * 1024;
// An edit that makes this many lines leaves them to the counting threads.
constexpr qsizetype kEditedLinesHere = 20000;

// The width of a run of text laid out from x (tabs depend on where they stand).
qint64 measureFrom(const CharWidths& widths, qint64 x, QStringView text) {
    char16_t previous = 0;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == u'\t') {
            x = (x / widths.tabStop() + 1) * widths.tabStop();
        } else if (QChar::isLowSurrogate(c) && QChar::isHighSurrogate(previous)) {
            x += widths.advance(QChar::surrogateToUcs4(previous, c));
        } else {
            x += widths.advance(c);
        }
        previous = c;
    }
    return x;
}

} // namespace

struct RowCounter::BlockResult {
    size_t index = 0;
    quint64 id = 0;
    std::vector<qint32> rows;
    bool firstLine = false;
    qint32 firstLineRows = -1;
    qint64 widest = 0;
    // The blocks after it that its lines reached into, with their ids.
    std::vector<std::pair<size_t, quint64>> reached;
};

struct RowCounter::LongLine {
    qsizetype start = 0;
    qsizetype length = 0;
    std::vector<qsizetype> starts; // with wrap: of each row (the first 0)
    std::vector<Piece> pieces;     // without: measured so far (the first at 0)
    bool piecesComplete = false;
    quint64 used = 0;
};

RowCounter::RowCounter(Lines* lines) : QObject(lines), m_lines(lines) {}

RowCounter::~RowCounter() {
    stopPass();
}

TextBuffer& RowCounter::buffer() const {
    return m_document->buffer();
}

void RowCounter::setDocument(Document* document) {
    if (document == m_document)
        return;
    stopPass();
    disconnect(m_resetConnection);
    disconnect(m_changeConnection);
    disconnect(m_finishConnection);
    m_document = document;
    if (document) {
        m_resetConnection = connect(document, &Document::reset, this, [this] { reset(); });
        m_changeConnection = connect(document, &Document::changed, this, &RowCounter::changed);
        m_finishConnection = connect(document, &Document::loadFinished, this, [this] {
            // The last line may have been counted before its end came.
            schedulePass();
            emit m_lines->known();
        });
    }
    reset();
}

void RowCounter::setSetup(const WrapSetup& setup) {
    if (setup == m_setup)
        return;
    m_setup = setup;
    reset();
}

void RowCounter::reset() {
    stopPass();
    m_longLines.clear();
    m_widest = 0;
    if (!m_document || !m_setup.widths)
        return;
    buffer().forgetRows();
    if (buffer().length() <= kCountHere && !m_document->isLoading())
        countHere(0, buffer().breakCount());
    else
        schedulePass();
    emit m_lines->known();
}

void RowCounter::changed(qsizetype position, qsizetype removed, qsizetype added) {
    if (!m_setup.widths)
        return;
    followEdit(position, removed, added);
    if (m_document->isLoading()) {
        // Text arriving: counted on the threads as it comes.
        schedulePass();
        return;
    }
    const TextReader<TextBuffer> text = buffer().reader();
    const qsizetype first = text.lineOf(position);
    const qsizetype last = text.lineOf(position + added);
    if (last - first > kEditedLinesHere) {
        schedulePass();
        return;
    }
    countHere(first, last);
}

void RowCounter::countHere(qsizetype first, qsizetype last) {
    for (qsizetype line = first; line <= last; ++line)
        buffer().setLineRows(line, qint32(std::min<qint64>(countLine(line), INT_MAX)));
}

qint64 RowCounter::countLine(qsizetype line) {
    const TextReader<TextBuffer> text = buffer().reader();
    const qsizetype start = text.lineStart(line);
    const qsizetype end = text.lineEnd(line);
    if (m_setup.wrap && end - start >= kLongLine)
        return qint64(longLine(line)->starts.size());
    if (m_setup.wrap) {
        RowBreaker breaker(m_setup);
        text.forEachPiece(start, end, [&](QStringView part) { breaker.feed(part); });
        return breaker.rows();
    }
    if (end - start < kLongLine) {
        WrapSetup flat = m_setup;
        RowBreaker breaker(flat);
        text.forEachPiece(start, end, [&](QStringView part) { breaker.feed(part); });
        widen(breaker.width());
    }
    return 1;
}

qint64 RowCounter::rowsOfLine(qsizetype line) {
    if (!m_setup.wrap)
        return 1;
    const qint32 known = buffer().lineRows(line);
    if (known >= 0)
        return known;
    const qint64 rows = countLine(line);
    buffer().setLineRows(line, qint32(std::min<qint64>(rows, INT_MAX)));
    return rows;
}

RowCounter::LongLine* RowCounter::longLine(qsizetype line) {
    const TextReader<TextBuffer> text = buffer().reader();
    const qsizetype start = text.lineStart(line);
    const qsizetype length = text.lineEnd(line) - start;
    if (length < kLongLine)
        return nullptr;
    static quint64 clock = 0;
    for (const auto& kept : m_longLines) {
        if (kept->start == start && kept->length == length) {
            kept->used = ++clock;
            return kept.get();
        }
    }
    auto made = std::make_unique<LongLine>();
    made->start = start;
    made->length = length;
    made->used = ++clock;
    if (m_setup.wrap) {
        RowBreaker breaker(m_setup, true);
        text.forEachPiece(start, start + length, [&](QStringView part) { breaker.feed(part); });
        made->starts.reserve(breaker.starts().size() + 1);
        made->starts.push_back(0);
        made->starts.insert(made->starts.end(), breaker.starts().begin(), breaker.starts().end());
    } else {
        made->pieces.push_back({0, 0});
    }
    if (m_longLines.size() >= kLongLinesKept) {
        const auto oldest =
            std::min_element(m_longLines.begin(), m_longLines.end(),
                             [](const auto& a, const auto& b) { return a->used < b->used; });
        m_longLines.erase(oldest);
    }
    m_longLines.push_back(std::move(made));
    return m_longLines.back().get();
}

void RowCounter::followEdit(qsizetype position, qsizetype removed, qsizetype added) {
    const qsizetype delta = added - removed;
    const TextReader<TextBuffer> text = buffer().reader();
    for (auto it = m_longLines.begin(); it != m_longLines.end();) {
        LongLine& kept = **it;
        const qsizetype end = kept.start + kept.length;
        if (position + removed < kept.start) {
            kept.start += delta; // before the line (its line break kept)
            ++it;
            continue;
        }
        if (position > end) {
            ++it;
            continue;
        }
        // In the line: followed when the line keeps its start and grew or
        // shrank by the edit alone (no line break came or went).
        const qsizetype line = text.lineOf(position);
        const bool inside = position >= kept.start && position + removed <= end &&
                            text.lineStart(line) == kept.start &&
                            text.lineEnd(line) - kept.start == kept.length + delta;
        if (!inside) {
            it = m_longLines.erase(it);
            continue;
        }
        const qsizetype offset = position - kept.start;
        kept.length += delta;
        if (!kept.pieces.empty()) {
            // Pieces before the edit keep their place.
            while (kept.pieces.size() > 1 && kept.pieces.back().offset >= offset)
                kept.pieces.pop_back();
            kept.piecesComplete = false;
        }
        if (!kept.starts.empty()) {
            // Wrapped again from the row before the edit's, until a row
            // starts where one started before (from there on all is alike).
            std::vector<qsizetype>& old = kept.starts;
            const size_t k =
                size_t(std::upper_bound(old.begin(), old.end(), offset) - old.begin() - 1);
            const size_t j = k > 0 ? k - 1 : 0;
            const qsizetype from = old[j];
            std::vector<qsizetype> made(old.begin(), old.begin() + qptrdiff(j) + 1);
            RowBreaker breaker(m_setup, true);
            QString scratch;
            size_t seen = 0;
            bool joined = false;
            for (qsizetype at = from; at < kept.length && !joined;) {
                const qsizetype n = std::min<qsizetype>(4096, kept.length - at);
                breaker.feed(text.view(kept.start + at, kept.start + at + n, scratch));
                at += n;
                for (; seen < breaker.starts().size(); ++seen) {
                    const qsizetype s = from + breaker.starts()[seen];
                    if (s >= offset + added) {
                        const qsizetype was = s - delta;
                        const auto match = std::lower_bound(old.begin(), old.end(), was);
                        if (match != old.end() && *match == was) {
                            made.push_back(s);
                            for (auto rest = match + 1; rest != old.end(); ++rest)
                                made.push_back(*rest + delta);
                            joined = true;
                            break;
                        }
                    }
                    made.push_back(s);
                }
            }
            old = std::move(made);
        }
        ++it;
    }
}

const std::vector<qsizetype>& RowCounter::rowStarts(qsizetype line) {
    if (m_setup.wrap) {
        if (LongLine* kept = longLine(line))
            return kept->starts;
    }
    m_scratchStarts.assign(1, 0);
    if (!m_setup.wrap)
        return m_scratchStarts;
    const TextReader<TextBuffer> text = buffer().reader();
    const qsizetype start = text.lineStart(line);
    RowBreaker breaker(m_setup, true);
    text.forEachPiece(start, text.lineEnd(line), [&](QStringView part) { breaker.feed(part); });
    m_scratchStarts.insert(m_scratchStarts.end(), breaker.starts().begin(), breaker.starts().end());
    if (buffer().lineRows(line) < 0)
        buffer().setLineRows(line, qint32(m_scratchStarts.size()));
    return m_scratchStarts;
}

qint64 RowCounter::rowInLine(qsizetype line, qsizetype offset) {
    const std::vector<qsizetype>& starts = rowStarts(line);
    return qint64(std::upper_bound(starts.begin(), starts.end(), offset) - starts.begin()) - 1;
}

qint64 RowCounter::estimatedRowsBefore(qsizetype line) const {
    return buffer().rowsBefore(line).estimate();
}

qint64 RowCounter::estimatedTotalRows() const {
    return buffer().totalRows().estimate();
}

qsizetype RowCounter::lineAtEstimatedRow(qint64 row, qint64* rowInLine) const {
    return buffer().lineAtRow(row, rowInLine);
}

std::optional<qsizetype> RowCounter::lineOf(qsizetype position) {
    if (!m_document)
        return 0;
    const TextReader<TextBuffer> text = buffer().reader();
    const qsizetype line = text.lineOf(position);
    if (!m_setup.wrap)
        return line;
    const TextBuffer::RowSum before = buffer().rowsBefore(line);
    if (before.unknown > 0)
        return std::nullopt;
    position = std::clamp<qsizetype>(position, 0, buffer().length());
    return before.known + rowInLine(line, position - text.lineStart(line));
}

std::optional<qsizetype> RowCounter::lineStart(qsizetype row) {
    if (!m_document)
        return row == 0 ? 0 : -1;
    if (row < 0)
        return -1;
    const TextReader<TextBuffer> text = buffer().reader();
    if (!m_setup.wrap) {
        if (row > buffer().breakCount())
            return m_document->isLoading() ? std::optional<qsizetype>() : -1;
        return text.lineStart(row);
    }
    qint64 inLine = 0;
    const qsizetype line = lineAtEstimatedRow(row, &inLine);
    const TextBuffer::RowSum before = buffer().rowsBefore(line);
    if (before.unknown > 0)
        return std::nullopt;
    const qint64 rows = rowsOfLine(line);
    inLine = row - before.known;
    if (inLine < rows)
        return text.lineStart(line) + rowStarts(line)[size_t(inLine)];
    // Beyond the last line.
    if (m_document->isLoading() || !buffer().allRowsKnown())
        return std::nullopt;
    return -1;
}

std::optional<qsizetype> RowCounter::lineCount() {
    if (!m_document)
        return 1;
    if (m_document->isLoading())
        return std::nullopt;
    if (!m_setup.wrap)
        return buffer().breakCount() + 1;
    const TextBuffer::RowSum total = buffer().totalRows();
    if (total.unknown > 0)
        return std::nullopt;
    return total.known;
}

qint64 RowCounter::xAt(qsizetype line, qsizetype offset) {
    const TextReader<TextBuffer> text = buffer().reader();
    const qsizetype start = text.lineStart(line);
    const Piece piece = pieceAt(line, offset);
    QString scratch;
    return measureFrom(*m_setup.widths, piece.x,
                       text.view(start + piece.offset, start + offset, scratch));
}

void RowCounter::extendPieces(LongLine& kept, qsizetype upTo) {
    const TextReader<TextBuffer> text = buffer().reader();
    QString scratch;
    while (!kept.piecesComplete && kept.pieces.back().offset <= upTo) {
        const Piece last = kept.pieces.back();
        qsizetype next = last.offset + kPiece;
        if (next >= kept.length) {
            kept.piecesComplete = true;
            widen(measureFrom(
                *m_setup.widths, last.x,
                text.view(kept.start + last.offset, kept.start + kept.length, scratch)));
            break;
        }
        // A piece starts at a character's start.
        while (next < kept.length) {
            const QChar c = text.at(kept.start + next);
            if (!(c.isLowSurrogate() || c.isMark()))
                break;
            ++next;
        }
        const qint64 x =
            measureFrom(*m_setup.widths, last.x,
                        text.view(kept.start + last.offset, kept.start + next, scratch));
        kept.pieces.push_back({next, x});
    }
}

RowCounter::Piece RowCounter::pieceAt(qsizetype line, qsizetype offset) {
    LongLine* kept = m_setup.wrap ? nullptr : longLine(line);
    if (!kept)
        return {0, 0};
    extendPieces(*kept, offset);
    const auto after = std::upper_bound(kept->pieces.begin(), kept->pieces.end(), offset,
                                        [](qsizetype o, const Piece& p) { return o < p.offset; });
    return *(after - 1);
}

RowCounter::Piece RowCounter::pieceAtX(qsizetype line, qint64 x) {
    LongLine* kept = m_setup.wrap ? nullptr : longLine(line);
    if (!kept)
        return {0, 0};
    while (!kept->piecesComplete && kept->pieces.back().x <= x)
        extendPieces(*kept, kept->pieces.back().offset);
    const auto after = std::upper_bound(kept->pieces.begin(), kept->pieces.end(), x,
                                        [](qint64 v, const Piece& p) { return v < p.x; });
    return after == kept->pieces.begin() ? kept->pieces.front() : *(after - 1);
}

qsizetype RowCounter::pieceEnd(qsizetype line, const Piece& piece) {
    LongLine* kept = m_setup.wrap ? nullptr : longLine(line);
    const TextReader<TextBuffer> text = buffer().reader();
    if (!kept)
        return text.lineEnd(line) - text.lineStart(line);
    extendPieces(*kept, piece.offset);
    const auto after = std::upper_bound(kept->pieces.begin(), kept->pieces.end(), piece.offset,
                                        [](qsizetype o, const Piece& p) { return o < p.offset; });
    return after == kept->pieces.end() ? kept->length : after->offset;
}

// --- counting on other threads ---------------------------------------------------

struct RowCounter::Pass {
    std::vector<std::shared_ptr<const BlockData>> blocks;
    std::vector<quint64> ids;
    WrapSetup setup;
    std::shared_ptr<std::atomic<bool>> stop;
};

void RowCounter::schedulePass() {
    if (m_passWanted)
        return;
    m_passWanted = true;
    QTimer::singleShot(0, this, [this] {
        m_passWanted = false;
        if (m_workers.empty())
            startPass();
        // else: started again when the running one ends
    });
}

void RowCounter::stopPass() {
    if (m_stop)
        *m_stop = true;
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();
    m_workersRunning = 0;
    ++m_passNumber; // what the stopped pass still sent is dropped
}

void RowCounter::startPass() {
    if (!m_document || !m_setup.widths || buffer().allRowsKnown())
        return;
    const TextBuffer& text = buffer();
    auto pass = std::make_shared<Pass>();
    pass->blocks = text.shareBlocks();
    pass->setup = m_setup;
    pass->stop = m_stop = std::make_shared<std::atomic<bool>>(false);
    std::vector<size_t> wanted;
    qsizetype units = 0;
    for (size_t b = 0; b < text.blockCount(); ++b) {
        pass->ids.push_back(text.blockEntry(b).id);
        if (!text.blockRowsKnown(b) || (b == 0 && text.firstLineRows() < 0)) {
            wanted.push_back(b);
            units += text.block(b).text.size();
        }
    }
    m_passRevision = text.revision();
    if (wanted.empty())
        return;
    // Two threads for a large count (one while a load has the other core).
    std::vector<std::vector<size_t>> shares(units > 4 * kMaxBlock && !m_document->isLoading() ? 2
                                                                                              : 1);
    qsizetype given = 0;
    for (size_t b : wanted) {
        const size_t share = shares.size() == 1 ? 0 : (given * 2 < units ? 0 : 1);
        shares[share].push_back(b);
        given += text.block(b).text.size();
    }
    const quint64 number = ++m_passNumber;
    for (std::vector<size_t>& share : shares) {
        if (share.empty())
            continue;
        ++m_workersRunning;
        m_workers.emplace_back([this, pass, number, share = std::move(share)] {
            RowBreaker breaker(pass->setup);
            std::vector<BlockResult> results;
            QElapsedTimer sinceSent;
            sinceSent.start();
            const auto send = [&] {
                QMetaObject::invokeMethod(
                    this,
                    [this, number, results = std::move(results)]() mutable {
                        take(number, std::move(results));
                    },
                    Qt::QueuedConnection);
                results.clear();
                sinceSent.restart();
            };
            for (size_t b : share) {
                if (*pass->stop)
                    return;
                BlockResult result;
                result.index = b;
                result.id = pass->ids[b];
                // The rows of the line from (block, offset) to its end.
                const auto count = [&](size_t block, qsizetype offset) {
                    breaker.startLine();
                    for (;;) {
                        const BlockData& data = *pass->blocks[block];
                        const auto next = std::lower_bound(data.breaks.begin(), data.breaks.end(),
                                                           qint32(offset));
                        if (next != data.breaks.end()) {
                            breaker.feed(QStringView(data.text).sliced(offset, *next - offset));
                            break;
                        }
                        breaker.feed(QStringView(data.text).sliced(offset));
                        if (++block >= pass->blocks.size())
                            break;
                        result.reached.emplace_back(block, pass->ids[block]);
                        offset = 0;
                    }
                    result.widest = std::max(result.widest, breaker.width());
                    return qint32(std::min<qint64>(pass->setup.wrap ? breaker.rows() : 1, INT_MAX));
                };
                if (b == 0) {
                    result.firstLine = true;
                    result.firstLineRows = count(0, 0);
                }
                const BlockData& data = *pass->blocks[b];
                result.rows.reserve(data.breaks.size());
                for (qint32 at : data.breaks)
                    result.rows.push_back(count(b, at + 1));
                results.push_back(std::move(result));
                if (results.size() >= 64 || sinceSent.elapsed() >= 30)
                    send();
            }
            send();
            QMetaObject::invokeMethod(
                this, [this, number] { workerDone(number); }, Qt::QueuedConnection);
        });
    }
}

void RowCounter::take(quint64 pass, std::vector<BlockResult> results) {
    if (pass != m_passNumber || !m_document)
        return;
    TextBuffer& text = buffer();
    const auto unchanged = [&](size_t index, quint64 id) {
        return index < text.blockCount() && text.blockEntry(index).id == id;
    };
    for (BlockResult& result : results) {
        if (!unchanged(result.index, result.id))
            continue;
        if (!std::all_of(result.reached.begin(), result.reached.end(),
                         [&](const auto& r) { return unchanged(r.first, r.second); }))
            continue;
        if (result.firstLine)
            text.setFirstLineRows(result.firstLineRows);
        text.setBlockRows(result.index, std::move(result.rows));
        widen(result.widest);
    }
    emit m_lines->known();
}

void RowCounter::workerDone(quint64 pass) {
    if (pass != m_passNumber)
        return;
    if (--m_workersRunning > 0)
        return;
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();
    // Text that changed meanwhile (a load's later blocks, edits) is counted
    // by another pass.
    if (m_document && buffer().revision() != m_passRevision && !buffer().allRowsKnown())
        schedulePass();
    emit m_lines->known();
}

} // namespace ostrel::editor::internal
