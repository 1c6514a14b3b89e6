#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTextBoundaryFinder>
#include <optional>
#include <vector>

namespace ostrel::print {

// What the page layout needs to know of the printer font, in the printer's
// device pixels.
class FontMeasure {
public:
    virtual ~FontMeasure() = default;
    // c: the character cell height; an empty output line advances by it.
    virtual int cellHeight() const = 0;
    // The height a run of text measures; a line with text advances by it + 2.
    virtual int textHeight() const = 0;
    // Tab stops lie 8 of these apart.
    virtual int averageCharWidth() const = 0;
    // The width of a run of text as it is drawn.
    virtual int width(QStringView run) const = 0;
};

// A run of text to be drawn with the top-left corner of its first character
// cell at (x, y); (0, 0) is the top-left corner of the printable area.
struct PlacedRun {
    int x = 0;
    int y = 0;
    QString text;
    bool operator==(const PlacedRun&) const = default;
};

struct Page {
    std::vector<PlacedRun> runs;
    bool operator==(const Page&) const = default;
};

// Lays out lines of plain text on pages of W x H device pixels, one line
// after another, fed one at a time so that a job can draw each page as soon
// as it is full:
//  - a line with text advances by the text height + 2, an empty line (or a
//    line of tabs only) by the cell height; a line break that takes the
//    position below H - 2 x (that line's height) starts a new page, also
//    after the last line, so a job can end with an empty page;
//  - a run wider than the rest of the line is broken between two characters
//    (grapheme clusters: a surrogate pair, or a base character with its
//    combining marks, is never split) and continues at the left edge of the
//    next output line; a character wider than the whole line is printed
//    alone on its own output line;
//  - tab moves to the smallest multiple of T (8 average character widths)
//    greater than x + 1, and starts a new line when that passes W; line feed
//    ends the output line, form feed the page; carriage return only ends the
//    run.
class PageLayout {
public:
    PageLayout(const FontMeasure& measure, int width, int height);
    ~PageLayout();
    PageLayout(const PageLayout&) = delete;
    PageLayout& operator=(const PageLayout&) = delete;

    // Lays out one of the lines (without its line break), followed by the
    // line break that ends every line.
    void addLine(QStringView line);
    // The pages that were finished since the last call, in order.
    std::vector<Page> takeFinishedPages();
    // Ends the job: answers the current page, whatever it holds.
    Page finish();

private:
    void printRun(QStringView run);
    // How many code units of `rest` (whole characters) fit in `room` device
    // pixels, and their width. `rest` is the end of `run` from `offset`.
    struct Fit {
        qsizetype length = 0;
        int width = 0;
    };
    Fit fitting(QStringView run, qsizetype offset, int room);
    qsizetype firstCharacter(QStringView run, qsizetype offset);
    // The character boundaries of the run being printed.
    QTextBoundaryFinder& characters(QStringView run);
    void tab();
    void lineBreak();
    void pageBreak();

    const FontMeasure& m_measure;
    const int m_width;
    const int m_height;
    const int m_textHeight;
    const int m_cellHeight;
    const int m_tab;
    int m_x = 0;
    int m_y = 0;
    int m_h = 0;
    Page m_page;
    std::vector<Page> m_finished;
    // Made when the run being printed is first broken, for that run only.
    std::optional<QTextBoundaryFinder> m_characters;
};

// The pages of a whole job: the lines as printed, with a printer font of
// these measurements, on a printable area of `width` x `height`. There is
// always at least one page.
std::vector<Page> layOutPages(const QStringList& lines, const FontMeasure& measure, int width,
                              int height);

} // namespace ostrel::print
