#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <utility>

typedef struct _http_s http_t;

// The print system: its printers, the default one, and jobs sent to a
// printer's queue with their states. Every failure it reports is raised as a
// UserError with the text the user sees.
namespace ostrel::printqueue {

// The printer the system names as its default. Raises "デフォルト プリンタが
// 存在しません" when no printer is installed or none of them is the default,
// and the print system's error when it cannot be asked.
QString defaultPrinter();

// Raises "選択したプリンタは有効ではありません" when the printer cannot be
// opened: it is not (or no longer) installed, or the print system is gone.
void requirePrinter(const QString& printer);

// One job on a printer's queue, holding one PDF document that is sent in
// pieces. The job has no name.
class Job {
public:
    using Options = QList<std::pair<QByteArray, QByteArray>>;

    // Raises the print system's reason when the queue does not take the job.
    Job(const QString& printer, const Options& options);
    // A job whose document was not finished is cancelled.
    ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    void write(QByteArrayView data);
    // Ends the document; answers the job's number.
    int finish();

private:
    void open(const Options& options);
    // Ends what was begun: the document, a job not finished, the connection.
    void close();
    [[noreturn]] void refused(const QString& reason);

    QString m_printer;
    QByteArray m_name; // the printer's name as the print system takes it
    // A connection of the job's own: while the document is sent the window
    // goes on handling events, and other requests (the print dialog's
    // included) use the default one.
    http_t* m_http = nullptr;
    int m_id = 0;
    bool m_sending = false;
    bool m_finished = false;
};

// Where a job that was sent stands.
enum class JobProgress {
    Waiting,  // queued, the printer is ready to take it
    Printing, // the printer is taking it
    Held,     // held in the queue until someone releases it
    Printed,  // done
    Failed,   // aborted or cancelled, or it cannot go on: the printer is stopped
};

struct JobStatus {
    JobProgress progress = JobProgress::Waiting;
    bool printerStopped = false;
    // What the print system says about the job or the printer, if anything.
    QString reason;
};

// Raises the print system's error when the job cannot be asked for.
JobStatus jobStatus(const QString& printer, int job);

// Takes a job out of the queue; answers whether the print system did.
bool cancelJob(const QString& printer, int job);

} // namespace ostrel::printqueue
