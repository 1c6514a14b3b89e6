#include "PrintDialog.h"

#include "PrintTexts.h"
#include "PrinterChoice.h"

namespace ostrel::print {

namespace {

// Fills a list with the choices a printer offers among `known` (keyword,
// caption), `chosen` selected; a printer that offers fewer than two leaves
// the list disabled, showing its one choice or `none`.
void listChoices(QComboBox* list, const QList<QByteArray>& offered,
                 const QList<std::pair<QByteArray, QString>>& known, const QByteArray& chosen,
                 const QString& none) {
    list->clear();
    for (const auto& [keyword, caption] : known)
        if (offered.contains(keyword))
            list->addItem(caption, keyword);
    if (list->count() == 0)
        list->addItem(none, QByteArray());
    const int index = list->findData(chosen);
    list->setCurrentIndex(index < 0 ? 0 : index);
    list->setEnabled(list->count() > 1);
}

} // namespace

PrintDialog::PrintDialog(const printqueue::Printers& all, const PrinterSettings& current,
                         QWidget* parent)
    : QDialog(parent), m_all(all), m_current(current) {
    setupUi(this);
    addOkAndCancel(this, Buttons);
    listPrinters(printers, m_all, m_current.printer);
    copies->setValue(m_current.copies);
    showChosenPrinter();
    connect(printers, &QComboBox::currentTextChanged, this, &PrintDialog::showChosenPrinter);
}

void PrintDialog::showChosenPrinter() {
    const printqueue::Printer* printer = m_all.find(printers->currentText());
    showPrinter(printer, StatusLbl, LocationLbl, CommentLbl);
    const PrinterSettings s = settingsFor(m_all, printers->currentText(), m_current);
    listChoices(duplex, printer ? printer->sides : QList<QByteArray>(),
                {{"one-sided", texts::print::oneSided()},
                 {"two-sided-long-edge", texts::print::twoSidedLongEdge()},
                 {"two-sided-short-edge", texts::print::twoSidedShortEdge()}},
                s.sides, texts::print::oneSided());
    listChoices(colorMode, printer ? printer->colorModes : QList<QByteArray>(),
                {{"color", texts::print::colour()}, {"monochrome", texts::print::monochrome()}},
                s.colorMode, texts::print::asPrinterSet());
}

PrinterSettings PrintDialog::chosen() const {
    PrinterSettings s = settingsFor(m_all, printers->currentText(), m_current);
    s.copies = copies->value();
    s.sides = duplex->currentData().toByteArray();
    s.colorMode = colorMode->currentData().toByteArray();
    return s;
}

} // namespace ostrel::print
