#pragma once

#include "editor/internal/Fenwick.h"

#include <QString>
#include <QStringView>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ostrel::editor::internal {

// A block of the text: at most kMaxBlock code units, with the offsets of its
// line breaks. Shared with snapshots; changed in place only while nothing
// else holds it.
struct BlockData {
    QString text;
    std::vector<qint32> breaks; // offsets of "\n" in text, ascending

    static std::shared_ptr<BlockData> make(QString text);
    void findBreaks();
};
using BlockPtr = std::shared_ptr<BlockData>;

constexpr qsizetype kBlockTarget = 32 * 1024;
constexpr qsizetype kMaxBlock = 64 * 1024;
constexpr qsizetype kMinBlock = 4 * 1024;

// Cuts a text into blocks of about kBlockTarget code units (never between
// the two halves of a surrogate pair when that can be helped).
std::vector<BlockPtr> cutIntoBlocks(QStringView text);

// Reading a sequence of blocks: their text, a position's line, a line's
// start, a search. `Index` answers where the blocks are: blockCount(),
// block(b), blockStart(b), breaksBefore(b), length(), breakCount(),
// blockOfPosition(p) (the last block for the end of the text) and
// blockOfBreak(k).
template <typename Index> class TextReader {
public:
    explicit TextReader(const Index& index) : m(index) {}

    qsizetype lineCount() const { return m.breakCount() + 1; }

    qsizetype lineOf(qsizetype position) const {
        position = std::clamp<qsizetype>(position, 0, m.length());
        if (m.blockCount() == 0)
            return 0;
        const size_t b = m.blockOfPosition(position);
        const qsizetype offset = position - m.blockStart(b);
        const auto& breaks = m.block(b).breaks;
        const auto before = std::lower_bound(breaks.begin(), breaks.end(), qint32(offset));
        return m.breaksBefore(b) + (before - breaks.begin());
    }

    // The position after the k-th line break (counted from 0).
    qsizetype afterBreak(qsizetype k) const {
        const size_t b = m.blockOfBreak(k);
        return m.blockStart(b) + m.block(b).breaks[size_t(k - m.breaksBefore(b))] + 1;
    }

    qsizetype lineStart(qsizetype line) const {
        if (line < 0 || line > m.breakCount())
            return -1;
        return line == 0 ? 0 : afterBreak(line - 1);
    }

    qsizetype lineEnd(qsizetype line) const {
        if (line < 0 || line > m.breakCount())
            return -1;
        return line == m.breakCount() ? m.length() : afterBreak(line) - 1;
    }

    QChar at(qsizetype position) const {
        if (position < 0 || position >= m.length())
            return QChar();
        const size_t b = m.blockOfPosition(position);
        return m.block(b).text[position - m.blockStart(b)];
    }

    // Calls `piece` with the consecutive parts of [from, to).
    template <typename F> void forEachPiece(qsizetype from, qsizetype to, F&& piece) const {
        from = std::clamp<qsizetype>(from, 0, m.length());
        to = std::clamp<qsizetype>(to, from, m.length());
        if (from == to)
            return;
        for (size_t b = m.blockOfPosition(from); b < m.blockCount() && from < to; ++b) {
            const qsizetype start = m.blockStart(b);
            const QString& text = m.block(b).text;
            const qsizetype begin = from - start;
            const qsizetype end = std::min<qsizetype>(text.size(), to - start);
            if (end > begin)
                piece(QStringView(text).sliced(begin, end - begin));
            from = start + text.size();
        }
    }

    QString mid(qsizetype from, qsizetype length) const {
        QString out;
        const qsizetype to = length < 0 ? m.length() : from + length;
        out.reserve(std::clamp<qsizetype>(to - from, 0, m.length()));
        forEachPiece(from, to, [&](QStringView part) { out += part; });
        return out;
    }

    // A view of [from, to): straight into a block when the range lies in one,
    // else gathered into `scratch`.
    QStringView view(qsizetype from, qsizetype to, QString& scratch) const {
        from = std::clamp<qsizetype>(from, 0, m.length());
        to = std::clamp<qsizetype>(to, from, m.length());
        if (from == to)
            return {};
        const size_t b = m.blockOfPosition(from);
        const qsizetype start = m.blockStart(b);
        const QString& text = m.block(b).text;
        if (to - start <= text.size())
            return QStringView(text).sliced(from - start, to - from);
        scratch = mid(from, to - from);
        return scratch;
    }

    qsizetype indexOf(QStringView what, qsizetype from) const {
        const qsizetype n = what.size();
        from = std::max<qsizetype>(from, 0);
        if (n == 0 || from + n > m.length())
            return -1;
        for (size_t b = m.blockOfPosition(from); b < m.blockCount(); ++b) {
            const qsizetype start = m.blockStart(b);
            const QString& text = m.block(b).text;
            const qsizetype local = std::max<qsizetype>(0, from - start);
            const qsizetype found = QStringView(text).indexOf(what, local);
            if (found >= 0)
                return start + found;
            // A match that begins in this block and ends beyond it.
            const qsizetype end = start + text.size();
            if (n > 1 && end < m.length()) {
                const qsizetype windowStart = std::max(from, end - (n - 1));
                const QString window = mid(windowStart, (end - windowStart) + n - 1);
                const qsizetype across = QStringView(window).indexOf(what);
                if (across >= 0 && windowStart + across < end)
                    return windowStart + across;
            }
        }
        return -1;
    }

private:
    const Index& m;
};

