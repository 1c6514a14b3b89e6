// The editor's lines as laid out: block numbers without wrap, wrapped rows
// with it, kept right through edits and changes of width and font.
#include "mainwindow/EditorLines.h"

#include <QElapsedTimer>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <memory>

using ostrel::EditorLines;

namespace {

const QString kSample =
    QStringLiteral("short\n"
                   "\n"
                   "a rather long line of words that has to wrap at a narrow width more than once\n"
                   "averyveryverylongwordwithoutanyspacesthatwrapsanywhereatnarrowwidths\n"
                   "日本語の文章も折り返されます。日本語の文章も折り返されます。日本語の文章\n"
                   "\ttabs\tand\tspaces    at the end    \n"
                   "last");

// A document laid out as the editor lays out its text.
struct Doc {
    QTextDocument doc;
    std::unique_ptr<EditorLines> lines;
    explicit Doc(const QString& text, qreal width = 150) {
        doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        doc.setDefaultFont(font);
        doc.setPlainText(text);
        lines = std::make_unique<EditorLines>(&doc);
        lines->setTextWidth(width);
    }
};

// The answer to a question about lines, once the count it waits for is done.
template <typename Question> int answer(Question ask) {
    std::optional<int> a = ask();
    QElapsedTimer waited;
    waited.start();
    while (!a && waited.elapsed() < 120000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        a = ask();
    }
    if (!a)
        qFatal("no answer");
    return *a;
}

int lineOf(EditorLines& lines, int position) {
    return answer([&] { return lines.lineFromPosition(position); });
}
int startOf(EditorLines& lines, int line) {
    return answer([&] { return lines.lineStart(line); });
}
int countOf(EditorLines& lines) {
    return answer([&] { return lines.lineCount(); });
}

// Every position's line and every line's start, side by side.
struct Picture {
    QList<int> lineOf;
    QList<int> starts;
    bool operator==(const Picture&) const = default;
};

Picture picture(QTextDocument& doc, EditorLines& lines) {
    Picture p;
    for (int pos = 0; pos < doc.characterCount(); ++pos)
        p.lineOf.append(lineOf(lines, pos));
    const int count = countOf(lines);
    for (int line = 0; line <= count; ++line)
        p.starts.append(startOf(lines, line));
    return p;
}

// The same, as a freshly counted table sees the document now.
Picture freshPicture(QTextDocument& doc, qreal width) {
    EditorLines fresh(&doc);
    fresh.setTextWidth(width);
    return picture(doc, fresh);
}

} // namespace

class TestEditorLines : public QObject {
    Q_OBJECT

private slots:
    void withoutWrapLinesAreBlocks() {
        Doc d(QStringLiteral("one\ntwo that is long enough to wrap if it wrapped\n\nfour"), 40);
        QTextOption option = d.doc.defaultTextOption();
        option.setWrapMode(QTextOption::NoWrap);
        d.doc.setDefaultTextOption(option);
        QCOMPARE(countOf(*d.lines), 4);
        QCOMPARE(lineOf(*d.lines, 0), 0);
        QCOMPARE(lineOf(*d.lines, 3), 0);
        QCOMPARE(lineOf(*d.lines, 4), 1);
        QCOMPARE(lineOf(*d.lines, int(d.doc.characterCount()) - 1), 3);
        QCOMPARE(startOf(*d.lines, 2), d.doc.findBlockByNumber(2).position());
        QCOMPARE(startOf(*d.lines, 4), -1);
        QCOMPARE(startOf(*d.lines, -1), -1);
    }

    void emptyText() {
        Doc d{QString()};
        QCOMPARE(countOf(*d.lines), 1);
        QCOMPARE(lineOf(*d.lines, 0), 0);
        QCOMPARE(startOf(*d.lines, 0), 0);
        QCOMPARE(startOf(*d.lines, 1), -1);
    }

