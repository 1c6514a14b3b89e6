#include "PrinterSettings.h"

#include <QMarginsF>
#include <QSizeF>

namespace ostrel::print {

namespace {

// Hundredths of millimetres in millimetres.
qreal mm(int hundredths) {
    return hundredths / 100.0;
}

QPageLayout layoutOf(const printqueue::Media& media, QPageLayout::Orientation orientation) {
    QMarginsF margins(mm(media.left), mm(media.top), mm(media.right), mm(media.bottom));
    // A landscape page lies on the paper turned a quarter counter-clockwise:
    // its top along the paper's left edge, its left along the paper's bottom.
    if (orientation == QPageLayout::Landscape)
        margins = QMarginsF(mm(media.bottom), mm(media.left), mm(media.top), mm(media.right));
    return QPageLayout(pageSizeOf(media), orientation, margins, QPageLayout::Millimeter);
}

} // namespace

QPageSize pageSizeOf(const printqueue::Media& media) {
    return QPageSize(QSizeF(mm(media.width), mm(media.height)), QPageSize::Millimeter, QString(),
                     QPageSize::FuzzyMatch);
}

QList<printqueue::Media> papersOf(const printqueue::Printer& printer) {
    if (!printer.media.isEmpty())
        return printer.media;
    QList<printqueue::Media> common;
    for (auto id : {QPageSize::A4, QPageSize::A3, QPageSize::A5, QPageSize::B4, QPageSize::B5,
                    QPageSize::Letter, QPageSize::Legal}) {
        const QSizeF size = QPageSize::size(id, QPageSize::Millimeter);
        printqueue::Media m;
        m.width = qRound(size.width() * 100);
        m.height = qRound(size.height() * 100);
        common.append(m);
    }
    return common;
}

PrinterSettings PrinterSettings::ofPrinter(const printqueue::Printer& printer) {
    const QList<printqueue::Media> papers = papersOf(printer);
    printqueue::Media paper = papers.first();
    for (const printqueue::Media& m : papers)
        if (!m.name.isEmpty() && m.name == printer.defaultMedia)
            paper = m;
    PrinterSettings s;
    s.printer = printer.name;
    s.media = paper.name;
    s.layout = layoutOf(paper, QPageLayout::Portrait);
    s.sides = printer.defaultSides;
    s.colorMode = printer.defaultColorMode;
    return s;
}

PrinterSettings PrinterSettings::withPage(const printqueue::Media& paper,
                                          QPageLayout::Orientation orientation) const {
    PrinterSettings s = *this;
    s.media = paper.name;
    s.layout = layoutOf(paper, orientation);
    return s;
}

QList<std::pair<QByteArray, QByteArray>> PrinterSettings::queueOptions() const {
    QList<std::pair<QByteArray, QByteArray>> options;
    if (!media.isEmpty())
        options.append({"media", media});
    // One copy is what the printer makes by itself unless set otherwise.
    if (copies > 1)
        options.append({"copies", QByteArray::number(copies)});
    if (!sides.isEmpty())
        options.append({"sides", sides});
    if (!colorMode.isEmpty())
        options.append({"print-color-mode", colorMode});
    // The pages of a landscape document are drawn turned already; the queue
    // is told so that it does not fit them on portrait paper.
    if (layout.orientation() == QPageLayout::Landscape)
        options.append({"landscape", QByteArray()});
    return options;
}

} // namespace ostrel::print
