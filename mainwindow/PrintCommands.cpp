// Printing the editor's text and setting up the printer.
#include "MainFrm.h"

#include "editor/Lines.h"
#include "editor/TextView.h"
#include "print/CurrentPrinter.h"
#include "ui/Colors.h"

using namespace ostrel;

namespace {

// The editor's lines as it shows them (its rows with word wrap) when the job
// begins.
class EditorLineSource : public print::LineSource {
public:
    explicit EditorLineSource(std::unique_ptr<editor::Lines::Shown> lines)
        : m_lines(std::move(lines)) {}
    bool next(QString& line) override { return m_lines->next(line); }

private:
    std::unique_ptr<editor::Lines::Shown> m_lines;
};

} // namespace

void TMainFrm::PrintOutMnuClick() {
    Printer->print(this, [this] {
        print::Document document;
        document.lines = std::make_unique<EditorLineSource>(MainEdit->lines()->shown());
        document.font = MainEdit->font();
        document.color = resolveColor(MainEditFontColor);
        return document;
    });
}

void TMainFrm::PrintBtnClick() {
    PrintOutMnuClick();
}

void TMainFrm::PrinterSetupMnuClick() {
    Printer->setUp(this);
}
