// The editor's lines as laid out: block numbers without wrap, wrapped rows
// with it, kept right through edits and changes of width and font.
#include "mainwindow/EditorLines.h"

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

// Every position's line and every line's start, side by side.
struct Picture {
    QList<int> lineOf;
    QList<int> starts;
    bool operator==(const Picture&) const = default;
};

Picture picture(QTextDocument& doc, EditorLines& lines) {
    Picture p;
    for (int pos = 0; pos < doc.characterCount(); ++pos)
        p.lineOf.append(lines.lineFromPosition(pos));
    const int count = lines.lineCount();
    for (int line = 0; line <= count; ++line)
        p.starts.append(lines.lineStart(line));
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
        QCOMPARE(d.lines->lineCount(), 4);
        QCOMPARE(d.lines->lineFromPosition(0), 0);
        QCOMPARE(d.lines->lineFromPosition(3), 0);
        QCOMPARE(d.lines->lineFromPosition(4), 1);
        QCOMPARE(d.lines->lineFromPosition(int(d.doc.characterCount()) - 1), 3);
        QCOMPARE(d.lines->lineStart(2), d.doc.findBlockByNumber(2).position());
        QCOMPARE(d.lines->lineStart(4), -1);
        QCOMPARE(d.lines->lineStart(-1), -1);
    }

    void emptyText() {
        Doc d{QString()};
        QCOMPARE(d.lines->lineCount(), 1);
        QCOMPARE(d.lines->lineFromPosition(0), 0);
        QCOMPARE(d.lines->lineStart(0), 0);
        QCOMPARE(d.lines->lineStart(1), -1);
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
                QCOMPARE(lines.lineFromPosition(b.position() + i), before + row.lineNumber());
            }
            for (int r = 0; r < layout->lineCount(); ++r)
                QCOMPARE(lines.lineStart(before + r), b.position() + layout->lineAt(r).textStart());
            before += layout->lineCount();
        }
        QVERIFY(wrapped);
        QCOMPARE(lines.lineCount(), before);
        QCOMPARE(lines.lineStart(before), -1);
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
        QCOMPARE(d.lines->lineFromPosition(d.doc.characterCount() - 1),
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
        const int count = d.lines->lineCount();
        for (int line = 0; line < count; ++line) {
            const int start = d.lines->lineStart(line);
            const int end = line + 1 < count ? d.lines->lineStart(line + 1) : int(text.size());
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
        const int atWidth150 = d.lines->lineCount();
        d.lines->setTextWidth(400);
        QVERIFY(d.lines->lineCount() < atWidth150);
        QCOMPARE(picture(d.doc, *d.lines), freshPicture(d.doc, 400));

        QFont big = d.doc.defaultFont();
        big.setPixelSize(24);
        d.doc.setDefaultFont(big);
        QCOMPARE(picture(d.doc, *d.lines), freshPicture(d.doc, 400));

        QTextOption option = d.doc.defaultTextOption();
        option.setWrapMode(QTextOption::NoWrap);
        d.doc.setDefaultTextOption(option);
        QCOMPARE(d.lines->lineCount(), d.doc.blockCount());
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        d.doc.setDefaultTextOption(option);
        QCOMPARE(picture(d.doc, *d.lines), freshPicture(d.doc, 400));
    }
};

QTEST_MAIN(TestEditorLines)
#include "tst_editorlines.moc"
