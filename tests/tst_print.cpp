// Printing through the print system: the print and printer-setup commands
// driven through their dialogs, the PDFs that arrive from the PDF queue of
// the test run's own scheduler (scripts/print-queue.sh, reached through
// CUPS_SERVER), and the errors of the print system.
#include "TestMain.h"
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"

#include "core/UserError.h"
#include "dialogs/FontDialog.h"
#include "mainwindow/MainFrm.h"
#include "os/PrintQueue.h"
#include "print/CurrentPrinter.h"
#include "text/TextCodec.h"

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPdfWriter>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTextLayout>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <cups/cups.h>
#include <functional>
#include <memory>

using namespace testing;

namespace {

const QString kQueue = QStringLiteral("OstrelPDF");

QString output(const QString& program, const QStringList& args, int* status = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000))
        p.kill();
    if (status)
        *status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

bool run(const QString& program, const QStringList& args) {
    int status = 0;
    output(program, args, &status);
    return status == 0;
}

// Administration commands live in /usr/sbin.
QString admin(const QString& tool) {
    const QString sbin = QStringLiteral("/usr/sbin/") + tool;
    return QFileInfo::exists(sbin) ? sbin : tool;
}

// Why the print system cannot be used here, or nothing.
QString unavailable() {
    if (qEnvironmentVariable("OSTREL_TEST_PDFS").isEmpty())
        return QStringLiteral("not run by CTest, which starts the test scheduler");
    if (!output("lpstat", {"-r"}).contains("is running"))
        return QStringLiteral(
            "the test scheduler is not running (scripts/print-queue.sh starts it)");
    if (!output("lpstat", {"-d"}).contains(kQueue))
        return QStringLiteral("%1 is not the default printer (scripts/print-queue.sh adds it)")
            .arg(kQueue);
    if (!run(admin("cupsenable"), {kQueue}))
        return QStringLiteral("the queue cannot be administered by this user");
    return {};
}

QString pdfFolder() {
    return qEnvironmentVariable("OSTREL_TEST_PDFS");
}

// The test printer's description, for the queues a test adds.
const QString kPrinterDescription = QStringLiteral(OSTREL_SOURCE_DIR "/tests/OstrelPDF.ppd");

QStringList pdfs() {
    QStringList out;
    for (const QString& name : QDir(pdfFolder()).entryList({"*.pdf"}, QDir::Files, QDir::Name))
        out.append(pdfFolder() + u'/' + name);
    return out;
}

void clearPdfs() {
    for (const QString& f : pdfs())
        QFile::remove(f);
}

// Job numbers of a queue's jobs, finished or not.
QList<int> jobsOf(const QString& queue, bool completed) {
    QList<int> ids;
    const QString list =
        output("lpstat", {"-W", completed ? "completed" : "not-completed", "-o", queue});
    static const QRegularExpression id(QStringLiteral("^\\S+-(\\d+)\\s"),
                                       QRegularExpression::MultilineOption);
    for (auto it = id.globalMatch(list); it.hasNext();)
        ids.append(it.next().captured(1).toInt());
    return ids;
}

int lastJob(const QString& queue) {
    const QList<int> done = jobsOf(queue, true) + jobsOf(queue, false);
    return done.isEmpty() ? 0 : *std::max_element(done.begin(), done.end());
}

bool pdfComplete(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 8)
        return false;
    f.seek(f.size() - std::min<qint64>(f.size(), 32));
    return f.readAll().contains("%%EOF");
}

// Waits (at most 60 s) until the queue is idle and one PDF has arrived whole.
QString waitForPdf() {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 60000) {
        // Whole once the PDF writer has written its trailer.
        if (jobsOf(kQueue, false).isEmpty() && pdfs().size() == 1 && pdfComplete(pdfs().first()))
            return pdfs().first();
        QTest::qWait(100);
    }
    return {};
}

int pageCount(const QString& pdf) {
    static const QRegularExpression pages(QStringLiteral("Pages:\\s+(\\d+)"));
    return pages.match(output("pdfinfo", {pdf})).captured(1).toInt();
}

// A page's text lines, as pdftotext reads them (empty lines dropped).
QStringList pageLines(const QString& pdf, int page) {
    const QString n = QString::number(page);
    QStringList lines = output("pdftotext", {"-f", n, "-l", n, pdf, "-"}).split(u'\n');
    lines.removeIf([](const QString& l) { return l.trimmed().isEmpty() || l == "\f"; });
    for (QString& l : lines)
        l.remove(u'\f');
    lines.removeIf([](const QString& l) { return l.trimmed().isEmpty(); });
    return lines;
}

