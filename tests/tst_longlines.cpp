// Records with lines of thousands of characters: the editor holds such a
// line in pieces, and the user still meets one line. Keys, the clipboard,
// find, the line display and moves to a line are driven through the main
// window; what a save writes is compared byte for byte.
#include "TestMain.h"
#include "TestSupport.h"
#include "mainwindow/EditorLines.h"
#include "mainwindow/FindDialog.h"
#include "mainwindow/MainFrm.h"
#include "mainwindow/SoftBreaks.h"
#include "text/TextCodec.h"

#include <QClipboard>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextDocumentLayout>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <memory>

using namespace testing;
using ostrel::continuesLine;

namespace {

// Words and Japanese, and characters outside the basic plane when asked for,
// numbered so that any few characters occur once.
QString longLine(int length, bool pairs = false) {
    QString line;
    for (int i = 0; line.size() < length; ++i) {
        if (i % 3 == 0)
            line += QStringLiteral("日本語の%1、").arg(i);
        else if (pairs && i % 7 == 0)
            line += QStringLiteral("😀%1 ").arg(i);
        else
            line += QStringLiteral("word%1 ").arg(i);
    }
    line.truncate(length);
    return line;
}

QString record(bool pairs = false) {
    return QStringLiteral("first\n") + longLine(5000, pairs) + QStringLiteral("\nlast line\n");
}
const QString kText = record();

// Answers the next input box with the text and OK.
void answerInputBox(const QString& text) {
    QTimer::singleShot(10, [text] {
        auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!box)
            return answerInputBox(text);
        box->findChild<QLineEdit*>()->setText(text);
        for (QPushButton* b : box->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("OK"))
                QTest::mouseClick(b, Qt::LeftButton);
    });
}

// The main window open on a record, the focus in the editor.
struct Fixture {
    DataFolder data;
    std::unique_ptr<Windows> windows;
    TMainFrm* f = nullptr;

    explicit Fixture(const QByteArray& bytes) {
        data.write(QStringLiteral("Ostrel.ini"), defaultSettingsFile());
        data.write(QStringLiteral("g/a.txt"), bytes);
        windows = std::make_unique<Windows>();
        f = windows->main;
        showMain(f);
        f->activateWindow();
        QApplication::setActiveWindow(f);
        f->MainEdit->setFocus(Qt::MouseFocusReason);
        f->MainEditEnter();
    }
    ~Fixture() {
        if (f->FindDialog)
            f->FindDialog->hide();
    }
    QPlainTextEdit* edit() const { return f->MainEdit; }
    QTextDocument* doc() const { return f->MainEdit->document(); }
    void select(int anchor, int position) {
        QTextCursor c = edit()->textCursor();
        c.setPosition(anchor);
        c.setPosition(position, QTextCursor::KeepAnchor);
        edit()->setTextCursor(c);
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(edit(), Qt::Key(key), modifiers);
    }
    QString saved() {
        QTest::mouseClick(f->SaveDataBtn, Qt::LeftButton);
        return QString::fromUtf8(data.read(QStringLiteral("g/a.txt")));
    }
    // The first block that continues a line: where a soft break stands.
    QTextBlock firstContinuation() const {
        for (QTextBlock b = doc()->begin(); b.isValid(); b = b.next())
            if (continuesLine(b))
                return b;
        return {};
    }
    // The text position of a block's start, counted over the blocks before
    // it: one line break after each block that is not continued.
    qsizetype textOffset(const QTextBlock& block) const {
        qsizetype offset = 0;
        for (QTextBlock b = doc()->begin(); b != block; b = b.next())
            offset += b.length() - 1 + (continuesLine(b.next()) ? 0 : 1);
        return offset;
    }
    // An empty piece would show as a line that the text does not have.
    bool hasEmptyPiece() const {
        for (QTextBlock b = doc()->begin(); b.isValid(); b = b.next())
            if (b.length() == 1 && (continuesLine(b) || continuesLine(b.next())))
                return true;
        return false;
    }
};

} // namespace

