#pragma once

#include <QByteArray>
#include <QList>
#include <QPageLayout>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <utility>

namespace ostrel::print {

// A printer with the settings a job uses on it: paper and orientation, the
// number of copies the printer makes, and what else the print dialog lets
// the user choose (two-sided, colour, the job options of its properties).
struct PrinterSettings {
    QString printer;
    QPageLayout layout;
    int copies = 1;
    QPrinter::DuplexMode duplex = QPrinter::DuplexNone;
    QPrinter::ColorMode colorMode = QPrinter::Color;
    QStringList jobOptions; // name, value, name, value ...

    // The printer's own settings.
    static PrinterSettings ofPrinter(const QString& printer);
    // The settings a printer object (after a dialog) holds.
    static PrinterSettings takenFrom(QPrinter& printer);
    // Sets up a printer object with these settings, for a dialog.
    void applyTo(QPrinter& printer) const;
    // The same printer with other paper or orientation.
    PrinterSettings withPage(const QPageSize& size, QPageLayout::Orientation orientation) const;

    // The page a job draws on: the paper in the orientation, with no margins
    // but the printer's own.
    QPageLayout printableLayout() const;
    // The options the printer's queue gets with a job.
    QList<std::pair<QByteArray, QByteArray>> queueOptions() const;
};

} // namespace ostrel::print