// The text of a document: blocks of lines with sums over them (lengths, line
// breaks, and the rows the view counted), edited in place. One number per
// line break is kept for the view: the rows of the line after the break
// (line 0's apart); -1 while not counted. All on the window's thread.
class TextBuffer {
public:
    struct Block {
        BlockPtr data;
        quint64 id = 0; // a new one whenever the block's text changes
        // The rows of the line after each break, when `rowsGeneration` is the
        // buffer's; otherwise none is counted.
        std::vector<qint32> rows;
        quint32 rowsGeneration = 0;
        qint64 knownRows = 0;
        qint64 unknownRows = 0; // lines not counted
    };

    TextBuffer();

    // --- the text
    qsizetype length() const { return m_length; }
    qsizetype breakCount() const { return m_breakCount; }
    size_t blockCount() const { return m_blocks.size(); }
    const BlockData& block(size_t b) const { return *m_blocks[b].data; }
    const Block& blockEntry(size_t b) const { return m_blocks[b]; }
    qsizetype blockStart(size_t b) const { return m_lengths.prefix(b); }
    qsizetype breaksBefore(size_t b) const { return m_breaks.prefix(b); }
    size_t blockOfPosition(qsizetype position) const;
    size_t blockOfBreak(qsizetype k) const;
    TextReader<TextBuffer> reader() const { return TextReader<TextBuffer>(*this); }
    quint64 revision() const { return m_revision; }

    // A new text (the old one and every row count are gone).
    void reset(std::vector<BlockPtr> blocks);
    // Text added at the end, in blocks made elsewhere (a load).
    void append(std::vector<BlockPtr> blocks);
    // Replaces `removed` units at `position` by `text`.
    void replace(qsizetype position, qsizetype removed, QStringView text);
    // The blocks as they are now, shared.
    std::vector<std::shared_ptr<const BlockData>> shareBlocks() const;

    // --- the rows of each line (line numbers are the text's)
    qint32 lineRows(qsizetype line) const;
    void setLineRows(qsizetype line, qint32 rows);
    // Every line's rows of a block (the lines after its breaks, in order),
    // and line 0's with the first block.
    void setBlockRows(size_t b, std::vector<qint32> rows);
    void setFirstLineRows(qint32 rows);
    qint32 firstLineRows() const;
    // Forgets every count (a new width, font or wrap).
    void forgetRows();
    quint32 rowsGeneration() const { return m_rowsGeneration; }
    bool blockRowsKnown(size_t b) const;
    // Whether every line's rows are counted.
    bool allRowsKnown() const { return unknownLines() == 0; }
    qint64 unknownLines() const;
    // The rows of the lines before `line`: counted ones, and as many as
    // are not counted (each such line taken for one row).
    struct RowSum {
        qint64 known = 0;
        qint64 unknown = 0;
        qint64 estimate() const { return known + unknown; }
    };
    RowSum rowsBefore(qsizetype line) const;
    RowSum totalRows() const;
    // The line holding a row, counting each line not counted as one row;
    // `rowInLine` answers the row within that line.
    qsizetype lineAtRow(qint64 row, qint64* rowInLine) const;

private:
    Block makeBlock(BlockPtr data);
    void rebuildSums();
    void refreshRowSums(size_t b);
    // Makes a block's text its own (not shared with a snapshot).
    BlockData& own(size_t b);
    // Makes a block's rows this generation's.
    std::vector<qint32>& rowsOf(size_t b);
    // The block and index of the number kept for a line (line > 0).
    std::pair<size_t, size_t> rowSlot(qsizetype line) const;
    void invalidateLine(qsizetype line);
    void joinIfShort(size_t b);

    std::vector<Block> m_blocks;
    Fenwick m_lengths, m_breaks, m_knownRows, m_estimatedRows;
    qsizetype m_length = 0;
    qsizetype m_breakCount = 0;
    quint64 m_nextId = 1;
    quint64 m_revision = 0;
    quint32 m_rowsGeneration = 1;
    qint32 m_firstLineRows = -1;
    quint32 m_firstLineGeneration = 0;
};

} // namespace ostrel::editor::internal
