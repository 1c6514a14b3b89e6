#pragma once

#include "PrintLayout.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <functional>
#include <memory>

class QPdfWriter;

namespace ostrel::print {

struct PrinterSettings;

// The lines to print, taken one after another.
class LineSource {
public:
    virtual ~LineSource() = default;
    // The next line, without its line break; false after the last one.
    virtual bool next(QString& line) = 0;
};

// What a job prints: its lines, taken when the job starts and not changed
// by anything that happens while it runs, in a font and a text colour.
struct Document {
    std::unique_ptr<LineSource> lines;
    QFont font;   // as the editor shows it
    QColor color; // the text colour, system colours resolved
};

// The printer font made from the editor's font: the same face, style and
// size in points (a size set in pixels is taken at the screen's resolution,
// as the editor shows it).
QFont printerFont(const QFont& editorFont);

// Draws the document's lines into a PDF whose painting has not begun, in
// the printer font, page after page as they are laid out; `betweenPages`
// runs after each page. Answers false when the PDF cannot be painted on.
bool drawPages(QPdfWriter& pdf, Document& document, const std::function<void()>& betweenPages);

// The resolution pages are drawn at, in dots per inch.
constexpr int kPrintResolution = 1200;

// Prints a document with the printer and its settings: draws it into a PDF
// file, keeping the window's events going between pages, and sends that to
// the printer's queue, then watches the job for a few seconds; the print
// system is asked on a thread of its own meanwhile (print/PrintSystem.h),
// a box showing that it waits. Raises a UserError when the printer
// cannot be opened, when the queue refuses the job, when the print system
// does not answer, and when the job fails or the printer is stopped while
// it is watched (the job is then taken out of the queue). Ends quietly when
// the user gives up waiting.
void printDocument(const PrinterSettings& settings, Document& document);

} // namespace ostrel::print
