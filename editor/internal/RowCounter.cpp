#include "RowCounter.h"

#include "editor/Document.h"
#include "editor/Lines.h"
#include "editor/internal/SnapshotData.h"
#include "editor/internal/TextBuffer.h"

#include <QElapsedTimer>
#include <QTimer>
#include <limits>

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
// An edit in a long line is wrapped on here this far past its end at most
// (several screens of rows): where rows shifted by the edit never line up
// with the old ones again (Japanese text moved by one character), the rest
// of a line of megabytes would take the key's time. The counting threads
// wrap the rest.
constexpr qsizetype kRewrapAhead = 32 * 1024;
constexpr qsizetype kExact = std::numeric_limits<qsizetype>::max();

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

struct RowCounter::LongLine {
    qsizetype start = 0;
    qsizetype length = 0;
    std::vector<qsizetype> starts; // with wrap: of each row (the first 0)
    std::vector<Piece> pieces;     // without: measured so far (the first at 0)
    bool piecesComplete = false;
    bool tabs = true; // whether a tab may follow (its advance depends on where it stands)
    quint64 used = 0;
    // With wrap: the row starts after this one are an edit's old rows, moved,
    // standing in until the counting threads bring the line's own.
    qsizetype exactTo = kExact;
    bool provisional() const { return exactTo != kExact; }
};

struct RowCounter::BlockResult {
    size_t index = 0;
    quint64 id = 0;
    std::vector<qint32> rows;
    bool firstLine = false;
    qint32 firstLineRows = -1;
    qint64 widest = 0;
    // The blocks after it that its lines reached into, with their ids.
    std::vector<std::pair<size_t, quint64>> reached;
    std::vector<std::shared_ptr<LongLine>> longLines;
    // A line ran to the end of the text as it was: the count holds only while
    // no text came after it (as a load's next blocks do).
    size_t endedAt = 0; // the number of blocks then, or 0
};

namespace {

// The pieces of a long line without wrap, from the first (each at a
// character's start, about kPiece apart), measured on until `upTo` or the
// line's end. `at(i)` and `view(from, to)` read the line.
template <typename At, typename View>
void measurePieces(const CharWidths& widths, qsizetype length, qsizetype upTo, At at, View view,
                   std::vector<RowCounter::Piece>& pieces, bool& complete, qint64* width) {
    while (!complete && pieces.back().offset <= upTo) {
        const RowCounter::Piece last = pieces.back();
        qsizetype next = last.offset + RowCounter::kPiece;
        if (next >= length) {
            complete = true;
            *width = measureFrom(widths, last.x, view(last.offset, length));
            break;
        }
        for (qsizetype joined = 0; next < length && joined < kLongestCluster; ++joined) {
            const QChar c = at(next);
            if (!(c.isLowSurrogate() || c.isMark()))
                break;
            ++next;
        }
        if (next < length && at(next).isLowSurrogate())
            ++next; // never between the halves of a pair
        pieces.push_back({next, measureFrom(widths, last.x, view(last.offset, next))});
    }
}

} // namespace

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
    for (qsizetype line = first; line <= last; ++line) {
        bool provisional = false;
        const qint64 rows = countLine(line, &provisional);
        buffer().setLineRows(line, provisional ? -1 : qint32(std::min<qint64>(rows, INT_MAX)));
        if (provisional)
            schedulePass();
    }
}

qint64 RowCounter::countLine(qsizetype line, bool* provisional) {
    const TextReader<TextBuffer> text = buffer().reader();
    const qsizetype start = text.lineStart(line);
    const qsizetype end = text.lineEnd(line);
    if (m_setup.wrap && end - start >= kLongLine) {
        const LongLine* kept = longLine(line);
        if (provisional)
            *provisional = kept->provisional();
        return qint64(kept->starts.size());
    }
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
    bool provisional = false;
    const qint64 rows = countLine(line, &provisional);
    if (!provisional)
        buffer().setLineRows(line, qint32(std::min<qint64>(rows, INT_MAX)));
    return rows;
}

RowCounter::LongLine* RowCounter::longLine(qsizetype line) {
    const TextReader<TextBuffer> text = buffer().reader();
    const qsizetype start = text.lineStart(line);
    const qsizetype length = text.lineEnd(line) - start;
    if (length < kLongLine)
        return nullptr;
    for (const auto& kept : m_longLines) {
        if (kept->start == start && kept->length == length) {
            kept->used = ++m_clock;
            return kept.get();
        }
    }
    auto made = std::make_unique<LongLine>();
    made->start = start;
    made->length = length;
    if (m_setup.wrap) {
        RowBreaker breaker(m_setup, true);
        text.forEachPiece(start, start + length, [&](QStringView part) { breaker.feed(part); });
        made->starts.reserve(breaker.starts().size() + 1);
        made->starts.push_back(0);
        made->starts.insert(made->starts.end(), breaker.starts().begin(), breaker.starts().end());
    } else {
        made->pieces.push_back({0, 0});
        made->tabs = false;
        text.forEachPiece(start, start + length, [&](QStringView part) {
            made->tabs = made->tabs || part.contains(u'\t');
        });
    }
    keep(std::move(made));
    return m_longLines.back().get();
}

