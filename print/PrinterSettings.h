#pragma once

#include "os/PrintQueue.h"

#include <QByteArray>
#include <QList>
#include <QPageLayout>
#include <QString>
#include <utility>

namespace ostrel::print {

// A printer with the settings a job uses on it: the paper and orientation,
// the number of copies the printer makes, two-sided printing and colour.
struct PrinterSettings {
    QString printer;
    // The paper as the print system names it; empty for a printer that
    // names none (the document's own page size then decides).
    QByteArray media;
    // The page a job draws on: the paper in the orientation, with the
    // margins the printer cannot print on.
    QPageLayout layout;
    int copies = 1;
    QByteArray sides;     // "one-sided", "two-sided-long-edge" ...; empty: the printer's own
    QByteArray colorMode; // "color", "monochrome"; empty: the printer's own

    // The printer's own settings: its default paper, portrait.
    static PrinterSettings ofPrinter(const printqueue::Printer& printer);
    // The same printer with other paper (one the printer offers) or
    // orientation.
    PrinterSettings withPage(const printqueue::Media& media,
                             QPageLayout::Orientation orientation) const;

    // The options the printer's queue gets with a job.
    QList<std::pair<QByteArray, QByteArray>> queueOptions() const;
};

// The papers a printer offers; for one that names none, the common sizes
// (without names: the document's page size decides).
QList<printqueue::Media> papersOf(const printqueue::Printer& printer);

// The page size of a paper: a standard size where it is one.
QPageSize pageSizeOf(const printqueue::Media& media);

} // namespace ostrel::print
