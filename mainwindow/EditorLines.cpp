#include "EditorLines.h"

#include <QFontMetrics>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <limits>

namespace ostrel {

namespace {

int clampToInt(qint64 value) {
    return int(std::clamp<qint64>(value, std::numeric_limits<int>::min(),
                                  std::numeric_limits<int>::max()));
}

} // namespace

bool EditorLines::Setup::operator==(const Setup& other) const {
    if (wraps != other.wraps)
        return false;
    if (!wraps)
        return true;
    return width == other.width && font == other.font &&
           option.wrapMode() == other.option.wrapMode() && option.flags() == other.option.flags() &&
           option.tabStopDistance() == other.option.tabStopDistance() &&
           option.tabs() == other.option.tabs() && option.alignment() == other.option.alignment() &&
           option.textDirection() == other.option.textDirection() &&
           option.useDesignMetrics() == other.option.useDesignMetrics();
}

EditorLines::EditorLines(QTextDocument* document) : QObject(document), m_doc(document) {
    connect(document, &QTextDocument::contentsChange, this, &EditorLines::contentsChange);
}

EditorLines::Setup EditorLines::currentSetup() const {
    return setupOf(m_doc, m_textWidth);
}

EditorLines::Setup EditorLines::setupOf(const QTextDocument* document, qreal width) {
    // The plain-text layout breaks rows at its text width less the document
    // margin on both sides (and the room of a paragraph mark when shown).
    Setup s;
    const QTextOption option = document->defaultTextOption();
    const qreal textWidth = width >= 0 ? width : document->textWidth();
    s.wraps = textWidth > 0 && option.wrapMode() != QTextOption::NoWrap &&
              option.wrapMode() != QTextOption::ManualWrap;
    if (!s.wraps)
        return s;
    s.font = document->defaultFont();
    s.option = option;
    qreal extra = 0;
    if (option.flags() & QTextOption::AddSpaceForLineAndParagraphSeparators)
        extra = QFontMetrics(s.font).horizontalAdvance(QChar(0x21B5));
    s.width = textWidth - 2 * document->documentMargin() - extra;
    return s;
}

void EditorLines::layOut(QTextLayout& layout, const QString& text, const Setup& setup) {
    layout.setText(text);
    layout.setFont(setup.font);
    layout.setTextOption(setup.option);
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(setup.width);
    }
    layout.endLayout();
}

int EditorLines::countRows(const QTextBlock& block) const {
    QTextLayout layout;
    layOut(layout, block.text(), m_setup);
    return std::max(layout.lineCount(), 1);
}

EditorLines::Snapshot EditorLines::snapshot(const QTextDocument* document, qreal textWidth) {
    Snapshot s;
    s.m_setup = setupOf(document, textWidth);
    s.m_blocks.reserve(document->blockCount());
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        s.m_blocks.append(block.text());
    if (!s.m_blocks.isEmpty() && s.m_blocks.back().isEmpty())
        s.m_blocks.removeLast();
    return s;
}

EditorLines::Snapshot::Snapshot() = default;
EditorLines::Snapshot::Snapshot(Snapshot&&) noexcept = default;
EditorLines::Snapshot& EditorLines::Snapshot::operator=(Snapshot&&) noexcept = default;
EditorLines::Snapshot::~Snapshot() = default;

bool EditorLines::Snapshot::next(QString& line) {
    for (;;) {
        if (m_layout) {
            // As layOut lays the block out, one row further.
            QTextLine row = m_layout->createLine();
            if (row.isValid()) {
                row.setLineWidth(m_setup.width);
                line = m_text.mid(row.textStart(), row.textLength());
                ++m_rows;
                return true;
            }
            m_layout->endLayout();
            m_layout.reset();
            if (m_rows == 0) { // a block is at least one line
                line.clear();
                return true;
            }
            continue;
        }
        if (m_block >= m_blocks.size())
            return false;
        m_text = std::move(m_blocks[m_block++]);
        if (!m_setup.wraps) {
            line = std::move(m_text);
            return true;
        }
        m_layout = std::make_unique<QTextLayout>();
        m_layout->setText(m_text);
        m_layout->setFont(m_setup.font);
        m_layout->setTextOption(m_setup.option);
        m_layout->beginLayout();
        m_rows = 0;
    }
}

