#include "PrinterFont.h"

#include <QGlyphRun>
#include <QPainter>
#include <cmath>

namespace ostrel::print {

namespace {

// Characters that are drawn one glyph each at their advance.
bool needsNoShaping(char16_t c) {
    if (c < 0x20)
        return false;
    if (c < 0x0300) // Latin and spacing modifiers
        return true;
    if (c < 0x0370) // combining diacritical marks
        return false;
    if (c < 0x0483) // Greek, Cyrillic
        return true;
    if (c < 0x2000)
        return false;
    if ((c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
        (c >= 0x2060 && c <= 0x206F) || (c >= 0x20D0 && c <= 0x20FF))
        return false; // zero-width, directional and combining marks
    if (c < 0x2C00)   // punctuation, symbols, arrows, box drawing
        return true;
    if (c < 0x3000)
        return false;
    if ((c >= 0x302A && c <= 0x302F) || c == 0x3099 || c == 0x309A)
        return false; // combining tone and sound marks
    if (c < 0xA000)   // CJK symbols, kana, ideographs
        return true;
    if (c >= 0xAC00 && c <= 0xD7A3) // Hangul syllables
        return true;
    if (c >= 0xF900 && c <= 0xFAFF) // compatibility ideographs
        return true;
    return c >= 0xFF01 && c <= 0xFFEF; // half-width and full-width forms
}

quint16 readU16(const QByteArray& table, qsizetype at) {
    if (at < 0 || at + 2 > table.size())
        return 0;
    return quint16((uchar(table[at]) << 8) | uchar(table[at + 1]));
}

} // namespace

PrinterFont::Advances::Advances(const QRawFont& raw) {
    // The font's own advance widths (the 'hmtx' table), scaled to the pixel
    // size: what loading each glyph would give, without loading it.
    const QByteArray head = raw.fontTable("head");
    const QByteArray hhea = raw.fontTable("hhea");
    m_hmtx = raw.fontTable("hmtx");
    const quint16 unitsPerEm = readU16(head, 18);
    m_count = readU16(hhea, 34);
    if (unitsPerEm == 0 || m_count == 0 || m_hmtx.size() < 4 * qsizetype(m_count))
        return;
    m_scale = raw.pixelSize() / unitsPerEm;
    // Trusted only when it agrees with the font engine (a synthesized bold,
    // for one, is wider).
    for (const QChar c : {QChar(u'M'), QChar(u'i'), QChar(0x65E5)}) {
        quint32 index = 0;
        int count = 1;
        QPointF advance;
        if (raw.glyphIndexesForChars(&c, 1, &index, &count) && index != 0 &&
            raw.advancesForGlyphIndexes(&index, &advance, 1) &&
            qAbs(advance.x() - of(index)) > 1.0 / 32) {
            m_scale = 0;
            return;
        }
    }
}

double PrinterFont::Advances::of(quint32 index) const {
    const quint32 entry = std::min<quint32>(index, m_count - 1u);
    // As the font engine rounds them: to 1/64 of a pixel.
    return std::round(readU16(m_hmtx, 4 * qsizetype(entry)) * m_scale * 64) / 64;
}

PrinterFont::PrinterFont(const QFont& font, QPaintDevice* device)
    : m_font(font), m_metrics(font, device), m_raw(QRawFont::fromFont(font)),
      m_plainAllowed(
          m_raw.isValid() && font.letterSpacing() == 0 && font.wordSpacing() == 0 &&
          (font.stretch() == QFont::AnyStretch || font.stretch() == QFont::Unstretched) &&
          font.capitalization() == QFont::MixedCase),
      m_advances(m_raw), m_glyphs(new Glyph[0x10000]) {}

PrinterFont::~PrinterFont() = default;

const PrinterFont::Glyph* PrinterFont::plainGlyph(char16_t ch) const {
    Glyph& g = m_glyphs[ch];
    if (g.kind == Glyph::Unknown) {
        g.kind = Glyph::Shaped;
        if (needsNoShaping(ch)) {
            const QChar c(ch);
            quint32 index = 0;
            int count = 1;
            if (m_raw.glyphIndexesForChars(&c, 1, &index, &count) && count == 1 && index != 0) {
                g.index = index;
                if (m_advances.known()) {
                    g.advance = m_advances.of(index);
                } else {
                    QPointF advance;
                    m_raw.advancesForGlyphIndexes(&index, &advance, 1);
                    g.advance = advance.x();
                }
                g.kind = Glyph::Plain;
            }
        }
    }
    return g.kind == Glyph::Plain ? &g : nullptr;
}

bool PrinterFont::isPlain(QStringView run) const {
    if (!m_plainAllowed)
        return false;
    for (QChar c : run) {
        if (!plainGlyph(c.unicode()))
            return false;
    }
    return true;
}

int PrinterFont::width(QStringView run) const {
    if (!isPlain(run))
        return m_metrics.horizontalAdvance(run.toString());
    double w = 0;
    for (QChar c : run)
        w += m_glyphs[c.unicode()].advance;
    return int(std::lround(w));
}

void PrinterFont::draw(QPainter& painter, int x, int y, const QString& run) const {
    const QPoint baseline(x, y + m_metrics.ascent());
    if (!isPlain(run)) {
        painter.drawText(baseline, run);
        return;
    }
    m_indexes.resize(size_t(run.size()));
    m_positions.resize(size_t(run.size()));
    double at = 0;
    for (qsizetype i = 0; i < run.size(); ++i) {
        const Glyph& g = m_glyphs[run[i].unicode()];
        m_indexes[size_t(i)] = g.index;
        // Whole device pixels: the same place to the eye, and shorter output.
        m_positions[size_t(i)] = QPointF(std::lround(at), 0);
        at += g.advance;
    }
    QGlyphRun glyphs;
    glyphs.setRawFont(m_raw);
    glyphs.setRawData(m_indexes.data(), m_positions.data(), int(run.size()));
    glyphs.setUnderline(m_font.underline());
    glyphs.setOverline(m_font.overline());
    glyphs.setStrikeOut(m_font.strikeOut());
    painter.drawGlyphRun(baseline, glyphs);
}

} // namespace ostrel::print