// Answers the next dialog of a kind that comes up (a print or printer-setup
// dialog), acting on it as `act` says, then pressing its OK button or, when
// `act` answers false, its cancel button.
class DialogAnswerer {
public:
    using Act = std::function<bool(QDialog*)>;
    DialogAnswerer() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    void answer(const QString& objectName, Act act) { m_queue.append({objectName, act}); }
    int pending() const { return int(m_queue.size()); }
    QStringList seen;

private:
    void poll() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || qobject_cast<QMessageBox*>(dialog) || !dialog->isVisible() ||
            dialog->property("ostrelAnswered").toBool() || m_queue.isEmpty())
            return;
        if (dialog->objectName() != m_queue.first().first)
            return;
        dialog->setProperty("ostrelAnswered", true);
        seen.append(dialog->objectName());
        const Act act = m_queue.takeFirst().second;
        const bool ok = !act || act(dialog);
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        for (QAbstractButton* b : buttons->buttons()) {
            const auto role = buttons->buttonRole(b);
            if ((ok && role == QDialogButtonBox::AcceptRole) ||
                (!ok && role == QDialogButtonBox::RejectRole)) {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        }
        qWarning("no %s button in %s", ok ? "OK" : "cancel", qPrintable(dialog->objectName()));
        dialog->reject();
    }
    QList<std::pair<QString, Act>> m_queue;
    QTimer m_timer;
};

// Waits until every answer was used (at most 30 s).
bool settled(const DialogAnswerer& dialogs, const BoxAnswerer& boxes) {
    return QTest::qWaitFor([&] { return dialogs.pending() == 0 && boxes.pending() == 0; }, 30000);
}

QByteArray shiftJis(const QString& text) {
    ostrel::TextFormat format;
    format.encoding = ostrel::TextEncoding::ShiftJis;
    format.lineBreak = ostrel::LineBreak::CRLF;
    return *ostrel::encodeText(text, format);
}

// A word of a page as pdftotext finds it, at its left edge and top in points.
struct Word {
    QString text;
    double x = 0;
    double y = 0;
};

QList<Word> words(const QString& pdf, int page) {
    const QString n = QString::number(page);
    const QString html = output("pdftotext", {"-bbox", "-f", n, "-l", n, pdf, "-"});
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"(-?[\\d.]+)\" yMin=\"(-?[\\d.]+)\"[^>]*>([^<]*)</word>"));
    QList<Word> out;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        out.append({m.captured(3), m.captured(1).toDouble(), m.captured(2).toDouble()});
    }
    return out;
}

// The number of copies a job asked the printer for, as the print system
// keeps it; 0 when it cannot be asked.
int copiesOf(int job) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/jobs/%d", job);
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "copies");
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    int copies = 0;
    if (response && ippGetStatusCode(response) <= IPP_STATUS_OK_EVENTS_COMPLETE) {
        ipp_attribute_t* attr = ippFindAttribute(response, "copies", IPP_TAG_INTEGER);
        copies = attr ? ippGetInteger(attr, 0) : 1; // not kept when 1
    }
    ippDelete(response);
    return copies;
}

// The printer font's measurements on the PDF queue's A4 paper at the
// resolution jobs are drawn at, in device pixels: the expected numbers.
struct Geometry {
    int width = 0;  // W
    int height = 0; // H
    int line = 0;   // text height + 2
    int tab = 0;    // T
    int charWidth(const QString& text) const { return metrics->horizontalAdvance(text); }
    std::shared_ptr<QFontMetrics> metrics;
    double points(int pixels) const { return pixels * 72.0 / 1200; }
    int linesPerPage() const { return height / line - 1; }
};

Geometry geometry(const QFont& editorFont, QPageLayout::Orientation orientation) {
    static QBuffer out;
    static QPdfWriter printer(&out);
    printer.setResolution(ostrel::print::kPrintResolution);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), orientation, QMarginsF()));
    Geometry g;
    g.metrics = std::make_shared<QFontMetrics>(QFont(editorFont, &printer), &printer);
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    g.width = page.width();
    g.height = page.height();
    g.line = g.metrics->height() + 2;
    g.tab = 8 * g.metrics->averageCharWidth();
    return g;
}

