#pragma once

#include "PrintLayout.h"

#include <QFont>
#include <QFontMetrics>
#include <QRawFont>
#include <memory>
#include <vector>

class QPainter;
class QPaintDevice;

namespace ostrel::print {

// The printer font on a device: its measurements for the page layout, and
// the drawing of the runs the layout placed.
//
// Most text (Latin, Greek, Cyrillic, punctuation and symbols, kana, kanji,
// Hangul, full-width forms) needs no shaping: a run of such characters that
// the font holds is measured as the sum of its characters' advances, each
// looked up once, and drawn as glyphs at those advances, without kerning or
// ligatures, as a printer's text output has none. Shaping every run through
// Qt's text layout to measure it and again to draw it would cost several
// times more than the rest of a job. Any other run (combining marks,
// surrogate pairs, scripts that are shaped, characters that come from
// another font) goes through Qt's text layout for both.
class PrinterFont : public FontMeasure {
public:
    PrinterFont(const QFont& font, QPaintDevice* device);
    ~PrinterFont() override;

    int cellHeight() const override { return m_metrics.height(); }
    int textHeight() const override { return m_metrics.height(); }
    int averageCharWidth() const override { return m_metrics.averageCharWidth(); }
    int width(QStringView run) const override;

    // Draws a run with the top-left corner of its first character cell at
    // (x, y), with the painter's pen.
    void draw(QPainter& painter, int x, int y, const QString& run) const;

private:
    struct Glyph {
        quint32 index = 0;
        double advance = 0;
        enum : quint8 { Unknown, Plain, Shaped } kind = Unknown;
    };
    // The glyph of a character that needs no shaping; null for any other.
    const Glyph* plainGlyph(char16_t ch) const;
    bool isPlain(QStringView run) const;

    // Glyph advances read from the font's tables, when it has them.
    class Advances {
    public:
        explicit Advances(const QRawFont& raw);
        bool known() const { return m_scale > 0; }
        double of(quint32 index) const;

    private:
        QByteArray m_hmtx;
        quint16 m_count = 0;
        double m_scale = 0;
    };

    QFont m_font;
    QFontMetrics m_metrics;
    QRawFont m_raw;
    bool m_plainAllowed;
    Advances m_advances;
    std::unique_ptr<Glyph[]> m_glyphs; // by UTF-16 code unit
    // Kept for the next run drawn.
    mutable std::vector<quint32> m_indexes;
    mutable std::vector<QPointF> m_positions;
};

} // namespace ostrel::print
