#include "EditorLines.h"

#include "SoftBreaks.h"
#include "TextMirror.h"

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QThread>
#include <algorithm>
#include <limits>

namespace ostrel {

namespace {

// What is counted at once when asked: a few hundred blocks of at most a few
// pages of text, a few milliseconds. More goes to the other thread.
constexpr int kCountHereBlocks = 256;
constexpr qsizetype kCountHereCharacters = 48 * 1024;

int clampToInt(qint64 value) {
    return int(std::clamp<qint64>(value, std::numeric_limits<int>::min(),
                                  std::numeric_limits<int>::max()));
}

// Lays out a block's text as the editor does.
void layOut(QTextLayout& layout, const QString& text, const EditorLines::Setup& setup) {
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

// The lines a block adds: its rows with wrap, else 1 unless it continues the
// line before it.
int linesOf(const QString& text, bool continues, const EditorLines::Setup& setup) {
    if (!setup.wraps)
        return continues ? 0 : 1;
    if (text.isEmpty()) // an empty line is one row, however it is laid out
        return 1;
    QTextLayout layout;
    layOut(layout, text, setup);
    return std::max(layout.lineCount(), 1);
}

// Reads a copy of the text block by block: blocks end at the line breaks
// and at the soft breaks.
class BlockReader {
public:
    explicit BlockReader(const TextMirror::Snapshot& text) : m_text(text) {}

    // The next block (its text when asked for) and whether it continues the
    // line before it; false after the last block.
    bool next(QString* text, bool* continues) {
        if (m_piece >= m_text.pieces.size())
            return false;
        *continues = m_continues;
        if (text)
            text->clear();
        const qsizetype soft = m_soft < m_text.softBreaks.size()
                                   ? m_text.softBreaks[m_soft]
                                   : std::numeric_limits<qsizetype>::max();
        while (m_piece < m_text.pieces.size()) {
            const QStringView piece = m_text.pieces[m_piece];
            const qsizetype separator = piece.indexOf(QChar::ParagraphSeparator, m_offset);
            qsizetype stop = separator < 0 ? piece.size() : separator;
            const bool softFirst = soft - m_position <= stop - m_offset;
            if (softFirst)
                stop = m_offset + (soft - m_position);
            if (text)
                text->append(piece.sliced(m_offset, stop - m_offset));
            m_position += stop - m_offset;
            m_offset = stop;
            if (softFirst) {
                ++m_soft;
                m_continues = true;
                return true;
            }
            if (separator >= 0) {
                ++m_offset;
                ++m_position;
                if (m_offset == piece.size()) {
                    ++m_piece;
                    m_offset = 0;
                }
                m_continues = false;
                return true;
            }
            ++m_piece;
            m_offset = 0;
        }
        m_continues = false;
        return true;
    }

private:
    const TextMirror::Snapshot& m_text;
    size_t m_piece = 0;
    qsizetype m_offset = 0;   // in the piece
    qsizetype m_position = 0; // in the text
    size_t m_soft = 0;        // the next soft break
    bool m_continues = false; // the next block follows a soft break
};

} // namespace

// A count on the other thread: the blocks of `runs` of the copy, sent back
// in batches as they are counted.
struct EditorLines::Job {
    int generation = 0;
    quint64 version = 0;
    bool finished = false;
    std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<QThread> thread;
};

bool EditorLines::Setup::operator==(const Setup& other) const {
    if (wraps != other.wraps || softBreaks != other.softBreaks)
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

EditorLines::~EditorLines() {
    stopJob();
}

void EditorLines::countAhead() {
    if (sync())
        startJob();
}

bool EditorLines::counting() const {
    return m_job && !m_job->finished;
}

EditorLines::Setup EditorLines::currentSetup() const {
    return setupOf(m_doc, m_textWidth);
}

EditorLines::Setup EditorLines::setupOf(const QTextDocument* document, qreal width) {
    // The plain-text layout breaks rows at its text width less the document
    // margin on both sides (and the room of a paragraph mark when shown).
    Setup s;
    s.softBreaks = mayHaveSoftBreaks(document);
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

int EditorLines::lineCountOf(const QTextBlock& block) const {
    return linesOf(m_setup.wraps ? block.text() : QString(), continuesLine(block), m_setup);
}

EditorLines::Snapshot EditorLines::snapshot(const QTextDocument* document, qreal textWidth) {
    Snapshot s;
    s.m_setup = setupOf(document, textWidth);
    s.m_blocks.reserve(document->blockCount());
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (continuesLine(block) && !s.m_blocks.isEmpty())
            s.m_blocks.back() += block.text();
        else
            s.m_blocks.append(block.text());
    }
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
    if (!now.counts()) {
        // Lines are blocks: no table to keep.
        if (m_tracking || !m_chunks.empty()) {
            stopJob();
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
    stopJob();
    ++m_generation;
    m_chunks.clear();
    m_size = blocks;
    for (int done = 0; done < blocks; done += kChunk) {
        Chunk c;
        c.size = std::min(kChunk, blocks - done);
        c.dirty = c.size;
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
        untrack();
        return;
    }
    const int b0 = first.blockNumber();
    const int inserted = end.blockNumber() - b0 + 1;
    const int dropped = inserted - (blocks - m_size);
    if (dropped < 1 || b0 + dropped > m_size || inserted > std::max(kChunk, m_size / 2)) {
        // A load or a change of most of the text: counted again when needed.
        untrack();
        return;
    }
    replaceEntries(b0, dropped, inserted);
}

void EditorLines::untrack() {
    stopJob();
    m_tracking = false;
}

void EditorLines::replaceEntries(int at, int removeCount, int insertCount) {
    if (counting())
        m_edits.push_back({++m_version, at, removeCount, insertCount});
    else
        ++m_version;
    size_t ci = 0;
    int off = at;
    while (ci < m_chunks.size() && off >= m_chunks[ci].size) {
        off -= m_chunks[ci].size;
        ++ci;
    }
    int left = removeCount;
    while (left > 0) {
        if (ci >= m_chunks.size()) {
            untrack();
            return;
        }
        Chunk& c = m_chunks[ci];
        std::vector<int>& lines = c.counts();
        const int take = std::min(left, c.size - off);
        for (int k = off; k < off + take; ++k) {
            if (lines[size_t(k)] < 0)
                --c.dirty;
            else
                c.sum -= lines[size_t(k)];
        }
        lines.erase(lines.begin() + off, lines.begin() + off + take);
        c.size -= take;
        left -= take;
        if (c.size == 0) {
            m_chunks.erase(m_chunks.begin() + qsizetype(ci));
            off = 0;
        } else if (off == c.size) {
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
            off = m_chunks[ci].size;
        }
        Chunk& c = m_chunks[ci];
        std::vector<int>& lines = c.counts();
        lines.insert(lines.begin() + off, size_t(insertCount), -1);
        c.size += insertCount;
        c.dirty += insertCount;
        if (c.size > 2 * kChunk)
            splitChunk(ci);
    }
    m_size += insertCount - removeCount;
}

void EditorLines::splitChunk(size_t index) {
    std::vector<int> lines = std::move(m_chunks[index].counts());
    std::vector<Chunk> pieces;
    for (size_t done = 0; done < lines.size(); done += kChunk) {
        Chunk c;
        const size_t n = std::min(size_t(kChunk), lines.size() - done);
        c.lines.assign(lines.begin() + qsizetype(done), lines.begin() + qsizetype(done + n));
        c.size = int(n);
        for (int r : c.lines) {
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

bool EditorLines::ensureCounted(int end) {
    int needed = 0;
    int base = 0;
    for (size_t ci = 0; ci < m_chunks.size() && base < end; ++ci) {
        const Chunk& c = m_chunks[ci];
        if (c.dirty > 0) {
            if (base + c.size <= end)
                needed += c.dirty;
            else if (c.lines.empty())
                needed += end - base;
            else
                needed += int(std::count(c.lines.begin(), c.lines.begin() + (end - base), -1));
        }
        base += c.size;
    }
    if (needed == 0)
        return true;
    // A few blocks (those an edit touched) are counted here even while the
    // other thread counts: it does not count blocks changed after its copy.
    if (needed <= kCountHereBlocks && countHere(end))
        return true;
    startJob();
    return false;
}

bool EditorLines::countHere(int end) {
    qsizetype characters = 0;
    int base = 0;
    for (size_t ci = 0; ci < m_chunks.size() && base < end; ++ci) {
        Chunk& c = m_chunks[ci];
        const int n = std::min(c.size, end - base);
        if (c.dirty > 0) {
            std::vector<int>& lines = c.counts();
            int i = 0;
            while (i < n && lines[size_t(i)] >= 0)
                ++i;
            QTextBlock block = m_doc->findBlockByNumber(base + i);
            for (; i < n && block.isValid(); ++i, block = block.next()) {
                if (lines[size_t(i)] >= 0)
                    continue;
                if (characters > kCountHereCharacters)
                    return false;
                characters += block.length();
                lines[size_t(i)] = lineCountOf(block);
                c.sum += lines[size_t(i)];
                --c.dirty;
            }
        }
        base += c.size;
    }
    return true;
}

void EditorLines::startJob() {
    if (counting() && m_job->generation == m_generation)
        return;
    stopJob();
    // The runs of blocks not counted, in the table as it is now.
    std::vector<std::pair<int, int>> runs;
    int base = 0;
    const auto add = [&runs](int from, int to) {
        if (!runs.empty() && runs.back().second == from)
            runs.back().second = to;
        else
            runs.emplace_back(from, to);
    };
    for (const Chunk& c : m_chunks) {
        if (c.lines.empty()) {
            add(base, base + c.size);
        } else if (c.dirty > 0) {
            for (int i = 0; i < c.size; ++i)
                if (c.lines[size_t(i)] < 0)
                    add(base + i, base + i + 1);
        }
        base += c.size;
    }
    if (runs.empty())
        return;

    auto job = std::make_unique<Job>();
    job->generation = m_generation;
    job->version = m_version;
    m_edits.clear();
    const auto cancel = job->cancel;
    const int generation = m_generation;
    const quint64 version = m_version;
    job->thread.reset(QThread::create([this, cancel, generation, version, runs = std::move(runs),
                                       text = TextMirror::of(m_doc)->snapshot(), setup = m_setup] {
        BlockReader reader(text);
        std::vector<int> batch;
        int first = 0;
        QElapsedTimer sinceSent;
        sinceSent.start();
        const auto send = [&](bool finished) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, version, first, lines = std::move(batch), finished] {
                    takeResults(generation, version, first, lines, finished);
                },
                Qt::QueuedConnection);
            batch = {};
        };
        QString blockText;
        bool continues = false;
        int index = 0;
        for (const auto& [from, to] : runs) {
            for (; index < from; ++index)
                reader.next(nullptr, &continues);
            if (!batch.empty())
                send(false);
            first = from;
            for (; index < to; ++index) {
                if (cancel->load())
                    return;
                if (!reader.next(&blockText, &continues))
                    break;
                batch.push_back(linesOf(blockText, continues, setup));
                if (batch.size() >= 4096 || sinceSent.elapsed() >= 40) {
                    send(false);
                    first = index + 1;
                    sinceSent.restart();
                }
            }
        }
        send(true);
    }));
    job->thread->start(QThread::LowPriority);
    m_job = std::move(job);
}

void EditorLines::stopJob() {
    if (!m_job)
        return;
    m_job->cancel->store(true);
    m_job->thread->wait();
    m_job.reset();
    m_edits.clear();
}

void EditorLines::takeResults(int generation, quint64 version, int first,
                              const std::vector<int>& lines, bool finished) {
    if (!m_job || m_job->generation != generation)
        return; // from a count that was stopped
    if (m_tracking && generation == m_generation) {
        // Where each block of the copy is now: edits made since the copy
        // moved it, or replaced it (its count is then not the copy's).
        size_t ci = 0;
        int base = 0;
        for (size_t k = 0; k < lines.size(); ++k) {
            qint64 at = first + qint64(k);
            for (const Edit& e : m_edits) {
                if (e.version <= version || at < e.at)
                    continue;
                if (at < e.at + e.removed) {
                    at = -1;
                    break;
                }
                at += e.inserted - e.removed;
            }
            if (at < base)
                continue; // replaced (places only grow along the batch)
            while (ci < m_chunks.size() && at >= base + qint64(m_chunks[ci].size)) {
                base += m_chunks[ci].size;
                ++ci;
            }
            if (ci == m_chunks.size())
                break;
            Chunk& c = m_chunks[ci];
            int& entry = c.counts()[size_t(at - base)];
            if (entry < 0) {
                entry = lines[k];
                c.sum += entry;
                --c.dirty;
            }
        }
    }
    if (finished) {
        m_job->finished = true;
        m_job->thread->wait();
        m_edits.clear();
    }
    emit counted();
}

qint64 EditorLines::linesBefore(int block) const {
    qint64 before = 0;
    int base = 0;
    for (const Chunk& c : m_chunks) {
        if (base + c.size <= block) {
            before += c.sum;
            base += c.size;
            continue;
        }
        for (int i = 0; i < block - base; ++i)
            before += c.at(i);
        break;
    }
    return before;
}

std::optional<int> EditorLines::lineFromPosition(int position) {
    const int last = std::max(0, m_doc->characterCount() - 1);
    position = std::clamp(position, 0, last);
    const QTextBlock block = m_doc->findBlock(position);
    if (!sync())
        return block.blockNumber();
    const int k = block.blockNumber();
    if (!ensureCounted(k))
        return std::nullopt;
    const qint64 before = linesBefore(k);
    if (!m_setup.wraps) // the line this block adds to, or starts
        return clampToInt(before + (continuesLine(block) ? -1 : 0));
    QTextLayout layout;
    layOut(layout, block.text(), m_setup);
    const QTextLine line = layout.lineForTextPosition(position - block.position());
    const int row = line.isValid() ? line.lineNumber() : std::max(0, layout.lineCount() - 1);
    return clampToInt(before + row);
}

std::optional<int> EditorLines::lineStart(int line) {
    if (line < 0)
        return -1;
    if (!sync()) {
        const QTextBlock block = m_doc->findBlockByNumber(line);
        return block.isValid() ? block.position() : -1;
    }
    qint64 acc = 0;
    int base = 0;
    for (size_t ci = 0; ci < m_chunks.size(); ++ci) {
        if (m_chunks[ci].dirty > 0 && !ensureCounted(base + m_chunks[ci].size))
            return std::nullopt;
        const Chunk& c = m_chunks[ci];
        if (acc + c.sum <= line) {
            acc += c.sum;
            base += c.size;
            continue;
        }
        for (size_t i = 0; i < c.lines.size(); ++i) {
            if (acc + c.lines[i] > line) {
                const QTextBlock block = m_doc->findBlockByNumber(base + int(i));
                if (!m_setup.wraps)
                    return block.position();
                QTextLayout layout;
                layOut(layout, block.text(), m_setup);
                const QTextLine row = layout.lineAt(int(line - acc));
                return block.position() + (row.isValid() ? row.textStart() : 0);
            }
            acc += c.lines[i];
        }
    }
    return -1;
}

std::optional<int> EditorLines::lineCount() {
    if (!sync())
        return m_doc->blockCount();
    if (!ensureCounted(m_size))
        return std::nullopt;
    qint64 total = 0;
    for (const Chunk& c : m_chunks)
        total += c.sum;
    return clampToInt(total);
}

} // namespace ostrel