// Full-width digits: pdftotext reads them back, unlike ASCII mixed with
// Japanese after the PDF queue's conversions.
QString wide(int n) {
    QString s = QString::number(n);
    for (QChar& c : s)
        c = QChar(c.unicode() - u'0' + 0xFF10);
    return s;
}

// Starts the program on a data folder with the records a.txt (loaded) and
// b.txt, in Shift-JIS.
std::unique_ptr<Windows> start(const DataFolder& data, const QString& record, bool wrap = false) {
    QByteArray ini = defaultSettingsFile();
    if (!wrap)
        ini.replace("EDIT WORDWRAP=1", "EDIT WORDWRAP=0");
    data.write("Ostrel.ini", ini);
    data.write("メモ/a.txt", shiftJis(record));
    data.write("メモ/b.txt", shiftJis(QStringLiteral("別のレコード")));
    auto w = std::make_unique<Windows>();
    showMain(w->main);
    return w;
}

void clickRecord(TMainFrm* frm, int row) {
    const QRect r = frm->RecordLst->visualItemRect(frm->RecordLst->item(row));
    QTest::mouseClick(frm->RecordLst->viewport(), Qt::LeftButton, {}, r.center());
}

// Prints through the print dialog, pressing OK; answers the PDF that arrives.
QString printWithOk(TMainFrm* frm, DialogAnswerer::Act act = {}) {
    DialogAnswerer dialogs;
    BoxAnswerer boxes;
    dialogs.answer("PrintDialog", act);
    frm->PrintOutMnu->trigger();
    if (!settled(dialogs, boxes) || !boxes.seen().isEmpty())
        return {};
    return waitForPdf();
}

class Lines : public ostrel::print::LineSource {
public:
    explicit Lines(QStringList lines) : m_lines(std::move(lines)) {}
    bool next(QString& line) override {
        if (m_lines.isEmpty())
            return false;
        line = m_lines.takeFirst();
        return true;
    }

private:
    QStringList m_lines;
};

// All the text of a PDF, page by page.
QList<QStringList> pagesOf(const QString& pdf) {
    QList<QStringList> pages;
    for (int page = 1; page <= pageCount(pdf); ++page)
        pages.append(pageLines(pdf, page));
    return pages;
}

// Chooses a size and a colour in the font dialog, opened through its menu
// item, and presses OK, as a person does.
void chooseFont(TMainFrm* frm, int points, const QColor& color) {
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* colors = qobject_cast<QColorDialog*>(modal)) {
            // The colour dialog's HTML field ("#rrggbb").
            for (QLineEdit* e : colors->findChildren<QLineEdit*>()) {
                if (e->text().startsWith(u'#')) {
                    e->selectAll();
                    QTest::keyClicks(e, color.name());
                }
            }
            QTest::mouseClick(colors->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                              Qt::LeftButton);
        } else if (auto* fonts = qobject_cast<TFontDialog*>(modal)) {
            if (fonts->ColorBtn->text() != color.name()) {
                // Clicked from a timer of its own: the colour dialog's event
                // loop runs inside the click, and a timer does not fire again
                // while it runs.
                QTimer::singleShot(0, fonts->ColorBtn,
                                   [fonts] { QTest::mouseClick(fonts->ColorBtn, Qt::LeftButton); });
                return;
            }
            QListWidgetItem* size =
                fonts->SizeLst->findItems(QString::number(points), Qt::MatchExactly).value(0);
            QTest::mouseClick(fonts->SizeLst->viewport(), Qt::LeftButton, {},
                              fonts->SizeLst->visualItemRect(size).center());
            QTest::mouseClick(fonts->OkBtn, Qt::LeftButton);
            poll.stop();
        }
    });
    poll.start();
    frm->FontChangeMnu->trigger();
    QTRY_VERIFY(!poll.isActive());
}

// How many pixels of a page, drawn at 72 pixels per inch, are near a colour.
int pixelsNear(const QString& pdf, const QColor& color) {
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("page"));
    if (!run("pdftoppm", {"-r", "72", "-f", "1", "-l", "1", "-singlefile", "-png", pdf, base}))
        return -1;
    const QImage page(base + QStringLiteral(".png"));
    int n = 0;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            n += qAbs(c.red() - color.red()) + qAbs(c.green() - color.green()) +
                     qAbs(c.blue() - color.blue()) <
                 60;
        }
    }
    return n;
}

} // namespace