    // The rows are those the editor itself draws.
    void agreesWithTheEditorsLayout() {
        QPlainTextEdit edit;
        edit.setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit.resize(180, 2000);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        edit.setPlainText(kSample);
        QTextDocument* doc = edit.document();
        EditorLines lines(doc);
        lines.setTextWidth(edit.viewport()->width());

        int before = 0;
        bool wrapped = false;
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
            doc->documentLayout()->blockBoundingRect(b); // lays the block out
            const QTextLayout* layout = b.layout();
            wrapped = wrapped || layout->lineCount() > 1;
            for (int i = 0; i < b.length(); ++i) {
                const QTextLine row = layout->lineForTextPosition(i);
                QCOMPARE(lineOf(lines, b.position() + i), before + row.lineNumber());
            }
            for (int r = 0; r < layout->lineCount(); ++r)
                QCOMPARE(startOf(lines, before + r), b.position() + layout->lineAt(r).textStart());
            before += layout->lineCount();
        }
        QVERIFY(wrapped);
        QCOMPARE(countOf(lines), before);
        QCOMPARE(startOf(lines, before), -1);
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
        Doc d(kSample);
        picture(d.doc, *d.lines); // counted before the edit
        const int length = d.doc.characterCount() - 1;
        QTextCursor c(&d.doc);
        c.setPosition(from < 0 ? length : from);
        c.setPosition(remove < 0 ? length : qMin(length, c.position() + remove),
                      QTextCursor::KeepAnchor);
        c.insertText(insert);
        QCOMPARE(picture(d.doc, *d.lines), freshPicture(d.doc, 150));

