#pragma once

#include "PrintLayout.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <functional>
#include <memory>

class QPrinter;

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

// Draws the document's lines on a printer whose painting has not begun, in
// the printer font, page after page as they are laid out; `betweenPages`
// runs after each page. Answers false when the printer cannot be painted on.
bool drawPages(QPrinter& printer, Document& document, const std::function<void()>& betweenPages);

// Prints a document with the printer and its settings: draws it into a PDF
// file and sends that to the printer's queue, keeping the window's events
// going between pages and pieces, then watches the job for a few seconds.
// Raises a UserError when the printer cannot be opened, when the queue
// refuses the job, and when the job fails or the printer is stopped while it
// is watched (the job is then taken out of the queue).
void printDocument(const PrinterSettings& settings, Document& document);

} // namespace ostrel::print
