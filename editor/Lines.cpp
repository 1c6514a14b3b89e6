#include "Lines.h"

#include "Document.h"
#include "internal/RowCounter.h"
#include "internal/SnapshotData.h"

namespace ostrel::editor {

using internal::RowBreaker;
using internal::RowCounter;
using internal::WrapSetup;

Lines::Lines(Document* document, QObject* parent)
    : QObject(parent), m_counter(std::make_unique<RowCounter>(this)) {
    m_counter->setDocument(document);
}

Lines::~Lines() = default;

void Lines::setDocument(Document* document) {
    m_counter->setDocument(document);
}

void Lines::setSetup(const WrapSetup& setup) {
    m_counter->setSetup(setup);
}

const WrapSetup& Lines::setup() const {
    return m_counter->setup();
}

std::optional<qsizetype> Lines::lineOf(qsizetype position) const {
    return m_counter->lineOf(position);
}

std::optional<qsizetype> Lines::lineStart(qsizetype line) const {
    return m_counter->lineStart(line);
}

std::optional<qsizetype> Lines::lineCount() const {
    return m_counter->lineCount();
}

bool Lines::counting() const {
    return m_counter->counting();
}

namespace {

// The rows of a snapshot's lines, cut as they are handed out.
class ShownRows : public Lines::Shown {
public:
    ShownRows(Snapshot snapshot, WrapSetup setup)
        : m_snapshot(std::move(snapshot)), m_setup(std::move(setup)),
          m_lines(m_snapshot.lineCount()) {
        // A last line that is empty is no line of its own.
        if (m_lines > 0 && m_snapshot.lineStart(m_lines - 1) == m_snapshot.length())
            --m_lines;
    }

    bool next(QString& row) override {
        if (m_rowStarts.empty() || m_row >= m_rowStarts.size()) {
            if (m_line >= m_lines)
                return false;
            const qsizetype start = m_snapshot.lineStart(m_line);
            m_text = m_snapshot.mid(start, m_snapshot.lineEnd(m_line) - start);
            ++m_line;
            if (m_setup.wrap && m_setup.widths)
                m_rowStarts = RowBreaker::rowStarts(m_setup, m_text);
            else
                m_rowStarts.assign(1, 0);
            m_row = 0;
        }
        const qsizetype from = m_rowStarts[m_row];
        const qsizetype to =
            m_row + 1 < m_rowStarts.size() ? m_rowStarts[m_row + 1] : m_text.size();
        row = m_text.mid(from, to - from);
        ++m_row;
        return true;
    }

private:
    Snapshot m_snapshot;
    WrapSetup m_setup;
    qsizetype m_lines;
    qsizetype m_line = 0;
    QString m_text;
    std::vector<qsizetype> m_rowStarts;
    size_t m_row = 0;
};

} // namespace

std::unique_ptr<Lines::Shown> Lines::shown() const {
    Document* document = m_counter->document();
    return std::make_unique<ShownRows>(document ? document->snapshot() : Snapshot(),
                                       m_counter->setup());
}

} // namespace ostrel::editor