bool EditorLines::sync() {
    const Setup now = currentSetup();
    if (!now.wraps) {
        // Lines are blocks: no table to keep.
        if (m_tracking || !m_chunks.empty()) {
            m_chunks.clear();
            m_chunks.shrink_to_fit();
            m_size = 0;
            m_tracking = false;
        }
        m_setup = now;
        return false;
    }
    if (!m_tracking || !(now == m_setup) || m_size != m_doc->blockCount()) {
        m_setup = now;
        resetTable(m_doc->blockCount());
        m_tracking = true;
    }
    return true;
}

void EditorLines::resetTable(int blocks) {
    m_chunks.clear();
    m_size = blocks;
    for (int done = 0; done < blocks; done += kChunk) {
        Chunk c;
        const int n = std::min(kChunk, blocks - done);
        c.rows.assign(size_t(n), -1);
        c.dirty = n;
        m_chunks.push_back(std::move(c));
    }
}

void EditorLines::contentsChange(int from, int removed, int added) {
    Q_UNUSED(removed);
    if (!m_tracking)
        return;
    // The blocks from the one holding `from` to the one holding the end of
    // the added text replace the old blocks of the changed range; the count
    // of those follows from the change in the number of blocks.
    const int blocks = m_doc->blockCount();
    const int last = std::max(0, m_doc->characterCount() - 1);
    const QTextBlock first = m_doc->findBlock(std::clamp(from, 0, last));
    const QTextBlock end = m_doc->findBlock(std::clamp(from + added, 0, last));
    if (!first.isValid() || !end.isValid()) {
        m_tracking = false;
        return;
    }
    const int b0 = first.blockNumber();
    const int inserted = end.blockNumber() - b0 + 1;
    const int dropped = inserted - (blocks - m_size);
    if (dropped < 1 || b0 + dropped > m_size || inserted > std::max(kChunk, m_size / 2)) {
        // A load or a change of most of the text: counted again when needed.
        m_tracking = false;
        return;
    }
    replaceEntries(b0, dropped, inserted);
}

void EditorLines::replaceEntries(int at, int removeCount, int insertCount) {
    size_t ci = 0;
    int off = at;
    while (ci < m_chunks.size() && off >= int(m_chunks[ci].rows.size())) {
        off -= int(m_chunks[ci].rows.size());
        ++ci;
    }
    int left = removeCount;
    while (left > 0) {
        if (ci >= m_chunks.size()) {
            m_tracking = false;
            return;
        }
        Chunk& c = m_chunks[ci];
        const int take = std::min(left, int(c.rows.size()) - off);
        for (int k = off; k < off + take; ++k) {
            if (c.rows[size_t(k)] < 0)
                --c.dirty;
            else
                c.sum -= c.rows[size_t(k)];
        }
        c.rows.erase(c.rows.begin() + off, c.rows.begin() + off + take);
        left -= take;
        if (c.rows.empty()) {
            m_chunks.erase(m_chunks.begin() + qsizetype(ci));
            off = 0;
        } else if (off == int(c.rows.size())) {
            ++ci;
            off = 0;
        }
    }
    if (insertCount > 0) {
        if (ci == m_chunks.size()) {
            if (m_chunks.empty()) {
                m_chunks.emplace_back();
                ci = 0;
            } else {
                ci = m_chunks.size() - 1;
            }
            off = int(m_chunks[ci].rows.size());
        }
        Chunk& c = m_chunks[ci];
        c.rows.insert(c.rows.begin() + off, size_t(insertCount), -1);
        c.dirty += insertCount;
        if (c.rows.size() > 2 * size_t(kChunk))
            splitChunk(ci);
    }
    m_size += insertCount - removeCount;
}

