// Atomic writing: a file replaced so that a failure at any moment leaves the
// old content whole, and the temporaries that a killed save leaves removed.
#include "AtomicWrite.h"

#include "Names.h"
#include "Reading.h"
#include "Stamps.h"
#include "Writer.h"
#include "os/Descriptor.h"
#include "os/FileSystem.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <xxhash.h>

namespace ostrel::fs {

namespace {

// Temporary files of a save are hidden and named by this prefix, then the
// writer's process id, "-", six random characters and this suffix; while
// their writer runs it holds a lock on them, which tells a stale one. The
// name is one that sync engines leave alone by default, or with a pattern
// the user gives them (README: "Your memos on several machines"): hidden,
// beginning with ".~", holding ".~" and ending in ".tmp".
constexpr char kTemporaryPrefix[] = ".~ostrel-save-";
constexpr char kTemporarySuffix[] = ".tmp";
// What earlier versions named them (without the "~" and the suffix): stale
// ones are still removed.
constexpr char kEarlierTemporaryPrefix[] = ".ostrel-save-";

// The length of the prefix of a temporary's name; 0 for any other name.
qsizetype temporaryPrefixLength(QByteArrayView name) {
    if (name.startsWith(kTemporaryPrefix))
        return qsizetype(sizeof kTemporaryPrefix) - 1;
    if (name.startsWith(kEarlierTemporaryPrefix))
        return qsizetype(sizeof kEarlierTemporaryPrefix) - 1;
    return 0;
}

// A temporary file younger than this is left alone even when it is not
// locked, unless the process named in it has ended: its writer may not have
// taken the lock yet.
constexpr int kStaleAfterSeconds = 60;

// Whether the process that made a temporary file, named in it, has ended.
// (One of another machine sharing the folder counts as ended here; it can
// only lose a file it has made but not yet locked.)
bool writerHasEnded(const QByteArray& name) {
    const QByteArray rest = name.mid(temporaryPrefixLength(name));
    bool ok = false;
    const pid_t pid = pid_t(rest.left(rest.indexOf('-')).toInt(&ok));
    return ok && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Creates a new hidden file beside the target, for the atomic replacement,
// and locks it for as long as `lock` stays open.
Descriptor createTemporaryBeside(const QByteArray& target, QByteArray& tmpName, Descriptor& lock) {
    tmpName = parentOf(target) + '/' + kTemporaryPrefix + QByteArray::number(::getpid()) +
              "-XXXXXX" + kTemporarySuffix;
    Descriptor fd(::mkostemps(tmpName.data(), int(sizeof kTemporarySuffix) - 1, O_CLOEXEC));
    if (fd.isOpen()) {
        ::flock(fd.get(), LOCK_EX);
        // A second descriptor of the same open file keeps the lock after the
        // first is closed, until the file has its final name.
        lock.reset(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
    }
    return fd;
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

void syncFolder(const QByteArray& dir) {
    const Descriptor fd(::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.isOpen())
        ::fsync(fd.get());
}

bool replaceAtomically(const QByteArray& target, mode_t mode, const struct stat* owner,
                       const std::function<bool(int fd)>& produce,
                       const std::function<void()>& beforeRename) {
    QByteArray tmpName;
    Descriptor lock;
    Descriptor fd = createTemporaryBeside(target, tmpName, lock);
    if (!fd.isOpen())
        return false;
    bool ok = produce(fd.get());
    if (ok && ::fchmod(fd.get(), mode) != 0)
        ok = false;
    if (ok && owner)
        (void)!::fchown(fd.get(), owner->st_uid, owner->st_gid);
    if (ok && ::fsync(fd.get()) != 0)
        ok = false;
    if (!fd.close())
        ok = false;
    // The replaced file stays open across the rename, so that freeing its
    // space (which takes a while for a large file) happens when it is closed,
    // on a thread of its own, not while the user waits.
    Descriptor replaced = ok ? openForReading(target) : Descriptor();
    if (ok && beforeRename)
        beforeRename();
    if (ok && ::rename(tmpName.constData(), target.constData()) != 0)
        ok = false;
    if (replaced.isOpen()) {
        struct stat old;
        constexpr off_t kLarge = 8 << 20;
        if (::fstat(replaced.get(), &old) == 0 && old.st_size >= kLarge)
            std::thread([last = std::move(replaced)]() mutable { last.reset(); }).detach();
        else
            replaced.reset();
    }
    if (!ok)
        ::unlink(tmpName.constData());
    lock.reset();
    if (ok)
        syncFolder(parentOf(target));
    return ok;
}

bool writeFileAtomic(const QString& path, const QByteArray& data, WrittenFile* written) {
    return writeFileAtomic(
        path, [&](const PieceWriter& write) { return write(data); }, written);
}

bool writeFileAtomic(const QString& path, const std::function<bool(const PieceWriter&)>& produce,
                     WrittenFile* written) {
    const QByteArray target = resolveLinks(native(path));
    struct stat st;
    const bool existed = statNative(target, st);
    if (existed) {
        if (!S_ISREG(st.st_mode))
            return false;
        if (!ownerMayWrite(st) || ::access(target.constData(), W_OK) != 0)
            return false;
    }
    const mode_t mode = existed ? (st.st_mode & 07777) : newFileMode();
    XXH3_state_t* hash = written ? XXH3_createState() : nullptr;
    if (hash)
        XXH3_64bits_reset(hash);
    const bool ok = replaceAtomically(target, mode, existed ? &st : nullptr, [&](int fd) {
        BackgroundWriter out(fd, hash);
        bool allWritten = true;
        const bool produced = produce([&](QByteArrayView piece) {
            allWritten = out.write(piece.data(), piece.size());
            return allWritten;
        });
        allWritten = out.finish() && allWritten;
        struct stat now;
        if (written && allWritten && produced && ::fstat(fd, &now) == 0) {
            written->stamp = stampFrom(now);
            written->hash = XXH3_64bits_digest(hash);
        }
        return allWritten && produced;
    });
    if (hash)
        XXH3_freeState(hash);
    return ok;
}

QByteArray temporaryPrefix() {
    return kTemporaryPrefix + QByteArray::number(::getpid()) + '-';
}

int removeStaleTemporariesAt(int dirFd, const std::vector<QByteArray>& names) {
    int removed = 0;
    const time_t now = ::time(nullptr);
    for (const QByteArray& name : names) {
        if (temporaryPrefixLength(name) == 0)
            continue;
        struct stat st;
        if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) ||
            (now - st.st_mtime < kStaleAfterSeconds && !writerHasEnded(name)))
            continue;
        const Descriptor fd(::openat(dirFd, name.constData(),
                                     O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
        if (!fd.isOpen())
            continue;
        // Locked: its writer still runs.
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 &&
            ::unlinkat(dirFd, name.constData(), 0) == 0)
            ++removed;
    }
    return removed;
}

int removeStaleTemporariesAt(int dirFd) {
    return removeStaleTemporariesAt(dirFd, namesIn(Descriptor(::fcntl(dirFd, F_DUPFD_CLOEXEC, 0))));
}

int removeStaleTemporaries(const QString& folder) {
    const Descriptor dir(::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.isOpen() ? removeStaleTemporariesAt(dir.get()) : 0;
}

int removeStaleTemporaries(const QString& folder, const std::vector<DirEntry>& listing) {
    // Their names are plain ASCII, listed as they are.
    std::vector<QByteArray> names;
    for (const DirEntry& e : listing)
        if (e.name.startsWith(QLatin1StringView(kTemporaryPrefix)) ||
            e.name.startsWith(QLatin1StringView(kEarlierTemporaryPrefix)))
            names.push_back(e.name.toUtf8());
    if (names.empty())
        return 0;
    const Descriptor dir(::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.isOpen() ? removeStaleTemporariesAt(dir.get(), names) : 0;
}

} // namespace ostrel::fs
