#pragma once

#include "PrinterSettings.h"

#include <QDialog>
#include <QPageSize>

class QComboBox;
class QRadioButton;

namespace ostrel::print {

// The printer-setup dialog: the printer, its paper and the orientation.
// Opened with the current printer's settings; chosen() gives the settings
// confirmed with OK.
class PrinterSetupDialog : public QDialog {
    Q_OBJECT

public:
    PrinterSetupDialog(const PrinterSettings& current, QWidget* parent = nullptr);

    PrinterSettings chosen() const;

private:
    // Fills the paper list with the printer's sizes, keeping `keep` chosen
    // when the printer has it.
    void listPapers(const QPageSize& keep);

    PrinterSettings m_initial;
    QComboBox* m_printers;
    QComboBox* m_papers;
    QRadioButton* m_portrait;
    QRadioButton* m_landscape;
    QList<QPageSize> m_sizes;
};

} // namespace ostrel::print