class TestLongLines : public QObject {
    Q_OBJECT

private slots:
    void piecesOfALine_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<qsizetype>>("cuts");
        const QString words = QStringLiteral("abcdefg ").repeated(20); // 160
        QTest::newRow("short lines")
            << QStringLiteral("a\nbb\n") + QString(100, u'x') + u'\n' << QList<qsizetype>{};
        QTest::newRow("after the last space that fits") << words << QList<qsizetype>{96};
        QTest::newRow("no place to wrap") << QString(250, u'x') << QList<qsizetype>{100, 200};
        QTest::newRow("lines cut on their own")
            << QString(150, u'x') + u'\n' + QString(150, u'y') << QList<qsizetype>{100, 251};
        QTest::newRow("between Japanese characters, not before a full stop")
            << QString(100, u'あ') + QStringLiteral("。") + QString(60, u'い')
            << QList<qsizetype>{99};
        QString pairs; // U+1F600 as surrogate pairs, one at 99..100
        for (int i = 0; i < 99; ++i)
            pairs += u'x';
        for (int i = 0; i < 40; ++i)
            pairs += QStringLiteral("😀");
        QTest::newRow("never inside a surrogate pair") << pairs << QList<qsizetype>{99};
        QString marks = QString(100, u'e');
        marks += QChar(0x0301); // a combining accent on the 100th e
        marks += QString(60, u'e');
        QTest::newRow("never before a combining mark") << marks << QList<qsizetype>{99};
    }
    void piecesOfALine() {
        QFETCH(QString, text);
        QFETCH(QList<qsizetype>, cuts);
        const std::vector<qsizetype> found = ostrel::softBreakPositions(text, 100);
        QCOMPARE(QList<qsizetype>(found.begin(), found.end()), cuts);
    }

    // A record read and written back unchanged, in each encoding and break.
    void savedByteForByte_data() {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("lineBreak");
        using E = ostrel::TextEncoding;
        using B = ostrel::LineBreak;
        QTest::newRow("UTF-8, LF") << int(E::Utf8) << int(B::LF);
        QTest::newRow("UTF-16, CR LF") << int(E::Utf16LE) << int(B::CRLF);
        QTest::newRow("Shift-JIS, CR LF") << int(E::ShiftJis) << int(B::CRLF);
    }
    void savedByteForByte() {
        QFETCH(int, encoding);
        QFETCH(int, lineBreak);
        ostrel::TextFormat format;
        format.encoding = ostrel::TextEncoding(encoding);
        format.lineBreak = ostrel::LineBreak(lineBreak);
        QString text = record(true);
        if (format.encoding == ostrel::TextEncoding::ShiftJis)
            text.remove(QStringLiteral("😀"));
        const QByteArray bytes = *ostrel::encodeText(text, format);
        Fixture x(bytes);
        QVERIFY(x.firstContinuation().isValid());
        // An edit undone by hand: the record is saved from the edited copy.
        x.select(x.firstContinuation().position(), x.firstContinuation().position());
        QTest::keyClicks(x.edit(), QStringLiteral("x"));
        x.key(Qt::Key_Backspace);
        QTest::mouseClick(x.f->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(x.data.read(QStringLiteral("g/a.txt")), bytes);
    }

    // Keys next to a soft break act as they would anywhere in a line; undo
    // and redo bring back the text before and after, and no empty piece is
    // ever shown.
    void editsNextToASoftBreak_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("backspace at a piece's start") << 0;
        QTest::newRow("delete at a piece's end") << 1;
        QTest::newRow("left over the break, then type") << 2;
        QTest::newRow("right over the break, then type") << 3;
        QTest::newRow("enter at a piece's start") << 4;
        QTest::newRow("enter at a piece's end") << 5;
        QTest::newRow("enter inside a continuing piece") << 6;
        QTest::newRow("paste lines inside a continuing piece") << 7;
        QTest::newRow("type over a selection across the break") << 8;
        QTest::newRow("cut across the break") << 9;
        QTest::newRow("delete a whole piece") << 10;
    }
    void editsNextToASoftBreak() {
        QFETCH(int, kind);
        Fixture x(kText.toUtf8());
        const QTextBlock piece = x.firstContinuation();
        QVERIFY(piece.isValid());
        const int p = piece.position();          // its first character
        const qsizetype t = x.textOffset(piece); // the same place in the text
        const int pieceLength = piece.length() - 1;
        QString expected = kText;
        QApplication::clipboard()->setText(QStringLiteral("P\nQ"));
        switch (kind) {
        case 0:
            x.select(p, p);
            x.key(Qt::Key_Backspace);
            expected.remove(t - 1, 1);
            break;
        case 1:
            x.select(p - 1, p - 1);
            x.key(Qt::Key_Delete);
            expected.remove(t, 1);
            break;
        case 2:
            x.select(p, p);
            x.key(Qt::Key_Left);
            QTest::keyClicks(x.edit(), QStringLiteral("X"));
            expected.insert(t - 1, u'X');
            break;
        case 3:
            x.select(p - 1, p - 1);
            x.key(Qt::Key_Right);
            QTest::keyClicks(x.edit(), QStringLiteral("X"));
            expected.insert(t + 1, u'X');
            break;
        case 4:
            x.select(p, p);
            x.key(Qt::Key_Return);
            expected.insert(t, u'\n');
            break;
        case 5:
            x.select(p - 1, p - 1);
            x.key(Qt::Key_Return);
            expected.insert(t, u'\n');
            break;
        case 6:
            x.select(p + 5, p + 5);
            x.key(Qt::Key_Return);
            expected.insert(t + 5, u'\n');
            break;
        case 7:
            x.select(p + 5, p + 5);
            x.f->PasteMnu->trigger();
            expected.insert(t + 5, QStringLiteral("P\nQ"));
            break;
        case 8:
            x.select(p - 4, p + 3);
            QTest::keyClicks(x.edit(), QStringLiteral("Z"));
            expected.replace(t - 3, 6, QStringLiteral("Z"));
            break;
        case 9:
            x.select(p - 4, p + 3);
            x.f->CutMnu->trigger();
            QCOMPARE(QApplication::clipboard()->text(), kText.mid(t - 3, 6));
            expected.remove(t - 3, 6);
            break;
        case 10:
            x.select(p, p + pieceLength);
            x.key(Qt::Key_Delete);
            expected.remove(t, pieceLength);
            break;
        }
        QVERIFY(!x.hasEmptyPiece());
        QCOMPARE(x.saved(), expected);
        x.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(x.saved(), kText);
        x.key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(x.saved(), expected);
        QVERIFY(!x.hasEmptyPiece());
    }

    void copyAndFindAcrossASoftBreak() {
        Fixture x(kText.toUtf8());
        const QTextBlock piece = x.firstContinuation();
        const int p = piece.position();
        const qsizetype t = x.textOffset(piece);
        const QString across = kText.mid(t - 4, 8);
        QCOMPARE(kText.indexOf(across), t - 4);

        x.select(p - 5, p + 4);
        x.f->CopyMnu->trigger();
        QCOMPARE(QApplication::clipboard()->text(), across);

        x.select(0, 0);
        x.f->FindStringMnu->trigger();
        x.f->FindDialog->FindTextEdt->setText(across);
        QTest::mouseClick(x.f->FindDialog->FindNextBtn, Qt::LeftButton);
        QCOMPARE(x.edit()->textCursor().selectionStart(), p - 5);
        QCOMPARE(x.edit()->textCursor().selectionEnd(), p + 4);
        // The next request starts after the match: there is no other.
        QTest::mouseClick(x.f->FindDialog->FindNextBtn, Qt::LeftButton);
        QCOMPARE(x.edit()->textCursor().selectionStart(), p - 5);
    }

    // Without word wrap a long line is one line for the display and for a
    // move to a line, however many pieces it is held in.
    void oneLineWithoutWrap() {
        Fixture x(kText.toUtf8());
        x.edit()->setLineWrapMode(QPlainTextEdit::NoWrap);
        QTextBlock last = x.doc()->findBlock(x.doc()->characterCount() - 1).previous();
        QCOMPARE(last.text(), QStringLiteral("last line"));
        const int inLastPiece = last.previous().position() + 3;
        QVERIFY(continuesLine(last.previous()) && continuesLine(last.previous().previous()));

        x.select(inLastPiece, inLastPiece);
        x.key(Qt::Key_Right);
        QCOMPARE(x.f->CurrentLineLbl->text(), QStringLiteral("2"));
        x.key(Qt::Key_Down);
        QCOMPARE(x.f->CurrentLineLbl->text(), QStringLiteral("2"));

        answerInputBox(QStringLiteral("3"));
        x.f->MoveLineMnu->trigger();
        QCOMPARE(x.edit()->textCursor().position(), last.position());
        answerInputBox(QStringLiteral("2"));
        x.f->MoveLineMnu->trigger();
        QCOMPARE(x.edit()->textCursor().position(), x.doc()->findBlockByNumber(1).position());
        x.f->MoveLastMnu->trigger(); // in front of the last character, the final break
        QCOMPARE(x.edit()->textCursor().position(), last.position() + last.length() - 1);
    }

    // Printing takes the lines from a snapshot: a line held in pieces prints
    // as the line it is, with its rows cut from the whole line with word
    // wrap, as from a document that holds it in one block.
    void printedAsOneLine_data() {
        QTest::addColumn<bool>("wrap");
        QTest::newRow("word wrap") << true;
        QTest::newRow("no wrap") << false;
    }
    void printedAsOneLine() {
        QFETCH(bool, wrap);
        Fixture x(kText.toUtf8());
        x.edit()->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
        QVERIFY(x.firstContinuation().isValid());
        QTextDocument whole;
        whole.setDocumentLayout(new QPlainTextDocumentLayout(&whole));
        whole.setDefaultFont(x.doc()->defaultFont());
        whole.setDefaultTextOption(x.doc()->defaultTextOption());
        whole.setPlainText(kText);
        const qreal width = x.edit()->viewport()->width();
        const auto lines = [width](const QTextDocument* doc) {
            ostrel::EditorLines::Snapshot snapshot = ostrel::EditorLines::snapshot(doc, width);
            QStringList all;
            QString line;
            while (snapshot.next(line))
                all.append(line);
            return all;
        };
        const QStringList printed = lines(x.doc());
        QCOMPARE(printed, lines(&whole));
        if (wrap)
            QVERIFY(printed.size() > 10);
        else
            QCOMPARE(printed, kText.split(u'\n').first(3));
    }

    // A long line pasted is cut as a loaded one is.
    void pastedLongLineIsCut() {
        Fixture x(QByteArray("first\nlast\n"));
        const QString line = longLine(6000);
        QApplication::clipboard()->setText(line);
        x.select(5, 5);
        x.f->PasteMnu->trigger();
        for (QTextBlock b = x.doc()->begin(); b.isValid(); b = b.next())
            QVERIFY(b.length() - 1 <= ostrel::kLongLine);
        QVERIFY(x.firstContinuation().isValid());
        QCOMPARE(x.saved(), QStringLiteral("first") + line + QStringLiteral("\nlast\n"));
    }
};

OSTREL_TEST_MAIN(TestLongLines)
#include "tst_longlines.moc"
