#include "CurrentPrinter.h"

#include "PrintDialog.h"
#include "PrintSystem.h"
#include "PrintTexts.h"
#include "PrinterSetupDialog.h"
#include "core/UserError.h"
#include "os/PrintQueue.h"

#include <QPointer>
#include <QScopeGuard>
#include <QWidget>

namespace ostrel::print {

namespace {

const QString kNoDefaultPrinter = texts::print::noDefaultPrinter();

} // namespace

CurrentPrinter::CurrentPrinter(QObject* parent) : QObject(parent) {}

std::optional<printqueue::Printers> CurrentPrinter::lookUp(QWidget* window) {
    // A second command while the first still waits (a double click) waits
    // with it rather than stacking its own dialog on the first one's.
    if (m_lookingUp)
        return std::nullopt;
    m_lookingUp = true;
    const QPointer<CurrentPrinter> self(this);
    const QPointer<QWidget> shown(window);
    const auto done = qScopeGuard([self] {
        if (self)
            self->m_lookingUp = false;
    });
    printqueue::Printers all;
    try {
        all = askPrintSystem<printqueue::Printers>(
            Waiting::Modal, texts::print::waitingForPrinters(),
            [](const printqueue::Cancel& cancel) { return printqueue::printers(cancel); });
    } catch (const printqueue::Unanswered& e) {
        if (e.why() == printqueue::Unanswered::Why::Cancelled)
            return std::nullopt;
        // For the user there is no printer to be had.
        throw unansweredError(e, kNoDefaultPrinter);
    }
    // The window may have closed while it waited.
    if (!self || (window && (!shown || !shown->isVisible())))
        return std::nullopt;
    if (!m_settings) {
        const printqueue::Printer* chosen = all.find(all.defaultPrinter);
        if (!chosen)
            throw UserError(kNoDefaultPrinter);
        m_settings = PrinterSettings::ofPrinter(*chosen);
    }
    return all;
}

void CurrentPrinter::adopt(const PrinterSettings& settings) {
    // Possible only from a dialog opened while a job hands over its pages.
    if (m_jobOpen)
        throw UserError(texts::print::busyPrinting());
    m_settings = settings;
}

void CurrentPrinter::print(QWidget* window, const std::function<Document()>& take) {
    const std::optional<printqueue::Printers> all = lookUp(window);
    if (!all)
        return;
    PrintDialog dialog(*all, *m_settings, window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    adopt(dialog.chosen());

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
    const std::optional<printqueue::Printers> all = lookUp(window);
    if (!all)
        return;
    PrinterSetupDialog dialog(*all, *m_settings, window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    adopt(dialog.chosen());
}

} // namespace ostrel::print