        d.doc.undo();
        QCOMPARE(d.doc.toPlainText(), kSample);
        QCOMPARE(picture(d.doc, *d.lines), freshPicture(d.doc, 150));
    }

    void manyEditsInARow() {
        QString text;
        for (int i = 0; i < 3000; ++i)
            text += QStringLiteral("line %1 %2\n").arg(i).arg(QString(i % 37, u'w'));
        Doc d(text);
        QCOMPARE(lineOf(*d.lines, d.doc.characterCount() - 1),
                 freshPicture(d.doc, 150).lineOf.back());
        QTextCursor c(&d.doc);
        for (int i = 0; i < 200; ++i) {
            c.setPosition((i * 7919) % (d.doc.characterCount() - 1));
            if (i % 3 == 0)
                c.insertText(QStringLiteral("\nsplit here with some words\n"));
            else if (i % 3 == 1)
                c.deletePreviousChar();
            else
                c.insertText(QStringLiteral("abc def ghi jkl mno pqr"));
        }
        QCOMPARE(picture(d.doc, *d.lines), freshPicture(d.doc, 150));
    }

    // A large text is counted on the other thread: no answer at first, then
    // the editor's own rows, edits made while the count ran included.
    void countsInTheBackgroundThroughEdits() {
        QPlainTextEdit edit;
        edit.setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn); // a width that stays
        edit.resize(300, 300);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QString text;
        for (int i = 0; i < 20000; ++i)
            text += QStringLiteral("line %1 %2\n").arg(i).arg(QString(i % 53, u'w'));
        edit.setPlainText(text);
        QTextDocument* doc = edit.document();
        EditorLines lines(doc);
        lines.setTextWidth(edit.viewport()->width());
        QVERIFY(!lines.lineFromPosition(doc->characterCount() - 1));
        QVERIFY(lines.counting());

        QTextCursor c(doc);
        c.insertText(QStringLiteral("new line\nand another\n")); // every block moves down
        c.setPosition(doc->findBlockByNumber(10000).position());
        c.insertText(QString(200, u'x')); // a block grows into more rows
        c.setPosition(doc->findBlockByNumber(15000).position());
        c.setPosition(doc->findBlockByNumber(15100).position(), QTextCursor::KeepAnchor);
        c.removeSelectedText();
        QVERIFY(lines.counting()); // the count's results come after the edits

        const auto compareWithTheEditor = [&] {
            int before = 0;
            for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
                doc->documentLayout()->blockBoundingRect(b);
                const QTextLayout* layout = b.layout();
                if (b.blockNumber() % 97 == 0 || b.blockNumber() == 10002) {
                    const int last = b.length() - 1;
                    QCOMPARE(lineOf(lines, b.position() + last),
                             before + layout->lineForTextPosition(last).lineNumber());
                    QCOMPARE(startOf(lines, before + layout->lineCount() - 1),
                             b.position() + layout->lineAt(layout->lineCount() - 1).textStart());
                }
                before += layout->lineCount();
            }
            QCOMPARE(countOf(lines), before);
        };
        compareWithTheEditor();

        // A new width while a count runs: counted again at that width.
        QVERIFY(!lines.lineFromPosition(doc->characterCount() - 1) || !lines.counting());
        edit.resize(420, 300);
        lines.setTextWidth(edit.viewport()->width());
        compareWithTheEditor();
    }

    // A snapshot hands out the lines as laid out when it was taken (rows with
    // wrap, blocks without), leaves out a last line that is empty, and is
    // not reached by later edits.
    void snapshotHandsOutTheLines_data() {
        QTest::addColumn<bool>("wrap");
        QTest::addColumn<QString>("text");
        QTest::newRow("wrap") << true << kSample;
        QTest::newRow("wrap, ends with a line break") << true << kSample + "\n";
        QTest::newRow("no wrap") << false << kSample;
        QTest::newRow("no wrap, ends with two line breaks") << false << kSample + "\n\n";
        QTest::newRow("empty") << true << QString();
    }
    void snapshotHandsOutTheLines() {
        QFETCH(bool, wrap);
        QFETCH(QString, text);
        Doc d(text);
        if (!wrap) {
            QTextOption option = d.doc.defaultTextOption();
            option.setWrapMode(QTextOption::NoWrap);
            d.doc.setDefaultTextOption(option);
        }
        QStringList expected;
        const int count = countOf(*d.lines);
        for (int line = 0; line < count; ++line) {
            const int start = startOf(*d.lines, line);
            const int end = line + 1 < count ? startOf(*d.lines, line + 1) : int(text.size());
            QString row = text.mid(start, end - start);
            if (row.endsWith(u'\n'))
                row.chop(1);
            expected.append(row);
        }
        if (text.isEmpty() || text.endsWith(u'\n'))
            expected.removeLast();
        if (wrap && !text.isEmpty())
            QVERIFY(expected.size() > d.doc.blockCount()); // rows do wrap

        EditorLines::Snapshot snapshot = EditorLines::snapshot(&d.doc, 150);
        QTextCursor(&d.doc).insertText(QStringLiteral("edited afterwards\n"));
        QStringList handed;
        QString line;
        while (snapshot.next(line))
            handed.append(line);
        QCOMPARE(handed, expected);
    }

    void widthAndFontChangesRecount() {
        Doc d(kSample);
        const int atWidth150 = countOf(*d.lines);
        d.lines->setTextWidth(400);
        QVERIFY(countOf(*d.lines) < atWidth150);
        QCOMPARE(picture(d.doc, *d.lines), freshPicture(d.doc, 400));

        QFont big = d.doc.defaultFont();
        big.setPixelSize(24);
        d.doc.setDefaultFont(big);
        QCOMPARE(picture(d.doc, *d.lines), freshPicture(d.doc, 400));

        QTextOption option = d.doc.defaultTextOption();
        option.setWrapMode(QTextOption::NoWrap);
        d.doc.setDefaultTextOption(option);
        QCOMPARE(countOf(*d.lines), d.doc.blockCount());
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        d.doc.setDefaultTextOption(option);
        QCOMPARE(picture(d.doc, *d.lines), freshPicture(d.doc, 400));
    }
};

QTEST_MAIN(TestEditorLines)
#include "tst_editorlines.moc"
