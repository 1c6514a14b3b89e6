// Records with lines of thousands of characters: the editor holds such a line
// as the one line it is, with word wrap or without. Keys, the clipboard, find,
// the line display, moves to a line and printing are driven through the main
// window; what a save writes is compared byte for byte.
#include "TestMain.h"
#include "TestSupport.h"
#include "editor/Document.h"
#include "editor/Lines.h"
#include "editor/TextView.h"
#include "mainwindow/FindDialog.h"
#include "mainwindow/MainFrm.h"
#include "text/TextCodec.h"

#include <QClipboard>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace testing;

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
// A place deep inside the long line (line 2), between two plain characters.
const qsizetype kInside = kText.indexOf(QStringLiteral("word301 ")) + 2;

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
    std::unique_ptr<Started> started;
    TMainFrm* f = nullptr;

    explicit Fixture(const QByteArray& bytes) {
        data.write(QStringLiteral("Ostrel.ini"), defaultSettingsFile());
        data.write(QStringLiteral("g/a.txt"), bytes);
        started = std::make_unique<Started>();
        f = started->main;
        f->activateWindow();
        QApplication::setActiveWindow(f);
        f->MainEdit->setFocus(Qt::MouseFocusReason);
        f->MainEditEnter();
    }
    ~Fixture() {
        if (f->FindDialog)
            f->FindDialog->hide();
    }
    ostrel::editor::TextView* edit() const { return f->MainEdit; }
    void select(qsizetype anchor, qsizetype position) { edit()->select(anchor, position); }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(edit(), Qt::Key(key), modifiers);
    }
    QString saved() {
        QTest::mouseClick(f->SaveDataBtn, Qt::LeftButton);
        return QString::fromUtf8(data.read(QStringLiteral("g/a.txt")));
    }
    // The lines as printing takes them.
    QStringList printed() const {
        const auto shown = edit()->lines()->shown();
        QStringList all;
        QString line;
        while (shown->next(line))
            all.append(line);
        return all;
    }
};

} // namespace

