// Loading and saving a 100 MB record (UTF-8 and Shift-JIS), keystrokes in it
// (the slowest key beside the median, against a record of 100 lines), and
// saving a 5 MB record of one line, each beside its reference.
#include "BenchSupport.h"
#include "editor/Document.h"
#include "editor/TextView.h"
#include "mainwindow/MainFrm.h"
#include "record/OpenRecord.h"
#include "store/RecordStore.h"
#include "text/PatternList.h"
#include "text/TextCodec.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include <fcntl.h>
#include <unistd.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

// The reference for a save: write the bytes with plain file I/O and sync.
void plainWriteAndSync(const QString& path, const QByteArray& bytes) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            break;
        done += n;
    }
    ::fsync(fd);
    ::close(fd);
}

// Clicks a record and waits until its whole text is in the editor (a large
// record shows its first screen at once and loads the rest in the background).
void clickRecord(TMainFrm& frm, int row) {
    // The list's selection moves away and back, as a person's click on the
    // record would select it.
    frm.SelectRecord(-1);
    frm.RecordLst->setCurrentRow(row);
    QApplication::processEvents();
    while (frm.openRecord()->isLoading())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();
}

// Keys typed at the end of an editor's text, each with its repaint.
template <class Edit>
std::vector<double> keystrokes(Edit* edit, const std::function<void()>& toEnd) {
    edit->setFocus();
    toEnd();
    QApplication::processEvents();
    std::vector<double> times;
    for (int i = 0; i < 20; ++i) {
        times.push_back(bench::timeOnce([edit] {
            QTest::keyClick(edit, Qt::Key_A);
            QApplication::processEvents();
        }));
    }
    return times;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir data;
    // The references' files lie outside the data folder: the window lists
    // what lands in a group, which would move the records' rows.
    QTemporaryDir references;
    QDir::setCurrent(data.path());
    QDir().mkpath(QStringLiteral("g"));

    const QString line =
        QStringLiteral("これは長い記録の一行です。Lorem ipsum dolor sit amet, consectetur.\n");
    // As many lines as make 100 MB of UTF-8.
    const qsizetype lineBytes = line.toUtf8().size();
    const QString text = line.repeated((100 * 1000 * 1000 + lineBytes - 1) / lineBytes);
    const QByteArray utf8 = text.toUtf8();
    const QByteArray sjis = QStringEncoder("windows-31j").encode(text);
    std::printf("record: %lld characters, %.1f MB UTF-8, %.1f MB Shift-JIS\n",
                (long long)text.size(), utf8.size() / 1e6, sjis.size() / 1e6);
    writeFile(QStringLiteral("g/a-utf8.txt"), utf8);
    writeFile(QStringLiteral("g/b-sjis.txt"), sjis);
    writeFile(QStringLiteral("g/c-small.txt"), line.repeated(100).toUtf8());
    // The same words without line breaks, 5 MB of UTF-8.
    const QByteArray oneLineBytes =
        line.left(line.size() - 1).repeated(5 * 1000 * 1000 / (lineBytes - 1)).toUtf8();
    writeFile(QStringLiteral("g/d-one-line.txt"), oneLineBytes);
    writeFile(QStringLiteral("Ostrel.ini"), "[OSTREL2 for Windows98 ApplicationSettingData]\n"
                                            "LAST DIRECTORY=g\nLAST DOCUMENT=c-small.txt\n"
                                            "SUPPORT EXPC=*.txt/\n");

    // The files just made are put on the disk now, not while a save is timed.
    ::sync();

    TMainFrm frm;
    frm.show();
    (void)QTest::qWaitForWindowExposed(&frm);
    std::fflush(stdout);

    bool ok = true;
    QPlainTextEdit reference;
    reference.resize(frm.MainEdit->size());
    reference.show();
    const struct {
        const char* name;
        int row;
        const QByteArray* bytes;
    } cases[] = {{"UTF-8", 0, &utf8}, {"Shift-JIS", 1, &sjis}};
    for (const auto& c : cases) {
        char label[128];
        // Against Qt's own plain-text editor given the decoded text.
        std::snprintf(label, sizeof label, "load 100 MB %s record, click to whole text in", c.name);
        ok &= bench::compare(
            label, [&] { clickRecord(frm, c.row); },
            [&] {
                reference.setPlainText(text);
                QApplication::processEvents();
            },
            1.2, 3);
        clickRecord(frm, c.row);
        frm.MainEdit->document()->setModified(true);
        std::snprintf(label, sizeof label, "save 100 MB %s record", c.name);
        const QString path = references.filePath(QStringLiteral("copy.txt"));
        ok &= bench::compare(
            label, [&] { frm.SaveDataBtnClick(); }, [&] { plainWriteAndSync(path, *c.bytes); }, 2.0,
            5);
    }

    // Keys in the 100 MB record and in the small one, each loaded once.
    std::vector<std::vector<double>> bigKeys, smallKeys;
    clickRecord(frm, 0);
    const auto toEnd = [&frm] { frm.MainEdit->setCaret(frm.MainEdit->document()->length()); };
    for (int round = 0; round < 3; ++round)
        bigKeys.push_back(keystrokes(frm.MainEdit, toEnd));
    frm.MainEdit->document()->setModified(false); // no question when switching
    clickRecord(frm, 2);
    for (int round = 0; round < 3; ++round)
        smallKeys.push_back(keystrokes(frm.MainEdit, toEnd));
    ok &= bench::reportSteps("keystroke at the end of the 100 MB record vs a 100-line record",
                             bigKeys, smallKeys, 2.0);

    // A record of one 5 MB line: its save writes the bytes as read.
    frm.MainEdit->document()->setModified(false);
    clickRecord(frm, 3);
    frm.MainEdit->document()->setModified(true);
    ok &= bench::compare(
        "save 5 MB record of one line", [&] { frm.SaveDataBtnClick(); },
        [&] { plainWriteAndSync(references.filePath(QStringLiteral("copy.txt")), oneLineBytes); },
        2.0, 5);
    QFile saved(QStringLiteral("g/d-one-line.txt"));
    saved.open(QIODevice::ReadOnly);
    if (saved.readAll() != oneLineBytes) {
        std::printf("the 5 MB line was not saved as read\n");
        ok = false;
    }
    frm.MainEdit->document()->setModified(false);
    frm.SaveSettingsOnClose = false;
    return ok ? 0 : 1;
}
