// The print system is CUPS, asked with IPP requests on connections of our
// own: the library's shared connection waits for a silent scheduler for
// minutes, and the destination lists it builds browse the network besides.
#include "PrintQueue.h"

#include "OsTexts.h"
#include "core/UserError.h"

#include <QDeadlineTimer>
#include <QStringList>

#include <cups/cups.h>

#include <vector>

namespace ostrel::printqueue {

namespace {

std::atomic<int> g_patience{5000};

bool failed(ipp_status_t status) {
    return status > IPP_STATUS_OK_EVENTS_COMPLETE;
}

// What the print system said when it refused a request: its own words, or
// the name of its status. (Never an errno's text: a refusal is an answer.)
QString refusalText() {
    QString description = QString::fromUtf8(cupsLastErrorString());
    if (description.isEmpty())
        description = QString::fromUtf8(ippErrorString(cupsLastError()));
    return description;
}

// The print system refused to tell what it was asked, as the platform
// reports it.
[[noreturn]] void raiseRefusal() {
    throw UserError(
        QStringLiteral("CUPS Error.  Code: %1.\n%2").arg(int(cupsLastError())).arg(refusalText()));
}

const char* noPassword(const char*, http_t*, const char*, const char*, void*) {
    return nullptr;
}

} // namespace

int patience() {
    return g_patience;
}

void setPatience(int milliseconds) {
    g_patience = milliseconds;
}

// A connection to the print system whose every wait ends: when an answer
// takes longer than patience(), and when the cancel flag is set.
class Connection {
public:
    explicit Connection(const Cancel& cancel) : m_cancel(cancel) {
        // A request that wants a password would ask for it on the terminal.
        cupsSetPasswordCB2(noPassword, nullptr);
        m_server = QString::fromUtf8(cupsServer());
        if (m_cancel)
            throw Unanswered(Unanswered::Why::Cancelled, m_server);
        m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                              patience(), nullptr);
        if (!m_http)
            throw Unanswered(m_cancel ? Unanswered::Why::Cancelled : Unanswered::Why::Unreachable,
                             m_server);
        // The library calls back each time it has waited this long, and goes
        // on waiting only while the callback says so.
        httpSetTimeout(m_http, 0.1, &Connection::keepWaiting, this);
    }
    ~Connection() { httpClose(m_http); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    http_t* http() const { return m_http; }

    // Starts the time the next answer may take. `heedCancel` false: the
    // request is made whatever the flag says (taking back a job that was
    // begun).
    void expectAnswer(bool heedCancel = true) {
        m_deadline.setRemainingTime(patience());
        m_silent = false;
        m_heedCancel = heedCancel;
    }

    // Sends a request (which it takes) and answers the print system's
    // response; raises Unanswered when none came. Nothing when the print
    // system refused it without an IPP response (cupsLastError() tells).
    ipp_t* ask(ipp_t* request, const char* resource = "/") {
        expectAnswer();
        ipp_t* response = cupsDoRequest(m_http, request, resource);
        if (!response && transportFailed())
            raiseUnanswered();
        return response;
    }

    // After a call of the library failed: whether no answer came at all.
    bool transportFailed() const {
        return m_silent || cancelled() || httpGetStatus(m_http) == HTTP_STATUS_ERROR;
    }

    [[noreturn]] void raiseUnanswered() const {
        throw Unanswered(cancelled() ? Unanswered::Why::Cancelled
                         : m_silent  ? Unanswered::Why::Silent
                                     : Unanswered::Why::Unreachable,
                         m_server);
    }

private:
    bool cancelled() const { return m_heedCancel && m_cancel; }

    static int keepWaiting(http_t*, void* data) {
        auto* self = static_cast<Connection*>(data);
        if (self->cancelled())
            return 0;
        if (self->m_deadline.hasExpired()) {
            self->m_silent = true;
            return 0;
        }
        return 1;
    }

    const Cancel& m_cancel;
    QString m_server;
    http_t* m_http = nullptr;
    QDeadlineTimer m_deadline;
    bool m_silent = false;
    bool m_heedCancel = true;
};

namespace {

QByteArray localUri(const char* format, const QByteArray& value) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     format, value.constData());
    return uri;
}

