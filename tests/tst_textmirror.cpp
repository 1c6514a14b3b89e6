// The search copy of the editor's text: in step with every kind of edit, and
// finding matches that run across its pieces.
#include "mainwindow/SoftBreaks.h"
#include "mainwindow/TextMirror.h"
#include "text/TextSearch.h"

#include <QPlainTextDocumentLayout>
#include <QScopeGuard>
#include <QTest>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>

using ostrel::TextMirror;

namespace {

// Every needle's matches, from every start, as a plain search of the raw text finds them.
void compareWithPlainSearch(QTextDocument& doc, TextMirror& mirror, const QStringList& needles) {
    const QString raw = doc.toRawText();
    for (const QString& what : needles) {
        for (qsizetype from = 0; from < raw.size(); from += 1 + raw.size() / 50) {
            QCOMPARE(mirror.indexOf(what, from), raw.indexOf(what, from));
        }
    }
}

// A search as plain as it gets: every position of the whole text tried in
// turn, word boundaries taken from the whole text.
qsizetype plainSearch(const QString& text, const QString& what, qsizetype from,
                      const ostrel::SearchOptions& o) {
    const qsizetype n = what.size();
    const Qt::CaseSensitivity cs = o.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    const auto boundary = [&](qsizetype at) {
        words.setPosition(int(at));
        return words.isAtBoundary();
    };
    const auto matches = [&](qsizetype at) {
        return QStringView(text).mid(at, n).compare(what, cs) == 0 &&
               (!o.wholeWord || (boundary(at) && boundary(at + n)));
    };
    if (o.backward) {
        for (qsizetype at = std::min(from, text.size()) - n; at >= 0; --at)
            if (matches(at))
                return at;
    } else {
        for (qsizetype at = std::max<qsizetype>(from, 0); at + n <= text.size(); ++at)
            if (matches(at))
                return at;
    }
    return -1;
}

QString joined(TextMirror& mirror) {
    QString whole;
    for (QStringView part : mirror.text())
        whole += part;
    return whole;
}

} // namespace

