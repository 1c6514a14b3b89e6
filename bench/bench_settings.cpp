// Reading the settings at start and writing them at close, in an Ostrel.ini
// of 80 MB (other programs' sections around Ostrel's, as a shared settings file
// file grows), UTF-8 and Shift-JIS, beside one reading of the file (decoded)
// and one reading with one atomic writing of it: the settings cost a few
// passes over the file, not a reading and a writing for each of their
// fourteen keys (which took 11 s to start and 30 s to close).
#include "BenchSupport.h"
#include "os/FileSystem.h"
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

namespace {

// About `megabytes` MB of settings file text in UTF-8 (a little less in
// Shift-JIS): sections of other keys before and after Ostrel's, whose keys
// stand in the middle of the file.
QString settingsText(int megabytes) {
    const QString other = QStringLiteral("[他のプログラム %1]\n");
    QString half;
    // About 1.15 bytes of UTF-8 a character.
    for (int section = 0; half.size() < megabytes * 435 * 1000; ++section) {
        half += other.arg(section);
        for (int k = 0; k < 100; ++k)
            half +=
                QStringLiteral("キー %1=値 %2 lorem ipsum dolor sit amet\n").arg(k).arg(section);
    }
    QString ostrel = u'[' + ostrel::settings::sectionName() + QStringLiteral("]\n");
    ostrel += QStringLiteral("WINDOW TOP=120\nWINDOW LEFT=80\nFONT SIZE=11\n"
                             "LAST DIRECTORY=仕事\nLAST DOCUMENT=予定.txt\n");
    return half + ostrel + half;
}

bool measure(const char* name, const QByteArray& bytes) {
    const QString path = QStringLiteral("./Ostrel.ini");
    if (!ostrel::fs::writeFileAtomic(path, bytes))
        return false;
    ostrel::settings::Settings values = ostrel::settings::defaults();
    values.lastDirectory = QStringLiteral("メモ");
    values.lastDocument = QStringLiteral("新しいメモ.txt");
    values.windowTop = 300;

    bool ok = true;
    const std::string start = std::string(name) + ": start (settings read)";
    ok &= bench::compare(
        start.c_str(), [&] { (void)ostrel::settings::read(path, ostrel::settings::defaults()); },
        [&] {
            const QByteArray read = *ostrel::fs::readFile(path);
            QStringDecoder decoder(QStringConverter::Utf8);
            (void)QString(decoder.decode(read));
        },
        3.0, 5, bench::Target::Both);
    // A Shift-JIS file is decoded once more than the reference does, to
    // tell its encoding.
    const std::string close = std::string(name) + ": close (settings written)";
    ok &= bench::compare(
        close.c_str(), [&] { ostrel::settings::write(path, values); },
        [&] {
            const QByteArray read = *ostrel::fs::readFile(path);
            (void)ostrel::fs::writeFileAtomic(path, read);
        },
        4.0, 5, bench::Target::Both);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir data;
    QDir::setCurrent(data.path());
    const QString text = settingsText(80);
    const QByteArray utf8 = text.toUtf8();
    const QByteArray sjis = QStringEncoder("windows-31j").encode(text);
    bool ok = measure(qPrintable(QStringLiteral("%1 MB UTF-8").arg(utf8.size() / 1000000)), utf8);
    ok &= measure(qPrintable(QStringLiteral("%1 MB Shift-JIS").arg(sjis.size() / 1000000)), sjis);
    return ok ? 0 : 1;
}
