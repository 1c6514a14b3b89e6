// The check a save makes against the disk: a record is loaded, then another
// program does any of what programs do to its file (nothing, a rewrite in
// place, a replacement by rename, an append, a deletion, a new file in its
// place, a touch, a change of permissions), and the save that asks only when
// the file changed answers. A file whose content or identity differs from
// what was loaded is never overwritten (Changed, or Gone when it is not
// there); a file no one touched is saved; a record whose loaded state is
// unknown counts as changed; and a save never finds its own write a change.
#include "FuzzSupport.h"
#include "store/RecordStore.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ostrel;

namespace {

char rootName[] = "/tmp/ostrel-fuzz-savecheck-XXXXXX";

void setUp() {
    static const bool done = [] {
        if (!::mkdtemp(rootName) || ::chdir(rootName) != 0 || ::mkdir("g", 0700) != 0)
            std::abort();
        std::atexit([] { QDir(QString::fromUtf8(rootName)).removeRecursively(); });
        return true;
    }();
    (void)done;
}

constexpr char kFile[] = "g/a.txt";

bool writeAt(const char* path, const QByteArray& bytes, int flags) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | flags, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(fd);
    return ok;
}

ino_t inodeOf(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 ? st.st_ino : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUp();
    fuzz::Input in(data, size);
    ::unlink(kFile);
    const QByteArray original = in.sizedBytes(64);
    if (!writeAt(kFile, original, O_TRUNC))
        std::abort();
    // A file last changed long ago, or just now (then only its content tells
    // a second change within the file system's tick).
    if (in.byte() & 1) {
        const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ::utimensat(AT_FDCWD, kFile, old, 0);
    }
    store::LoadedRecord record = store::load(QStringLiteral("g"), QStringLiteral("a.txt")).record;
    const ino_t loadedInode = inodeOf(kFile);
    if (in.byte() % 8 == 0)
        record.disk = store::DiskState{}; // a copy that does not tell the state

    bool touched = false; // anything done to the file, even to no effect
    for (int i = 0, n = in.upTo(3); i < n; ++i) {
        const uint8_t op = in.byte() % 8;
        const QByteArray bytes = in.sizedBytes(64);
        if (op != 0 && op != 7)
            touched = true;
        switch (op) {
        case 1: // rewritten in place
            writeAt(kFile, bytes, O_TRUNC);
            break;
        case 2: // replaced by a new file renamed over it
            writeAt("g/.new", bytes, O_TRUNC);
            ::rename("g/.new", kFile);
            break;
        case 3:
            writeAt(kFile, bytes, O_APPEND);
            break;
        case 4:
            ::unlink(kFile);
            break;
        case 5: // deleted, then made anew (perhaps with the same inode)
            ::unlink(kFile);
            writeAt(kFile, bytes, O_TRUNC);
            break;
        case 6:
            ::utimensat(AT_FDCWD, kFile, nullptr, 0);
            break;
        case 7: // a change of permissions changes nothing of the content
            ::chmod(kFile, bytes.size() % 2 ? 0600 : 0644);
            break;
        default:
            break;
        }
    }
    struct stat st;
    const bool there = ::stat(kFile, &st) == 0;
    QFile f(QString::fromLatin1(kFile));
    const QByteArray now = there && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    f.close();
    const bool differs = !there || now != original || st.st_ino != loadedInode;

    const QString text = in.text(64);
    const store::SaveResult result = store::save(record, {text});
    if (!there)
        FUZZ_CHECK(result == store::SaveResult::Gone, "a deleted file answered %d", int(result));
    else if (differs || !record.disk.stamp)
        FUZZ_CHECK(result == store::SaveResult::Changed,
                   "a file changed by another program (%s, was %s) answered %d",
                   fuzz::quoted(now).constData(), fuzz::quoted(original).constData(), int(result));
    else if (!touched)
        FUZZ_CHECK(result == store::SaveResult::Saved || result == store::SaveResult::Unencodable,
                   "an untouched file answered %d", int(result));
    if (result == store::SaveResult::Saved) {
        // Its own write is no change: the next save goes through too.
        const store::SaveResult again = store::save(record, {text});
        FUZZ_CHECK(again == store::SaveResult::Saved, "the save after a save answered %d",
                   int(again));
    }
    return 0;
}