class TestLongLines : public QObject {
    Q_OBJECT

private slots:
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
        QCOMPARE(x.edit()->document()->toString(), text);
        QCOMPARE(x.edit()->document()->lineCount(), 4); // three lines and the empty last
        // An edit undone by hand: the record is saved from the edited text.
        x.select(kInside, kInside);
        QTest::keyClicks(x.edit(), QStringLiteral("x"));
        x.key(Qt::Key_Backspace);
        QTest::mouseClick(x.f->SaveDataBtn, Qt::LeftButton);
        QCOMPARE(x.data.read(QStringLiteral("g/a.txt")), bytes);
    }

    // Keys deep inside a long line and across the place where a row wraps
    // act as anywhere in a line; undo and redo bring back the text before
    // and after.
    void editsInsideALongLine_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("atRowStart"); // at the start of a wrapped row
        for (const bool atRow : {false, true}) {
            const char* where = atRow ? ", at a row's start" : "";
            QTest::addRow("backspace%s", where) << 0 << atRow;
            QTest::addRow("delete%s", where) << 1 << atRow;
            QTest::addRow("left, then type%s", where) << 2 << atRow;
            QTest::addRow("enter%s", where) << 3 << atRow;
            QTest::addRow("paste lines%s", where) << 4 << atRow;
            QTest::addRow("type over a selection%s", where) << 5 << atRow;
            QTest::addRow("cut a selection%s", where) << 6 << atRow;
        }
    }
    void editsInsideALongLine() {
        QFETCH(int, kind);
        QFETCH(bool, atRowStart);
        Fixture x(kText.toUtf8());
        qsizetype t = kInside;
        if (atRowStart) {
            // A row of the long line that starts after its first.
            const qsizetype firstRow = x.edit()->lines()->lineOf(6).value_or(-1);
            QTRY_VERIFY(x.edit()->lines()->lineStart(firstRow + 3).has_value());
            t = *x.edit()->lines()->lineStart(firstRow + 3);
            QVERIFY(t > 6 && t < 5006);
        }
        QString expected = kText;
        QApplication::clipboard()->setText(QStringLiteral("P\nQ"));
        switch (kind) {
        case 0:
            x.select(t, t);
            x.key(Qt::Key_Backspace);
            expected.remove(t - 1, 1);
            break;
        case 1:
            x.select(t, t);
            x.key(Qt::Key_Delete);
            expected.remove(t, 1);
            break;
        case 2:
            x.select(t, t);
            x.key(Qt::Key_Left);
            QTest::keyClicks(x.edit(), QStringLiteral("X"));
            expected.insert(t - 1, u'X');
            break;
        case 3:
            x.select(t, t);
            x.key(Qt::Key_Return);
            expected.insert(t, u'\n');
            break;
        case 4:
            x.select(t, t);
            x.f->PasteMnu->trigger();
            expected.insert(t, QStringLiteral("P\nQ"));
            break;
        case 5:
            x.select(t - 3, t + 3);
            QTest::keyClicks(x.edit(), QStringLiteral("Z"));
            expected.replace(t - 3, 6, QStringLiteral("Z"));
            break;
        case 6:
            x.select(t - 3, t + 3);
            x.f->CutMnu->trigger();
            QCOMPARE(QApplication::clipboard()->text(), kText.mid(t - 3, 6));
            expected.remove(t - 3, 6);
            break;
        }
        QCOMPARE(x.saved(), expected);
        x.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(x.saved(), kText);
        x.key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(x.saved(), expected);
    }

    // Copy and find inside a long line, across where its rows wrap.
    void copyAndFindInsideALongLine() {
        Fixture x(kText.toUtf8());
        const qsizetype firstRow = x.edit()->lines()->lineOf(6).value_or(-1);
        QTRY_VERIFY(x.edit()->lines()->lineStart(firstRow + 2).has_value());
        const qsizetype t = *x.edit()->lines()->lineStart(firstRow + 2);
        const QString across = kText.mid(t - 5, 9);
        QCOMPARE(kText.indexOf(across), t - 5);

        x.select(t - 5, t + 4);
        x.f->CopyMnu->trigger();
        QCOMPARE(QApplication::clipboard()->text(), across);

        x.select(0, 0);
        x.f->FindStringMnu->trigger();
        x.f->FindDialog->FindTextEdt->setText(across);
        QTest::mouseClick(x.f->FindDialog->FindNextBtn, Qt::LeftButton);
        QCOMPARE(x.edit()->selectionStart(), t - 5);
        QCOMPARE(x.edit()->selectionEnd(), t + 4);
        // The next request starts after the match: there is no other.
        QTest::mouseClick(x.f->FindDialog->FindNextBtn, Qt::LeftButton);
        QCOMPARE(x.edit()->selectionStart(), t - 5);
    }

    // Without word wrap a long line is one line for the display and for a
    // move to a line.
    void oneLineWithoutWrap() {
        Fixture x(kText.toUtf8());
        x.edit()->setWordWrap(false);
        const qsizetype last = kText.indexOf(QStringLiteral("last line"));

        // The display shows the caret's line as a key goes down, before the
        // key moves it.
        x.select(last - 10, last - 10);
        x.key(Qt::Key_Right);
        QTRY_COMPARE(x.f->CurrentLineLbl->text(), QStringLiteral("2"));
        x.key(Qt::Key_Down);
        QCOMPARE(x.edit()->caret(), kText.size() - 1);
        QTRY_COMPARE(x.f->CurrentLineLbl->text(), QStringLiteral("2"));
        x.key(Qt::Key_Up);
        QTRY_COMPARE(x.f->CurrentLineLbl->text(), QStringLiteral("3"));

        answerInputBox(QStringLiteral("3"));
        x.f->MoveLineMnu->trigger();
        QTRY_COMPARE(x.edit()->caret(), last);
        answerInputBox(QStringLiteral("2"));
        x.f->MoveLineMnu->trigger();
        QTRY_COMPARE(x.edit()->caret(), qsizetype(6));
        x.f->MoveLastMnu->trigger(); // in front of the last character, the final break
        QCOMPARE(x.edit()->caret(), kText.size() - 1);
    }

    // Printing takes the rows as shown, cut from the whole line: without
    // wrap the long line prints whole; with it, its rows put together are
    // the line, every character once.
    void printedExactly_data() {
        QTest::addColumn<bool>("wrap");
        QTest::newRow("word wrap") << true;
        QTest::newRow("no wrap") << false;
    }
    void printedExactly() {
        QFETCH(bool, wrap);
        Fixture x(kText.toUtf8());
        x.edit()->setWordWrap(wrap);
        const QStringList printed = x.printed();
        if (!wrap) {
            QCOMPARE(printed, kText.split(u'\n').first(3));
            return;
        }
        QVERIFY(printed.size() > 10);
        QCOMPARE(printed.first(), QStringLiteral("first"));
        QCOMPARE(printed.last(), QStringLiteral("last line"));
        QCOMPARE(printed.mid(1, printed.size() - 2).join(QString()), kText.split(u'\n').at(1));
        // The rows printed are the rows the line display counts.
        QTRY_VERIFY(x.edit()->lines()->lineCount().has_value());
        QCOMPARE(*x.edit()->lines()->lineCount(), printed.size() + 1); // and the empty last
    }

    // A long line pasted is held as typed: one line, saved exactly.
    void pastedLongLineIsOneLine() {
        Fixture x(QByteArray("first\nlast\n"));
        const QString line = longLine(6000);
        QApplication::clipboard()->setText(line);
        x.edit()->setWordWrap(false);
        x.select(5, 5);
        x.f->PasteMnu->trigger();
        QCOMPARE(x.edit()->document()->lineCount(), 3);
        QTRY_COMPARE(x.edit()->lines()->lineCount().value_or(-1), qsizetype(3));
        QCOMPARE(x.saved(), QStringLiteral("first") + line + QStringLiteral("\nlast\n"));
    }
};

OSTREL_TEST_MAIN(TestLongLines)
#include "tst_longlines.moc"
