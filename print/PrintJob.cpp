#include "PrintJob.h"

#include "PrintSystem.h"
#include "PrintTexts.h"
#include "PrinterFont.h"
#include "PrinterSettings.h"
#include "core/UserError.h"
#include "os/Memory.h"
#include "os/OsTexts.h"
#include "os/PrintQueue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>

namespace ostrel::print {

namespace {

using printqueue::Cancel;
using printqueue::Unanswered;

// How long a job is watched after it was sent: long enough for the queue to
// take it (or to fail it), short enough not to hold up the window's print
// command for a printer that takes long to print.
constexpr int kWatchMilliseconds = 10000;
constexpr int kWatchInterval = 100;
// The document goes to the queue in pieces of this size.
constexpr qint64 kSendPiece = 256 * 1024;

const QString kInvalidPrinter = texts::print::invalidPrinter();

// Lets the window handle its events (repaint, input) while the job is drawn.
void handleEvents() {
    QCoreApplication::processEvents();
}

// Sends the document to the printer's queue; answers the job's number.
int send(const QString& printer, const printqueue::Job::Options& options, const QString& file,
         const Cancel& cancel) {
    QFile pdf(file);
    if (!pdf.open(QIODevice::ReadOnly))
        throw UserError(kInvalidPrinter);
    printqueue::Job job(printer, options, cancel);
    QByteArray piece;
    while (!(piece = pdf.read(kSendPiece)).isEmpty()) {
        // Given up: the job is taken back as it goes.
        if (cancel)
            throw Unanswered(Unanswered::Why::Cancelled, QString());
        job.write(piece);
    }
    if (pdf.error() != QFileDevice::NoError || cancel)
        throw Unanswered(Unanswered::Why::Cancelled, QString());
    return job.finish();
}

// Watches a job that was sent until it is printed or held, for a few
// seconds; raises when it fails. A print system that stops answering now
// has the job: it is not watched further.
void watch(const QString& printer, int id, const Cancel& cancel) {
    const QDeadlineTimer deadline(kWatchMilliseconds);
    for (;;) {
        printqueue::JobStatus status;
        try {
            status = printqueue::jobStatus(printer, id, cancel);
        } catch (const Unanswered&) {
            return;
        }
        switch (status.progress) {
        case printqueue::JobProgress::Printed:
        case printqueue::JobProgress::Held:
            return;
        case printqueue::JobProgress::Failed: {
            QString text;
            if (status.printerStopped) {
                // Left in the queue it would print whenever the printer is
                // started again, after the user was told it was not printed.
                try {
                    printqueue::cancelJob(printer, id, cancel);
                } catch (const Unanswered&) {
                }
                text = texts::print::printerStopped().arg(printer);
            } else {
                text = texts::print::jobNotPrinted().arg(printer).arg(id);
            }
            if (!status.reason.isEmpty())
                text += u'\n' + status.reason;
            throw UserError(text);
        }
        case printqueue::JobProgress::Waiting:
        case printqueue::JobProgress::Printing:
            break;
        }
        for (int waited = 0; waited < kWatchInterval && !cancel; waited += 20)
            QThread::msleep(20);
        if (deadline.hasExpired() || cancel)
            return;
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

bool drawPages(QPdfWriter& pdf, Document& document, const std::function<void()>& betweenPages) {
    QPainter painter;
    if (!painter.begin(&pdf))
        return false;
    const QFont font(printerFont(document.font), &pdf);
    painter.setFont(font);
    painter.setPen(document.color);
    const PrinterFont face(font, &pdf);
    const KeepFreedMemory keep;
    const QRectF area = pdf.pageLayout().paintRectPixels(pdf.resolution());
    PageLayout layout(face, int(std::floor(area.width())), int(std::floor(area.height())));

    bool first = true;
    auto draw = [&](const Page& page) {
        if (!first)
            pdf.newPage();
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
    const QString printer = settings.printer;
    try {
        // A printer that went away is not drawn for.
        const bool exists = askPrintSystem<bool>(
            Waiting::Modal, texts::print::waitingForPrinter(),
            [printer](const Cancel& cancel) { return printqueue::printerExists(printer, cancel); });
        if (!exists)
            throw UserError(kInvalidPrinter);
    } catch (const Unanswered& e) {
        if (e.why() == Unanswered::Why::Cancelled)
            return;
        throw unansweredError(e, kInvalidPrinter);
    }

    // The folder goes with the thread that sends its file, which may end
    // after this call when the user gives up waiting.
    auto folder = std::make_shared<QTemporaryDir>();
    const QString file = folder->filePath(QStringLiteral("job.pdf"));
    {
        QPdfWriter pdf(file);
        pdf.setResolution(kPrintResolution);
        pdf.setPageLayout(settings.layout);
        pdf.setTitle(QString());
        if (!folder->isValid() || !drawPages(pdf, document, handleEvents))
            throw UserError(kInvalidPrinter);
    }
    try {
        askPrintSystem(
            Waiting::Alongside, texts::print::printing(),
            [printer, options = settings.queueOptions(), folder, file](const Cancel& cancel) {
                const int id = send(printer, options, file, cancel);
                watch(printer, id, cancel);
            });
    } catch (const Unanswered& e) {
        if (e.why() == Unanswered::Why::Cancelled)
            return;
        throw unansweredError(e, texts::os::jobRefused().arg(printer));
    }
}

} // namespace ostrel::print
