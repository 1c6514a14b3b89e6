// Listing a large group into RecordLst, shown and painted, beside one plain
// read of the folder and a sort of its names; and starting up on that group
// with a 1 MB record, beside a bare editor window given the same text.
#include "BenchSupport.h"
#include "mainwindow/MainFrm.h"
#include "mainwindow/ProgramWindows.h"
#include "store/RecordStore.h"
#include "text/PatternList.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <string>
#include <vector>

#include <dirent.h>

namespace {

void makeGroup(const QString& dir) {
    QDir().mkpath(dir);
    const char* matching[] = {".txt", ".ini", ".log", ".c", ".cpp"};
    const char* other[] = {".jpg", ".dat", ".reg", ".bak", ".pdf"};
    for (int i = 0; i < 20000; ++i) {
        const char* ext = i % 2 == 0 ? matching[(i / 2) % 5] : other[(i / 2) % 5];
        QFile f(QStringLiteral("%1/record%2%3")
                    .arg(dir)
                    .arg(i, 5, 10, QLatin1Char('0'))
                    .arg(QLatin1String(ext)));
        f.open(QIODevice::WriteOnly);
    }
}

// The reference: one plain folder read and a sort of the names.
std::vector<std::string> plainReadAndSort(const QString& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(QFile::encodeName(dir).constData());
    while (dirent* e = readdir(d))
        names.emplace_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir data;
    QDir::setCurrent(data.path());
    makeGroup(QStringLiteral("big"));
    QString megabyte;
    while (megabyte.size() < (1 << 20))
        megabyte +=
            QStringLiteral("一行のメモです。The quick brown fox jumps over the lazy dog.\n");
    {
        QFile f(QStringLiteral("big/record00000.txt"));
        f.open(QIODevice::WriteOnly);
        f.write(megabyte.toUtf8());
        QFile ini(QStringLiteral("Ostrel.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write("[OSTREL2 for Windows98 ApplicationSettingData]\nLAST DIRECTORY=big\n"
                  "LAST DOCUMENT=record00000.txt\nSUPPORT "
                  "EXPC=*.txt/*.ini/*.log/*.bat/*.c/*.cpp/*.cgi/*.htm/*.reg\n");
    }

    bool ok = true;
    {
        TMainFrm frm;
        frm.SaveSettingsOnClose = false;
        frm.SupportPatterns = ostrel::defaultPatternList();
        frm.show();
        (void)QTest::qWaitForWindowExposed(&frm);
        frm.ListGroups();
        frm.SelectGroup(0);
        frm.ListRecords();
        std::printf("listed %d records of 20000 files\n", frm.RecordLst->count());
        ok &= bench::compare(
            "list 20000 files (10000 records) into RecordLst, shown and painted",
            [&frm] {
                frm.ListRecords();
                frm.RecordLst->viewport()->repaint();
            },
            [] { (void)plainReadAndSort(QStringLiteral("big")); }, 2.0, 9);
    }

    ok &= bench::compare(
        "start-up on that group with a 1 MB record",
        [] {
            ProgramWindows windows;
            TMainFrm* frm = windows.MainFrm;
            frm->show();
            (void)QTest::qWaitForWindowExposed(frm);
            QApplication::processEvents();
            frm->SaveSettingsOnClose = false;
        },
        [&megabyte] {
            auto* w = new QMainWindow;
            auto* edit = new QPlainTextEdit(w);
            w->setCentralWidget(edit);
            edit->setPlainText(megabyte);
            w->show();
            (void)QTest::qWaitForWindowExposed(w);
            QApplication::processEvents();
            delete w;
        },
        1.5);
    return ok ? 0 : 1;
}
