#include "PrivateFolder.h"

#include "internal/AtomicWrite.h"
#include "internal/Names.h"
#include "internal/Reading.h"
#include "internal/Writer.h"
#include "os/Descriptor.h"

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
Descriptor openRegular(int dirFd, QByteArrayView name, struct stat& st) {
    if (dirFd < 0 || !isEntryName(name))
        return {};
    Descriptor fd(::openat(dirFd, nameOf(name).constData(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.isOpen() && (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)))
        fd.reset();
    return fd;
}

} // namespace

PrivateFolder::PrivateFolder(const QString& base, const QStringList& parts, bool create) {
    const QByteArray baseBytes = QFile::encodeName(base);
    if (create)
        QDir().mkpath(base);
    Descriptor fd(::open(baseBytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const QString& part : parts) {
        if (!fd.isOpen())
            return;
        const QByteArray name = QFile::encodeName(part);
        int next = ::openat(fd.get(), name.constData(), kFolderFlags);
        if (next < 0 && errno == ENOENT && create &&
            ::mkdirat(fd.get(), name.constData(), 0700) == 0)
            next = ::openat(fd.get(), name.constData(), kFolderFlags);
        fd.reset(next);
        struct stat st;
        if (fd.isOpen() && (::fstat(fd.get(), &st) != 0 || st.st_uid != ::getuid()))
            fd.reset();
        // Only the user may read what was typed.
        if (fd.isOpen() && create && (st.st_mode & 077) != 0)
            (void)::fchmod(fd.get(), st.st_mode & 0700);
    }
    m_fd = std::move(fd);
}

PrivateFolder::~PrivateFolder() = default;

std::vector<PrivateFolder::File> PrivateFolder::files() const {
    std::vector<File> found;
    if (!m_fd.isOpen())
        return found;
    Descriptor list(::fcntl(m_fd.get(), F_DUPFD_CLOEXEC, 0));
    const FolderStream d(list.isOpen() ? ::fdopendir(list.get()) : nullptr);
    if (!d)
        return found;
    list.release(); // the stream's now
    ::rewinddir(d.get());
    while (const dirent* e = ::readdir(d.get())) {
        if (e->d_name[0] == '.')
            continue;
        struct stat st;
        if (::fstatat(m_fd.get(), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        found.push_back({QByteArray(e->d_name), qint64(st.st_size),
                         qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec});
    }
    return found;
}

std::optional<QByteArray> PrivateFolder::readHead(const QByteArrayView name, qint64 max) const {
    struct stat st;
    const Descriptor fd = openRegular(m_fd.get(), name, st);
    if (!fd.isOpen())
        return std::nullopt;
    QByteArray bytes(qsizetype(std::clamp<qint64>(st.st_size, 0, max)), Qt::Uninitialized);
    const qint64 n = readUpTo(fd.get(), bytes.data(), bytes.size());
    if (n < 0)
        return std::nullopt;
    bytes.truncate(qsizetype(n));
    return bytes;
}

ReadResult PrivateFolder::read(const QByteArrayView name, qint64 limit) const {
    ReadResult result;
    struct stat st;
    const Descriptor fd = openRegular(m_fd.get(), name, st);
    if (!fd.isOpen())
        return result;
    if (st.st_size > limit) {
        result.status = ReadStatus::TooLarge;
        return result;
    }
    // One byte more than the file had: a file that grew meanwhile is seen.
    result.bytes.resize(qsizetype(st.st_size) + 1);
    const qint64 n = readUpTo(fd.get(), result.bytes.data(), result.bytes.size());
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
    if (!m_fd.isOpen() || !isEntryName(name))
        return false;
    const int dir = m_fd.get();
    QByteArray tmpName;
    Descriptor fd;
    for (int tries = 0; !fd.isOpen() && tries < 100; ++tries) {
        tmpName =
            temporaryPrefix() + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd.reset(::openat(dir, tmpName.constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.isOpen() && errno != EEXIST)
            return false;
    }
    if (!fd.isOpen())
        return false;
    // Locked while it is written: a start meanwhile does not take it for stale.
    ::flock(fd.get(), LOCK_EX);
    bool ok = produce([out = fd.get()](QByteArrayView piece) {
        return writeAll(out, piece.data(), piece.size());
    });
    if (ok && ::fsync(fd.get()) != 0)
        ok = false;
    if (ok && ::renameat(dir, tmpName.constData(), dir, nameOf(name).constData()) != 0)
        ok = false;
    if (!ok)
        ::unlinkat(dir, tmpName.constData(), 0);
    if (!fd.close())
        ok = false;
    if (ok)
        ::fsync(dir);
    return ok;
}

bool PrivateFolder::remove(const QByteArrayView name) const {
    if (!m_fd.isOpen() || !isEntryName(name))
        return false;
    const QByteArray n = nameOf(name);
    if (::unlinkat(m_fd.get(), n.constData(), 0) == 0 || errno == ENOENT)
        return true;
    struct stat st;
    return ::fstatat(m_fd.get(), n.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
}

void PrivateFolder::removeStaleTemporaries() const {
    if (m_fd.isOpen())
        removeStaleTemporariesAt(m_fd.get());
}

} // namespace ostrel::fs
