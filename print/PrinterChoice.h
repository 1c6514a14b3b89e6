#pragma once

#include "PrinterSettings.h"
#include "os/PrintQueue.h"

class QComboBox;
class QDialog;
class QDialogButtonBox;
class QLabel;

// What the print and printer-setup dialogs share: the list of printers and
// what they show of the chosen one.
namespace ostrel::print {

// The dialog's "OK" (Enter) and "キャンセル" (Esc) buttons.
void addOkAndCancel(QDialog* dialog, QDialogButtonBox* buttons);

// Fills the list with the print system's printers, the current one chosen
// (listed too when it is no longer installed: printing on it then says so).
void listPrinters(QComboBox* list, const printqueue::Printers& all, const QString& current);

// Shows a printer's state, location and description; a printer the print
// system does not list shows as not found.
void showPrinter(const printqueue::Printer* printer, QLabel* status, QLabel* location,
                 QLabel* comment);

// The settings of another printer, keeping the paper and orientation of
// `from` where that printer offers the same paper, and the copies.
PrinterSettings settingsFor(const printqueue::Printers& all, const QString& printer,
                            const PrinterSettings& from);

} // namespace ostrel::print