void RowCounter::keep(std::unique_ptr<LongLine> made) {
    made->used = ++m_clock;
    for (auto it = m_longLines.begin(); it != m_longLines.end(); ++it) {
        if ((*it)->start == made->start) {
            *it = std::move(made);
            std::rotate(it, it + 1, m_longLines.end()); // the newest last
            return;
        }
    }
    if (m_longLines.size() >= kLongLinesKept) {
        const auto oldest =
            std::min_element(m_longLines.begin(), m_longLines.end(),
                             [](const auto& a, const auto& b) { return a->used < b->used; });
        m_longLines.erase(oldest);
    }
    m_longLines.push_back(std::move(made));
}

std::vector<qsizetype> RowCounter::rewrap(qsizetype start, qsizetype length,
                                          std::vector<qsizetype> starts, const LongLine& old,
                                          qsizetype delta, qsizetype editEnd,
                                          qsizetype* exactTo) const {
    const TextReader<TextBuffer> text = buffer().reader();
    // Where an old row start now stands in this line.
    const auto moved = [&](qsizetype oldRow) { return oldRow + old.start + delta - start; };
    const qsizetype from = starts.back();
    RowBreaker breaker(m_setup, true);
    QString scratch;
    size_t seen = 0;
    *exactTo = kExact;
    for (qsizetype at = from; at < length;) {
        if (start + at >= editEnd + kRewrapAhead) {
            *exactTo = starts.back();
            const auto rest = std::upper_bound(old.starts.begin(), old.starts.end(),
                                               starts.back() - old.start - delta + start);
            for (auto row = rest; row != old.starts.end() && moved(*row) < length; ++row)
                starts.push_back(moved(*row));
            return starts;
        }
        const qsizetype n = std::min<qsizetype>(4096, length - at);
        breaker.feed(text.view(start + at, start + at + n, scratch));
        at += n;
        for (; seen < breaker.starts().size(); ++seen) {
            const qsizetype row = from + breaker.starts()[seen];
            starts.push_back(row);
            if (start + row < editEnd)
                continue;
            // A row that starts where one started before the edit: from
            // here on the rows are the old ones (those known to be right).
            const qsizetype was = start + row - delta - old.start;
            if (was > old.exactTo)
                continue;
            const auto match = std::lower_bound(old.starts.begin(), old.starts.end(), was);
            if (match != old.starts.end() && *match == was) {
                for (auto rest = match + 1; rest != old.starts.end(); ++rest)
                    starts.push_back(moved(*rest));
                if (old.provisional())
                    *exactTo = moved(old.exactTo);
                return starts;
            }
        }
    }
    return starts;
}

