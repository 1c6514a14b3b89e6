#include "CurrentPrinter.h"

#include "PrinterSetupDialog.h"
#include "core/UserError.h"
#include "os/PrintQueue.h"

#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QScopeGuard>

namespace ostrel::print {

CurrentPrinter::CurrentPrinter(QObject* parent) : QObject(parent) {}

const PrinterSettings& CurrentPrinter::current() {
    if (!m_settings)
        m_settings = PrinterSettings::ofPrinter(printqueue::defaultPrinter());
    return *m_settings;
}

void CurrentPrinter::adopt(const PrinterSettings& settings) {
    // Possible only from a dialog opened while a job hands over its pages.
    if (m_jobOpen)
        throw UserError(QStringLiteral("印刷中"));
    m_settings = settings;
}

void CurrentPrinter::print(QWidget* window, const std::function<Document()>& take) {
    QPrinter choice(QPrinter::HighResolution);
    current().applyTo(choice);
    QPrintDialog dialog(&choice, window);
    dialog.setObjectName(QStringLiteral("PrintDialog"));
    dialog.setOptions(QAbstractPrintDialog::PrintShowPageSize |
                      QAbstractPrintDialog::PrintCollateCopies);
    dialog.setPrintRange(QAbstractPrintDialog::AllPages);
    if (dialog.exec() != QDialog::Accepted)
        return;
    adopt(PrinterSettings::takenFrom(choice));

    // The window may go away while the job runs (its events go on).
    const QPointer<CurrentPrinter> self(this);
    const PrinterSettings settings = *m_settings;
    m_jobOpen = true;
    const auto closed = qScopeGuard([self] {
        if (self)
            self->m_jobOpen = false;
    });
    Document document = take();
    printDocument(settings, document);
}

void CurrentPrinter::setUp(QWidget* window) {
    PrinterSetupDialog dialog(current(), window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    adopt(dialog.chosen());
}

} // namespace ostrel::print
