// The lines as the editor shows them: text lines without wrap, rows with it,
// the same rows the view draws and prints, kept right through edits, long
// lines, loads, and changes of width and font; counted in the background for
// a large text, with no answer until they are.
#include "editor/Document.h"
#include "editor/Lines.h"
#include "editor/TextView.h"

#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <cstring>
#include <memory>

using ostrel::editor::Document;
using ostrel::editor::Lines;
using ostrel::editor::TextView;

namespace {

const QString kSample =
    QStringLiteral("short\n"
                   "\n"
                   "a rather long line of words that has to wrap at a narrow width more than once\n"
                   "averyveryverylongwordwithoutanyspacesthatwrapsanywhereatnarrowwidths\n"
                   "日本語の文章も折り返されます。日本語の文章も折り返されます。日本語の文章\n"
                   "\ttabs\tand\tspaces    at the end    \n"
                   "（括弧）の中「かぎ」、句読点。ーーー\n"
                   "last");

// A view of a fixed size and font, shown.
struct View {
    TextView view;
    explicit View(const QString& text, int width = 180, bool wrap = true, int height = 2000) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        view.setFont(font);
        view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn); // a width that stays
        view.resize(width, height);
        view.setWordWrap(wrap);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            qFatal("not shown");
        view.document()->setText(text);
    }
    Document* doc() { return view.document(); }
    Lines* lines() { return view.lines(); }
};

// The answer to a question about lines, once the count it waits for is done.
template <typename Question> qsizetype answer(Question ask) {
    std::optional<qsizetype> a = ask();
    if (!a)
        [&] { QTRY_VERIFY_WITH_TIMEOUT((a = ask()).has_value(), 120000); }();
    if (!a)
        qFatal("no answer");
    return *a;
}

// Every position's line and every line's start, side by side.
struct Picture {
    QList<qsizetype> lineOf;
    QList<qsizetype> starts;
    bool operator==(const Picture&) const = default;
};

Picture picture(Document* doc, Lines* lines, qsizetype step = 1) {
    Picture p;
    for (qsizetype pos = 0; pos <= doc->length(); pos += step)
        p.lineOf.append(answer([&] { return lines->lineOf(pos); }));
    const qsizetype count = answer([&] { return lines->lineCount(); });
    for (qsizetype line = 0; line <= count; line += step)
        p.starts.append(answer([&] { return lines->lineStart(line); }));
    return p;
}

// The same, as a fresh view of the same size counts the text now.
Picture freshPicture(View& v, qsizetype step = 1) {
    View fresh(v.doc()->toString(), v.view.width(), v.view.wordWrap(), v.view.height());
    fresh.view.setFont(v.view.font());
    return picture(fresh.doc(), fresh.lines(), step);
}

} // namespace

class TestEditorLines : public QObject {
    Q_OBJECT

private slots:
    void withoutWrapLinesAreTheTexts() {
        View v(QStringLiteral("one\ntwo that is long enough to wrap if it wrapped\n\nfour"), 40,
               false);
        QCOMPARE(v.lines()->lineCount(), 4);
        QCOMPARE(v.lines()->lineOf(0), 0);
        QCOMPARE(v.lines()->lineOf(3), 0);
        QCOMPARE(v.lines()->lineOf(4), 1);
        QCOMPARE(v.lines()->lineOf(v.doc()->length()), 3);
        QCOMPARE(v.lines()->lineStart(2), 50);
        QCOMPARE(v.lines()->lineStart(4), -1);
        QCOMPARE(v.lines()->lineStart(-1), -1);
    }

    void emptyText() {
        View v{QString()};
        QCOMPARE(v.lines()->lineCount(), 1);
        QCOMPARE(v.lines()->lineOf(0), 0);
        QCOMPARE(v.lines()->lineStart(0), 0);
        QCOMPARE(v.lines()->lineStart(1), -1);
    }