void RowCounter::followEdit(qsizetype position, qsizetype removed, qsizetype added) {
    const qsizetype delta = added - removed;
    const qsizetype editEnd = position + added;
    const TextReader<TextBuffer> text = buffer().reader();
    std::vector<std::unique_ptr<LongLine>> made;
    for (auto it = m_longLines.begin(); it != m_longLines.end();) {
        LongLine& kept = **it;
        const qsizetype end = kept.start + kept.length;
        if (position + removed < kept.start) {
            kept.start += delta; // before the line, its line break kept
            ++it;
            continue;
        }
        if (position > end) {
            ++it;
            continue;
        }
        // The edit touched the line: the lines it now makes part of, taken
        // on from what is known of it (the rows before the edit stay, those
        // after come back where a row starts where one did).
        const std::unique_ptr<LongLine> old = std::move(*it);
        it = m_longLines.erase(it);
        const qsizetype firstLine = text.lineOf(std::max(position, old->start));
        if (position >= old->start) {
            // The line the edit begins in keeps its start.
            auto line = std::make_unique<LongLine>();
            line->start = old->start;
            line->length = text.lineEnd(firstLine) - old->start;
            line->tabs = old->tabs;
            const qsizetype offset = position - old->start;
            if (m_setup.wrap && old->provisional() && offset > old->exactTo) {
                // An edit among rows still being counted: they move with it.
                for (const qsizetype row : old->starts) {
                    const qsizetype now = row <= offset ? row : row + delta;
                    if ((row <= offset || row >= offset + removed) && now < line->length &&
                        (line->starts.empty() || now > line->starts.back()))
                        line->starts.push_back(now);
                }
                line->exactTo = old->exactTo;
            } else if (m_setup.wrap && !old->starts.empty()) {
                const auto row = std::upper_bound(old->starts.begin(), old->starts.end(), offset);
                const qptrdiff j = std::max<qptrdiff>(0, (row - old->starts.begin()) - 2);
                line->starts = rewrap(line->start, line->length,
                                      {old->starts.begin(), old->starts.begin() + j + 1}, *old,
                                      delta, editEnd, &line->exactTo);
            } else if (!m_setup.wrap) {
                // Pieces before the edit stay; without a tab after it, those
                // after it move by what the edit changed of the width.
                const bool sameLine = line->length == old->length + delta;
                const auto after =
                    std::upper_bound(old->pieces.begin(), old->pieces.end(), offset,
                                     [](qsizetype o, const Piece& p) { return o < p.offset; });
                line->pieces.assign(old->pieces.begin(), after);
                if (sameLine && !old->tabs && after != old->pieces.end() &&
                    after->offset >= offset + removed) {
                    const Piece edited = line->pieces.back();
                    const qsizetype next = after->offset + delta;
                    QString scratch;
                    const qint64 x = measureFrom(
                        *m_setup.widths, edited.x,
                        text.view(line->start + edited.offset, line->start + next, scratch));
                    const qint64 dx = x - after->x;
                    for (auto p = after; p != old->pieces.end(); ++p)
                        line->pieces.push_back({p->offset + delta, p->x + dx});
                    line->piecesComplete = old->piecesComplete;
                    if (old->piecesComplete)
                        widen(m_widest + std::max<qint64>(0, dx));
                }
                if (line->pieces.empty())
                    line->pieces.push_back({0, 0});
            }
            if (line->length >= kLongLine && (!m_setup.wrap || !line->starts.empty()))
                made.push_back(std::move(line));
        }
        // The line that holds the rest of the old one after the edit, when
        // that is another (a line break came in or went).
        if (position + removed <= end) {
            const qsizetype lastLine = text.lineOf(end + delta);
            const qsizetype start = text.lineStart(lastLine);
            const qsizetype length = text.lineEnd(lastLine) - start;
            if ((lastLine != firstLine || position < old->start) && length >= kLongLine) {
                auto line = std::make_unique<LongLine>();
                line->start = start;
                line->length = length;
                line->tabs = old->tabs;
                if (m_setup.wrap && !old->starts.empty()) {
                    line->starts = rewrap(start, length, {0}, *old, delta, editEnd, &line->exactTo);
                } else if (!m_setup.wrap) {
                    line->pieces.push_back({0, 0});
                    // Without a tab, the old pieces after the edit keep their
                    // widths: they move by where the first of them now stands.
                    const qsizetype after = position + removed - old->start;
                    const auto first =
                        std::lower_bound(old->pieces.begin(), old->pieces.end(), after,
                                         [](const Piece& p, qsizetype o) { return p.offset < o; });
                    if (!old->tabs && first != old->pieces.end() &&
                        old->start + first->offset + delta - start <= 4 * kPiece) {
                        const qsizetype firstNew = old->start + first->offset + delta - start;
                        QString scratch;
                        const qint64 x = measureFrom(*m_setup.widths, 0,
                                                     text.view(start, start + firstNew, scratch));
                        for (auto p = first; p != old->pieces.end(); ++p)
                            line->pieces.push_back(
                                {p->offset + old->start + delta - start, p->x - first->x + x});
                        if (line->pieces.size() > 1 && line->pieces[1].offset == 0)
                            line->pieces.erase(line->pieces.begin());
                        line->piecesComplete = old->piecesComplete;
                    }
                }
                if (!line->starts.empty() || !line->pieces.empty())
                    made.push_back(std::move(line));
            }
        }
    }
    for (auto& line : made)
        keep(std::move(line));
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

qint64 RowCounter::provisionalRowsBefore(qsizetype line) const {
    qint64 rows = 0;
    for (const auto& kept : m_longLines) {
        if (kept->provisional() && buffer().reader().lineOf(kept->start) < line)
            rows += qint64(kept->starts.size()) - 1;
    }
    return rows;
}

qint64 RowCounter::estimatedRowsBefore(qsizetype line) const {
    return buffer().rowsBefore(line).estimate() + provisionalRowsBefore(line);
}

qint64 RowCounter::estimatedTotalRows() const {
    return buffer().totalRows().estimate() + provisionalRowsBefore(buffer().breakCount() + 1);
}

qsizetype RowCounter::lineAtEstimatedRow(qint64 row, qint64* rowInLine) const {
    // The long lines still being counted, in order, each its rows long
    // (the buffer takes them for one row each).
    std::vector<std::pair<qsizetype, qint64>> provisional;
    for (const auto& kept : m_longLines) {
        if (kept->provisional())
            provisional.emplace_back(buffer().reader().lineOf(kept->start),
                                     qint64(kept->starts.size()));
    }
    std::sort(provisional.begin(), provisional.end());
    qint64 added = 0;
    for (const auto& [line, rows] : provisional) {
        const qint64 before = buffer().rowsBefore(line).estimate() + added;
        if (row < before)
            break;
        if (row < before + rows) {
            *rowInLine = row - before;
            return line;
        }
        added += rows - 1;
    }
    return buffer().lineAtRow(row - added, rowInLine);
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
    const qsizetype offset = position - text.lineStart(line);
    if (buffer().lineRows(line) < 0) {
        const LongLine* kept = longLine(line);
        if (kept && kept->provisional() && offset >= kept->exactTo)
            return std::nullopt;
    }
    return before.known + rowInLine(line, offset);
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
    if (inLine < rows) {
        const qsizetype offset = rowStarts(line)[size_t(inLine)];
        const LongLine* kept = buffer().lineRows(line) < 0 ? longLine(line) : nullptr;
        if (kept && kept->provisional() && offset > kept->exactTo)
            return std::nullopt;
        return text.lineStart(line) + offset;
    }
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
    qint64 width = 0;
    measurePieces(
        *m_setup.widths, kept.length, upTo, [&](qsizetype i) { return text.at(kept.start + i); },
        [&](qsizetype from, qsizetype to) {
            return text.view(kept.start + from, kept.start + to, scratch);
        },
        kept.pieces, kept.piecesComplete, &width);
    if (kept.piecesComplete)
        widen(width);
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
    std::shared_ptr<const SnapshotData> text;
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
    pass->text = SnapshotData::share(text, true);
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
            RowBreaker breaker(pass->setup, pass->setup.wrap);
            const SnapshotData& snapshot = *pass->text;
            const TextReader<SnapshotData> reader(snapshot);
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
                    const qsizetype start = snapshot.blockStart(block) + offset;
                    breaker.startLine();
                    for (;;) {
                        const BlockData& data = snapshot.block(block);
                        const auto next = std::lower_bound(data.breaks.begin(), data.breaks.end(),
                                                           qint32(offset));
                        if (next != data.breaks.end()) {
                            breaker.feed(QStringView(data.text).sliced(offset, *next - offset));
                            break;
                        }
                        breaker.feed(QStringView(data.text).sliced(offset));
                        if (++block >= snapshot.blockCount()) {
                            result.endedAt = snapshot.blockCount();
                            break;
                        }
                        result.reached.emplace_back(block, pass->ids[block]);
                        offset = 0;
                    }
                    result.widest = std::max(result.widest, breaker.width());
                    // A long line's rows (or pieces) are kept, so that the view
                    // need not measure it whole when it first shows it.
                    const qsizetype length = breaker.length();
                    if (length >= kLongLine) {
                        auto line = std::make_unique<LongLine>();
                        line->start = start;
                        line->length = length;
                        if (pass->setup.wrap) {
                            line->starts.reserve(breaker.starts().size() + 1);
                            line->starts.push_back(0);
                            line->starts.insert(line->starts.end(), breaker.starts().begin(),
                                                breaker.starts().end());
                        } else {
                            line->pieces.push_back({0, 0});
                            line->tabs = false;
                            reader.forEachPiece(start, start + length, [&](QStringView part) {
                                line->tabs = line->tabs || part.contains(u'\t');
                            });
                            QString scratch;
                            qint64 width = 0;
                            measurePieces(
                                *pass->setup.widths, length, length,
                                [&](qsizetype i) { return reader.at(start + i); },
                                [&](qsizetype from, qsizetype to) {
                                    return reader.view(start + from, start + to, scratch);
                                },
                                line->pieces, line->piecesComplete, &width);
                        }
                        result.longLines.push_back(std::shared_ptr<LongLine>(std::move(line)));
                    }
                    return qint32(std::min<qint64>(pass->setup.wrap ? breaker.rows() : 1, INT_MAX));
                };
                if (b == 0) {
                    result.firstLine = true;
                    result.firstLineRows = count(0, 0);
                }
                const BlockData& data = snapshot.block(b);
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
        if (!unchanged(result.index, result.id) ||
            (result.endedAt && result.endedAt != text.blockCount()))
            continue;
        if (!std::all_of(result.reached.begin(), result.reached.end(),
                         [&](const auto& r) { return unchanged(r.first, r.second); }))
            continue;
        if (result.firstLine)
            text.setFirstLineRows(result.firstLineRows);
        text.setBlockRows(result.index, std::move(result.rows));
        widen(result.widest);
        for (const std::shared_ptr<LongLine>& line : result.longLines)
            keep(std::make_unique<LongLine>(std::move(*line)));
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
