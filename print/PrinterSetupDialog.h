#pragma once

#include "PrinterSettings.h"
#include "os/PrintQueue.h"
#include "ui_PrinterSetupDialog.h"

#include <QDialog>

namespace ostrel::print {

// The printer-setup dialog: the printer, its paper and the orientation.
// Opened with the current printer's settings; chosen() gives the settings
// confirmed with OK.
class PrinterSetupDialog : public QDialog, public Ui::PrinterSetupDialog {
    Q_OBJECT

public:
    PrinterSetupDialog(const printqueue::Printers& all, const PrinterSettings& current,
                       QWidget* parent = nullptr);

    PrinterSettings chosen() const;

private:
    // The chosen printer's state and papers, keeping the paper chosen when
    // that printer has it.
    void showChosenPrinter();

    printqueue::Printers m_all;
    PrinterSettings m_current;
    QList<printqueue::Media> m_papers;
};

} // namespace ostrel::print