    // The rows are those the view draws: each starts a row lower, none
    // reaches past the right edge but for spaces, and a row breaks after a
    // space, or between Japanese characters (never before a full stop or
    // a long vowel mark, never after an opening bracket).
    void rowsAreTheViewsRows() {
        View v(kSample);
        const qsizetype count = *v.lines()->lineCount();
        QVERIFY(count > 12);
        const int right = v.view.viewport()->width() - 4;
        for (qsizetype line = 0; line < count; ++line) {
            const qsizetype start = *v.lines()->lineStart(line);
            const qsizetype next =
                line + 1 < count ? *v.lines()->lineStart(line + 1) : v.doc()->length() + 1;
            QCOMPARE(v.view.caretRect(start).top(), 4 + int(line) * v.view.rowHeight());
            QCOMPARE(*v.lines()->lineOf(start), line);
            if (next - 1 > start)
                QCOMPARE(*v.lines()->lineOf(next - 1), line);
            qsizetype end = next - 1; // the last character of the row
            while (end > start && v.doc()->at(end).isSpace())
                --end;
            QVERIFY2(v.view.caretRect(end).left() <= right,
                     qPrintable(v.doc()->mid(start, next - start)));
            if (start > 0 && v.doc()->at(start - 1) != u'\n') {
                // A row that continues a line.
                const QChar before = v.doc()->at(start - 1), first = v.doc()->at(start);
                const bool cjk = before.unicode() >= 0x3000 || first.unicode() >= 0x3000;
                const qsizetype textLine = v.doc()->lineOf(start);
                const bool oneWord =
                    !v.doc()
                         ->mid(v.doc()->lineStart(textLine),
                               v.doc()->lineEnd(textLine) - v.doc()->lineStart(textLine))
                         .contains(u' ');
                QVERIFY2(before.isSpace() || cjk || oneWord,
                         qPrintable(v.doc()->mid(start - 5, 10)));
                QVERIFY(!QStringLiteral("。、ー」）").contains(first));
                QVERIFY(!QStringLiteral("「（").contains(before));
            }
        }
    }

