// Printing a 10,000-line Japanese record: the page layout and the PDF drawn on
// a PDF, within a third of the time paps (Debian's text-to-PostScript
// printer) takes for the same text, in the same font and size. Also reported,
// for 100,000 lines and for one wrapped line of a million characters: the
// longest the window's events wait while the pages are drawn.
#include "BenchSupport.h"
#include "editor/Document.h"
#include "editor/Lines.h"
#include "editor/TextView.h"
#include "print/PrintJob.h"
#include "ui/Application.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

namespace {

// Lines of 10 to 70 characters, mostly kana and kanji, with punctuation,
// digits and now and then a tab or a line wider than the page. The kanji are
// the 2,965 of JIS level 1, used as often as in real text: the n-th most
// common as often as 1/n (in an order of their own), so that a few hundred
// make most of the text and nearly all of them appear.
QStringList record(int count) {
    QString kanji;
    QStringDecoder sjis("Shift_JIS");
    for (int lead = 0x88; lead <= 0x98; ++lead) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const char bytes[2] = {char(lead), char(trail)};
            const QString c = sjis.decode(QByteArrayView(bytes, 2));
            if (c.size() == 1 && c[0].unicode() >= 0x4E00 && c[0].unicode() <= 0x9FFF)
                kanji += c;
        }
    }
    QString kana;
    for (char16_t c = 0x3041; c <= 0x3093; ++c)
        kana += QChar(c);
    for (char16_t c = 0x30A1; c <= 0x30F6; ++c)
        kana += QChar(c);
    const QString marks = QStringLiteral("、。「」・ー０１２３４５６７８９");
    quint32 seed = 12345;
    auto next = [&seed](int n) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 8) % quint32(n));
    };
    for (qsizetype i = kanji.size() - 1; i > 0; --i)
        std::swap(kanji[i], kanji[next(int(i + 1))]);
    std::vector<double> common; // the share of the n most common
    double sum = 0;
    for (qsizetype n = 1; n <= kanji.size(); ++n)
        common.push_back(sum += 1.0 / double(n));
    auto someKanji = [&] {
        const double at = double(next(1 << 20)) / double(1 << 20) * sum;
        const auto rank = std::upper_bound(common.begin(), common.end(), at) - common.begin();
        return kanji[std::min<qsizetype>(rank, kanji.size() - 1)];
    };
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i) {
        QString line;
        const int length = 10 + next(61);
        for (int k = 0; k < length; ++k) {
            const int kind = next(100);
            if (kind < 55)
                line += kana[next(int(kana.size()))];
            else if (kind < 92)
                line += someKanji();
            else
                line += marks[next(int(marks.size()))];
        }
        if (i % 13 == 0)
            line.insert(line.size() / 2, u'\t');
        if (i % 97 == 0)
            line = line.repeated(4);
        lines.append(line);
    }
    return lines;
}

class Lines : public ostrel::print::LineSource {
public:
    explicit Lines(const QStringList& lines) : m_lines(lines) {}
    bool next(QString& line) override {
        if (m_next >= m_lines.size())
            return false;
        line = m_lines[m_next++];
        return true;
    }

private:
    const QStringList& m_lines;
    qsizetype m_next = 0;
};

// The lines of an editor as it shows them.
class EditorRows : public ostrel::print::LineSource {
public:
    explicit EditorRows(std::unique_ptr<ostrel::editor::Lines::Shown> rows)
        : m_rows(std::move(rows)) {}
    bool next(QString& line) override { return m_rows->next(line); }

private:
    std::unique_ptr<ostrel::editor::Lines::Shown> m_rows;
};

const QString kFont = QStringLiteral("IPAPGothic");

// Ostrel's printing to a PDF file, as a job draws it. Answers the longest
// pause between two pages (and before the first, and writing the file).
double printToPdf(std::unique_ptr<ostrel::print::LineSource> lines, const QString& file) {
    QPdfWriter printer(file);
    printer.setResolution(ostrel::print::kPrintResolution);
    printer.setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    ostrel::print::Document document;
    document.lines = std::move(lines);
    document.font = QFont(kFont, 9);
    document.color = Qt::black;
    QElapsedTimer pause;
    pause.start();
    double longest = 0;
    ostrel::print::drawPages(printer, document, [&] {
        longest = std::max(longest, double(pause.nsecsElapsed()) / 1e6);
        pause.restart();
    });
    return std::max(longest, double(pause.nsecsElapsed()) / 1e6);
}

void paps(const QString& text, const QString& output) {
    QProcess p;
    p.setStandardOutputFile(output);
    p.start(QStringLiteral("paps"),
            {QStringLiteral("--font=%1 9").arg(kFont), QStringLiteral("--paper=a4"), text});
    p.waitForFinished(-1);
}

} // namespace

int main(int argc, char** argv) {
    ostrel::Application app(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("paps")).isEmpty()) {
        std::printf("paps is not installed (scripts/setup.sh installs it)\n");
        return 1;
    }
    QTemporaryDir dir;
    const QStringList lines = record(10000);
    const QString text = dir.filePath(QStringLiteral("record.txt"));
    {
        QFile f(text);
        f.open(QIODevice::WriteOnly);
        f.write((lines.join(u'\n') + u'\n').toUtf8());
    }
    const QString pdf = dir.filePath(QStringLiteral("ostrel.pdf"));
    const QString ps = dir.filePath(QStringLiteral("paps.ps"));
    const bool ok = bench::compare(
        "print 10,000 Japanese lines to PDF",
        [&] { printToPdf(std::make_unique<Lines>(lines), pdf); }, [&] { paps(text, ps); }, 1.0 / 3);
    std::printf("  output: %lld bytes of PDF, %lld bytes of PostScript from paps\n",
                QFileInfo(pdf).size(), QFileInfo(ps).size());

    const QStringList large = record(100000);
    QElapsedTimer whole;
    whole.start();
    double longest = printToPdf(std::make_unique<Lines>(large), pdf);
    std::printf("print 100,000 lines: %.0f ms in all, the longest pause for the window's "
                "events %.1f ms\n",
                double(whole.elapsed()), longest);

    // One line of a million characters in an editor that wraps it.
    ostrel::editor::TextView editor;
    editor.resize(450, 350);
    editor.document()->setText(QStringLiteral("長い一行の記録").repeated(1000000 / 7));
    whole.restart();
    longest = printToPdf(std::make_unique<EditorRows>(editor.lines()->shown()), pdf);
    std::printf("print a wrapped line of 1,000,000 characters: %.0f ms in all, the longest "
                "pause for the window's events %.1f ms\n",
                double(whole.elapsed()), longest);
    return ok ? 0 : 1;
}
