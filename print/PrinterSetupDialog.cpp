#include "PrinterSetupDialog.h"

#include "PrinterChoice.h"

namespace ostrel::print {

PrinterSetupDialog::PrinterSetupDialog(const printqueue::Printers& all,
                                       const PrinterSettings& current, QWidget* parent)
    : QDialog(parent), m_all(all), m_current(current) {
    setupUi(this);
    addOkAndCancel(this, Buttons);

    (current.layout.orientation() == QPageLayout::Landscape ? LandscapeRdb : PortraitRdb)
        ->setChecked(true);
    listPrinters(PrinterCmb, m_all, m_current.printer);
    showChosenPrinter();
    connect(PrinterCmb, &QComboBox::currentTextChanged, this,
            &PrinterSetupDialog::showChosenPrinter);
}

void PrinterSetupDialog::showChosenPrinter() {
    const int before = PaperCmb->currentIndex();
    const QPageSize keep = before >= 0 && before < m_papers.size() ? pageSizeOf(m_papers[before])
                                                                   : m_current.layout.pageSize();
    const printqueue::Printer* printer = m_all.find(PrinterCmb->currentText());
    showPrinter(printer, StatusLbl, LocationLbl, CommentLbl);
    if (printer) {
        m_papers = papersOf(*printer);
    } else {
        // A printer no longer installed keeps the paper it had.
        printqueue::Media m;
        m.name = m_current.media;
        const QSizeF size = m_current.layout.pageSize().size(QPageSize::Millimeter);
        m.width = qRound(size.width() * 100);
        m.height = qRound(size.height() * 100);
        m_papers = {m};
    }
    PaperCmb->clear();
    int chosen = 0;
    for (int i = 0; i < m_papers.size(); ++i) {
        const QPageSize size = pageSizeOf(m_papers[i]);
        PaperCmb->addItem(size.name());
        if (size.isEquivalentTo(keep))
            chosen = i;
    }
    PaperCmb->setCurrentIndex(chosen);
}

PrinterSettings PrinterSetupDialog::chosen() const {
    const PrinterSettings base = settingsFor(m_all, PrinterCmb->currentText(), m_current);
    const int i = PaperCmb->currentIndex();
    if (i < 0 || i >= m_papers.size())
        return base;
    return base.withPage(m_papers[i], LandscapeRdb->isChecked() ? QPageLayout::Landscape
                                                                : QPageLayout::Portrait);
}

} // namespace ostrel::print
