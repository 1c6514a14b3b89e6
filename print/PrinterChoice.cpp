#include "PrinterChoice.h"

#include "PrintTexts.h"
#include "ui/UiTexts.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>

namespace ostrel::print {

void addOkAndCancel(QDialog* dialog, QDialogButtonBox* buttons) {
    QPushButton* ok =
        buttons->addButton(QString::fromUtf16(texts::ui::okButton), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QString::fromUtf16(texts::ui::cancelButton),
                                             QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
}

void listPrinters(QComboBox* list, const printqueue::Printers& all, const QString& current) {
    QStringList names;
    for (const printqueue::Printer& p : all.printers)
        names.append(p.name);
    if (!names.contains(current))
        names.prepend(current);
    list->addItems(names);
    list->setCurrentText(current);
}

void showPrinter(const printqueue::Printer* printer, QLabel* status, QLabel* location,
                 QLabel* comment) {
    if (!printer) {
        status->setText(texts::print::printerNotFound());
        location->clear();
        comment->clear();
        return;
    }
    QString state = texts::print::stateIdle();
    if (printer->state == printqueue::Printer::State::Stopped)
        state = texts::print::stateStopped();
    else if (printer->state == printqueue::Printer::State::Printing)
        state = texts::print::statePrinting();
    if (!printer->acceptingJobs)
        state += texts::print::stateNotAccepting();
    if (!printer->stateMessage.isEmpty())
        state += QStringLiteral(": ") + printer->stateMessage;
    status->setText(state);
    location->setText(printer->location);
    comment->setText(printer->info);
}

PrinterSettings settingsFor(const printqueue::Printers& all, const QString& printer,
                            const PrinterSettings& from) {
    if (printer == from.printer)
        return from;
    const printqueue::Printer* p = all.find(printer);
    if (!p)
        return from;
    PrinterSettings s = PrinterSettings::ofPrinter(*p);
    const QPageSize keep = from.layout.pageSize();
    for (const printqueue::Media& m : papersOf(*p)) {
        if (pageSizeOf(m).isEquivalentTo(keep)) {
            s = s.withPage(m, from.layout.orientation());
            break;
        }
    }
    if (s.layout.orientation() != from.layout.orientation()) {
        for (const printqueue::Media& m : papersOf(*p))
            if (m.name == s.media) {
                s = s.withPage(m, from.layout.orientation());
                break;
            }
    }
    s.copies = from.copies;
    return s;
}

} // namespace ostrel::print
