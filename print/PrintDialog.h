#pragma once

#include "PrinterSettings.h"
#include "os/PrintQueue.h"
#include "ui_PrintDialog.h"

#include <QDialog>

namespace ostrel::print {

// The print dialog: the printer, the number of copies the printer makes,
// two-sided printing and colour where the printer offers them. All pages
// are printed; there is no printing to a file. Opened with the current
// printer's settings; chosen() gives the settings confirmed with OK.
class PrintDialog : public QDialog, public Ui::PrintDialog {
    Q_OBJECT

public:
    PrintDialog(const printqueue::Printers& all, const PrinterSettings& current,
                QWidget* parent = nullptr);

    PrinterSettings chosen() const;

private:
    // The chosen printer's state and options.
    void showChosenPrinter();

    printqueue::Printers m_all;
    PrinterSettings m_current;
};

} // namespace ostrel::print