class TestPrint : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        const QString why = unavailable();
        if (!why.isEmpty())
            QSKIP(qPrintable("printing through CUPS is not possible here: " + why));
    }

    void init() {
        clearPdfs();
        run(admin("cupsenable"), {kQueue});
        run(admin("cupsaccept"), {kQueue});
        run(admin("lpadmin"), {"-d", kQueue});
    }

    // A Shift-JIS record with tabs, a line wider than the page, a form feed
    // and more lines than a page holds: pages and positions as laid out in
    // the editor's font from the top-left corner of the paper (the PDF queue
    // has no margins of its own).
    void printsTheRecordOnPages() {
        const QString longLine(100, QChar(u'漢'));
        QString text = "\t二\n一\t二\n" + longLine + "\n前半\f後半\n";
        for (int i = 1; i <= 150; ++i)
            text += "行" + wide(i) + u'\n';
        DataFolder data;
        const auto w = start(data, text);
        QCOMPARE(w->main->MainEdit->document()->toString(), text);
        const Geometry g = geometry(w->main->MainEdit->font(), QPageLayout::Portrait);
        const int perPage = g.linesPerPage();
        QVERIFY2(perPage > 76 && perPage < 150, qPrintable(QString::number(perPage)));

        const QString pdf = printWithOk(w->main);
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(pageCount(pdf), 3);

        // Page 1: a tab at 0, and one after a short run, both go to T; the
        // long line breaks after as many characters as fit in W.
        const QList<Word> first = words(pdf, 1);
        QCOMPARE(first.size(), 6);
        QCOMPARE(first[0].text, QStringLiteral("二"));
        QVERIFY(qAbs(first[0].x - g.points(g.tab)) < 0.01);
        QCOMPARE(first[1].text, QStringLiteral("一"));
        QCOMPARE(first[1].x, 0.0);
        QCOMPARE(first[2].text, QStringLiteral("二"));
        QVERIFY(qAbs(first[2].x - g.points(g.tab)) < 0.01);
        int fit = 0;
        while (g.charWidth(longLine.left(fit + 1)) <= g.width)
            ++fit;
        QCOMPARE(first[3].text, longLine.left(fit));
        QCOMPARE(first[4].text, longLine.mid(fit));
        QCOMPARE(first[4].x, 0.0);
        QCOMPARE(first[5].text, QStringLiteral("前半"));
        const double line = g.points(g.line);
        QVERIFY(qAbs(first[1].y - first[0].y - line) < 0.01);
        QVERIFY(qAbs(first[3].y - first[1].y - line) < 0.01);
        QVERIFY(qAbs(first[5].y - first[3].y - 2 * line) < 0.01);

        // Page 2: the rest of the form feed's line at the top-left corner,
        // then lines until the page holds floor(H / (t + 2)) - 1.
        const QList<Word> second = words(pdf, 2);
        QCOMPARE(second.size(), perPage);
        QCOMPARE(second.first().text, QStringLiteral("後半"));
        QCOMPARE(second.first().x, 0.0);
        QVERIFY(qAbs(second.first().y - (first[1].y - line)) < 0.01);
        QCOMPARE(second.last().text, "行" + wide(perPage - 1));
        QStringList third;
        for (int i = perPage; i <= 150; ++i)
            third.append("行" + wide(i));
        QCOMPARE(pageLines(pdf, 3), third);
    }

    // With word wrap on, each row the editor shows is a printed line; off,
    // the line is printed whole (it is narrower than the page).
    void printsTheLinesAsTheEditorShowsThem_data() {
        QTest::addColumn<bool>("wrap");
        QTest::newRow("word wrap on") << true;
        QTest::newRow("word wrap off") << false;
    }
    void printsTheLinesAsTheEditorShowsThem() {
        QFETCH(bool, wrap);
        const QString sentence = QStringLiteral("日本語の文章を折り返して表示します。");
        const QString text = sentence.repeated(3) + "\n最後の行\n";
        DataFolder data;
        const auto w = start(data, text, wrap);
        // The rows as the editor shows them: a row begins where the caret
        // would stand lower than one place before.
        const ostrel::editor::TextView* edit = w->main->MainEdit;
        const ostrel::editor::Document* doc = edit->document();
        QStringList shown;
        for (qsizetype line = 0; line < doc->lineCount(); ++line) {
            const qsizetype start = doc->lineStart(line), end = doc->lineEnd(line);
            if (start == end && line == doc->lineCount() - 1)
                break;
            qsizetype row = start;
            for (qsizetype p = start + 1; p < end; ++p) {
                if (edit->caretRect(p).y() > edit->caretRect(p - 1).y()) {
                    shown.append(doc->mid(row, p - row));
                    row = p;
                }
            }
            shown.append(doc->mid(row, end - row));
        }
        QCOMPARE(shown.size() > 2, wrap);

        const QString pdf = printWithOk(w->main);
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(pagesOf(pdf), QList<QStringList>{shown});
    }

    // Unsaved edits are printed as they stand; a text ending with a line
    // break prints no extra line; the record's file is not read.
    void printsUnsavedEdits() {
        DataFolder data;
        const auto w = start(data, QStringLiteral("保存済み\n"));
        w->main->MainEdit->setCaret(w->main->MainEdit->document()->length());
        w->main->MainEdit->setFocus();
        commitText(w->main->MainEdit, QStringLiteral("未保存の行\n"));
        QVERIFY(w->main->SaveDataBtn->isEnabled());
        const QString pdf = printWithOk(w->main);
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(pagesOf(pdf), (QList<QStringList>{{"保存済み", "未保存の行"}}));
    }

    // An editor with nothing in it (a group without records) prints one
    // empty page, through the tool button.
    void emptyEditorPrintsOneEmptyPage() {
        DataFolder data;
        data.write("Ostrel.ini", defaultSettingsFile());
        data.addGroup("空");
        Windows w;
        showMain(w.main);
        QVERIFY(!w.main->MainEdit->isEnabled());
        DialogAnswerer dialogs;
        BoxAnswerer boxes;
        dialogs.answer("PrintDialog", {});
        QTest::mouseClick(w.main->PrintBtn, Qt::LeftButton);
        QVERIFY(settled(dialogs, boxes));
        const QString pdf = waitForPdf();
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(pageCount(pdf), 1);
        QCOMPARE(pageLines(pdf, 1), QStringList());
    }

    // The font chosen in the font dialog is the printer font: its size sets
    // the line height, its colour the text's.
    void printsInTheFontChosenInTheFontDialog() {
        DataFolder data;
        const auto w = start(data, QStringLiteral("一行目\n二行目\n三行目\n"));
        const double small = geometry(w->main->MainEdit->font(), QPageLayout::Portrait).line;
        chooseFont(w->main, 20, Qt::red);
        QCOMPARE(w->main->MainEdit->font().pointSize(), 20);
        const Geometry g = geometry(w->main->MainEdit->font(), QPageLayout::Portrait);
        QVERIFY(g.line > 2 * small);

        const QString pdf = printWithOk(w->main);
        QVERIFY(!pdf.isEmpty());
        const QList<Word> page = words(pdf, 1);
        QCOMPARE(page.size(), 3);
        QCOMPARE(page[2].text, QStringLiteral("三行目"));
        QVERIFY(qAbs(page[1].y - page[0].y - g.points(g.line)) < 0.01);
        QVERIFY(qAbs(page[2].y - page[1].y - g.points(g.line)) < 0.01);
        // Red text, nothing in the window-text colour (black here).
        QVERIFY(pixelsNear(pdf, Qt::red) > 50);
        QCOMPARE(pixelsNear(pdf, Qt::black), 0);
    }

    void cancelPrintsNothing() {
        DataFolder data;
        const auto w = start(data, QStringLiteral("本文"));
        const int before = lastJob(kQueue);
        DialogAnswerer dialogs;
        BoxAnswerer boxes;
        dialogs.answer("PrintDialog", [](QDialog*) { return false; });
        w->main->PrintOutMnu->trigger();
        QVERIFY(settled(dialogs, boxes));
        // The command is over: a job it sent would be in the queue by now.
        QCOMPARE(lastJob(kQueue), before);
        QVERIFY(pdfs().isEmpty());
        QVERIFY(boxes.seen().isEmpty());
    }

    // The number of copies chosen in the print dialog is handed to the
    // printer with the one document.
    void copiesGoToThePrinter() {
        DataFolder data;
        const auto w = start(data, QStringLiteral("三部"));
        const QString pdf = printWithOk(w->main, [](QDialog* dialog) {
            auto* copies = dialog->findChild<QSpinBox*>(QStringLiteral("copies"));
            if (!copies)
                return false;
            copies->setValue(3);
            return true;
        });
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(pageCount(pdf), 1);
        QCOMPARE(copiesOf(lastJob(kQueue)), 3);
    }

    // The printer-setup dialog: the printer, paper and orientation chosen
    // there are used by the next print and offered by its dialog.
    void setupChoosesPrinterAndOrientation() {
        const QString other = QStringLiteral("OstrelPDF2");
        QVERIFY(run(admin("lpadmin"),
                    {"-p", other, "-E", "-v", "ostrel-pdf:/", "-P", kPrinterDescription}));
        const auto removed = qScopeGuard([&] { run(admin("lpadmin"), {"-x", other}); });
        const QString longLine(120, QChar(u'横'));
        DataFolder data;
        const auto w = start(data, longLine);

        DialogAnswerer dialogs;
        BoxAnswerer boxes;
        dialogs.answer("PrinterSetupDialog", [&](QDialog* dialog) {
            dialog->findChild<QComboBox*>("PrinterCmb")->setCurrentText(other);
            dialog->findChild<QRadioButton*>("LandscapeRdb")->setChecked(true);
            return true;
        });
        w->main->PrinterSetupMnu->trigger();
        QVERIFY(settled(dialogs, boxes));

        QString offered;
        const QString pdf = printWithOk(w->main, [&](QDialog* dialog) {
            offered = dialog->findChild<QComboBox*>(QStringLiteral("printers"))->currentText();
            return true;
        });
        QCOMPARE(offered, other);
        QVERIFY(!pdf.isEmpty());
        QVERIFY(!jobsOf(other, true).isEmpty());
        // Landscape: the wider W breaks the line later than on portrait paper
        // (the queue turns the page onto its A4 sheet).
        const Geometry g = geometry(w->main->MainEdit->font(), QPageLayout::Landscape);
        int fit = 0;
        while (g.charWidth(longLine.left(fit + 1)) <= g.width)
            ++fit;
        QVERIFY(fit < longLine.size());
        QVERIFY(fit > geometry(w->main->MainEdit->font(), QPageLayout::Portrait).width /
                          g.charWidth(longLine.left(1)));
        QCOMPARE(pageLines(pdf, 1), (QStringList{longLine.left(fit), longLine.mid(fit)}));
    }

    // A current printer that went away after it was chosen.
    void printerThatCannotBeOpened() {
        ostrel::printqueue::Printer gone;
        gone.name = QStringLiteral("OstrelNoSuchPrinter");
        const ostrel::print::PrinterSettings settings =
            ostrel::print::PrinterSettings::ofPrinter(gone);
        ostrel::print::Document document;
        document.lines = std::make_unique<Lines>(QStringList{"本文"});
        const int before = lastJob(kQueue);
        try {
            ostrel::print::printDocument(settings, document);
            QFAIL("printed on a printer that does not exist");
        } catch (const ostrel::UserError& e) {
            QCOMPARE(e.message(), QStringLiteral("選択したプリンタは有効ではありません"));
        }
        QCOMPARE(lastJob(kQueue), before);
    }

    // With no default printer neither dialog opens.
    void noDefaultPrinter_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("print") << "PrintOutMnu";
        QTest::newRow("printer setup") << "PrinterSetupMnu";
    }
    void noDefaultPrinter() {
        QFETCH(QString, command);
        DataFolder data;
        const auto w = start(data, QStringLiteral("本文"));
        run(admin("lpadmin"),
            {"-p", "OstrelGone", "-v", "ostrel-pdf:/", "-P", kPrinterDescription});
        run(admin("lpadmin"), {"-d", "OstrelGone"});
        run(admin("lpadmin"), {"-x", "OstrelGone"});
        const auto restored = qScopeGuard([] { run(admin("lpadmin"), {"-d", kQueue}); });
        QVERIFY(!output("lpstat", {"-d"}).contains(kQueue));

        BoxAnswerer boxes;
        boxes.answer("OK");
        w->main->findChild<QAction*>(command)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return boxes.pending() == 0; }, 10000));
        QCOMPARE(boxes.texts(), QStringList{"デフォルト プリンタが存在しません."});
        QCOMPARE(boxes.seen().first().title, QStringLiteral("OSTREL"));
        QCOMPARE(boxes.seen().first().icon, int(QMessageBox::Critical));
    }

    // A queue that refuses the job, or a stopped printer, is reported and
    // the job is not left to print later.
    void queueFailuresAreReported_data() {
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("restart");
        QTest::addColumn<QString>("error");
        QTest::newRow("rejecting jobs") << "cupsreject"
                                        << "cupsaccept"
                                        << "プリンタ OstrelPDF は印刷ジョブを受け付けませんでした";
        QTest::newRow("stopped") << "cupsdisable"
                                 << "cupsenable"
                                 << "プリンタ OstrelPDF が停止しているため印刷できませんでした";
    }
    void queueFailuresAreReported() {
        QFETCH(QString, stop);
        QFETCH(QString, restart);
        QFETCH(QString, error);
        DataFolder data;
        const auto w = start(data, QStringLiteral("本文"));
        QVERIFY(run(admin(stop), {kQueue}));
        auto restarted = qScopeGuard([&] { run(admin(restart), {kQueue}); });

        DialogAnswerer dialogs;
        BoxAnswerer boxes;
        dialogs.answer("PrintDialog", {});
        boxes.answer("OK");
        w->main->PrintOutMnu->trigger();
        QVERIFY(settled(dialogs, boxes));
        QCOMPARE(boxes.seen().size(), 1);
        QVERIFY2(boxes.texts().first().startsWith(error), qPrintable(boxes.texts().first()));
        QCOMPARE(boxes.seen().first().icon, int(QMessageBox::Critical));

        restarted.dismiss();
        run(admin(restart), {kQueue});
        QTest::qWait(2000);
        QVERIFY(jobsOf(kQueue, false).isEmpty());
        QVERIFY(pdfs().isEmpty());
    }

    // What the user does while the job runs (the window handles its events
    // meanwhile) does not change what it prints: typing, another record, a
    // second print or a printer setup confirmed (both answered "印刷中"),
    // closing the window.
    void inputDuringAJob() {
        DataFolder data;
        QString text;
        for (int i = 1; i <= 200; ++i)
            text += "元の行" + wide(i) + u'\n';
        const auto w = start(data, text);
        TMainFrm* frm = w->main;
        const int before = lastJob(kQueue);

        DialogAnswerer dialogs;
        BoxAnswerer boxes;
        dialogs.answer("PrintDialog", {});
        dialogs.answer("PrintDialog", {});
        dialogs.answer("PrinterSetupDialog", [](QDialog* dialog) {
            dialog->findChild<QRadioButton*>("LandscapeRdb")->setChecked(true);
            return true;
        });
        boxes.answer({"OK", "OK", "いいえ(&N)"});
        QStringList duringJob;
        QTimer meanwhile;
        meanwhile.setInterval(5);
        QObject::connect(&meanwhile, &QTimer::timeout, [&] {
            if (!frm->Printer->jobOpen())
                return;
            meanwhile.stop();
            frm->PrintOutMnu->trigger();
            frm->PrinterSetupMnu->trigger();
            frm->MainEdit->setFocus();
            commitText(frm->MainEdit, QStringLiteral("打ち込んだ"));
            clickRecord(frm, 1);
            duringJob.append(frm->MainEdit->document()->toString());
            frm->close();
            duringJob.append(frm->isVisible() ? "open" : "closed");
        });
        meanwhile.start();
        frm->PrintOutMnu->trigger();
        QVERIFY(settled(dialogs, boxes));
        QCOMPARE(boxes.seen().size(), 3); // the last one: save the edits?
        QCOMPARE(boxes.texts().mid(0, 2), (QStringList{"印刷中.", "印刷中."}));
        QCOMPARE(duringJob, (QStringList{"別のレコード", "closed"}));
        QVERIFY(!frm->Printer->jobOpen());
        QCOMPARE(frm->Printer->settings()->layout.orientation(), QPageLayout::Portrait);

        const QString pdf = waitForPdf();
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(lastJob(kQueue), before + 1);
        QStringList printed;
        for (const QStringList& page : pagesOf(pdf))
            printed += page;
        QCOMPARE(printed.join(u'\n') + u'\n', text);
    }
};

OSTREL_TEST_MAIN(TestPrint)
#include "tst_print.moc"
