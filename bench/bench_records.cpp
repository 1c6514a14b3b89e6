// Loading and saving a 100 MB record (UTF-8 and Shift-JIS), and keystrokes in
// it, each beside its reference.
#include "BenchSupport.h"
#include "mainwindow/MainFrm.h"
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

void clickRecord(TMainFrm& frm, int row) {
    // The list's selection moves away and back, as a person's click on the
    // record would select it.
    SelectRecord(-1);
    frm.RecordLst->setCurrentRow(row);
    QApplication::processEvents();
}

double keystrokeMs(QPlainTextEdit* edit) {
    edit->setFocus();
    edit->moveCursor(QTextCursor::End);
    QApplication::processEvents();
    std::vector<double> times;
    for (int i = 0; i < 20; ++i) {
        times.push_back(bench::timeOnce([edit] {
            QTest::keyClick(edit, Qt::Key_A);
            QApplication::processEvents();
        }));
    }
    return bench::median(times);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir data;
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
        std::snprintf(label, sizeof label, "load 100 MB %s record, click to text shown", c.name);
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
        const QString path = QStringLiteral("g/copy.txt");
        ok &= bench::compare(
            label, [&] { frm.SaveDataBtnClick(); }, [&] { plainWriteAndSync(path, *c.bytes); }, 2.0,
            5);
    }

    clickRecord(frm, 0);
    const double big = keystrokeMs(frm.MainEdit);
    frm.MainEdit->document()->setModified(false); // no question when switching
    clickRecord(frm, 2);
    const double small = keystrokeMs(frm.MainEdit);
    const double ratio = big / small;
    std::printf(
        "keystroke in the 100 MB record: %.3f ms vs %.3f ms in a 100-line record, ratio %.2f %s\n",
        big, small, ratio, ratio <= 2.0 ? "ok" : "OVER");
    frm.MainEdit->document()->setModified(false);
    frm.SaveSettingsOnClose = false;
    return ok ? 0 : 1;
}
