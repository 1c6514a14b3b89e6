#include "PrivateFolder.h"

#include "FileSystemDetail.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel::fs {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// A name that names an entry of the folder itself, not a path.
bool isEntryName(QByteArrayView name) {
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\0');
}

QByteArray nameOf(QByteArrayView name) {
    return name.toByteArray(); // ends in the NUL the calls below need
}

// Opens a regular file of the folder for reading, never through a link and
// never waiting (a pipe put in its place is refused).
int openRegular(int dirFd, QByteArrayView name, struct stat& st) {
    if (dirFd < 0 || !isEntryName(name))
        return -1;
    const int fd = ::openat(dirFd, nameOf(name).constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads up to `size` bytes; answers how many, or -1.
qint64 readUpTo(int fd, char* out, qint64 size) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, out + done, size_t(std::min<qint64>(size - done, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

bool writeAllTo(int fd, QByteArrayView bytes) {
    const char* data = bytes.data();
    qint64 size = bytes.size();
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(std::min<qint64>(size, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

PrivateFolder::PrivateFolder(const QString& base, const QStringList& parts, bool create) {
    const QByteArray baseBytes = QFile::encodeName(base);
    if (create)
        QDir().mkpath(base);
    int fd = ::open(baseBytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const QString& part : parts) {
        if (fd < 0)
            return;
        const QByteArray name = QFile::encodeName(part);
        int next = ::openat(fd, name.constData(), kFolderFlags);
        if (next < 0 && errno == ENOENT && create && ::mkdirat(fd, name.constData(), 0700) == 0)
            next = ::openat(fd, name.constData(), kFolderFlags);
        ::close(fd);
        fd = next;
        struct stat st;
        if (fd >= 0 && (::fstat(fd, &st) != 0 || st.st_uid != ::getuid())) {
            ::close(fd);
            fd = -1;
        }
        // Only the user may read what was typed.
        if (fd >= 0 && create && (st.st_mode & 077) != 0)
            (void)::fchmod(fd, st.st_mode & 0700);
    }
    m_fd = fd;
}

PrivateFolder::~PrivateFolder() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::vector<PrivateFolder::File> PrivateFolder::files() const {
    std::vector<File> found;
    if (m_fd < 0)
        return found;
    const int listFd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    DIR* d = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!d) {
        if (listFd >= 0)
            ::close(listFd);
        return found;
    }
    ::rewinddir(d);
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        struct stat st;
        if (::fstatat(m_fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        found.push_back({QByteArray(e->d_name), qint64(st.st_size),
                         qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec});
    }
    ::closedir(d);
    return found;
}

std::optional<QByteArray> PrivateFolder::readHead(const QByteArrayView name, qint64 max) const {
    struct stat st;
    const int fd = openRegular(m_fd, name, st);
    if (fd < 0)
        return std::nullopt;
    QByteArray bytes(qsizetype(std::clamp<qint64>(st.st_size, 0, max)), Qt::Uninitialized);
    const qint64 n = readUpTo(fd, bytes.data(), bytes.size());
    ::close(fd);
    if (n < 0)
        return std::nullopt;
    bytes.truncate(qsizetype(n));
    return bytes;
}

ReadResult PrivateFolder::read(const QByteArrayView name, qint64 limit) const {
    ReadResult result;
    struct stat st;
    const int fd = openRegular(m_fd, name, st);
    if (fd < 0)
        return result;
    if (st.st_size > limit) {
        ::close(fd);
        result.status = ReadStatus::TooLarge;
        return result;
    }
    // One byte more than the file had: a file that grew meanwhile is seen.
    result.bytes.resize(qsizetype(st.st_size) + 1);
    const qint64 n = readUpTo(fd, result.bytes.data(), result.bytes.size());
    ::close(fd);
    if (n < 0 || n > st.st_size) {
        result.bytes.clear();
        result.status = n < 0 ? ReadStatus::CannotOpen : ReadStatus::TooLarge;
        return result;
    }
    result.bytes.truncate(qsizetype(n));
    result.status = ReadStatus::Read;
    return result;
}

bool PrivateFolder::write(const QByteArrayView name,
                          const std::function<bool(const PieceWriter&)>& produce) const {
    if (m_fd < 0 || !isEntryName(name))
        return false;
    QByteArray tmpName;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 100; ++tries) {
        tmpName = detail::temporaryPrefix() +
                  QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::openat(m_fd, tmpName.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    // Locked while it is written: a start meanwhile does not take it for stale.
    ::flock(fd, LOCK_EX);
    bool ok = produce([fd](QByteArrayView piece) { return writeAllTo(fd, piece); });
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (ok && ::renameat(m_fd, tmpName.constData(), m_fd, nameOf(name).constData()) != 0)
        ok = false;
    if (!ok)
        ::unlinkat(m_fd, tmpName.constData(), 0);
    if (::close(fd) != 0)
        ok = false;
    if (ok)
        ::fsync(m_fd);
    return ok;
}

bool PrivateFolder::remove(const QByteArrayView name) const {
    if (m_fd < 0 || !isEntryName(name))
        return false;
    const QByteArray n = nameOf(name);
    if (::unlinkat(m_fd, n.constData(), 0) == 0 || errno == ENOENT)
        return true;
    struct stat st;
    return ::fstatat(m_fd, n.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
}

void PrivateFolder::removeStaleTemporaries() const {
    if (m_fd >= 0)
        detail::removeStaleTemporariesAt(m_fd);
}

} // namespace ostrel::fs
