#pragma once

#include "PrintJob.h"
#include "PrinterSettings.h"

#include <QObject>
#include <functional>
#include <optional>

class QWidget;

namespace ostrel::print {

// The printer the window prints on, with its settings, for the whole run:
// the system's default printer, looked up when a print or printer-setup
// dialog first opens, until the user confirms another printer or other
// settings in one of them. Nothing of it is stored.
class CurrentPrinter : public QObject {
    Q_OBJECT

public:
    explicit CurrentPrinter(QObject* parent = nullptr);

    // The print command: the print dialog (all pages, no file), then one job
    // of the document that `take` gives when the job begins.
    void print(QWidget* window, const std::function<Document()>& take);
    // The printer-setup command: printer, paper and orientation.
    void setUp(QWidget* window);

    // Set from the start of a job to its end.
    bool jobOpen() const { return m_jobOpen; }
    // Unset until the first dialog.
    const std::optional<PrinterSettings>& settings() const { return m_settings; }

private:
    const PrinterSettings& current();
    // Makes the settings a dialog confirmed current, unless a job is open.
    void adopt(const PrinterSettings& settings);

    std::optional<PrinterSettings> m_settings;
    bool m_jobOpen = false;
};

} // namespace ostrel::print