// A request about the object named by the URI (none for the print system
// itself), asked as the user.
ipp_t* newRequest(ipp_op_t operation, const char* uriName = nullptr, const QByteArray& uri = {}) {
    ipp_t* request = ippNewRequest(operation);
    if (uriName)
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, uriName, nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    return request;
}

void askFor(ipp_t* request, std::initializer_list<const char*> attributes) {
    std::vector<const char*> names(attributes);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(names.size()), nullptr, names.data());
}

// The values of an attribute, as text ("none" left out).
QStringList textsOf(ipp_attribute_t* attr) {
    QStringList values;
    for (int i = 0; attr && i < ippGetCount(attr); ++i) {
        const char* value = ippGetString(attr, i, nullptr);
        if (value && *value && qstrcmp(value, "none") != 0)
            values.append(QString::fromUtf8(value));
    }
    return values;
}

QString textOf(ipp_t* response, const char* name) {
    return textsOf(ippFindAttribute(response, name, IPP_TAG_ZERO)).join(QStringLiteral(", "));
}

int enumOf(ipp_t* response, const char* name) {
    ipp_attribute_t* attr = ippFindAttribute(response, name, IPP_TAG_ENUM);
    return attr ? ippGetInteger(attr, 0) : 0;
}

QList<QByteArray> keywordsOf(ipp_attribute_t* attr) {
    QList<QByteArray> values;
    for (int i = 0; i < ippGetCount(attr); ++i)
        if (const char* value = ippGetString(attr, i, nullptr))
            values.append(value);
    return values;
}

int integerIn(ipp_t* collection, const char* name) {
    ipp_attribute_t* attr = ippFindAttribute(collection, name, IPP_TAG_INTEGER);
    return attr ? ippGetInteger(attr, 0) : 0;
}

// A "media-col" collection: the paper's size and margins.
Media mediaOf(ipp_t* col) {
    Media m;
    if (ipp_attribute_t* size = ippFindAttribute(col, "media-size", IPP_TAG_BEGIN_COLLECTION)) {
        ipp_t* dimensions = ippGetCollection(size, 0);
        m.width = integerIn(dimensions, "x-dimension");
        m.height = integerIn(dimensions, "y-dimension");
    }
    m.left = integerIn(col, "media-left-margin");
    m.top = integerIn(col, "media-top-margin");
    m.right = integerIn(col, "media-right-margin");
    m.bottom = integerIn(col, "media-bottom-margin");
    return m;
}

// The papers a printer names, each with the size and margins of its entry
// in the printer's media database (PPD sizes are a little off the nominal
// ones), else with the size its name tells.
QList<Media> mediaList(const QList<QByteArray>& names, const QList<Media>& database) {
    QList<Media> list;
    for (const QByteArray& name : names) {
        // Ranges of custom sizes, not sizes.
        if (name.startsWith("custom_min_") || name.startsWith("custom_max_"))
            continue;
        const pwg_media_t* pwg = pwgMediaForPWG(name.constData());
        if (!pwg || pwg->width <= 0 || pwg->length <= 0)
            continue;
        Media m;
        m.width = pwg->width;
        m.height = pwg->length;
        for (const Media& d : database) {
            if (qAbs(d.width - m.width) <= 100 && qAbs(d.height - m.height) <= 100) {
                m = d;
                break;
            }
        }
        m.name = name;
        list.append(m);
    }
    return list;
}

Printer printerOf(const std::vector<ipp_attribute_t*>& attributes) {
    Printer p;
    QList<QByteArray> mediaNames;
    QList<Media> database;
    for (ipp_attribute_t* attr : attributes) {
        const QByteArray name = ippGetName(attr);
        const QString text = textsOf(attr).join(QStringLiteral(", "));
        if (name == "printer-name")
            p.name = text;
        else if (name == "printer-info")
            p.info = text;
        else if (name == "printer-location")
            p.location = text;
        else if (name == "printer-state-message")
            p.stateMessage = text;
        else if (name == "printer-state")
            p.state = ippGetInteger(attr, 0) == IPP_PSTATE_STOPPED      ? Printer::State::Stopped
                      : ippGetInteger(attr, 0) == IPP_PSTATE_PROCESSING ? Printer::State::Printing
                                                                        : Printer::State::Idle;
        else if (name == "printer-is-accepting-jobs")
            p.acceptingJobs = ippGetBoolean(attr, 0);
        else if (name == "media-supported")
            mediaNames = keywordsOf(attr);
        else if (name == "media-default")
            p.defaultMedia = keywordsOf(attr).value(0);
        else if (name == "media-col-database")
            for (int i = 0; i < ippGetCount(attr); ++i)
                database.append(mediaOf(ippGetCollection(attr, i)));
        else if (name == "sides-supported")
            p.sides = keywordsOf(attr);
        else if (name == "sides-default")
            p.defaultSides = keywordsOf(attr).value(0);
        else if (name == "print-color-mode-supported")
            p.colorModes = keywordsOf(attr);
        else if (name == "print-color-mode-default")
            p.defaultColorMode = keywordsOf(attr).value(0);
    }
    p.media = mediaList(mediaNames, database);
    return p;
}

} // namespace

