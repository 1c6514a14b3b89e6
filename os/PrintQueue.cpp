// The print system is CUPS: its default printer and destinations, IPP
// requests for job and printer states, and jobs created and sent on a
// connection of their own.
#include "PrintQueue.h"

#include "core/UserError.h"

#include <cups/cups.h>

namespace ostrel::printqueue {

namespace {

bool failed(ipp_status_t status) {
    return status > IPP_STATUS_OK_EVENTS_COMPLETE;
}

QString lastErrorText() {
    return QString::fromUtf8(cupsLastErrorString());
}

// The print system could not be asked at all, as the platform reports it.
[[noreturn]] void raiseSystemError() {
    const int code = int(cupsLastError());
    QString description = lastErrorText();
    if (description.isEmpty())
        description = QStringLiteral("CUPS API 呼び出しに失敗しました");
    throw UserError(QStringLiteral("CUPS Error.  Code: %1.\n%2").arg(code).arg(description));
}

// The first value of an attribute, as text.
QString textOf(ipp_t* response, const char* name) {
    ipp_attribute_t* attr = ippFindAttribute(response, name, IPP_TAG_ZERO);
    if (!attr)
        return {};
    QStringList values;
    for (int i = 0; i < ippGetCount(attr); ++i) {
        const char* value = ippGetString(attr, i, nullptr);
        if (value && *value && qstrcmp(value, "none") != 0)
            values.append(QString::fromUtf8(value));
    }
    return values.join(QStringLiteral(", "));
}

int enumOf(ipp_t* response, const char* name) {
    ipp_attribute_t* attr = ippFindAttribute(response, name, IPP_TAG_ENUM);
    return attr ? ippGetInteger(attr, 0) : 0;
}

// Sends a request for a few attributes of the object named by `uri`.
ipp_t* ask(ipp_op_t operation, const char* uriName, const QByteArray& uri,
           std::initializer_list<const char*> attributes) {
    ipp_t* request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, uriName, nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    std::vector<const char*> names(attributes);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(names.size()), nullptr, names.data());
    return cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
}

QByteArray localUri(const char* format, const QByteArray& value) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     format, value.constData());
    return uri;
}

} // namespace

QString defaultPrinter() {
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    // No printer at all is not a failure of the print system.
    if (count == 0 && failed(cupsLastError()) && cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND)
        raiseSystemError();
    const cups_dest_t* found = cupsGetDest(nullptr, nullptr, count, dests);
    const QString name = found ? QString::fromUtf8(found->name) : QString();
    cupsFreeDests(count, dests);
    if (name.isEmpty())
        throw UserError(QStringLiteral("デフォルト プリンタが存在しません"));
    return name;
}

void requirePrinter(const QString& printer) {
    const QByteArray name = printer.toUtf8();
    cups_dest_t* dest =
        name.isEmpty() ? nullptr : cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.constData(), nullptr);
    if (!dest)
        throw UserError(QStringLiteral("選択したプリンタは有効ではありません"));
    cupsFreeDests(1, dest);
}

Job::Job(const QString& printer, const Options& options)
    : m_printer(printer), m_name(printer.toUtf8()) {
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
    m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000,
                          nullptr);
    if (!m_http)
        refused(lastErrorText());
    cups_option_t* list = nullptr;
    int count = 0;
    for (const auto& [name, value] : options)
        count = cupsAddOption(name.constData(), value.constData(), count, &list);
    m_id = cupsCreateJob(m_http, m_name.constData(), "", count, list);
    cupsFreeOptions(count, list);
    if (m_id == 0)
        refused(lastErrorText());
    if (cupsStartDocument(m_http, m_name.constData(), m_id, "", CUPS_FORMAT_PDF, 1) !=
        HTTP_STATUS_CONTINUE)
        refused(lastErrorText());
    m_sending = true;
}

void Job::close() {
    if (m_sending)
        cupsFinishDocument(m_http, m_name.constData());
    m_sending = false;
    if (m_id != 0 && !m_finished)
        cupsCancelJob2(m_http, m_name.constData(), m_id, 0);
    m_id = 0;
    if (m_http)
        httpClose(m_http);
    m_http = nullptr;
}

void Job::write(QByteArrayView data) {
    if (cupsWriteRequestData(m_http, data.data(), size_t(data.size())) != HTTP_STATUS_CONTINUE)
        refused(lastErrorText());
}

int Job::finish() {
    m_sending = false;
    if (failed(cupsFinishDocument(m_http, m_name.constData())))
        refused(lastErrorText());
    m_finished = true;
    return m_id;
}

void Job::refused(const QString& reason) {
    QString text = QStringLiteral("プリンタ %1 は印刷ジョブを受け付けませんでした").arg(m_printer);
    if (!reason.isEmpty())
        text += u'\n' + reason;
    throw UserError(text);
}

JobStatus jobStatus(const QString& printer, int job) {
    JobStatus status;
    ipp_t* jobAnswer =
        ask(IPP_OP_GET_JOB_ATTRIBUTES, "job-uri", localUri("/jobs/%s", QByteArray::number(job)),
            {"job-state", "job-state-reasons", "job-printer-state-message"});
    if (!jobAnswer || failed(cupsLastError())) {
        ippDelete(jobAnswer);
        raiseSystemError();
    }
    const int state = enumOf(jobAnswer, "job-state");
    QString jobReason = textOf(jobAnswer, "job-printer-state-message");
    if (jobReason.isEmpty())
        jobReason = textOf(jobAnswer, "job-state-reasons");
    ippDelete(jobAnswer);

    ipp_t* printerAnswer =
        ask(IPP_OP_GET_PRINTER_ATTRIBUTES, "printer-uri",
            localUri("/printers/%s", printer.toUtf8()), {"printer-state", "printer-state-message"});
    if (printerAnswer && !failed(cupsLastError())) {
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

bool cancelJob(const QString& printer, int job) {
    return !failed(cupsCancelJob2(CUPS_HTTP_DEFAULT, printer.toUtf8().constData(), job, 0));
}

} // namespace ostrel::printqueue
