// The page layout of a print job, with exact numbers from a printer font of
// fixed widths.
#include "print/PrintLayout.h"

#include <QTest>
#include <QTextBoundaryFinder>

using namespace ostrel::print;

namespace {

// Cell height 11, text height 12 (a line with text advances by 14), average
// width 10 (tab stops every 80). Widths: "i" 1, a combining mark 1, a lone
// surrogate 1, kana and kanji 20, "W" 250, any other character 10.
class FixedMeasure : public FontMeasure {
public:
    int cellHeight() const override { return 11; }
    int textHeight() const override { return 12; }
    int averageCharWidth() const override { return 10; }
    int width(QStringView run) const override {
        int w = 0;
        for (qsizetype i = 0; i < run.size(); ++i) {
            const QChar ch = run[i];
            if (ch.isHighSurrogate() && i + 1 < run.size() && run[i + 1].isLowSurrogate()) {
                w += 10;
                ++i;
            } else if (ch.isSurrogate() || ch == u'i' || ch.category() == QChar::Mark_NonSpacing) {
                w += 1;
            } else if (ch.unicode() >= 0x3000) {
                w += 20;
            } else if (ch == u'W') {
                w += 250;
            } else {
                w += 10;
            }
        }
        return w;
    }
};

// Pages as text: one item per page, its runs as "x,y text" joined by " | ".
QStringList describe(const std::vector<Page>& pages) {
    QStringList out;
    for (const Page& page : pages) {
        QStringList runs;
        for (const PlacedRun& r : page.runs)
            runs.append(QStringLiteral("%1,%2 %3").arg(r.x).arg(r.y).arg(r.text));
        out.append(runs.join(QStringLiteral(" | ")));
    }
    return out;
}

QStringList numbered(int count) {
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines.append(QString::number(i));
    return lines;
}

} // namespace

class TestPrintLayout : public QObject {
    Q_OBJECT

private slots:
    void layout_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QStringList>("pages");
        const QString a9 = QStringLiteral("aaaaaaaaa");

        QTest::newRow("no lines: one empty page") << QStringList() << 100 << 100 << QStringList{""};
        QTest::newRow("lines with text advance by text height + 2, empty ones by the cell")
            << QStringList{"ab", "", "", "c"} << 100 << 100 << QStringList{"0,0 ab | 0,36 c"};
        // floor(100 / 14) - 1 = 6 lines a page; the break after the sixth
        // leaves an empty last page.
        QTest::newRow("six text lines fill a page of 100")
            << numbered(6) << 100 << 100
            << QStringList{"0,0 1 | 0,14 2 | 0,28 3 | 0,42 4 | 0,56 5 | 0,70 6", ""};
        QTest::newRow("the seventh starts the next page")
            << numbered(7) << 100 << 100
            << QStringList{"0,0 1 | 0,14 2 | 0,28 3 | 0,42 4 | 0,56 5 | 0,70 6", "0,0 7"};
        QTest::newRow("after empty lines only passing H breaks the page")
            << (numbered(5) << ""
                            << ""
                            << "x")
            << 100 << 100 << QStringList{"0,0 1 | 0,14 2 | 0,28 3 | 0,42 4 | 0,56 5 | 0,92 x", ""};
        QTest::newRow("three empty lines from 70 pass H")
            << (numbered(5) << ""
                            << ""
                            << ""
                            << "x")
            << 100 << 100 << QStringList{"0,0 1 | 0,14 2 | 0,28 3 | 0,42 4 | 0,56 5", "0,0 x"};

        QTest::newRow("tab at 0 goes to T")
            << QStringList{"\tb"} << 200 << 100 << QStringList{"80,0 b"};
        QTest::newRow("tab at T - 1 goes to 2T") << QStringList{"aaaaaaaiiiiiiiii\tb"} << 200 << 100
                                                 << QStringList{"0,0 aaaaaaaiiiiiiiii | 160,0 b"};
        QTest::newRow("tab at T - 2 goes to T") << QStringList{"aaaaaaaiiiiiiii\tb"} << 200 << 100
                                                << QStringList{"0,0 aaaaaaaiiiiiiii | 80,0 b"};
        QTest::newRow("tab at T goes to 2T")
            << QStringList{"aaaaaaaa\tb"} << 200 << 100 << QStringList{"0,0 aaaaaaaa | 160,0 b"};
        QTest::newRow("tab past W starts a new line")
            << QStringList{a9 + "\tb"} << 100 << 100 << QStringList{"0,0 " + a9 + " | 0,14 b"};
        QTest::newRow("tab stops count from the left edge of a continued line")
            << QStringList{"aaaaaaaaaaaa\tb"} << 100 << 100
            << QStringList{"0,0 aaaaaaaaaa | 0,14 aa | 80,14 b"};
        QTest::newRow("a line of tabs only advances by the cell height")
            << QStringList{"\t", "a"} << 200 << 100 << QStringList{"0,11 a"};
        QTest::newRow("tabs past W on an empty line: two cell heights")
            << QStringList{"\t\t", "a"} << 100 << 100 << QStringList{"0,22 a"};