void EditorLines::splitChunk(size_t index) {
    std::vector<int> rows = std::move(m_chunks[index].rows);
    std::vector<Chunk> pieces;
    for (size_t done = 0; done < rows.size(); done += kChunk) {
        Chunk c;
        const size_t n = std::min(size_t(kChunk), rows.size() - done);
        c.rows.assign(rows.begin() + qsizetype(done), rows.begin() + qsizetype(done + n));
        for (int r : c.rows) {
            if (r < 0)
                ++c.dirty;
            else
                c.sum += r;
        }
        pieces.push_back(std::move(c));
    }
    m_chunks.erase(m_chunks.begin() + qsizetype(index));
    m_chunks.insert(m_chunks.begin() + qsizetype(index), std::make_move_iterator(pieces.begin()),
                    std::make_move_iterator(pieces.end()));
}

void EditorLines::clean(size_t chunk, int base) {
    Chunk& c = m_chunks[chunk];
    if (c.dirty == 0)
        return;
    size_t i = 0;
    while (c.rows[i] >= 0)
        ++i;
    QTextBlock block = m_doc->findBlockByNumber(base + int(i));
    for (; i < c.rows.size() && block.isValid(); ++i, block = block.next()) {
        if (c.rows[i] >= 0)
            continue;
        c.rows[i] = countRows(block);
        c.sum += c.rows[i];
        --c.dirty;
    }
}

int EditorLines::lineFromPosition(int position) {
    const int last = std::max(0, m_doc->characterCount() - 1);
    position = std::clamp(position, 0, last);
    const QTextBlock block = m_doc->findBlock(position);
    if (!sync())
        return block.blockNumber();

    const int k = block.blockNumber();
    qint64 before = 0;
    int base = 0;
    for (size_t ci = 0; ci < m_chunks.size(); ++ci) {
        clean(ci, base);
        const Chunk& c = m_chunks[ci];
        const int n = int(c.rows.size());
        if (base + n <= k) {
            before += c.sum;
            base += n;
            continue;
        }
        for (int i = 0; i < k - base; ++i)
            before += c.rows[size_t(i)];
        break;
    }
    QTextLayout layout;
    layOut(layout, block.text(), m_setup);
    const QTextLine line = layout.lineForTextPosition(position - block.position());
    const int row = line.isValid() ? line.lineNumber() : std::max(0, layout.lineCount() - 1);
    return clampToInt(before + row);
}

int EditorLines::lineStart(int line) {
    if (line < 0)
        return -1;
    if (!sync()) {
        const QTextBlock block = m_doc->findBlockByNumber(line);
        return block.isValid() ? block.position() : -1;
    }
    qint64 acc = 0;
    int base = 0;
    for (size_t ci = 0; ci < m_chunks.size(); ++ci) {
        clean(ci, base);
        const Chunk& c = m_chunks[ci];
        if (acc + c.sum <= line) {
            acc += c.sum;
            base += int(c.rows.size());
            continue;
        }
        for (size_t i = 0; i < c.rows.size(); ++i) {
            if (acc + c.rows[i] > line) {
                const QTextBlock block = m_doc->findBlockByNumber(base + int(i));
                QTextLayout layout;
                layOut(layout, block.text(), m_setup);
                const QTextLine row = layout.lineAt(int(line - acc));
                return block.position() + (row.isValid() ? row.textStart() : 0);
            }
            acc += c.rows[i];
        }
    }
    return -1;
}

int EditorLines::lineCount() {
    if (!sync())
        return m_doc->blockCount();
    qint64 total = 0;
    int base = 0;
    for (size_t ci = 0; ci < m_chunks.size(); ++ci) {
        clean(ci, base);
        total += m_chunks[ci].sum;
        base += int(m_chunks[ci].rows.size());
    }
    return clampToInt(total);
}

} // namespace ostrel
