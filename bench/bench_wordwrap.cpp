// Switching word wrap on a large record must not hold the window: with the
// caret at the end of 100,000 lines, switching wrap off and on again through
// the menu item (the repaint and the line display, which follows the wrapped
// rows at once, included) within 3x of the editor's own relayout of the same
// record (its wrap mode set directly, and repainted).
#include "BenchSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"
#include "mainwindow/MainFrm.h"
#include "ui/Application.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

namespace {

QString record(int lines) {
    QString text;
    text.reserve(qsizetype(lines) * 70);
    for (int i = 0; i < lines; ++i) {
        text += QStringLiteral("line %1 of the record").arg(i);
        text += QString(" words").repeated(i % 17); // some rows wrap once or twice
        text += u'\n';
    }
    return text;
}

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

int main(int argc, char** argv) {
    ostrel::Application app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    // A data folder that starts without questions: a group, and settings.
    QDir().mkpath(QStringLiteral("g"));
    write(QStringLiteral("g/a.txt"), "x");
    write(QStringLiteral("Ostrel.ini"),
          "[OSTREL2 for Windows98 ApplicationSettingData]\nEDIT WORDWRAP=1\n");

    auto* frm = new TMainFrm;
    frm->resize(450, 350);
    frm->show();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    frm->SaveSettingsOnClose = false;
    frm->MainEdit->setEnabled(true);
    frm->MainEdit->document()->setText(record(100000));
    frm->MainEdit->setCaret(frm->MainEdit->document()->length());
    QCoreApplication::processEvents();
    frm->ShowCurrentLine();
    // The line display may follow once the rows are counted: the caret's
    // row is past the 100,001st line once the wrapped rows are in.
    const auto settle = [frm](const std::function<bool()>& done) {
        QElapsedTimer waited;
        waited.start();
        while (!done() && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    };
    settle([frm] { return frm->CurrentLineLbl->text().toInt() > 100001; });
    const QString wrappedLine = frm->CurrentLineLbl->text();

    const auto relayout = [frm](bool wrap) {
        frm->MainEdit->setWordWrap(wrap);
        QCoreApplication::processEvents();
    };
    const auto choose = [frm] {
        frm->RightReturnMnu->trigger();
        QCoreApplication::processEvents();
    };
    const bool ok = bench::compare(
        "wrap off and on, 100,000 lines, caret at the end",
        [&] {
            choose();
            choose();
        },
        [&] {
            relayout(false);
            relayout(true);
        },
        3.0);
    settle([&] { return frm->CurrentLineLbl->text() == wrappedLine; });
    if (frm->CurrentLineLbl->text() != wrappedLine || !frm->RightReturnMnu->isChecked())
        std::printf("unexpected line display %s (wrapped: %s)\n",
                    qPrintable(frm->CurrentLineLbl->text()), qPrintable(wrappedLine));
    delete frm;
    return ok ? 0 : 1;
}