const Printer* Printers::find(const QString& name) const {
    for (const Printer& p : printers)
        if (p.name == name)
            return &p;
    return nullptr;
}

Printers printers(const Cancel& cancel) {
    Connection c(cancel);
    ipp_t* request = newRequest(IPP_OP_CUPS_GET_PRINTERS);
    askFor(request, {"printer-name", "printer-info", "printer-location", "printer-state",
                     "printer-state-message", "printer-is-accepting-jobs", "media-supported",
                     "media-default", "media-col-database", "sides-supported", "sides-default",
                     "print-color-mode-supported", "print-color-mode-default"});
    ipp_t* response = c.ask(request);
    Printers all;
    // No printer at all is not a failure of the print system.
    if (!response || failed(ippGetStatusCode(response))) {
        const bool none = cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND;
        ippDelete(response);
        if (!none)
            raiseRefusal();
        return all;
    }
    // Each printer's attributes form a group of their own.
    std::vector<ipp_attribute_t*> group;
    auto take = [&] {
        if (!group.empty())
            all.printers.append(printerOf(group));
        group.clear();
    };
    for (ipp_attribute_t* attr = ippFirstAttribute(response); attr;
         attr = ippNextAttribute(response)) {
        if (ippGetGroupTag(attr) == IPP_TAG_PRINTER && ippGetName(attr))
            group.push_back(attr);
        else
            take();
    }
    take();
    ippDelete(response);

    // The user's default (their settings, LPDEST or PRINTER), else the print
    // system's; only an installed printer counts.
    c.expectAnswer();
    const char* chosen = cupsGetDefault2(c.http());
    if (!chosen && c.transportFailed())
        c.raiseUnanswered();
    QString name = QString::fromUtf8(chosen);
    name = name.left(name.indexOf(u'/')); // an instance is the printer's
    if (all.find(name))
        all.defaultPrinter = name;
    return all;
}

bool printerExists(const QString& printer, const Cancel& cancel) {
    if (printer.isEmpty())
        return false;
    Connection c(cancel);
    ipp_t* request = newRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, "printer-uri",
                                localUri("/printers/%s", printer.toUtf8()));
    askFor(request, {"printer-name"});
    ipp_t* response = c.ask(request);
    const bool exists = response && !failed(ippGetStatusCode(response));
    ippDelete(response);
    return exists;
}

Job::Job(const QString& printer, const Options& options, const Cancel& cancel)
    : m_printer(printer), m_name(printer.toUtf8()),
      m_connection(std::make_unique<Connection>(cancel)) {
    // A destructor does not run for an object whose constructor throws.
    try {
        open(options);
    } catch (...) {
        close();
        throw;
    }
}

Job::~Job() {
    close();
}

void Job::open(const Options& options) {
    http_t* http = m_connection->http();
    // Asked for here rather than with the library's job functions, which
    // look the printer up on a connection of their own that waits for minutes.
    const QByteArray resource = "/printers/" + m_name;
    ipp_t* request = newRequest(IPP_OP_CREATE_JOB, "printer-uri", localUri("/printers/%s", m_name));
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "");
    cups_option_t* list = nullptr;
    int count = 0;
    for (const auto& [name, value] : options)
        count = cupsAddOption(name.constData(), value.constData(), count, &list);
    cupsEncodeOptions2(request, count, list, IPP_TAG_OPERATION);
    cupsEncodeOptions2(request, count, list, IPP_TAG_JOB);
    cupsFreeOptions(count, list);
    ipp_t* response = m_connection->ask(request, resource.constData());
    if (ipp_attribute_t* id = ippFindAttribute(response, "job-id", IPP_TAG_INTEGER);
        id && !failed(ippGetStatusCode(response)))
        m_id = ippGetInteger(id, 0);
    ippDelete(response);
    if (m_id == 0)
        refused();
    m_connection->expectAnswer();
    if (cupsStartDocument(http, m_name.constData(), m_id, "", CUPS_FORMAT_PDF, 1) !=
        HTTP_STATUS_CONTINUE)
        refused();
    m_sending = true;
}

