#include "FileSystem.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ostrel::fs {

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

bool statPath(const QString& path, struct stat& st) {
    return ::stat(native(path).constData(), &st) == 0;
}

bool ownerMayWrite(const struct stat& st) {
    return (st.st_mode & S_IWUSR) != 0;
}

QString parentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral(".");
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

// Follows a chain of symbolic links to the path that is finally written.
QString resolveLinks(const QString& path) {
    QString current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(native(current).constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(native(current).constData(), buf, sizeof buf - 1);
        if (n <= 0)
            return current;
        const QString target = QFile::decodeName(QByteArray(buf, n));
        current = target.startsWith(u'/') ? target : parentOf(current) + u'/' + target;
    }
    return current;
}

bool writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(qMin<qint64>(size, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// Writes a file's content in order, on a thread of its own once there is
// more than a buffer of it, so that making the next bytes and writing the
// last ones overlap. The transfer to the disk is started every few
// megabytes, so that the sync at the end has little left to wait for.
class BackgroundWriter {
public:
    explicit BackgroundWriter(int fd) : fd_(fd) {}

    ~BackgroundWriter() { finish(); }

    // Takes a copy of the bytes; answers false once a write has failed.
    bool write(const char* data, qint64 size) {
        while (size > 0) {
            const bool holding = filling_.capacity() != 0;
            if (!holding || qint64(filling_.size()) == kBuffer) {
                if (holding && !hand(std::move(filling_)))
                    return false;
                filling_ = takeFree();
            }
            const qint64 n = std::min<qint64>(size, kBuffer - qint64(filling_.size()));
            filling_.insert(filling_.end(), data, data + n);
            data += n;
            size -= n;
        }
        return true;
    }

    // Waits for every byte to be written; answers whether all were, with
    // errno set as the failed write left it.
    bool finish() {
        if (!thread_.joinable()) {
            // All of it fitted in one buffer: written here.
            if (!failed_ && !filling_.empty() &&
                !writeAll(fd_, filling_.data(), qint64(filling_.size()))) {
                failed_ = true;
                error_ = errno ? errno : EIO;
            }
        } else {
            if (!filling_.empty())
                hand(std::move(filling_));
            {
                std::lock_guard lock(mutex_);
                closing_ = true;
            }
            changed_.notify_all();
            thread_.join();
        }
        filling_.clear();
        if (failed_)
            errno = error_;
        return !failed_;
    }

private:
    static constexpr qint64 kBuffer = 2 << 20;
    static constexpr int kBuffers = 3;
    using Buffer = std::vector<char>;

    Buffer takeFree() {
        std::unique_lock lock(mutex_);
        if (free_.empty() && made_ < kBuffers) {
            ++made_;
            lock.unlock();
            Buffer b;
            b.reserve(size_t(kBuffer));
            return b;
        }
        changed_.wait(lock, [this] { return !free_.empty(); });
        Buffer b = std::move(free_.back());
        free_.pop_back();
        b.clear();
        return b;
    }

    bool hand(Buffer&& b) {
        if (!thread_.joinable())
            thread_ = std::thread([this] { run(); });
        std::lock_guard lock(mutex_);
        if (failed_)
            return false;
        full_.push_back(std::move(b));
        changed_.notify_all();
        return true;
    }

    void run() {
        qint64 written = 0, flushed = 0;
        for (;;) {
            Buffer b;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !full_.empty() || closing_; });
                if (full_.empty())
                    return;
                b = std::move(full_.front());
                full_.pop_front();
            }
            const bool ok = writeAll(fd_, b.data(), qint64(b.size()));
            const int error = errno;
            written += qint64(b.size());
#ifdef __linux__
            constexpr qint64 kFlushEvery = 8 << 20;
            if (ok && written - flushed >= kFlushEvery) {
                ::sync_file_range(fd_, flushed, written - flushed, SYNC_FILE_RANGE_WRITE);
                flushed = written;
            }
#endif
            std::lock_guard lock(mutex_);
            if (!ok) {
                failed_ = true;
                error_ = error ? error : EIO;
                full_.clear();
            }
            free_.push_back(std::move(b));
            changed_.notify_all();
        }
    }

    const int fd_;
    Buffer filling_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Buffer> full_;
    std::vector<Buffer> free_;
    int made_ = 0;
    bool closing_ = false;
    bool failed_ = false;
    int error_ = 0;
    std::thread thread_;
};

