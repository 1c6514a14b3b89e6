#include "RowBreaker.h"

#include <QChar>
#include <array>

namespace ostrel::editor::internal {

namespace {

enum : quint8 {
    kSpace = 1,         // a line may break after a run of these
    kIdeographic = 2,   // a line may break before and after one
    kNoStart = 4,       // may not begin a row (closing marks, small kana)
    kNoEnd = 8,         // may not end a row (opening brackets)
    kJoinsPrevious = 16 // continues the character before (a combining mark)
};

// The class of every character of the basic plane.
const std::array<quint8, 0x10000>& classes() {
    static const std::array<quint8, 0x10000> table = [] {
        std::array<quint8, 0x10000> t{};
        const auto ideographic = [](char32_t c) {
            return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0x9FFF) ||
                   (c >= 0xA000 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7AF) ||
                   (c >= 0xD840 && c <= 0xD8BF) || // pairs of the ideographic planes
                   (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
                   (c >= 0xFF00 && c <= 0xFFEF);
        };
        for (char32_t c = 0; c < 0x10000; ++c) {
            quint8 k = 0;
            const QChar q{char16_t(c)};
            // No-break spaces hold their neighbours together.
            if ((q.isSpace() || c == u'\t') && c != 0xA0 && c != 0x2007 && c != 0x202F &&
                c != 0xFEFF)
                k |= kSpace;
            if (ideographic(c))
                k |= kIdeographic;
            if (q.isMark() || c == 0x200D || (c >= 0xFE00 && c <= 0xFE0F))
                k |= kJoinsPrevious;
            t[c] = k;
        }
        for (char16_t c : u"、。，．・：；？！゛゜ヽヾゝゞ々〻ー）」』】〕〉》］｝〙〗〟’”｠»‐゠–〜"
                          u"ぁぃぅぇぉっゃゅょゎゕゖァィゥェォッャュョヮヵヶ"
                          u"ｧｨｩｪｫｯｬｭｮｰ｡｣､･),.:;!?%]}")
            if (c)
                t[c] |= kNoStart;
        for (char16_t c = 0x31F0; c <= 0x31FF; ++c)
            t[c] |= kNoStart;
        for (char16_t c : u"（「『【〔〈《［｛〘〖〝‘“｟«｢([{")
            if (c)
                t[c] |= kNoEnd;
        return t;
    }();
    return table;
}

} // namespace

RowBreaker::RowBreaker(const WrapSetup& setup, bool collectStarts)
    : m_widths(*setup.widths), m_wrap(setup.wrap), m_width(std::max<qint64>(setup.width, 1)),
      m_collect(collectStarts) {}

void RowBreaker::startLine() {
    m_starts.clear();
    m_rows = 1;
    m_x = 0;
    m_offset = 0;
    m_rowStart = 0;
    m_break = -1;
    m_xAtBreak = 0;
    m_boundary = 0;
    m_xAtBoundary = 0;
    m_previous = 0;
}

void RowBreaker::breakRow(qsizetype at, qint64 xAt) {
    m_rowStart = at;
    m_x -= xAt;
    ++m_rows;
    if (m_collect)
        m_starts.push_back(at);
    m_break = -1;
    if (m_boundary < at) {
        m_boundary = at;
        m_xAtBoundary = 0;
    } else {
        m_xAtBoundary -= xAt;
    }
}

void RowBreaker::feed(QStringView part) {
    const std::array<quint8, 0x10000>& kinds = classes();
    const char16_t* p = part.utf16();
    const char16_t* const end = p + part.size();
    if (!m_wrap) {
        // The width alone.
        for (; p != end; ++p) {
            const char16_t c = *p;
            if (c == u'\t') {
                const qint64 tab = m_widths.tabStop();
                m_x = (m_x / tab + 1) * tab;
            } else if (QChar::isLowSurrogate(c) && QChar::isHighSurrogate(m_previous)) {
                m_x += m_widths.advance(QChar::surrogateToUcs4(m_previous, c));
            } else {
                m_x += m_widths.advance(c);
            }
            m_previous = c;
        }
        m_offset += part.size();
        return;
    }
    for (; p != end; ++p, ++m_offset) {
        const char16_t c = *p;
        const quint8 kind = kinds[c];
        const quint8 before = kinds[m_previous];
        const bool inPair = QChar::isLowSurrogate(c) && QChar::isHighSurrogate(m_previous);
        // A run of marks far longer than any real cluster is cut too (never a
        // pair): a row must not grow without end.
        const bool boundary =
            !inPair && (!(kind & kJoinsPrevious) || m_offset - m_boundary >= kLongestCluster);
        if (boundary) {
            m_boundary = m_offset;
            m_xAtBoundary = m_x;
            if (m_offset > m_rowStart && !(kind & kSpace) &&
                ((before & kSpace) ||
                 (((before | kind) & kIdeographic) && !(kind & kNoStart) && !(before & kNoEnd)))) {
                m_break = m_offset;
                m_xAtBreak = m_x;
            }
            if (m_offset - m_rowStart >= kLongestRow)
                breakRow(m_offset, m_x);
        }
        qint64 advance;
        if (c == u'\t') {
            const qint64 tab = m_widths.tabStop();
            advance = (m_x / tab + 1) * tab - m_x;
        } else if (inPair) {
            advance = m_widths.advance(QChar::surrogateToUcs4(m_previous, c));
        } else {
            advance = m_widths.advance(c);
        }
        // A character that would cross the edge ends the row before it, at
        // the last place to break; spaces hang over the edge.
        while (m_x + advance > m_width && !(kind & kSpace)) {
            if (m_break > m_rowStart)
                breakRow(m_break, m_xAtBreak);
            else if (m_boundary > m_rowStart)
                breakRow(m_boundary, m_xAtBoundary);
            else
                break;      // one character wider than the row: it has the row alone
            if (c == u'\t') // a tab's advance depends on where it stands
                advance = (m_x / m_widths.tabStop() + 1) * m_widths.tabStop() - m_x;
        }
        m_x += advance;
        m_previous = c;
    }
}

qint64 RowBreaker::countRows(const WrapSetup& setup, QStringView line) {
    RowBreaker breaker(setup);
    breaker.feed(line);
    return breaker.rows();
}

std::vector<qsizetype> RowBreaker::rowStarts(const WrapSetup& setup, QStringView line) {
    RowBreaker breaker(setup, true);
    breaker.feed(line);
    std::vector<qsizetype> starts{0};
    starts.insert(starts.end(), breaker.starts().begin(), breaker.starts().end());
    return starts;
}

qint64 RowBreaker::lineWidth(const WrapSetup& setup, QStringView line) {
    WrapSetup flat = setup;
    flat.wrap = false;
    RowBreaker breaker(flat);
    breaker.feed(line);
    return breaker.width();
}

} // namespace ostrel::editor::internal
