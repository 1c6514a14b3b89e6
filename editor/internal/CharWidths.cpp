#include "CharWidths.h"

#include <QFontMetricsF>

namespace ostrel::editor::internal {

namespace {

qint32 fixed(qreal pixels) {
    return qint32(qRound(pixels * 64));
}

} // namespace

struct CharWidths::Measurer {
    explicit Measurer(const QFont& from) : font(from), metrics(font) {}
    QFont font;
    QFontMetricsF metrics;
};

const QFontMetricsF& CharWidths::metrics() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    std::unique_ptr<Measurer>& measurer = m_measurers[std::this_thread::get_id()];
    if (!measurer) {
        // A change makes the copy's own data (and a change back keeps it).
        QFont own(m_font);
        own.setLetterSpacing(QFont::AbsoluteSpacing, m_font.letterSpacing() + 1);
        own.setLetterSpacing(m_font.letterSpacingType(), m_font.letterSpacing());
        measurer = std::make_unique<Measurer>(own);
    }
    return measurer->metrics;
}

CharWidths::CharWidths(const QFont& font, qreal tabStop)
    : m_font(font), m_tabStop(std::max(1, fixed(tabStop))),
      m_basic(new std::atomic<qint32>[0x10000]) {
    for (int c = 0; c < 0x10000; ++c)
        m_basic[c].store(-1, std::memory_order_relaxed);
    // Surrogates add nothing alone: a pair is measured as one character.
    for (int c = 0xD800; c < 0xE000; ++c)
        m_basic[c].store(0, std::memory_order_relaxed);
    // Plain ASCII now, the rest as met.
    const QFontMetricsF& measured = metrics();
    for (char16_t c = 0x20; c < 0x7F; ++c)
        m_basic[c].store(fixed(measured.horizontalAdvance(QChar(c))), std::memory_order_relaxed);
}

CharWidths::~CharWidths() = default;

qint32 CharWidths::measure(char16_t c) const {
    const qint32 advance = fixed(metrics().horizontalAdvance(QChar(c)));
    m_basic[c].store(advance, std::memory_order_relaxed);
    return advance;
}

qint32 CharWidths::measureText(const QString& text) const {
    return fixed(metrics().horizontalAdvance(text));
}

qint32 CharWidths::advance(char32_t c) const {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto known = m_beyond.constFind(c);
        if (known != m_beyond.cend())
            return *known;
    }
    const qint32 advance = measureText(QString::fromUcs4(&c, 1));
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_beyond.insert(c, advance);
    return advance;
}

} // namespace ostrel::editor::internal