        QTest::newRow("line feed ends the output line")
            << QStringList{"ab\ncd", "e"} << 100 << 100 << QStringList{"0,0 ab | 0,14 cd | 0,28 e"};
        QTest::newRow("carriage return only ends the run")
            << QStringList{"ab\rcd"} << 100 << 100 << QStringList{"0,0 ab | 20,0 cd"};
        QTest::newRow("form feed: the rest of the line at the top of the next page")
            << QStringList{"a\fb", "c"} << 100 << 100 << QStringList{"0,0 a", "0,0 b | 0,14 c"};
        QTest::newRow("form feed alone: two empty pages")
            << QStringList{"\f"} << 100 << 100 << QStringList{"", ""};

        QTest::newRow("a long line continues at the left edge")
            << QStringList{QString(25, u'a')} << 100 << 100
            << QStringList{"0,0 aaaaaaaaaa | 0,14 aaaaaaaaaa | 0,28 aaaaa"};
        QTest::newRow("kana break between characters")
            << QStringList{"あいうえおかき"} << 100 << 100
            << QStringList{"0,0 あいうえお | 0,14 かき"};
        QTest::newRow("a surrogate pair is not split")
            << QStringList{a9 + "😀😀"} << 100 << 100 << QStringList{"0,0 " + a9 + "😀 | 0,14 😀"};
        QTest::newRow("a base character keeps its combining mark")
            << QStringList{a9 + "e\u0301"} << 100 << 100
            << QStringList{"0,0 " + a9 + " | 0,14 e\u0301"};
        QTest::newRow("a run that does not fit at all moves whole")
            << QStringList{a9 + "\rあ"} << 100 << 100 << QStringList{"0,0 " + a9 + " | 0,14 あ"};
        QTest::newRow("a character wider than W goes alone on its line")
            << QStringList{"aWb", "c"} << 100 << 100
            << QStringList{"0,0 a | 0,14 W | 0,28 b | 0,42 c"};
        QTest::newRow("only wide characters")
            << QStringList{"WW"} << 100 << 100 << QStringList{"0,0 W | 0,14 W"};
    }

    void layout() {
        QFETCH(QStringList, lines);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QStringList, pages);
        const FixedMeasure measure;
        QCOMPARE(describe(layOutPages(lines, measure, width, height)), pages);
    }

    // A line far longer than a page, of characters of every kind: each
    // output line is the longest beginning of whole characters that fits,
    // and together they give back the line.
    void longLineBreaksAtTheLongestFit() {
        const QStringList pieces{"あ", "a", "😀", "e\u0301", "i", "漢"};
        QString line;
        for (int i = 0; i < 3000; ++i)
            line += pieces[(i * 7) % 6];
        const FixedMeasure measure;
        const int width = 333;
        const auto pages = layOutPages({line}, measure, width, 1000000);
        QCOMPARE(pages.size(), size_t(1));
        const std::vector<PlacedRun>& runs = pages[0].runs;
        QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, line);
        qsizetype start = 0;
        for (size_t k = 0; k < runs.size(); ++k) {
            QCOMPARE(runs[k].x, 0);
            QCOMPARE(runs[k].y, int(14 * k));
            QCOMPARE(runs[k].text, line.mid(start, runs[k].text.size()));
            QVERIFY(measure.width(runs[k].text) <= width);
            const qsizetype end = start + runs[k].text.size();
            characters.setPosition(end);
            QVERIFY(characters.isAtBoundary());
            if (k + 1 < runs.size()) {
                const qsizetype next = characters.toNextBoundary();
                QVERIFY(measure.width(QStringView(line).mid(start, next - start)) > width);
            }
            start = end;
        }
        QCOMPARE(start, line.size());
    }

    // Fed a line at a time, the layout hands over each page as soon as the
    // next one starts.
    void pagesAreHandedOverAsTheyFill() {
        const FixedMeasure measure;
        PageLayout layout(measure, 100, 100);
        for (const QString& line : numbered(6)) {
            QVERIFY(layout.takeFinishedPages().empty());
            layout.addLine(line);
        }
        QCOMPARE(layout.takeFinishedPages().size(), size_t(1));
        layout.addLine(QStringLiteral("7"));
        QVERIFY(layout.takeFinishedPages().empty());
        QCOMPARE(describe({layout.finish()}), QStringList{"0,0 7"});
    }
};

QTEST_GUILESS_MAIN(TestPrintLayout)
#include "tst_printlayout.moc"
