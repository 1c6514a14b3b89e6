// The recovery folder as the program finds it at a start, holding anything:
// copies made by hand (any head, any group and record names), links to
// files outside, pipes, folders, and a copy the program writes for a record
// of any name over a link planted at its name. Every copy offered names one
// entry of one group of the data folder and is a file of the folder itself;
// its text reads back as its size says; the copy written reads back as
// written; nothing outside the folder is ever written or removed.
#include "FuzzSupport.h"
#include "os/FileSystem.h"
#include "store/Recovery.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ostrel;

namespace {

char rootName[] = "/tmp/ostrel-fuzz-recovery-XXXXXX";

struct Places {
    QByteArray root, data, state, folder, outside;
};

const Places& places() {
    static const Places p = [] {
        if (!::mkdtemp(rootName))
            std::abort();
        Places p;
        p.root = rootName;
        p.data = p.root + "/data";
        p.state = p.root + "/state";
        p.folder = p.state + "/ostrel/recovery";
        p.outside = p.root + "/outside";
        for (const QByteArray& dir :
             {p.data, p.data + "/g", p.state, p.state + "/ostrel", p.folder, p.outside})
            ::mkdir(dir.constData(), 0700);
        std::atexit([] { QDir(QString::fromUtf8(rootName)).removeRecursively(); });
        if (::chdir(p.data.constData()) != 0)
            std::abort();
        return p;
    }();
    return p;
}

void writeFile(const QByteArray& path, const QByteArray& bytes) {
    const int fd =
        ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return;
    (void)!::write(fd, bytes.constData(), size_t(bytes.size()));
    ::close(fd);
}

QByteArray readFile(const QByteArray& path) {
    QFile f(QFile::decodeName(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(gone)");
}

void clear(const QByteArray& dir) {
    DIR* d = ::opendir(dir.constData());
    while (dirent* e = d ? ::readdir(d) : nullptr) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        if (::unlink((dir + '/' + name).constData()) != 0)
            ::rmdir((dir + '/' + name).constData());
    }
    if (d)
        ::closedir(d);
}

// An entry's name: not empty, no "/" and no NUL (what a folder can hold).
QByteArray entryName(fuzz::Input& in) {
    QByteArray name = in.sizedBytes(40).replace('/', '_').replace('\0', '_');
    return name.isEmpty() || name == "." || name == ".." ? QByteArray("n") : name;
}

bool isOneEntry(const QString& name) {
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar(0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Places& p = places();
    clear(p.folder);
    fuzz::Input in(data, size);
    const QString folder = QString::fromUtf8(p.folder);
    const QByteArray dataPath = QFile::encodeName(QDir(QString::fromUtf8(p.data)).canonicalPath());

    // What lies outside: a copy of a record of the data folder, and a file.
    const QByteArray outsideCopy =
        "Ostrel recovery copy\nPath=" + (dataPath + "/g/a.txt").toPercentEncoding() + "\n\n" +
        QByteArray("x\0", 2);
    writeFile(p.outside + "/copy", outsideCopy);
    writeFile(p.outside + "/victim", "precious");

    // What the folder holds.
    for (int i = 0, n = in.upTo(5); i < n; ++i) {
        const uint8_t kind = in.byte() % 5;
        const QByteArray path = p.folder + '/' + entryName(in);
        switch (kind) {
        case 0: // any bytes
            writeFile(path, in.sizedBytes(200));
            break;
        case 1: { // a head for any group and record, any lines, any text
            const QByteArray group = in.byte() & 1 ? QByteArray("g") : in.sizedBytes(20);
            const QByteArray record = in.byte() & 1 ? QByteArray("a.txt") : in.sizedBytes(20);
            QByteArray bytes = "Ostrel recovery copy\nPath=" +
                               (dataPath + '/' + group + '/' + record).toPercentEncoding() + '\n' +
                               in.sizedBytes(120) + "\n\n" + in.sizedBytes(60);
            writeFile(path, bytes);
            break;
        }
        case 2:
            (void)!::symlink((p.outside + (in.byte() & 1 ? "/copy" : "/victim")).constData(),
                             path.constData());
            break;
        case 3:
            ::mkfifo(path.constData(), 0600);
            break;
        default:
            ::mkdir(path.constData(), 0700);
        }
    }

    // A copy the program writes, for a record of any name, with a link
    // planted at its name.
    store::RecoverySource source;
    source.dataFolder = QString::fromUtf8(dataPath);
    source.group = fs::decodeName(in.byte() & 1 ? QByteArray("g") : in.sizedBytes(20));
    source.name = fs::decodeName(in.sizedBytes(30));
    if (in.byte() & 1) {
        fs::FileStamp s;
        s.device = in.upTo(UINT32_MAX);
        s.inode = in.upTo(UINT32_MAX);
        s.size = in.upTo(UINT32_MAX);
        s.modifiedNs = qint64(in.upTo(UINT32_MAX)) * 1000 - 500000;
        s.recent = in.byte() & 1;
        source.loaded.stamp = s;
        if (in.byte() & 1)
            source.loaded.hash = quint64(in.upTo(UINT32_MAX)) << 20 | in.byte();
    }
    source.format.encoding = TextEncoding(in.upTo(4));
    source.format.lineBreak = LineBreak(in.upTo(2));
    source.format.lossless = in.byte() & 1;
    const QString text = in.text(200);
    const QString file = store::recoveryFileFor(folder, source);
    const QByteArray fileBytes = QFile::encodeName(file);
    struct stat planted;
    const bool folderThere =
        ::lstat(fileBytes.constData(), &planted) == 0 && S_ISDIR(planted.st_mode);
    if (!folderThere) {
        ::unlink(fileBytes.constData());
        (void)!::symlink((p.outside + "/victim").constData(), fileBytes.constData());
    }
    const bool written = store::writeRecoveryCopy(file, source, {text});
    FUZZ_CHECK(written || folderThere, "the copy for %s/%s was not written",
               fuzz::quoted(source.group).constData(), fuzz::quoted(source.name).constData());
    if (written) {
        struct stat st;
        FUZZ_CHECK(::lstat(fileBytes.constData(), &st) == 0 && S_ISREG(st.st_mode),
                   "the copy is no file of its own");
    }

    const bool oneEntryEach = isOneEntry(source.group) && isOneEntry(source.name) &&
                              !source.group.contains(u'\\') && !source.name.contains(u'\\');
    const store::LeftCopies left = store::leftRecoveryCopies(folder);
    bool found = false;
    for (const store::RecoveryCopy& copy : left.copies) {
        FUZZ_CHECK(isOneEntry(copy.group) && isOneEntry(copy.name), "offered %s/%s",
                   fuzz::quoted(copy.group).constData(), fuzz::quoted(copy.name).constData());
        FUZZ_CHECK(copy.file.startsWith(folder + u'/') &&
                       !copy.file.sliced(folder.size() + 1).contains(u'/'),
                   "offered %s", qPrintable(copy.file));
        struct stat st;
        FUZZ_CHECK(::lstat(QFile::encodeName(copy.file).constData(), &st) == 0 &&
                       S_ISREG(st.st_mode),
                   "%s is no file of the folder", qPrintable(copy.file));
        FUZZ_CHECK(copy.textBytes >= 0 && copy.textBytes % 2 == 0, "text of %lld bytes",
                   qint64(copy.textBytes));
        const store::RecoveryText read = store::readRecoveryText(copy);
        FUZZ_CHECK(read.status == store::RecoveryRead::Read &&
                       read.text.size() * 2 == copy.textBytes,
                   "%s read as %d", qPrintable(copy.file), int(read.status));
        // A record's names name one entry each (what a listing shows);
        // a copy written for other names is only never offered outside.
        if (copy.file != file || !oneEntryEach)
            continue;
        found = true;
        QString expected = text;
        expected.replace(QChar::ParagraphSeparator, u'\n');
        FUZZ_CHECK(read.text == expected, "the copy reads %s, not %s",
                   fuzz::quoted(read.text).constData(), fuzz::quoted(expected).constData());
        FUZZ_CHECK(copy.group == source.group && copy.name == source.name,
                   "written for %s/%s, offered for %s/%s", fuzz::quoted(source.group).constData(),
                   fuzz::quoted(source.name).constData(), fuzz::quoted(copy.group).constData(),
                   fuzz::quoted(copy.name).constData());
        FUZZ_CHECK(copy.loaded && copy.loaded->hash == source.loaded.hash &&
                       copy.loaded->stamp.has_value() == source.loaded.stamp.has_value() &&
                       (!copy.loaded->stamp ||
                        (copy.loaded->stamp->sameState(*source.loaded.stamp) &&
                         copy.loaded->stamp->recent == source.loaded.stamp->recent)),
                   "the stamp does not read back");
        FUZZ_CHECK(copy.format && copy.format->encoding == source.format.encoding &&
                       copy.format->lineBreak == source.format.lineBreak &&
                       copy.format->lossless == source.format.lossless,
                   "the format does not read back");
    }
    for (const QString& refused : left.refused)
        FUZZ_CHECK(refused.startsWith(folder + u'/'), "refused %s", qPrintable(refused));
    // A copy written for a record that names one entry of a group is found.
    if (written && oneEntryEach)
        FUZZ_CHECK(found, "the copy for %s/%s is not offered",
                   fuzz::quoted(source.group).constData(), fuzz::quoted(source.name).constData());

    // Removing every copy, and every other file by its name, removes
    // nothing outside.
    for (const store::RecoveryCopy& copy : left.copies)
        store::removeRecoveryCopy(copy.file);
    DIR* d = ::opendir(p.folder.constData());
    while (dirent* e = d ? ::readdir(d) : nullptr)
        store::removeRecoveryCopy(folder + u'/' + QFile::decodeName(e->d_name));
    if (d)
        ::closedir(d);
    FUZZ_CHECK(readFile(p.outside + "/copy") == outsideCopy &&
                   readFile(p.outside + "/victim") == "precious",
               "a file outside the folder changed");
    return 0;
}
