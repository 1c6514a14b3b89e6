// The search copy of the editor's text: in step with every kind of edit, and
// finding matches that run across its pieces.
#include "mainwindow/TextMirror.h"

#include <QPlainTextDocumentLayout>
#include <QTest>
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
