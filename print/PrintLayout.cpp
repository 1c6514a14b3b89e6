#include "PrintLayout.h"

#include <algorithm>

namespace ostrel::print {

namespace {

// Runs up to this length are measured whole before they are broken: most
// runs fit, and one measurement settles it. Longer ones are measured in
// growing pieces, so that a very long line costs about its own length per
// output line instead of the length of all that is left of it.
constexpr qsizetype kMeasureWhole = 512;

bool isLayoutControl(char16_t ch) {
    return ch == 9 || ch == 10 || ch == 12 || ch == 13;
}

} // namespace

PageLayout::PageLayout(const FontMeasure& measure, int width, int height)
    : m_measure(measure), m_width(width), m_height(height), m_textHeight(measure.textHeight()),
      m_cellHeight(measure.cellHeight()), m_tab(std::max(1, 8 * measure.averageCharWidth())) {}

PageLayout::~PageLayout() = default;

void PageLayout::addLine(QStringView line) {
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char16_t ch = line[i].unicode();
        if (!isLayoutControl(ch))
            continue;
        printRun(line.mid(start, i - start));
        start = i + 1;
        switch (ch) {
        case 9:
            tab();
            break;
        case 10:
            lineBreak();
            break;
        case 12:
            pageBreak();
            break;
        default: // carriage return: the run ends, nothing else
            break;
        }
    }
    printRun(line.mid(start));
    lineBreak();
}

std::vector<Page> PageLayout::takeFinishedPages() {
    std::vector<Page> pages;
    pages.swap(m_finished);
    return pages;
}

Page PageLayout::finish() {
    Page last = std::move(m_page);
    m_page = Page();
    return last;
}

void PageLayout::printRun(QStringView run) {
    if (run.isEmpty())
        return;
    m_characters.reset();
    qsizetype offset = 0;
    while (offset < run.size()) {
        Fit fit = fitting(run, offset, m_width - m_x);
        if (fit.length == 0 && m_x == 0) {
            // Not one character fits on an empty output line: the first one
            // goes there alone, or the run would never get anywhere.
            fit.length = firstCharacter(run, offset);
            fit.width = m_measure.width(run.mid(offset, fit.length));
        }
        if (m_h < m_textHeight)
            m_h = m_textHeight + 2;
        if (fit.length > 0)
            m_page.runs.push_back({m_x, m_y, run.mid(offset, fit.length).toString()});
        offset += fit.length;
        if (offset < run.size())
            lineBreak();
        else
            m_x += fit.width;
    }
    m_characters.reset();
}

QTextBoundaryFinder& PageLayout::characters(QStringView run) {
    if (!m_characters)
        m_characters.emplace(QTextBoundaryFinder::Grapheme, run.data(), run.size());
    return *m_characters;
}

qsizetype PageLayout::firstCharacter(QStringView run, qsizetype offset) {
    QTextBoundaryFinder& finder = characters(run);
    finder.setPosition(offset);
    const qsizetype end = finder.toNextBoundary();
    return end > offset ? end - offset : run.size() - offset;
}

PageLayout::Fit PageLayout::fitting(QStringView run, qsizetype offset, int room) {
    const QStringView rest = run.mid(offset);
    if (rest.size() <= kMeasureWhole) {
        const int w = m_measure.width(rest);
        if (w <= room)
            return {rest.size(), w};
    }
    if (room < 0)
        return {};

    // The longest beginning of whole characters that fits: widths grow with
    // the length, so grow a beginning that fits until one does not, then
    // halve the difference.
    QTextBoundaryFinder& finder = characters(run);
    finder.setPosition(offset);
    std::vector<qsizetype> ends; // ends[i]: the length of the first i + 1 characters
    auto known = [&](qsizetype count) {
        while (qsizetype(ends.size()) < count) {
            const qsizetype next = finder.toNextBoundary();
            if (next <= offset)
                break;
            ends.push_back(next - offset);
            if (next >= run.size())
                break;
        }
        return std::min(count, qsizetype(ends.size()));
    };
    auto widthOf = [&](qsizetype count) { return m_measure.width(rest.left(ends[count - 1])); };

    const int average = std::max(1, m_tab / 8);
    qsizetype step = std::max<qsizetype>(1, room / average);
    qsizetype good = 0;
    int goodWidth = 0;
    qsizetype bad = 0;
    while (bad == 0) {
        const qsizetype count = known(good + step);
        if (count == good)
            break; // no character left (cannot happen: the whole did not fit)
        const int w = widthOf(count);
        if (w > room) {
            bad = count;
            break;
        }
        good = count;
        goodWidth = w;
        if (ends[count - 1] == rest.size())
            return {rest.size(), w};
        step *= 2;
    }
    while (bad - good > 1) {
        const qsizetype middle = good + (bad - good) / 2;
        const int w = widthOf(middle);
        if (w <= room) {
            good = middle;
            goodWidth = w;
        } else {
            bad = middle;
        }
    }
    return {good > 0 ? ends[good - 1] : 0, goodWidth};
}

void PageLayout::tab() {
    m_x = m_x + m_tab - ((m_x + m_tab + 1) % m_tab) + 1;
    if (m_x > m_width)
        lineBreak();
}

void PageLayout::lineBreak() {
    m_x = 0;
    m_y += m_h != 0 ? m_h : m_cellHeight;
    if (m_y > m_height - 2 * m_h)
        pageBreak();
    m_h = 0;
}

void PageLayout::pageBreak() {
    m_finished.push_back(std::move(m_page));
    m_page = Page();
    m_x = 0;
    m_y = 0;
}

std::vector<Page> layOutPages(const QStringList& lines, const FontMeasure& measure, int width,
                              int height) {
    PageLayout layout(measure, width, height);
    for (const QString& line : lines)
        layout.addLine(line);
    std::vector<Page> pages = layout.takeFinishedPages();
    pages.push_back(layout.finish());
    return pages;
}

} // namespace ostrel::print
