// The keys a person presses in the editor, and find, may not cost more in a
// large record than in a small one:
//  - a sequence of keys (arrows, typing, Enter, Backspace, Page Down and Up,
//    Home and End, a jump to the end and the keys after it, a small paste),
//    each timed with what it makes the window do (the line display
//    included), each round on a record just loaded: in 1,000,000 lines
//    without wrap and in 100 MB of lines with wrap against the same keys in a
//    record of 100 lines, and in a 5 MB line with and without wrap against a
//    line of 64,000 characters (a long line costs more per row than a short
//    one however long the record is: the question is what the size adds).
//    The target (at most 2x) holds for the median key and for the slowest;
//  - how long after the first key after the jump to the end of the 100 MB
//    record the line display shows its number (counted on another thread);
//  - find with the match near the end of a 100 MB record, the first search
//    after the load included, matching case and (as the dialog opens)
//    ignoring it, and up from the end to a match near the start: within 2x of
//    a plain substring search of the same text, alike.
#include "BenchSupport.h"
#include "editor/Document.h"
#include "editor/Lines.h"
#include "editor/TextView.h"
#include "mainwindow/FindDialog.h"
#include "mainwindow/MainFrm.h"
#include "ui/Application.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

namespace {

QString lines(int count, bool varied) {
    QString text;
    text.reserve(qsizetype(count) * (varied ? 70 : 30));
    for (int i = 0; i < count; ++i) {
        text += QStringLiteral("line %1 of the record").arg(i);
        if (varied) // some rows wrap once or twice at the editor's width
            text += QString(" words").repeated(i % 17);
        text += u'\n';
    }
    return text;
}

QString megabytes(int mb) {
    QString text = lines(mb * 1000 * 1000 / 60 + 1, true);
    text.truncate(qsizetype(mb) * 1000 * 1000);
    return text;
}

QString oneLine(qsizetype length) {
    const QString words =
        QStringLiteral("一行のメモです。The quick brown fox jumps over the lazy dog. ");
    QString line = words.repeated(length / words.size() + 1);
    line.truncate(length);
    return line;
}

TMainFrm* openWindow() {
    auto* frm = new TMainFrm;
    frm->SaveSettingsOnClose = false;
    frm->resize(450, 350);
    frm->show();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    frm->MainEdit->setEnabled(true);
    return frm;
}

// Gives the window a record's text as a load does.
void load(TMainFrm* frm, const QString& text, bool wrap) {
    frm->MainEdit->setWordWrap(wrap);
    frm->MainEdit->document()->setText(text);
    frm->MainEdit->setFocus();
    frm->MainEditEnter();
    QCoreApplication::processEvents();
}

struct Key {
    int key;
    Qt::KeyboardModifiers modifiers;
    const char* text;
};
// Keys near the start, a jump to the end, keys there, a small paste.
const Key kKeys[] = {
    {Qt::Key_Right, {}, ""},    {Qt::Key_Right, {}, ""},
    {Qt::Key_Left, {}, ""},     {Qt::Key_Down, {}, ""},
    {Qt::Key_Down, {}, ""},     {Qt::Key_Up, {}, ""},
    {Qt::Key_A, {}, "a"},       {Qt::Key_B, {}, "b"},
    {Qt::Key_Return, {}, "\r"}, {Qt::Key_Backspace, {}, "\b"},
    {Qt::Key_PageDown, {}, ""}, {Qt::Key_PageDown, {}, ""},
    {Qt::Key_PageUp, {}, ""},   {Qt::Key_End, {}, ""},
    {Qt::Key_Home, {}, ""},     {Qt::Key_End, Qt::ControlModifier, ""}, // the jump
    {Qt::Key_X, {}, "x"},       {Qt::Key_Left, {}, ""},
    {Qt::Key_Right, {}, ""},    {Qt::Key_Backspace, {}, "\b"},
    {Qt::Key_Return, {}, "\r"}, {Qt::Key_Up, {}, ""},
    {Qt::Key_PageUp, {}, ""},   {Qt::Key_V, Qt::ControlModifier, ""},
};
constexpr int kFirstAfterJump = 16;

// Each key of the sequence as it reaches the window, with its repaint.
std::vector<double> pressKeys(TMainFrm* frm, double* firstAfterJumpAt = nullptr) {
    QWidget* edit = frm->MainEdit;
    std::vector<double> times;
    int index = 0;
    for (const Key& k : kKeys) {
        if (index++ == kFirstAfterJump && firstAfterJumpAt)
            *firstAfterJumpAt = double(QDateTime::currentMSecsSinceEpoch());
        times.push_back(bench::timeOnce([&] {
            const QString text = QString::fromLatin1(k.text);
            QKeyEvent press(QEvent::KeyPress, k.key, k.modifiers, text);
            QCoreApplication::sendEvent(edit, &press);
            QKeyEvent release(QEvent::KeyRelease, k.key, k.modifiers, text);
            QCoreApplication::sendEvent(edit, &release);
            QCoreApplication::processEvents();
        }));
    }
    return times;
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
    QApplication::clipboard()->setText(QStringLiteral("pasted\ntext"));

    TMainFrm* small = openWindow();
    TMainFrm* big = openWindow();
    bool ok = true;
    const QString smallLines = lines(100, true);
    const QString smallLine = oneLine(64000);

    const struct {
        const char* name;
        QString text;
        const QString& small;
        bool wrap;
    } cases[] = {
        {"keys in 1,000,000 lines without wrap", lines(1000000, false), smallLines, false},
        {"keys in 100 MB of lines with wrap", megabytes(100), smallLines, true},
        {"keys in a 5 MB line with wrap", oneLine(5000000), smallLine, true},
        {"keys in a 5 MB line without wrap", oneLine(5000000), smallLine, false},
    };
    for (const auto& c : cases) {
        if (!bench::selected(c.name))
            continue;
        double jumpedAt = 0;
        double shownAt = 0;
        bool first = true;
        ok &= bench::compareSteps(
            c.name,
            [&] {
                load(big, c.text, c.wrap);
                std::vector<double> times = pressKeys(big, first ? &jumpedAt : nullptr);
                if (std::exchange(first, false)) {
                    // The number for the end of the text, when it is counted.
                    const ostrel::editor::Lines* lines = big->MainEdit->lines();
                    while (lines->counting())
                        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
                    shownAt = double(QDateTime::currentMSecsSinceEpoch());
                }
                return times;
            },
            [&] {
                load(small, c.small, c.wrap);
                return pressKeys(small);
            },
            2.0);
        std::printf("  the line display showed the line of the end %.0f ms after the first key "
                    "after the jump\n",
                    std::max(0.0, shownAt - jumpedAt));
        std::fflush(stdout);
    }
    delete small;

    // Find near the end of 100 MB: the first search after the load, then others.
    if (!bench::selected("find near the end of 100 MB")) {
        delete big;
        return ok ? 0 : 1;
    }
    QString huge = QStringLiteral("the FIRST-NEEDLE is here\n") + megabytes(100);
    huge += QStringLiteral("\nthe NEEDLE-TO-FIND is here\nand the last line");
    load(big, huge, true);
    TFindDialog* dialog = big->FindDialog;
    dialog->MatchCaseChk->setChecked(true);
    dialog->FindTextEdt->setText(QStringLiteral("NEEDLE-TO-FIND"));
    qsizetype expected = -1;
    const auto plainSearch = [&] { expected = huge.indexOf(QStringLiteral("NEEDLE-TO-FIND")); };
    const auto find = [&] {
        big->MainEdit->setCaret(0);
        big->FindDialogFind();
    };
    const double firstFind = bench::timeOnce(find);
    const double plainFirst = bench::timeOnce(plainSearch);
    ok &= bench::report("first find near the end of 100 MB after its load", firstFind, plainFirst,
                        firstFind, plainFirst, 2.0, bench::Target::Median);
    ok &= bench::compare("find near the end of 100 MB", find, plainSearch, 2.0);
    const auto selected = [&](const char* what) {
        if (big->MainEdit->selectionStart() == expected)
            return true;
        std::printf("%s selected %lld, expected %lld\n", what,
                    qlonglong(big->MainEdit->selectionStart()), qlonglong(expected));
        return false;
    };
    ok &= selected("find");

    dialog->MatchCaseChk->setChecked(false);
    const auto plainFolded = [&] {
        expected = huge.indexOf(QStringLiteral("NEEDLE-TO-FIND"), 0, Qt::CaseInsensitive);
    };
    ok &= bench::compare("find ignoring case near the end of 100 MB", find, plainFolded, 2.0);
    ok &= selected("find ignoring case");

    dialog->MatchCaseChk->setChecked(true);
    dialog->UpRdb->setChecked(true);
    dialog->FindTextEdt->setText(QStringLiteral("FIRST-NEEDLE"));
    const auto plainUp = [&] { expected = huge.lastIndexOf(QStringLiteral("FIRST-NEEDLE")); };
    const auto findUp = [&] {
        big->MainEdit->setCaret(big->MainEdit->document()->length());
        big->FindDialogFind();
    };
    ok &= bench::compare("find up near the start of 100 MB", findUp, plainUp, 2.0);
    ok &= selected("find up");

    big->MainEdit->document()->setModified(false);
    delete big;
    return ok ? 0 : 1;
}
