#include "TextBuffer.h"

#include <algorithm>

namespace ostrel::editor::internal {

std::shared_ptr<BlockData> BlockData::make(QString text) {
    auto block = std::make_shared<BlockData>();
    block->text = std::move(text);
    block->findBreaks();
    return block;
}

void BlockData::findBreaks() {
    // Counted first, so that the list takes no more room than it needs.
    qsizetype count = 0;
    for (const QChar c : std::as_const(text))
        count += c == u'\n';
    breaks.clear();
    breaks.reserve(size_t(count));
    breaks.shrink_to_fit();
    const QStringView view(text);
    for (qsizetype at = view.indexOf(u'\n'); at >= 0; at = view.indexOf(u'\n', at + 1))
        breaks.push_back(qint32(at));
}

std::vector<BlockPtr> cutIntoBlocks(QStringView text) {
    std::vector<BlockPtr> blocks;
    blocks.reserve(size_t(text.size() / kBlockTarget + 1));
    while (!text.isEmpty()) {
        qsizetype n = std::min(kBlockTarget, text.size());
        if (n < text.size() && text[n - 1].isHighSurrogate() && text[n].isLowSurrogate())
            --n;
        blocks.push_back(BlockData::make(text.first(n).toString()));
        text = text.sliced(n);
    }
    return blocks;
}

TextBuffer::TextBuffer() {
    rebuildSums();
}

TextBuffer::Block TextBuffer::makeBlock(BlockPtr data) {
    Block block;
    block.data = std::move(data);
    block.id = m_nextId++;
    block.rowsGeneration = 0; // none counted
    block.unknownRows = qint64(block.data->breaks.size());
    return block;
}

size_t TextBuffer::blockOfPosition(qsizetype position) const {
    if (m_blocks.empty())
        return 0;
    if (position >= m_length)
        return m_blocks.size() - 1;
    return m_lengths.find(position, nullptr);
}

size_t TextBuffer::blockOfBreak(qsizetype k) const {
    return m_breaks.find(k, nullptr);
}

void TextBuffer::rebuildSums() {
    std::vector<qint64> lengths, breaks, known, estimated;
    lengths.reserve(m_blocks.size());
    breaks.reserve(m_blocks.size());
    known.reserve(m_blocks.size());
    estimated.reserve(m_blocks.size());
    m_length = 0;
    m_breakCount = 0;
    for (Block& b : m_blocks) {
        if (b.rowsGeneration != m_rowsGeneration) {
            b.knownRows = 0;
            b.unknownRows = qint64(b.data->breaks.size());
        }
        lengths.push_back(b.data->text.size());
        breaks.push_back(qint64(b.data->breaks.size()));
        known.push_back(b.knownRows);
        estimated.push_back(b.knownRows + b.unknownRows);
        m_length += b.data->text.size();
        m_breakCount += qsizetype(b.data->breaks.size());
    }
    m_lengths.assign(lengths);
    m_breaks.assign(breaks);
    m_knownRows.assign(known);
    m_estimatedRows.assign(estimated);
}

void TextBuffer::reset(std::vector<BlockPtr> blocks) {
    ++m_revision;
    m_blocks.clear();
    ++m_rowsGeneration;
    m_firstLineRows = -1;
    for (BlockPtr& data : blocks)
        if (!data->text.isEmpty())
            m_blocks.push_back(makeBlock(std::move(data)));
    rebuildSums();
}

void TextBuffer::append(std::vector<BlockPtr> blocks) {
    if (blocks.empty())
        return;
    ++m_revision;
    // The last line grows.
    const qsizetype lastLine = m_breakCount;
    for (BlockPtr& data : blocks) {
        if (data->text.isEmpty())
            continue;
        m_blocks.push_back(makeBlock(std::move(data)));
        const Block& b = m_blocks.back();
        m_lengths.append(b.data->text.size());
        m_breaks.append(qint64(b.data->breaks.size()));
        m_knownRows.append(0);
        m_estimatedRows.append(b.unknownRows);
        m_length += b.data->text.size();
        m_breakCount += qsizetype(b.data->breaks.size());
    }
    invalidateLine(lastLine);
}

std::vector<std::shared_ptr<const BlockData>> TextBuffer::shareBlocks() const {
    std::vector<std::shared_ptr<const BlockData>> shared;
    shared.reserve(m_blocks.size());
    for (const Block& b : m_blocks)
        shared.push_back(b.data);
    return shared;
}

BlockData& TextBuffer::own(size_t b) {
    BlockPtr& data = m_blocks[b].data;
    if (data.use_count() > 1)
        data = std::make_shared<BlockData>(*data);
    return *data;
}

std::vector<qint32>& TextBuffer::rowsOf(size_t b) {
    Block& block = m_blocks[b];
    if (block.rowsGeneration != m_rowsGeneration) {
        block.rows.assign(block.data->breaks.size(), -1);
        block.rowsGeneration = m_rowsGeneration;
    }
    return block.rows;
}

void TextBuffer::refreshRowSums(size_t b) {
    Block& block = m_blocks[b];
    qint64 known = 0, unknown = 0;
    if (block.rowsGeneration == m_rowsGeneration) {
        for (qint32 r : block.rows) {
            if (r < 0)
                ++unknown;
            else
                known += r;
        }
    } else {
        unknown = qint64(block.data->breaks.size());
    }
    m_knownRows.add(b, known - block.knownRows);
    m_estimatedRows.add(b, known + unknown - block.knownRows - block.unknownRows);
    block.knownRows = known;
    block.unknownRows = unknown;
}

std::pair<size_t, size_t> TextBuffer::rowSlot(qsizetype line) const {
    const size_t b = blockOfBreak(line - 1);
    return {b, size_t(line - 1 - breaksBefore(b))};
}

qint32 TextBuffer::firstLineRows() const {
    return m_firstLineGeneration == m_rowsGeneration ? m_firstLineRows : -1;
}

void TextBuffer::setFirstLineRows(qint32 rows) {
    m_firstLineRows = rows;
    m_firstLineGeneration = m_rowsGeneration;
}

qint32 TextBuffer::lineRows(qsizetype line) const {
    if (line <= 0)
        return line == 0 ? firstLineRows() : -1;
    if (line > m_breakCount)
        return -1;
    const auto [b, i] = rowSlot(line);
    const Block& block = m_blocks[b];
    return block.rowsGeneration == m_rowsGeneration ? block.rows[i] : -1;
}

void TextBuffer::setLineRows(qsizetype line, qint32 rows) {
    if (line == 0) {
        setFirstLineRows(rows);
        return;
    }
    if (line < 0 || line > m_breakCount)
        return;
    const auto [b, i] = rowSlot(line);
    qint32& slot = rowsOf(b)[i];
    if (slot == rows)
        return;
    Block& block = m_blocks[b];
    const qint64 knownDelta = (rows >= 0 ? rows : 0) - (slot >= 0 ? slot : 0);
    const qint64 unknownDelta = (rows < 0 ? 1 : 0) - (slot < 0 ? 1 : 0);
    slot = rows;
    block.knownRows += knownDelta;
    block.unknownRows += unknownDelta;
    m_knownRows.add(b, knownDelta);
    m_estimatedRows.add(b, knownDelta + unknownDelta);
}

void TextBuffer::invalidateLine(qsizetype line) {
    setLineRows(line, -1);
}

void TextBuffer::setBlockRows(size_t b, std::vector<qint32> rows) {
    if (b >= m_blocks.size() || rows.size() != m_blocks[b].data->breaks.size())
        return;
    Block& block = m_blocks[b];
    block.rows = std::move(rows);
    block.rowsGeneration = m_rowsGeneration;
    refreshRowSums(b);
}

bool TextBuffer::blockRowsKnown(size_t b) const {
    return m_blocks[b].unknownRows == 0;
}

void TextBuffer::forgetRows() {
    ++m_rowsGeneration;
    rebuildSums();
}

qint64 TextBuffer::unknownLines() const {
    return (firstLineRows() < 0 ? 1 : 0) + m_estimatedRows.total() - m_knownRows.total();
}

TextBuffer::RowSum TextBuffer::rowsBefore(qsizetype line) const {
    RowSum sum;
    if (line <= 0)
        return sum;
    const qint32 first = firstLineRows();
    (first < 0 ? sum.unknown : sum.known) += first < 0 ? 1 : first;
    if (line > m_breakCount) {
        sum.known += m_knownRows.total();
        sum.unknown += m_estimatedRows.total() - m_knownRows.total();
        return sum;
    }
    const auto [b, i] = rowSlot(line);
    sum.known += m_knownRows.prefix(b);
    sum.unknown += m_estimatedRows.prefix(b) - m_knownRows.prefix(b);
    const Block& block = m_blocks[b];
    if (block.rowsGeneration != m_rowsGeneration) {
        sum.unknown += qint64(i);
    } else {
        for (size_t k = 0; k < i; ++k) {
            const qint32 r = block.rows[k];
            (r < 0 ? sum.unknown : sum.known) += r < 0 ? 1 : r;
        }
    }
    return sum;
}

TextBuffer::RowSum TextBuffer::totalRows() const {
    return rowsBefore(m_breakCount + 1);
}

qsizetype TextBuffer::lineAtRow(qint64 row, qint64* rowInLine) const {
    const qint32 first = firstLineRows();
    const qint64 firstRows = first < 0 ? 1 : first;
    if (row < firstRows || m_blocks.empty()) {
        *rowInLine = std::max<qint64>(0, std::min(row, firstRows - 1));
        return 0;
    }
    row -= firstRows;
    qint64 before = 0;
    const size_t b = m_estimatedRows.find(row, &before);
    if (b >= m_blocks.size()) {
        // Past the last row: the last line's last row.
        const qint32 last = lineRows(m_breakCount);
        *rowInLine = std::max<qint64>(0, (last < 0 ? 1 : last) - 1);
        return m_breakCount;
    }
    row -= before;
    const Block& block = m_blocks[b];
    const bool counted = block.rowsGeneration == m_rowsGeneration;
    const size_t n = block.data->breaks.size();
    for (size_t k = 0; k < n; ++k) {
        const qint64 rows = counted && block.rows[k] >= 0 ? block.rows[k] : 1;
        if (row < rows) {
            *rowInLine = row;
            return breaksBefore(b) + qsizetype(k) + 1;
        }
        row -= rows;
    }
    *rowInLine = 0; // not reached: the block's sum holds the row
    return breaksBefore(b) + qsizetype(n);
}

void TextBuffer::replace(qsizetype position, qsizetype removed, QStringView text) {
    position = std::clamp<qsizetype>(position, 0, m_length);
    removed = std::clamp<qsizetype>(removed, 0, m_length - position);
    if (removed == 0 && text.isEmpty())
        return;
    ++m_revision;
    // The line whose text changes keeps its number; the lines that follow
    // the removed part keep their text.
    const qsizetype editedLine = reader().lineOf(position);
    if (m_blocks.empty()) {
        for (BlockPtr& data : cutIntoBlocks(text))
            m_blocks.push_back(makeBlock(std::move(data)));
        rebuildSums();
        invalidateLine(0);
        return;
    }
    const size_t b = blockOfPosition(position);
    const qsizetype offset = position - blockStart(b);
    std::vector<qint32> added;
    for (qsizetype at = text.indexOf(u'\n'); at >= 0; at = text.indexOf(u'\n', at + 1))
        added.push_back(qint32(at));

    if (offset + removed <= m_blocks[b].data->text.size() &&
        m_blocks[b].data->text.size() - removed + text.size() <= kMaxBlock) {
        // Within one block, in place.
        BlockData& data = own(b);
        std::vector<qint32>& rows = rowsOf(b);
        auto& breaks = data.breaks;
        const auto first = std::lower_bound(breaks.begin(), breaks.end(), qint32(offset));
        const auto last = std::lower_bound(first, breaks.end(), qint32(offset + removed));
        const size_t i0 = size_t(first - breaks.begin());
        const size_t i1 = size_t(last - breaks.begin());
        const qint32 delta = qint32(text.size() - removed);
        breaks.erase(first, last);
        for (size_t k = i0; k < breaks.size(); ++k)
            breaks[k] += delta;
        for (qint32& a : added)
            a += qint32(offset);
        breaks.insert(breaks.begin() + qptrdiff(i0), added.begin(), added.end());
        rows.erase(rows.begin() + qptrdiff(i0), rows.begin() + qptrdiff(i1));
        rows.insert(rows.begin() + qptrdiff(i0), added.size(), -1);
        data.text.replace(offset, removed, text.constData(), text.size());
        m_blocks[b].id = m_nextId++;
        const qint64 breaksDelta = qint64(added.size()) - qint64(i1 - i0);
        m_lengths.add(b, delta);
        m_breaks.add(b, breaksDelta);
        m_length += delta;
        m_breakCount += breaksDelta;
        refreshRowSums(b);
        invalidateLine(editedLine);
        if (data.text.size() < kMinBlock)
            joinIfShort(b);
        return;
    }

    // Across blocks, or too much for one: the blocks touched are made anew.
    const size_t e = blockOfPosition(position + removed);
    const qsizetype endOffset = position + removed - blockStart(e);
    const BlockData& firstData = *m_blocks[b].data;
    const BlockData& lastData = *m_blocks[e].data;
    QString joined;
    joined.reserve(offset + text.size() + lastData.text.size() - endOffset);
    joined += QStringView(firstData.text).first(offset);
    joined += text;
    joined += QStringView(lastData.text).sliced(endOffset);
    // The counts kept: before the edit in the first block, after it in the last.
    std::vector<qint32> rows;
    const auto countsOf = [&](size_t k) {
        const Block& block = m_blocks[k];
        return block.rowsGeneration == m_rowsGeneration
                   ? block.rows
                   : std::vector<qint32>(block.data->breaks.size(), -1);
    };
    {
        const std::vector<qint32> firstRows = countsOf(b);
        const auto keep =
            std::lower_bound(firstData.breaks.begin(), firstData.breaks.end(), qint32(offset)) -
            firstData.breaks.begin();
        rows.insert(rows.end(), firstRows.begin(), firstRows.begin() + keep);
        rows.insert(rows.end(), added.size(), -1);
        const std::vector<qint32> lastRows = countsOf(e);
        const auto from =
            std::lower_bound(lastData.breaks.begin(), lastData.breaks.end(), qint32(endOffset)) -
            lastData.breaks.begin();
        rows.insert(rows.end(), lastRows.begin() + from, lastRows.end());
    }
    std::vector<Block> made;
    size_t used = 0;
    for (BlockPtr& data : cutIntoBlocks(joined)) {
        Block block = makeBlock(std::move(data));
        const size_t n = block.data->breaks.size();
        block.rows.assign(rows.begin() + qptrdiff(used), rows.begin() + qptrdiff(used + n));
        block.rowsGeneration = m_rowsGeneration;
        used += n;
        made.push_back(std::move(block));
    }
    m_blocks.erase(m_blocks.begin() + qptrdiff(b), m_blocks.begin() + qptrdiff(e) + 1);
    m_blocks.insert(m_blocks.begin() + qptrdiff(b), std::make_move_iterator(made.begin()),
                    std::make_move_iterator(made.end()));
    for (size_t k = b; k < b + made.size(); ++k) {
        Block& block = m_blocks[k];
        block.knownRows = 0;
        block.unknownRows = 0;
        for (qint32 r : block.rows)
            (r < 0 ? block.unknownRows : block.knownRows) += r < 0 ? 1 : r;
    }
    rebuildSums();
    invalidateLine(editedLine);
    if (made.empty() && b < m_blocks.size())
        joinIfShort(b);
    else if (!made.empty() && m_blocks[b].data->text.size() < kMinBlock)
        joinIfShort(b);
}

void TextBuffer::joinIfShort(size_t b) {
    if (b >= m_blocks.size())
        return;
    const qsizetype size = m_blocks[b].data->text.size();
    // An empty block goes; a short one joins a neighbour it fits with.
    size_t other = b;
    if (size > 0) {
        if (b + 1 < m_blocks.size() &&
            size + m_blocks[b + 1].data->text.size() <= kBlockTarget + kMinBlock)
            other = b + 1;
        else if (b > 0 && size + m_blocks[b - 1].data->text.size() <= kBlockTarget + kMinBlock)
            other = b - 1;
        else
            return;
    }
    if (other == b) {
        m_blocks.erase(m_blocks.begin() + qptrdiff(b));
        rebuildSums();
        return;
    }
    const size_t keep = std::min(b, other), gone = std::max(b, other);
    std::vector<qint32> rows = rowsOf(keep);
    const std::vector<qint32>& goneRows = rowsOf(gone);
    rows.insert(rows.end(), goneRows.begin(), goneRows.end());
    BlockData& data = own(keep);
    const qint32 shift = qint32(data.text.size());
    data.text += m_blocks[gone].data->text;
    for (qint32 at : m_blocks[gone].data->breaks)
        data.breaks.push_back(at + shift);
    Block& kept = m_blocks[keep];
    kept.rows = std::move(rows);
    kept.id = m_nextId++;
    kept.knownRows += m_blocks[gone].knownRows;
    kept.unknownRows += m_blocks[gone].unknownRows;
    m_blocks.erase(m_blocks.begin() + qptrdiff(gone));
    rebuildSums();
}

} // namespace ostrel::editor::internal