void Job::close() {
    if (!m_connection)
        return;
    // What was begun is ended whatever the cancel flag says: a job left
    // half sent would wait in the queue.
    if (m_sending) {
        m_connection->expectAnswer(false);
        cupsFinishDocument(m_connection->http(), m_name.constData());
    }
    m_sending = false;
    if (m_id != 0 && !m_finished) {
        m_connection->expectAnswer(false);
        cupsCancelJob2(m_connection->http(), m_name.constData(), m_id, 0);
    }
    m_id = 0;
    m_connection.reset();
}

void Job::write(QByteArrayView data) {
    m_connection->expectAnswer();
    if (cupsWriteRequestData(m_connection->http(), data.data(), size_t(data.size())) !=
        HTTP_STATUS_CONTINUE)
        refused();
}

int Job::finish() {
    m_sending = false;
    m_connection->expectAnswer();
    if (failed(cupsFinishDocument(m_connection->http(), m_name.constData())))
        refused();
    m_finished = true;
    return m_id;
}

void Job::refused() {
    if (m_connection->transportFailed())
        m_connection->raiseUnanswered();
    QString text = texts::os::jobRefused().arg(m_printer);
    if (const QString reason = refusalText(); !reason.isEmpty())
        text += u'\n' + reason;
    throw UserError(text);
}

JobStatus jobStatus(const QString& printer, int job, const Cancel& cancel) {
    Connection c(cancel);
    JobStatus status;
    ipp_t* request = newRequest(IPP_OP_GET_JOB_ATTRIBUTES, "job-uri",
                                localUri("/jobs/%s", QByteArray::number(job)));
    askFor(request, {"job-state", "job-state-reasons", "job-printer-state-message"});
    ipp_t* jobAnswer = c.ask(request);
    if (!jobAnswer || failed(ippGetStatusCode(jobAnswer))) {
        ippDelete(jobAnswer);
        raiseRefusal();
    }
    const int state = enumOf(jobAnswer, "job-state");
    QString jobReason = textOf(jobAnswer, "job-printer-state-message");
    if (jobReason.isEmpty())
        jobReason = textOf(jobAnswer, "job-state-reasons");
    ippDelete(jobAnswer);

    request = newRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, "printer-uri",
                         localUri("/printers/%s", printer.toUtf8()));
    askFor(request, {"printer-state", "printer-state-message"});
    ipp_t* printerAnswer = c.ask(request);
    if (printerAnswer && !failed(ippGetStatusCode(printerAnswer))) {
        status.printerStopped = enumOf(printerAnswer, "printer-state") == IPP_PSTATE_STOPPED;
        if (status.printerStopped)
            status.reason = textOf(printerAnswer, "printer-state-message");
    }
    ippDelete(printerAnswer);
    if (status.reason.isEmpty())
        status.reason = jobReason;

    switch (state) {
    case IPP_JSTATE_COMPLETED:
        status.progress = JobProgress::Printed;
        break;
    case IPP_JSTATE_CANCELED:
    case IPP_JSTATE_ABORTED:
    case IPP_JSTATE_STOPPED:
        status.progress = JobProgress::Failed;
        break;
    case IPP_JSTATE_HELD:
        status.progress = JobProgress::Held;
        break;
    case IPP_JSTATE_PROCESSING:
        status.progress = status.printerStopped ? JobProgress::Failed : JobProgress::Printing;
        break;
    default:
        status.progress = status.printerStopped ? JobProgress::Failed : JobProgress::Waiting;
        break;
    }
    return status;
}

bool cancelJob(const QString& printer, int job, const Cancel& cancel) {
    Connection c(cancel);
    c.expectAnswer();
    if (!failed(cupsCancelJob2(c.http(), printer.toUtf8().constData(), job, 0)))
        return true;
    if (c.transportFailed())
        c.raiseUnanswered();
    return false;
}

} // namespace ostrel::printqueue
