// The page layout on any text, page size and font measurements: every
// character is printed once and in order, a run is cut only between whole
// characters, nothing is drawn past the right edge but a character wider
// than the line, alone at its start, and the pages come out alike whether
// the job takes them as they fill or all at the end.
#include "FuzzSupport.h"
#include "print/PrintLayout.h"

#include <QTextBoundaryFinder>

#include <array>

using namespace ostrel::print;

namespace {

// Widths from a small table indexed by the unit's value; heights as a real
// font has them (the text height a little above the cell height).
class Measure : public FontMeasure {
public:
    explicit Measure(fuzz::Input& in)
        : m_cell(int(in.upTo(40)) + 1), m_text(m_cell + int(in.upTo(uint32_t(m_cell / 2)))),
          m_average(int(in.upTo(30))) {
        for (int& w : m_widths)
            w = int(in.upTo(60));
    }
    int cellHeight() const override { return m_cell; }
    int textHeight() const override { return m_text; }
    int averageCharWidth() const override { return m_average; }
    int width(QStringView run) const override {
        int w = 0;
        for (QChar c : run)
            w += m_widths[c.unicode() % m_widths.size()];
        return w;
    }

private:
    int m_cell, m_text, m_average;
    std::array<int, 16> m_widths{};
};

bool isControl(QChar c) {
    return c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const Measure measure(in);
    const int width = int(in.upTo(2000)) + 1;
    const int height = int(in.upTo(3000)) + 1;
    // Lines as the editor gives them; a vertical tab stands for a line feed
    // inside a line, which the layout also takes.
    QString text = in.text(4000);
    text.replace(u'\v', u'\n');
    const QStringList lines = text.split(QChar(QChar::ParagraphSeparator));

    const std::vector<Page> pages = layOutPages(lines, measure, width, height);
    FUZZ_CHECK(!pages.empty(), "no page");

    // The same pages when a job takes each as soon as it is full.
    PageLayout layout(measure, width, height);
    std::vector<Page> taken;
    for (const QString& line : lines) {
        layout.addLine(line);
        for (Page& p : layout.takeFinishedPages())
            taken.push_back(std::move(p));
    }
    taken.push_back(layout.finish());
    FUZZ_CHECK(taken == pages, "%d pages taken as they fill, %d at the end", int(taken.size()),
               int(pages.size()));

    // The runs of text between the control characters, in order.
    QStringList source;
    for (const QString& line : lines) {
        qsizetype start = 0;
        for (qsizetype i = 0; i <= line.size(); ++i) {
            if (i == line.size() || isControl(line[i])) {
                if (i > start)
                    source.append(line.mid(start, i - start));
                start = i + 1;
            }
        }
    }

    qsizetype run = 0, offset = 0;
    for (size_t p = 0; p < pages.size(); ++p) {
        for (const PlacedRun& placed : pages[p].runs) {
            const QString& t = placed.text;
            FUZZ_CHECK(!t.isEmpty() && run < source.size() &&
                           QStringView(source[run]).sliced(offset).startsWith(t),
                       "page %d: %s printed where %s was due", int(p), fuzz::quoted(t).constData(),
                       run < source.size() ? fuzz::quoted(source[run].mid(offset)).constData()
                                           : "nothing");
            // Characters as the whole run has them: whether a mark joins the
            // character before it can depend on what precedes that.
            QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, source[run]);
            characters.setPosition(offset);
            FUZZ_CHECK(characters.isAtBoundary(), "%s cut inside a character at %d",
                       fuzz::quoted(source[run]).constData(), int(offset));
            const bool oneCharacter = characters.toNextBoundary() == offset + t.size();
            FUZZ_CHECK(placed.x >= 0 && placed.y >= 0 && placed.y <= height,
                       "%s placed at %d,%d on a page of %dx%d", fuzz::quoted(t).constData(),
                       placed.x, placed.y, width, height);
            FUZZ_CHECK(placed.x + measure.width(t) <= width || (placed.x == 0 && oneCharacter),
                       "%s at x %d is %d wide on a line of %d", fuzz::quoted(t).constData(),
                       placed.x, measure.width(t), width);
            offset += t.size();
            if (offset == source[run].size()) {
                ++run;
                offset = 0;
            }
        }
    }
    FUZZ_CHECK(run == source.size(), "%d of %d runs printed", int(run), int(source.size()));
    return 0;
}
