// The fuzz target as a plain test: every file named, and every file in every
// folder named, is fed to it once, in name order. Any failed property aborts.
#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv) {
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        QStringList files;
        if (!QFileInfo::exists(arg))
            continue; // a target without regression inputs has no folder for them
        if (QFileInfo(arg).isDir()) {
            for (const QString& name : QDir(arg).entryList(QDir::Files | QDir::Hidden, QDir::Name))
                files.append(arg + u'/' + name);
        } else {
            files.append(arg);
        }
        for (const QString& path : files) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
                return 2;
            }
            const QByteArray bytes = f.readAll();
            std::fprintf(stderr, "%s\n", qPrintable(path));
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                   size_t(bytes.size()));
            ++inputs;
        }
    }
    std::printf("%d inputs replayed\n", inputs);
    return inputs > 0 ? 0 : 3;
}