class TestTextMirror : public QObject {
    Q_OBJECT

private slots:
    void followsEdits() {
        QTextDocument doc;
        doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
        TextMirror mirror(&doc);
        const QStringList needles = {QStringLiteral("ab"), QStringLiteral("cat"),
                                     QStringLiteral("日本"), QStringLiteral("x")};
        doc.setPlainText(QStringLiteral("concatenate\nab ab\n日本語"));
        compareWithPlainSearch(doc, mirror, needles);
        QTextCursor c(&doc);
        c.setPosition(3);
        c.insertText(QStringLiteral("x\ncat\n"));
        compareWithPlainSearch(doc, mirror, needles);
        c.setPosition(1);
        c.setPosition(12, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        compareWithPlainSearch(doc, mirror, needles);
        c.movePosition(QTextCursor::End);
        c.insertText(QStringLiteral("\nab"));
        compareWithPlainSearch(doc, mirror, needles);
        doc.undo();
        doc.undo();
        compareWithPlainSearch(doc, mirror, needles);
        doc.setPlainText(QString());
        QCOMPARE(mirror.indexOf(QStringLiteral("ab"), 0), -1);
        doc.setPlainText(QStringLiteral("ab"));
        QCOMPARE(mirror.indexOf(QStringLiteral("ab"), 0), 0);
    }

    // A search with every option over a text cut into parts (empty ones
    // among them) finds what a plain search of the whole text finds, also
    // where a match runs across parts.
    void searchWithOptionsAcrossParts() {
        const QString text =
            QStringLiteral("Apple apple APPLE pineapple\u2029日本語の文章です テキストファイル "
                           "ｃａｔ Cat cat's\u2029aaaa");
        const QStringList needles = {"apple",  "APPLE", "e a", "文章",   "テキスト",
                                     "Ｃａｔ", "cat",   "aa",  "\u2029a"};
        for (const qsizetype cut : {1, 2, 3, 7, 1000}) {
            std::vector<QStringView> parts;
            for (qsizetype at = 0; at < text.size(); at += cut) {
                parts.push_back(QStringView(text).mid(at, cut));
                if (at % (3 * cut) == 0)
                    parts.push_back(QStringView());
            }
            for (int bits = 0; bits < 8; ++bits) {
                const ostrel::SearchOptions o{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0};
                for (const QString& what : needles)
                    for (qsizetype from = -1; from <= text.size() + 1; ++from)
                        QVERIFY2(ostrel::findInText(parts, what, from, o) ==
                                     plainSearch(text, what, from, o),
                                 qPrintable(QStringLiteral("cut %1, options %2, %3 from %4")
                                                .arg(cut)
                                                .arg(bits)
                                                .arg(what)
                                                .arg(from)));
            }
        }
    }

    // What a save writes is the document's text after every kind of edit,
    // from a load of text with characters an editor might treat specially.
    void textIsTheDocumentsAfterEveryEdit() {
        QTextDocument doc;
        doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
        TextMirror mirror(&doc);
        QString loaded;
        const char16_t odd[] = {u'\0',  u'\t',  u'\v',  u'\f',  0x00A0,
                                0x2028, 0xFDD0, 0xFFFF, 0xFEFF, 0xD800};
        for (int i = 0; i < 30000; ++i) {
            loaded += QStringLiteral("行 %1 ").arg(i);
            loaded += QChar(odd[i % std::size(odd)]);
            loaded += i % 7 ? QStringLiteral("\n") : QStringLiteral("😀\n");
        }
        mirror.reset(loaded, {}, [&] { doc.setPlainText(loaded); });
        QCOMPARE(joined(mirror), doc.toRawText());

        QTextCursor c(&doc);
        const QString big =
            QStringLiteral("paste\n").repeated(60000); // larger than the copy follows
        for (int step = 0; step < 200; ++step) {
            const int length = doc.characterCount() - 1;
            c.setPosition(int((qint64(step) * 7919) % (length + 1)));
            switch (step % 6) {
            case 0:
                c.insertText(QStringLiteral("a\nb"));
                break;
            case 1:
                c.setPosition(std::min(length, c.position() + 70000), QTextCursor::KeepAnchor);
                c.removeSelectedText();
                break;
            case 2:
                c.deleteChar();
                break;
            case 3:
                doc.undo();
                break;
            case 4:
                doc.redo();
                break;
            case 5:
                if (step % 60 == 5)
                    c.insertText(big);
                else
                    c.insertText(QString(QChar(0xD83D)) + QChar(0xDE00));
                break;
            }
            if (step % 10 == 0 || step % 60 == 5)
                QCOMPARE(joined(mirror), doc.toRawText());
        }
        QCOMPARE(joined(mirror), doc.toRawText());
        doc.setPlainText(QString());
        QVERIFY(mirror.text().empty());
    }

    // Should the copy ever differ from the document (here: reset with text
    // of the same length, shifted by a character, or with another last
    // character), the document's text is what is written.
    void aCopyOutOfStepIsMadeAfresh() {
        // The copy is put out of step on purpose here: the exact check that
        // the test runs make would stop at it.
        const bool checked = TextMirror::checkedExactly();
        TextMirror::setCheckedExactly(false);
        const auto restore = qScopeGuard([checked] { TextMirror::setCheckedExactly(checked); });
        QTextDocument doc;
        doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
        TextMirror mirror(&doc);
        const QString text = QStringLiteral("first line\nsecond line\n").repeated(5000);
        doc.setPlainText(text);
        for (const QString& other : {text.mid(1) + u'\n', text.left(text.size() - 1) + u'x'}) {
            mirror.reset(other, {}, [] {});
            QCOMPARE(joined(mirror), doc.toRawText());
        }
    }

    // A document whose long lines are held in pieces: the copy is the text
    // without the soft breaks through edits, undo and redo (which bring soft
    // breaks back) and changes of the marks; positions map both ways.
    void softBreaksAreNoText() {
        QTextDocument doc;
        doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
        TextMirror mirror(&doc);
        QString text;
        for (int i = 0; i < 40; ++i)
            text += (i % 4 ? QStringLiteral("word%1 ").arg(i).repeated(30) : QStringLiteral("s")) +
                    u'\n';
        std::vector<qsizetype> cuts = ostrel::softBreakPositions(text, 64);
        QVERIFY(cuts.size() > 50);
        std::vector<int> starts;
        for (size_t i = 0; i < cuts.size(); ++i)
            starts.push_back(int(cuts[i] + qsizetype(i) + 1));
        const QString pieces = ostrel::withBreaksAt(text, cuts);
        mirror.reset(text, cuts, [&] {
            ostrel::setMayHaveSoftBreaks(&doc, true);
            doc.setPlainText(pieces);
            ostrel::markContinuations(&doc, starts);
        });
        // What the document holds, told from its blocks alone.
        const auto documentText = [&] {
            QString whole;
            for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
                whole += b.text();
                if (b.next().isValid() && !ostrel::continuesLine(b.next()))
                    whole += QChar::ParagraphSeparator;
            }
            return whole;
        };
        const auto softBreaksBefore = [&](int position) {
            int n = 0;
            for (QTextBlock b = doc.begin().next(); b.isValid() && b.position() <= position;
                 b = b.next())
                n += ostrel::continuesLine(b);
            return n;
        };
        QCOMPARE(documentText(), QString(text).replace(u'\n', QChar::ParagraphSeparator));
        QCOMPARE(joined(mirror), documentText());

        QTextCursor c(&doc);
        QTextBlockFormat mark;
        mark.setProperty(ostrel::kContinuesLine, true);
        for (int step = 0; step < 300; ++step) {
            const int length = doc.characterCount() - 1;
            c.setPosition(int((qint64(step) * 7919) % (length + 1)));
            switch (step % 7) {
            case 0:
                c.insertText(QStringLiteral("ab\ncd"));
                break;
            case 1: // across pieces and lines, soft breaks included
                c.setPosition(std::min(length, c.position() + 150), QTextCursor::KeepAnchor);
                c.removeSelectedText();
                break;
            case 2:
                c.deletePreviousChar();
                break;
            case 3:
            case 4:
                doc.undo();
                break;
            case 5:
                doc.redo();
                break;
            case 6: // a soft break made hard, or a line break made soft
                if (c.block().position() > 0) {
                    QTextBlockFormat f = c.blockFormat();
                    if (ostrel::continuesLine(c.block()))
                        f.clearProperty(ostrel::kContinuesLine);
                    else
                        f.merge(mark);
                    c.setBlockFormat(f);
                }
                break;
            }
            QCOMPARE(joined(mirror), documentText());
            for (int d = 0; d < doc.characterCount(); d += 97) {
                const qsizetype t = d - softBreaksBefore(d);
                QCOMPARE(mirror.toText(d), t);
                // At a soft break: before it, and the start of the next block after it.
                const QTextBlock next = doc.findBlock(d + 1);
                const bool atSoftBreak = next.position() == d + 1 && ostrel::continuesLine(next);
                QCOMPARE(mirror.toDocument(t, !atSoftBreak), d);
            }
        }
    }

    void matchesAcrossPieces() {
        QTextDocument doc;
        doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
        TextMirror mirror(&doc);
        QString text;
        for (int i = 0; i < 40000; ++i)
            text += QStringLiteral("row %1 needle\n").arg(i);
        doc.setPlainText(text);
        QTextCursor c(&doc);
        for (int i = 0; i < 300; ++i) {
            c.setPosition((i * 104729) % (doc.characterCount() - 1));
            if (i % 2)
                c.insertText(QStringLiteral("needle"));
            else
                c.deleteChar();
        }
        compareWithPlainSearch(
            doc, mirror,
            {QStringLiteral("needle"), QStringLiteral("e\u2029r"), QStringLiteral("39999 needle")});
    }
};

QTEST_MAIN(TestTextMirror)
#include "tst_textmirror.moc"
