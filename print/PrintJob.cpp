#include "PrintJob.h"

#include "PrinterFont.h"
#include "PrinterSettings.h"
#include "core/UserError.h"
#include "os/Memory.h"
#include "os/PrintQueue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>

namespace ostrel::print {

namespace {

// How long a job is watched after it was sent: long enough for the queue to
// take it (or to fail it), short enough not to hold up the window's print
// command for a printer that takes long to print.
constexpr int kWatchMilliseconds = 10000;
constexpr int kWatchInterval = 100;
// The document goes to the queue in pieces of this size, with the window's
// events handled between them.
constexpr qint64 kSendPiece = 256 * 1024;

// Lets the window handle its events (repaint, input) while the job runs.
void handleEvents() {
    QCoreApplication::processEvents();
}

void handleEventsFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Sends the document to the printer's queue; answers the job's number.
int send(const QString& printer, const QList<std::pair<QByteArray, QByteArray>>& options,
         const QString& file) {
    QFile pdf(file);
    if (!pdf.open(QIODevice::ReadOnly))
        throw UserError(QStringLiteral("選択したプリンタは有効ではありません"));
    printqueue::Job job(printer, options);
    QByteArray piece;
    while (!(piece = pdf.read(kSendPiece)).isEmpty()) {
        job.write(piece);
        handleEvents();
    }
    return job.finish();
}

void watch(const QString& printer, int id) {
    const QDeadlineTimer deadline(kWatchMilliseconds);
    for (;;) {
        const printqueue::JobStatus status = printqueue::jobStatus(printer, id);
        switch (status.progress) {
        case printqueue::JobProgress::Printed:
        case printqueue::JobProgress::Held:
            return;
        case printqueue::JobProgress::Failed: {
            QString text;
            if (status.printerStopped) {
                // Left in the queue it would print whenever the printer is
                // started again, after the user was told it was not printed.
                printqueue::cancelJob(printer, id);
                text = QStringLiteral("プリンタ %1 が停止しているため印刷できませんでした")
                           .arg(printer);
            } else {
                text = QStringLiteral("プリンタ %1 の印刷ジョブ %2 は印刷されませんでした")
                           .arg(printer)
                           .arg(id);
            }
            if (!status.reason.isEmpty())
                text += u'\n' + status.reason;
            throw UserError(text);
        }
        case printqueue::JobProgress::Waiting:
        case printqueue::JobProgress::Printing:
            break;
        }
        if (deadline.hasExpired())
            return;
        handleEventsFor(kWatchInterval);
    }
}

} // namespace

QFont printerFont(const QFont& editorFont) {
    QFont font = editorFont;
    if (font.pointSizeF() <= 0 && font.pixelSize() > 0) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
        font.setPointSizeF(font.pixelSize() * 72.0 / dpi);
    }
    return font;
}

bool drawPages(QPrinter& printer, Document& document, const std::function<void()>& betweenPages) {
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QFont font(printerFont(document.font), &printer);
    painter.setFont(font);
    painter.setPen(document.color);
    const PrinterFont face(font, &printer);
    const KeepFreedMemory keep;
    const QRectF area = printer.pageRect(QPrinter::DevicePixel);
    PageLayout layout(face, int(std::floor(area.width())), int(std::floor(area.height())));

    bool first = true;
    auto draw = [&](const Page& page) {
        if (!first)
            printer.newPage();
        first = false;
        for (const PlacedRun& run : page.runs)
            face.draw(painter, run.x, run.y, run.text);
        betweenPages();
    };
    QString line;
    while (document.lines->next(line)) {
        layout.addLine(line);
        for (const Page& page : layout.takeFinishedPages())
            draw(page);
    }
    draw(layout.finish());
    return painter.end();
}

void printDocument(const PrinterSettings& settings, Document& document) {
    printqueue::requirePrinter(settings.printer);

    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("job.pdf"));
    {
        QPrinter pdf(QPrinter::HighResolution);
        pdf.setOutputFormat(QPrinter::PdfFormat);
        pdf.setOutputFileName(file);
        pdf.setPageLayout(settings.printableLayout());
        pdf.setColorMode(settings.colorMode);
        pdf.setDocName(QString());
        if (!folder.isValid() || !drawPages(pdf, document, handleEvents))
            throw UserError(QStringLiteral("選択したプリンタは有効ではありません"));
    }
    const int id = send(settings.printer, settings.queueOptions(), file);
    watch(settings.printer, id);
}

} // namespace ostrel::print
