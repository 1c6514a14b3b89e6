#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <atomic>
#include <exception>
#include <memory>
#include <utility>

// The print system: its printers, the default one, and jobs sent to a
// printer's queue with their states.
//
// Every call waits for the print system, so none is made on the window's
// thread: each call asks on a connection of its own, gives up when the
// print system stays silent longer than patience() allows (a scheduler that
// accepts the connection and never answers included), and gives up at once
// when its cancel flag is set. A print system that cannot be asked raises
// Unanswered; what the print system answers with a refusal raises a
// UserError with the text the user sees.
namespace ostrel::printqueue {

// How long one request may wait for the print system's answer, in
// milliseconds (tests shorten it).
int patience();
void setPatience(int milliseconds);

// Set by another thread to make a call give up.
using Cancel = std::atomic<bool>;

// The print system could not be asked.
class Unanswered : public std::exception {
public:
    enum class Why {
        Unreachable, // nothing answers where the print system should be
        Silent,      // connected, but no answer within patience()
        Cancelled,   // the cancel flag was set
    };
    Unanswered(Why why, QString server) : m_why(why), m_server(std::move(server)) {}
    Why why() const { return m_why; }
    // The print system's place as the user's settings name it (a socket's
    // path, a host).
    const QString& server() const { return m_server; }
    const char* what() const noexcept override { return "the print system did not answer"; }

private:
    Why m_why;
    QString m_server;
};

// A paper size a printer offers, in hundredths of millimetres, with the
// margins it cannot print on (as the paper lies in portrait).
struct Media {
    QByteArray name; // the print system's (PWG) name, as a job asks for it
    int width = 0;
    int height = 0;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct Printer {
    QString name;
    QString info; // the description its administrator gave
    QString location;
    enum class State { Idle, Printing, Stopped } state = State::Idle;
    QString stateMessage;
    bool acceptingJobs = true;
    QList<Media> media; // in the printer's order
    QByteArray defaultMedia;
    QList<QByteArray> sides; // "one-sided", "two-sided-long-edge", ...
    QByteArray defaultSides;
    QList<QByteArray> colorModes; // "color", "monochrome"
    QByteArray defaultColorMode;
};

struct Printers {
    QList<Printer> printers;
    // The printer the user's settings or the print system name as the
    // default, when it is installed; empty otherwise.
    QString defaultPrinter;
    const Printer* find(const QString& name) const;
};

// Every printer with what the dialogs show of it, and the default one.
// Raises "CUPS Error.  Code: …" when the print system refuses to list them.
Printers printers(const Cancel& cancel);

// Whether the printer is installed.
bool printerExists(const QString& printer, const Cancel& cancel);

class Connection;

// One job on a printer's queue, holding one PDF document that is sent in
// pieces. The job has no name.
class Job {
public:
    using Options = QList<std::pair<QByteArray, QByteArray>>;

    // Raises the print system's reason when the queue does not take the job.
    Job(const QString& printer, const Options& options, const Cancel& cancel);
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
    [[noreturn]] void refused();

    QString m_printer;
    QByteArray m_name; // the printer's name as the print system takes it
    std::unique_ptr<Connection> m_connection;
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

JobStatus jobStatus(const QString& printer, int job, const Cancel& cancel);

// Takes a job out of the queue; answers whether the print system did (and
// raises Unanswered when it did not answer).
bool cancelJob(const QString& printer, int job, const Cancel& cancel);

} // namespace ostrel::printqueue
