// The line display runs on every key press that reaches the editor, and a
// find searches the whole record: neither may cost more on a large record.
//  - without wrap, 1,000,000 lines, caret at the end: a key press (line display
//    included) within 2x of the same key press on 100 lines;
//  - with wrap, 100,000 lines: the first count is reported; every key press
//    after it within 2x of 100 lines;
//  - find with the match near the end of a 100 MB record: within 2x of a plain
//    substring search of the same text.
#include "BenchSupport.h"
#include "mainwindow/FindDialog.h"
#include "mainwindow/MainFrm.h"
#include "ui/Application.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

namespace {

QString record(int lines, bool varied) {
    QString text;
    text.reserve(qsizetype(lines) * (varied ? 70 : 30));
    for (int i = 0; i < lines; ++i) {
        text += QStringLiteral("line %1 of the record").arg(i);
        if (varied) // some rows wrap once or twice at the editor's width
            text += QString(" words").repeated(i % 17);
        text += u'\n';
    }
    return text;
}

TMainFrm* openWindow() {
    auto* frm = new TMainFrm;
    frm->resize(450, 350);
    frm->show();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    frm->MainEdit->setEnabled(true);
    frm->MainEdit->setFocus();
    return frm;
}

void load(TMainFrm* frm, const QString& text, bool wrap) {
    frm->MainEdit->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    frm->MainEdit->setPlainText(text);
    frm->MainEdit->moveCursor(QTextCursor::End);
    QCoreApplication::processEvents();
}

// Key presses as they reach the editor, each followed by the repaint.
void pressKeys(TMainFrm* frm, int count, bool typing) {
    MainFrm = frm;
    for (int i = 0; i < count; ++i) {
        const int key = typing ? Qt::Key_A : (i % 2 ? Qt::Key_Right : Qt::Key_Left);
        const QString text = typing ? QStringLiteral("a") : QString();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(frm->MainEdit, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(frm->MainEdit, &release);
        QCoreApplication::processEvents();
    }
}

} // namespace

int main(int argc, char** argv) {
    ostrel::Application app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    QDir().mkpath(QStringLiteral("g"));
    QFile rec(QStringLiteral("g/a.txt"));
    rec.open(QIODevice::WriteOnly);
    rec.write("x");
    rec.close();
    QFile ini(QStringLiteral("Ostrel.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[OSTREL2 for Windows98 ApplicationSettingData]\nEDIT WORDWRAP=1\n");
    ini.close();

    TMainFrm* small = openWindow();
    TMainFrm* big = openWindow();
    for (TMainFrm* f : {small, big})
        f->SaveSettingsOnClose = false;
    bool ok = true;

    // Without wrap.
    load(small, record(100, false), false);
    load(big, record(1000000, false), false);
    for (bool typing : {false, true}) {
        ok &= bench::compare(
            typing ? "no wrap, 1,000,000 lines, typing (100 keys)"
                   : "no wrap, 1,000,000 lines, arrow keys (100 keys)",
            [&] { pressKeys(big, 100, typing); }, [&] { pressKeys(small, 100, typing); }, 2.0);
    }
    if (big->CurrentLineLbl->text() != QStringLiteral("1000001"))
        std::printf("unexpected line display %s\n", qPrintable(big->CurrentLineLbl->text()));

    // With wrap.
    load(small, record(100, true), true);
    load(big, record(100000, true), true);
    MainFrm = big;
    const double first = bench::timeOnce([] { ShowCurrentLine(); });
    std::printf("wrap, 100,000 lines: first count %.0f ms, caret on line %s\n", first,
                qPrintable(big->CurrentLineLbl->text()));
    std::fflush(stdout);
    for (bool typing : {false, true}) {
        ok &= bench::compare(
            typing ? "wrap, 100,000 lines, typing (100 keys)"
                   : "wrap, 100,000 lines, arrow keys (100 keys)",
            [&] { pressKeys(big, 100, typing); }, [&] { pressKeys(small, 100, typing); }, 2.0);
    }

    // Find near the end of 100 MB.
    QString huge = record(1300000, true);
    huge.truncate(100'000'000);
    huge += QStringLiteral("\nthe NEEDLE-TO-FIND is here\nand the last line");
    load(big, huge, true);
    huge.clear();
    huge.squeeze();
    MainFrm = big;
    big->FindDialog->FindTextEdt->setText(QStringLiteral("NEEDLE-TO-FIND"));
    const QString text = big->MainEdit->toPlainText();
    qsizetype expected = -1;
    ok &= bench::compare(
        "find near the end of 100 MB",
        [&] {
            big->MainEdit->moveCursor(QTextCursor::Start);
            big->FindDialogFind();
        },
        [&] { expected = text.indexOf(QStringLiteral("NEEDLE-TO-FIND")); }, 2.0);
    if (big->MainEdit->textCursor().selectionStart() != expected)
        std::printf("find selected %d, expected %lld\n",
                    big->MainEdit->textCursor().selectionStart(), qlonglong(expected));

    delete big;
    delete small;
    return ok ? 0 : 1;
}