    void editsRecountWhatChanged_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("remove");
        QTest::addColumn<QString>("insert");
        QTest::newRow("type into a line") << 2 << 0 << QStringLiteral("x");
        QTest::newRow("long text into a short line")
            << 3 << 0 << QStringLiteral("word word word word word word word word word");
        QTest::newRow("line break") << 10 << 0 << QStringLiteral("\n");
        QTest::newRow("several lines") << 40 << 0 << QStringLiteral("a\nbb\n\nccc dd ee ff\n");
        QTest::newRow("join two lines") << 5 << 1 << QString();
        QTest::newRow("remove across lines") << 3 << 90 << QString();
        QTest::newRow("replace across lines") << 20 << 120 << QStringLiteral("new\ntext");
        QTest::newRow("append at the end") << -1 << 0 << QStringLiteral("\nmore at the end");
        QTest::newRow("remove all") << 0 << -1 << QString();
    }
    void editsRecountWhatChanged() {
        QFETCH(int, from);
        QFETCH(int, remove);
        QFETCH(QString, insert);
        View v(kSample);
        picture(v.doc(), v.lines()); // counted before the edit
        const qsizetype length = v.doc()->length();
        const qsizetype at = from < 0 ? length : from;
        v.doc()->replace(at, remove < 0 ? length : remove, insert);
        QCOMPARE(picture(v.doc(), v.lines()), freshPicture(v));
        v.doc()->undo();
        QCOMPARE(v.doc()->toString(), kSample);
        QCOMPARE(picture(v.doc(), v.lines()), freshPicture(v));
    }

    // A line of hundreds of thousands of characters is one line of the text:
    // its rows follow edits anywhere in it, and without wrap it is one line.
    // Japanese without spaces: rows moved by a line break typed in never line
    // up with the old ones, and the rest of the line is counted on the threads.
    void aLongLineIsOneLine_data() {
        QTest::addColumn<QString>("line");
        QString words;
        for (int i = 0; words.size() < 300000; ++i)
            words +=
                i % 3 ? QStringLiteral("word%1 ").arg(i) : QStringLiteral("日本語の%1、").arg(i);
        QTest::newRow("words and Japanese") << words;
        QTest::newRow("Japanese without spaces")
            << QStringLiteral("日本語の文章は折り返しても行がずれる").repeated(300000 / 19);
    }
    void aLongLineIsOneLine() {
        QFETCH(QString, line);
        View v(QStringLiteral("first\n") + line + QStringLiteral("\nlast"), 300, true, 400);
        const qsizetype rows = answer([&] { return v.lines()->lineCount(); });
        QVERIFY(rows > 1000);
        for (int i = 0; i < 20; ++i) {
            const qsizetype at = 6 + (qsizetype(i) * 104729) % line.size();
            if (i % 2)
                v.doc()->replace(at, 0, QStringLiteral("inserted words here "));
            else
                v.doc()->replace(at, 7, QString());
        }
        QCOMPARE(picture(v.doc(), v.lines(), 997), freshPicture(v, 997));
        // Line breaks typed into it and taken out again, at its ends too.
        const qsizetype middle = 6 + line.size() / 2;
        for (const auto& [at, removed, text] :
             std::vector<std::tuple<qsizetype, qsizetype, QString>>{{middle, 0, "\n"},
                                                                    {middle, 1, ""},
                                                                    {5, 1, ""},
                                                                    {5, 0, "\n"},
                                                                    {v.doc()->lineEnd(1), 0, "x\n"},
                                                                    {middle, 0, "a\nb\nc"}}) {
            v.doc()->replace(at, removed, text);
            QCOMPARE(picture(v.doc(), v.lines(), 997), freshPicture(v, 997));
        }
        v.view.setWordWrap(false);
        QCOMPARE(v.lines()->lineCount(), 6);
        QCOMPARE(v.lines()->lineOf(v.doc()->length() - 1), 5);
        // Without wrap a long line's characters stand where a fresh view puts
        // them, through edits.
        const auto xOf = [](TextView& view, qsizetype at) {
            view.setCaret(at);
            view.ensureCaretVisible();
            return view.caretRect(at).left() + view.horizontalScrollBar()->value();
        };
        v.view.setCaret(v.doc()->lineEnd(1)); // measured to its end
        v.view.ensureCaretVisible();
        for (int i = 0; i < 8; ++i) {
            if (i < 6) // in the line
                v.doc()->replace(10 + i * 5000, i % 2 ? 3 : 0,
                                 i % 2 ? QString() : QStringLiteral("日本"));
            else // a line break in it, and out again
                v.doc()->replace(15000, i == 6 ? 0 : 1, i == 6 ? QStringLiteral("\n") : QString());
            View fresh(v.doc()->toString(), 300, false, 400);
            for (qsizetype at : {qsizetype(7), qsizetype(20000), qsizetype(40000),
                                 v.doc()->lineEnd(v.doc()->lineOf(40000)) - 1})
                QCOMPARE(xOf(v.view, at), xOf(fresh.view, at));
        }
    }

    // A large text is counted in the background: no answer at first, then
    // the rows, edits made while the count ran included.
    void countsInTheBackgroundThroughEdits() {
        QString text;
        for (int i = 0; i < 40000; ++i)
            text += QStringLiteral("line %1 %2\n").arg(i).arg(QString(i % 53, u'w'));
        View v(text, 300, true, 300);
        QVERIFY(!v.lines()->lineOf(v.doc()->length()));
        QVERIFY(!v.lines()->lineCount());
        QVERIFY(v.lines()->counting());
        QSignalSpy known(v.lines(), &Lines::known);
        v.doc()->replace(0, 0, QStringLiteral("new line\nand another\n"));  // every line moves
        v.doc()->replace(v.doc()->lineStart(20000), 0, QString(200, u'x')); // more rows
        v.doc()->replace(v.doc()->lineStart(30000),
                         v.doc()->lineStart(30100) - v.doc()->lineStart(30000), QString());
        QCOMPARE(picture(v.doc(), v.lines(), 1009), freshPicture(v, 1009));
        QVERIFY(!known.isEmpty());
        QVERIFY(!v.lines()->counting());

        // A new width while a count runs: counted again at that width.
        v.view.resize(420, 300);
        QCOMPARE(picture(v.doc(), v.lines(), 1009), freshPicture(v, 1009));
    }

    // A file loading: its lines are known as far as it came, and all of
    // them when it is in.
    void linesOfALoad() {
        View v{QString()};
        const QByteArray bytes =
            QByteArray("a line of the record that wraps at this width\n").repeated(60000);
        struct Source : ostrel::editor::ByteSource {
            QByteArray bytes;
            qint64 at = 0;
            qint64 size() const override { return bytes.size(); }
            qint64 read(char* into, qint64 room) override {
                const qint64 n = std::min<qint64>({room, 65536, bytes.size() - at});
                std::memcpy(into, bytes.constData() + at, size_t(n));
                at += n;
                return n;
            }
            bool rewind() override {
                at = 0;
                return true;
            }
        };
        auto source = std::make_unique<Source>();
        source->bytes = bytes;
        v.doc()->load(std::move(source));
        QVERIFY(!v.lines()->lineCount());
        QTRY_VERIFY_WITH_TIMEOUT(!v.doc()->isLoading(), 60000);
        QCOMPARE(v.doc()->length(), bytes.size());
        // The text came in after the caret and the first row shown: both
        // stay at its start.
        QCOMPARE(v.view.caret(), 0);
        QCOMPARE(v.view.positionAt(QPoint(1, 6)), 0);
        QCOMPARE(picture(v.doc(), v.lines(), 4999), freshPicture(v, 4999));
    }

    // The lines handed out for printing are the rows as shown (the text's
    // lines without wrap), a last empty line left out, later edits not seen.
    void shownLinesAreTheRows_data() {
        QTest::addColumn<bool>("wrap");
        QTest::addColumn<QString>("text");
        QTest::newRow("wrap") << true << kSample;
        QTest::newRow("wrap, ends with a line break") << true << kSample + "\n";
        QTest::newRow("no wrap") << false << kSample;
        QTest::newRow("no wrap, ends with two line breaks") << false << kSample + "\n\n";
        QTest::newRow("empty") << true << QString();
    }
    void shownLinesAreTheRows() {
        QFETCH(bool, wrap);
        QFETCH(QString, text);
        View v(text, 180, wrap);
        QStringList expected;
        const qsizetype count = *v.lines()->lineCount();
        for (qsizetype line = 0; line < count; ++line) {
            const qsizetype start = *v.lines()->lineStart(line);
            const qsizetype end = line + 1 < count ? *v.lines()->lineStart(line + 1) : text.size();
            QString row = text.mid(start, end - start);
            if (row.endsWith(u'\n'))
                row.chop(1);
            expected.append(row);
        }
        if (text.isEmpty() || text.endsWith(u'\n'))
            expected.removeLast();
        if (wrap && !text.isEmpty())
            QVERIFY(expected.size() > text.count(u'\n') + 1); // rows do wrap

        std::unique_ptr<Lines::Shown> shown = v.lines()->shown();
        v.doc()->replace(0, 0, QStringLiteral("edited afterwards\n"));
        QStringList handed;
        QString line;
        while (shown->next(line))
            handed.append(line);
        QCOMPARE(handed, expected);
    }

    // Edits of every kind at random places, undone and redone, with wrap
    // switched and the width changed now and then, in a text with long lines
    // (kept apart by the view) and short ones: the lines always agree with a
    // fresh count of the text as it is. In Japanese without spaces rows moved
    // by an edit never line up with the old ones again, and the rest of the
    // line is counted on the threads while edits go on.
    void randomEditsKeepTheLinesRight_data() {
        QTest::addColumn<QString>("text");
        QString mixed;
        for (int i = 0; i < 300; ++i)
            mixed += i % 50 == 7
                         ? QStringLiteral("long words and 日本語の文 ").repeated(900) + u'\n'
                         : QStringLiteral("line %1 %2\n").arg(i).arg(QString(i % 71, u'w'));
        QTest::newRow("short and long lines") << mixed;
        const QString japanese = QStringLiteral("日本語の文章は折り返しても行がずれる");
        QTest::newRow("rows that never line up")
            << QStringLiteral("first\n") + japanese.repeated(8000) + QStringLiteral("\nshort\n") +
                   japanese.repeated(3000) + QStringLiteral("\nlast");
    }
    void randomEditsKeepTheLinesRight() {
        QFETCH(QString, text);
        View v(text, 300, true, 400);
        QRandomGenerator random(11);
        const QStringList inserts = {
            QStringLiteral("x"),      QStringLiteral("\n"), QStringLiteral("two\nlines"),
            QStringLiteral("日本語"), QStringLiteral("\t"), QStringLiteral("words ").repeated(50)};
        for (int step = 1; step <= 240; ++step) {
            const qsizetype length = v.doc()->length();
            const qsizetype at = random.bounded(int(length + 1));
            switch (random.bounded(7)) {
            case 0:
            case 1:
            case 2:
                v.doc()->replace(at, random.bounded(3) == 0 ? random.bounded(300) : 0,
                                 inserts[random.bounded(int(inserts.size()))]);
                break;
            case 3:
                v.doc()->undo();
                break;
            case 4:
                v.doc()->redo();
                break;
            case 5:
                v.view.setCaret(at); // the view shows and lays out rows there
                v.view.ensureCaretVisible();
                v.view.viewport()->repaint();
                break;
            case 6:
                if (step % 5 == 0)
                    v.view.setWordWrap(!v.view.wordWrap());
                else if (step % 5 == 1)
                    v.view.resize(200 + random.bounded(300), 400);
                break;
            }
            if (step % 40 == 0)
                QCOMPARE(picture(v.doc(), v.lines(), 101), freshPicture(v, 101));
        }
    }

    // Characters that take no room, or hang on the one before, still make
    // rows of a bounded length, with wrap and without.
    void rowsStayShortWhateverTheCharacters_data() {
        QTest::addColumn<QString>("line");
        QTest::newRow("combining marks") << QString(200000, QChar(0x0301));
        QTest::newRow("zero-width spaces") << QString(200000, QChar(0x200B));
        QTest::newRow("letters and marks") << QStringLiteral("e\u0301\u0302\u0303").repeated(50000);
        QTest::newRow("pairs") << QStringLiteral("😀").repeated(100000);
    }
    void rowsStayShortWhateverTheCharacters() {
        QFETCH(QString, line);
        View v(line, 300, true, 400);
        const qsizetype rows = *v.lines()->lineCount();
        QVERIFY(rows >= line.size() / 4096);
        for (qsizetype row = 0; row + 1 < rows; row += 1 + rows / 50) {
            const qsizetype from = *v.lines()->lineStart(row), to = *v.lines()->lineStart(row + 1);
            QVERIFY(to - from <= 4096);
            QVERIFY(!line[to].isLowSurrogate());
        }
        v.view.setCaret(line.size());
        v.view.ensureCaretVisible();
        v.view.setWordWrap(false);
        v.view.ensureCaretVisible();
        v.view.viewport()->repaint();
        QVERIFY(v.view.caretRect().left() <= v.view.viewport()->width());
    }

    void widthAndFontChangesRecount() {
        View v(kSample);
        const qsizetype narrow = *v.lines()->lineCount();
        v.view.resize(400, 2000);
        QVERIFY(*v.lines()->lineCount() < narrow);
        QCOMPARE(picture(v.doc(), v.lines()), freshPicture(v));
        QFont big = v.view.font();
        big.setPixelSize(24);
        v.view.setFont(big);
        QCOMPARE(picture(v.doc(), v.lines()), freshPicture(v));
        v.view.setWordWrap(false);
        QCOMPARE(v.lines()->lineCount(), kSample.count(u'\n') + 1);
        v.view.setWordWrap(true);
        QCOMPARE(picture(v.doc(), v.lines()), freshPicture(v));
    }
};

QTEST_MAIN(TestEditorLines)
#include "tst_editor_lines.moc"