void syncFolder(const QString& dir) {
    const int fd = ::open(native(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Creates a new hidden file beside the target, for the atomic replacement.
int createTemporaryBeside(const QString& target, QByteArray& tmpName) {
    tmpName = native(parentOf(target) + QStringLiteral("/.ostrel-save-XXXXXX"));
    return ::mkostemp(tmpName.data(), O_CLOEXEC);
}

// Writes what `produce` hands over into a new file beside `target`, then
// renames it over the target. `mode` and `owner` are those to keep.
template <typename Produce>
bool replaceAtomically(const QString& target, mode_t mode, const struct stat* owner,
                       Produce&& produce, QString* why) {
    QByteArray tmpName;
    const int fd = createTemporaryBeside(target, tmpName);
    if (fd < 0) {
        if (why)
            *why = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    bool ok = produce(fd);
    int savedErrno = ok ? 0 : errno;
    if (ok && ::fchmod(fd, mode) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && owner)
        (void)!::fchown(fd, owner->st_uid, owner->st_gid);
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    // The replaced file stays open across the rename, so that freeing its
    // space (which takes a while for a large file) happens when it is closed,
    // on a thread of its own, not while the user waits.
    const int replaced = ok ? ::open(native(target).constData(), O_RDONLY | O_CLOEXEC) : -1;
    if (ok && ::rename(tmpName.constData(), native(target).constData()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (replaced >= 0) {
        struct stat old;
        constexpr off_t kLarge = 8 << 20;
        if (::fstat(replaced, &old) == 0 && old.st_size >= kLarge)
            std::thread([replaced] { ::close(replaced); }).detach();
        else
            ::close(replaced);
    }
    if (!ok) {
        ::unlink(tmpName.constData());
        if (why)
            *why = QString::fromLocal8Bit(strerror(savedErrno ? savedErrno : EIO));
        return false;
    }
    syncFolder(parentOf(target));
    return true;
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

std::vector<DirEntry> listDirectory(const QString& dir) {
    std::vector<DirEntry> entries;
    const QByteArray nativeDir = native(dir.isEmpty() ? QStringLiteral(".") : dir);
    DIR* d = ::opendir(nativeDir.constData());
    if (!d)
        return entries;
    const int dfd = ::dirfd(d);
    while (dirent* e = ::readdir(d)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        DirEntry entry;
        entry.name = QFile::decodeName(name);
        entry.hidden = name[0] == '.';
        // The entry's type comes with the listing on most file systems; links
        // and unknown types are looked up.
        unsigned char type = e->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(dfd, name, &st, 0) != 0)
                type = DT_UNKNOWN; // a dangling link or an entry that vanished
            else
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_FIFO;
        }
        entry.isDir = type == DT_DIR;
        entry.system = type != DT_DIR && type != DT_REG;
        entries.push_back(std::move(entry));
    }
    ::closedir(d);
    return entries;
}

std::optional<QByteArray> readFile(const QString& path) {
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray data;
    data.resize(qsizetype(st.st_size));
    qint64 done = 0;
    for (;;) {
        if (done == data.size())
            data.resize(data.size() + 65536); // the file grew meanwhile
        const ssize_t n = ::read(fd, data.data() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        done += n;
    }
    ::close(fd);
    data.resize(qsizetype(done));
    return data;
}

bool exists(const QString& path) {
    struct stat st;
    return statPath(path, st);
}

bool isDirectory(const QString& path) {
    struct stat st;
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool isReadOnlyFile(const QString& path) {
    struct stat st;
    return statPath(path, st) && S_ISREG(st.st_mode) && !ownerMayWrite(st);
}

bool sameFile(const QString& a, const QString& b) {
    struct stat sa, sb;
    return statPath(a, sa) && statPath(b, sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool writeFileAtomic(const QString& path, const QByteArray& data, QString* why) {
    return writeFileAtomic(
        path, [&](const PieceWriter& write) { return write(data); }, why);
}

bool writeFileAtomic(const QString& path, const std::function<bool(const PieceWriter&)>& produce,
                     QString* why) {
    const QString target = resolveLinks(path);
    struct stat st;
    const bool existed = statPath(target, st);
    if (existed) {
        if (!S_ISREG(st.st_mode)) {
            if (why)
                *why = QStringLiteral("not a regular file");
            return false;
        }
        if (!ownerMayWrite(st) || ::access(native(target).constData(), W_OK) != 0) {
            if (why)
                *why = QStringLiteral("read-only");
            return false;
        }
    }
    const mode_t mode = existed ? (st.st_mode & 07777) : newFileMode();
    return replaceAtomically(
        target, mode, existed ? &st : nullptr,
        [&](int fd) {
            BackgroundWriter out(fd);
            bool written = true;
            const bool produced = produce([&](QByteArrayView piece) {
                written = out.write(piece.data(), piece.size());
                return written;
            });
            written = out.finish() && written;
            if (!written)
                return false;
            if (!produced) {
                errno = 0; // given up, not failed: no reason to tell
                return false;
            }
            return true;
        },
        why);
}

bool createNewFile(const QString& path) {
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    return ::close(fd) == 0;
}

bool createDirectory(const QString& path) {
    return ::mkdir(native(path).constData(), 0777) == 0;
}

bool removeDirectory(const QString& path) {
    return ::rmdir(native(path).constData()) == 0;
}

bool deleteFile(const QString& path) {
    struct stat st;
    if (::lstat(native(path).constData(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode)) {
        // A link is deleted itself; its target decides whether it is read-only.
        struct stat target;
        if (statPath(path, target) && (S_ISDIR(target.st_mode) || !ownerMayWrite(target)))
            return false;
    } else if (!S_ISREG(st.st_mode) || !ownerMayWrite(st)) {
        return false;
    }
    return ::unlink(native(path).constData()) == 0;
}

bool copyFile(const QString& source, const QString& destination) {
    struct stat src;
    if (!statPath(source, src) || !S_ISREG(src.st_mode))
        return false;
    const QString target = resolveLinks(destination);
    struct stat dst;
    const bool existed = statPath(target, dst);
    if (existed) {
        if (src.st_dev == dst.st_dev && src.st_ino == dst.st_ino)
            return false;
        if (!S_ISREG(dst.st_mode) || !ownerMayWrite(dst) ||
            ::access(native(target).constData(), W_OK) != 0)
            return false;
    }
    const int in = ::open(native(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const bool ok = replaceAtomically(
        target, src.st_mode & 07777, nullptr,
        [&](int fd) {
            BackgroundWriter out(fd);
            char buf[1 << 16];
            for (;;) {
                const ssize_t n = ::read(in, buf, sizeof buf);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    return false;
                if (n == 0)
                    return out.finish();
                if (!out.write(buf, n))
                    return false;
            }
        },
        nullptr);
    ::close(in);
    return ok;
}

QString currentDirectory() {
    char buf[PATH_MAX];
    if (::getcwd(buf, sizeof buf))
        return QFile::decodeName(buf);
    return {};
}

int setCurrentDirectory(const QString& path) {
    if (::chdir(native(path).constData()) == 0)
        return 0;
    switch (errno) {
    case ENOENT:
        return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
        return 3;
    case EACCES:
    case EPERM:
        return 5;
    default:
        return errno;
    }
}

} // namespace ostrel::fs
