#include "PrinterSettings.h"

#include <QPrintEngine>

namespace ostrel::print {

namespace {

// The print engine property under which Qt keeps the job options chosen in
// the print dialog's properties (pages per sheet, banners, ...), as
// name/value pairs.
constexpr auto kJobOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);

} // namespace

PrinterSettings PrinterSettings::ofPrinter(const QString& printer) {
    QPrinter p(QPrinter::HighResolution);
    p.setPrinterName(printer);
    PrinterSettings s = takenFrom(p);
    s.printer = printer;
    return s;
}

PrinterSettings PrinterSettings::takenFrom(QPrinter& printer) {
    PrinterSettings s;
    s.printer = printer.printerName();
    s.layout = printer.pageLayout();
    s.copies = std::max(1, printer.copyCount());
    s.duplex = printer.duplex();
    s.colorMode = printer.colorMode();
    if (printer.printEngine())
        s.jobOptions = printer.printEngine()->property(kJobOptions).toStringList();
    return s;
}

void PrinterSettings::applyTo(QPrinter& printer) const {
    printer.setPrinterName(this->printer);
    printer.setPageLayout(layout);
    printer.setCopyCount(copies);
    printer.setDuplex(duplex);
    printer.setColorMode(colorMode);
    if (printer.printEngine() && !jobOptions.isEmpty())
        printer.printEngine()->setProperty(kJobOptions, jobOptions);
}

PrinterSettings PrinterSettings::withPage(const QPageSize& size,
                                          QPageLayout::Orientation orientation) const {
    QPrinter p(QPrinter::HighResolution);
    applyTo(p);
    p.setPageSize(size);
    p.setPageOrientation(orientation);
    PrinterSettings s = *this;
    s.layout = p.pageLayout();
    return s;
}

QPageLayout PrinterSettings::printableLayout() const {
    QPageLayout page = layout;
    page.setMargins(page.minimumMargins());
    return page;
}

QList<std::pair<QByteArray, QByteArray>> PrinterSettings::queueOptions() const {
    QList<std::pair<QByteArray, QByteArray>> options;
    auto add = [&](const QByteArray& name, const QByteArray& value) {
        options.append(std::make_pair(name, value));
    };
    const QString media = layout.pageSize().key();
    if (!media.isEmpty())
        add("media", media.toUtf8());
    // One copy is what the printer makes by itself unless set otherwise.
    if (copies > 1)
        add("copies", QByteArray::number(copies));
    switch (duplex) {
    case QPrinter::DuplexNone:
        add("sides", "one-sided");
        break;
    case QPrinter::DuplexAuto:
        add("sides", layout.orientation() == QPageLayout::Portrait ? "two-sided-long-edge"
                                                                   : "two-sided-short-edge");
        break;
    case QPrinter::DuplexLongSide:
        add("sides", "two-sided-long-edge");
        break;
    case QPrinter::DuplexShortSide:
        add("sides", "two-sided-short-edge");
        break;
    }
    // The pages of a landscape document are drawn turned already; the queue
    // is told so that it does not fit them on portrait paper.
    if (layout.orientation() == QPageLayout::Landscape)
        add("landscape", "");
    for (qsizetype i = 0; i + 1 < jobOptions.size(); i += 2)
        add(jobOptions[i].toUtf8(), jobOptions[i + 1].toUtf8());
    return options;
}

} // namespace ostrel::print
