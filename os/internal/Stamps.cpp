// File stamps and status: which file a path names, of what kind, in which
// state; and the hash of a content, which tells what a stamp cannot.
#include "Stamps.h"

#include "Names.h"

#include <cerrno>
#include <time.h>
#include <vector>
#include <xxhash.h>

namespace ostrel::fs {

namespace {

bool statPath(const QString& path, struct stat& st) {
    return ::stat(native(path).constData(), &st) == 0;
}

// How finely a file system may keep modification times (see FileStamp).
constexpr qint64 kTimeGranularityNs = 2'000'000'000;

} // namespace

FileStamp stampFrom(const struct stat& st) {
    FileStamp stamp;
    stamp.device = quint64(st.st_dev);
    stamp.inode = quint64(st.st_ino);
    stamp.size = qint64(st.st_size);
    stamp.modifiedNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    const qint64 nowNs = qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    stamp.recent = stamp.modifiedNs > nowNs - kTimeGranularityNs;
    return stamp;
}

bool statNative(const QByteArray& path, struct stat& st) {
    return ::stat(path.constData(), &st) == 0;
}

bool ownerMayWrite(const struct stat& st) {
    return (st.st_mode & S_IWUSR) != 0;
}

bool exists(const QString& path) {
    struct stat st;
    return statPath(path, st);
}

bool isDirectory(const QString& path) {
    struct stat st;
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool isRegularFile(const QString& path) {
    struct stat st;
    return statPath(path, st) && S_ISREG(st.st_mode);
}

bool isReadOnlyFile(const QString& path) {
    struct stat st;
    return statPath(path, st) && S_ISREG(st.st_mode) && !ownerMayWrite(st);
}

bool sameFile(const QString& a, const QString& b) {
    struct stat sa, sb;
    return statPath(a, sa) && statPath(b, sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::optional<FileStamp> stampOf(const QString& path) {
    struct stat st;
    if (!statPath(path, st))
        return std::nullopt;
    return stampFrom(st);
}

quint64 contentHash(QByteArrayView bytes) {
    return XXH3_64bits(bytes.data(), size_t(bytes.size()));
}

} // namespace ostrel::fs
