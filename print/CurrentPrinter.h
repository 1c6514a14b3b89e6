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
//
// The print system is asked for its printers each time a dialog opens, on a
// thread of its own (print/PrintSystem.h): the window waits for the answer
// without freezing, and gives up after a few seconds of silence.
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
    // The printers as the print system lists them now, with the current
    // printer set on the first call; nothing when the user gave up waiting
    // or the window went meanwhile.
    std::optional<printqueue::Printers> lookUp(QWidget* window);
    // Makes the settings a dialog confirmed current, unless a job is open.
    void adopt(const PrinterSettings& settings);

    std::optional<PrinterSettings> m_settings;
    bool m_jobOpen = false;
    bool m_lookingUp = false;
};

} // namespace ostrel::print
