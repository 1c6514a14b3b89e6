// Printing the editor's text and setting up the printer.
#include "MainFrm.h"

#include "EditorLines.h"
#include "ui/Colors.h"
#include "print/CurrentPrinter.h"

using namespace ostrel;

namespace {

// The editor's lines as it shows them when the job begins.
class EditorLineSource : public print::LineSource {
public:
    explicit EditorLineSource(EditorLines::Snapshot lines) : m_lines(std::move(lines)) {}
    bool next(QString& line) override { return m_lines.next(line); }

private:
    EditorLines::Snapshot m_lines;
};

} // namespace

void TMainFrm::PrintOutMnuClick() {
    Printer->print(this, [this] {
        print::Document document;
        document.lines = std::make_unique<EditorLineSource>(
            EditorLines::snapshot(MainEdit->document(), MainEdit->viewport()->width()));
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
