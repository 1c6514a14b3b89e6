#include "FileSystem.h"

#include "FileSystemDetail.h"
#include "UserFolders.h"
#include "text/TextCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>
#include <xxhash.h>

namespace ostrel::fs {

namespace {

bool isUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

// The length of the valid UTF-8 sequence at the start of `bytes`, or 0.
qsizetype utf8SequenceLength(QByteArrayView bytes) {
    const auto b0 = quint8(bytes[0]);
    qsizetype n;
    if (b0 < 0x80)
        return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF)
        n = 2;
    else if (b0 >= 0xE0 && b0 <= 0xEF)
        n = 3;
    else if (b0 >= 0xF0 && b0 <= 0xF4)
        n = 4;
    else
        return 0;
    if (bytes.size() < n)
        return 0;
    return isUtf8(bytes.first(n)) ? n : 0;
}

QString escapedName(QByteArrayView bytes) {
    QString out;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype n = utf8SequenceLength(bytes.sliced(i));
        // A backslash is escaped too, so that every "\\x" of the result is
        // an escape and the bytes can be told back from it.
        if (n > 0 && bytes[i] != '\\') {
            out += QString::fromUtf8(bytes.sliced(i, n));
            i += n;
        } else {
            out += QStringLiteral("\\x") +
                   QString::number(quint8(bytes[i]), 16).rightJustified(2, u'0').toUpper();
            ++i;
        }
    }
    return out;
}

// Whether a name can only be one that decodeName made of bytes that are not
// UTF-8: it holds a character beyond ASCII or an escape.
bool mayBeForeign(QStringView name) {
    for (QChar c : name)
        if (c.unicode() >= 0x80)
            return true;
    return name.contains(u"\\x");
}

// The bytes that decodeName shows as `name`, other than its UTF-8.
std::vector<QByteArray> foreignBytes(QStringView name) {
    std::vector<QByteArray> found;
    if (std::optional<QByteArray> cp932 = encodeCodePage932Exactly(name); cp932 && !isUtf8(*cp932))
        found.push_back(std::move(*cp932));
    if (name.contains(u"\\x")) {
        QByteArray bytes;
        for (qsizetype i = 0; i < name.size();) {
            bool ok = false;
            const uint value = i + 4 <= name.size() && name.sliced(i, 2) == u"\\x"
                                   ? name.sliced(i + 2, 2).toUInt(&ok, 16)
                                   : 0;
            if (ok) {
                bytes += char(value);
                i += 4;
            } else {
                // A character beyond the BMP is two units: converted alone,
                // each would be a lone surrogate.
                const qsizetype n =
                    name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()
                        ? 2
                        : 1;
                bytes += name.sliced(i, n).toUtf8();
                i += n;
            }
        }
        if (!isUtf8(bytes))
            found.push_back(std::move(bytes));
    }
    // Shown as read from code page 932, or escaped (which a listing also
    // does to tell a name from another entry's that reads the same).
    std::erase_if(found, [&](const QByteArray& b) {
        return decodeName(b) != name && escapedName(b) != name;
    });
    return found;
}

bool lexists(const QByteArray& path) {
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// The bytes of the entry of a folder that a shown name leads to: its UTF-8
// when such an entry exists, else the first of the other forms decodeName
// shows that way (code page 932, then the escapes undone) that exists; its
// UTF-8 when none does. `parent` is the folder's path ending in "/", or
// nothing.
QByteArray entryBytes(const QByteArray& parent, const QString& name) {
    QByteArray own = name.toUtf8();
    if (!mayBeForeign(name) || lexists(parent + own))
        return own;
    for (QByteArray& bytes : foreignBytes(name))
        if (lexists(parent + bytes))
            return std::move(bytes);
    return own;
}

// The bytes of a path: its UTF-8, except for each name that only a listing
// made from other bytes (see decodeName), which gets the bytes of the entry
// that it leads to.
QByteArray native(const QString& path) {
    QByteArray utf8 = path.toUtf8();
    if (!mayBeForeign(path) || lexists(utf8))
        return utf8;
    QByteArray out;
    const QStringList parts = path.split(u'/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '/';
        out += entryBytes(out, parts[i]);
    }
    return out;
}

bool statPath(const QString& path, struct stat& st) {
    return ::stat(native(path).constData(), &st) == 0;
}

bool statNative(const QByteArray& path, struct stat& st) {
    return ::stat(path.constData(), &st) == 0;
}

// How finely a file system may keep modification times (see FileStamp).
constexpr qint64 kTimeGranularityNs = 2'000'000'000;

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

// Opens an existing file for reading without ever waiting: a pipe or a
// device opened for reading can block until a writer comes.
int openForReading(const QByteArray& path) {
    return ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

bool isRegularOpenFile(int fd, struct stat& st) {
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool ownerMayWrite(const struct stat& st) {
    return (st.st_mode & S_IWUSR) != 0;
}

QByteArray parentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

// Follows a chain of symbolic links to the path that is finally written.
QByteArray resolveLinks(const QByteArray& path) {
    QByteArray current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(current.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(current.constData(), buf, sizeof buf - 1);
        if (n <= 0)
            return current;
        const QByteArray target(buf, n);
        current = target.startsWith('/') ? target : parentOf(current) + '/' + target;
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
    // With `hash`, the bytes are also hashed as they are written.
    explicit BackgroundWriter(int fd, XXH3_state_t* hash = nullptr) : fd_(fd), hash_(hash) {}

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
            if (hash_ && !filling_.empty())
                XXH3_64bits_update(hash_, filling_.data(), filling_.size());
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
            if (hash_)
                XXH3_64bits_update(hash_, b.data(), b.size());
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
    XXH3_state_t* const hash_;
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

void syncFolder(const QByteArray& dir) {
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

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
int createTemporaryBeside(const QByteArray& target, QByteArray& tmpName, int& lock) {
    tmpName = parentOf(target) + '/' + kTemporaryPrefix + QByteArray::number(::getpid()) +
              "-XXXXXX" + kTemporarySuffix;
    const int fd = ::mkostemps(tmpName.data(), int(sizeof kTemporarySuffix) - 1, O_CLOEXEC);
    lock = -1;
    if (fd >= 0) {
        ::flock(fd, LOCK_EX);
        // A second descriptor of the same open file keeps the lock after the
        // first is closed, until the file has its final name.
        lock = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    }
    return fd;
}

// Writes what `produce` hands over into a new file beside `target`, then
// renames it over the target. `mode` and `owner` are those to keep.
// `beforeRename` runs once the new file is whole on the disk, just before it
// takes the target's place.
template <typename Produce>
bool replaceAtomically(const QByteArray& target, mode_t mode, const struct stat* owner,
                       Produce&& produce, const std::function<void()>& beforeRename = {}) {
    QByteArray tmpName;
    int lock = -1;
    const int fd = createTemporaryBeside(target, tmpName, lock);
    if (fd < 0)
        return false;
    bool ok = produce(fd);
    if (ok && ::fchmod(fd, mode) != 0)
        ok = false;
    if (ok && owner)
        (void)!::fchown(fd, owner->st_uid, owner->st_gid);
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    // The replaced file stays open across the rename, so that freeing its
    // space (which takes a while for a large file) happens when it is closed,
    // on a thread of its own, not while the user waits.
    const int replaced = ok ? openForReading(target) : -1;
    if (ok && beforeRename)
        beforeRename();
    if (ok && ::rename(tmpName.constData(), target.constData()) != 0)
        ok = false;
    if (replaced >= 0) {
        struct stat old;
        constexpr off_t kLarge = 8 << 20;
        if (::fstat(replaced, &old) == 0 && old.st_size >= kLarge)
            std::thread([replaced] { ::close(replaced); }).detach();
        else
            ::close(replaced);
    }
    if (!ok)
        ::unlink(tmpName.constData());
    if (lock >= 0)
        ::close(lock);
    if (ok)
        syncFolder(parentOf(target));
    return ok;
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool isNameOfFolderItself(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// The names in an open folder, without "." and "..". Takes the descriptor.
std::vector<QByteArray> namesIn(int dirFd) {
    std::vector<QByteArray> names;
    DIR* d = ::fdopendir(dirFd);
    if (!d) {
        ::close(dirFd);
        return names;
    }
    while (dirent* e = ::readdir(d))
        if (!isNameOfFolderItself(e->d_name))
            names.emplace_back(e->d_name);
    ::closedir(d);
    return names;
}

// What a listing needs to know of an entry: whether it can be deleted as a
// file of the folder (links are deleted themselves; their target decides,
// as it does for a single file).
bool deletableEntry(int dirFd, const QByteArray& name) {
    struct stat st;
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return true; // gone meanwhile
    if (S_ISDIR(st.st_mode))
        return false;
    if (S_ISLNK(st.st_mode)) {
        struct stat target;
        if (::fstatat(dirFd, name.constData(), &target, 0) != 0)
            return true; // a dangling link
        return !S_ISDIR(target.st_mode) && (!S_ISREG(target.st_mode) || ownerMayWrite(target));
    }
    return !S_ISREG(st.st_mode) || ownerMayWrite(st);
}

// --- the trash -----------------------------------------------------------------

// Creates a folder and the folders above it that are missing.
void makePath(const QByteArray& path, mode_t mode) {
    for (qsizetype at = path.indexOf('/', 1); at > 0; at = path.indexOf('/', at + 1))
        ::mkdir(path.left(at).constData(), mode);
    ::mkdir(path.constData(), mode);
}

// A folder of the user's own that is no link.
bool isOwnFolder(const QByteArray& path) {
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

// The top folder of the volume a path lies on: the highest folder above it on
// the same device.
QByteArray volumeTop(const QByteArray& absolute, dev_t device) {
    QByteArray at = parentOf(absolute);
    while (at != "/") {
        const QByteArray up = parentOf(at);
        struct stat st;
        if (::stat(up.constData(), &st) != 0 || st.st_dev != device)
            return at;
        at = up;
    }
    return at;
}

struct TrashPlace {
    QByteArray folder; // holds files/ and info/
    QByteArray top;    // the volume's top folder; empty for the user's own trash
};

// The trash for an entry on `device`: the user's own when it lies on that
// volume, else the volume's shared .Trash (sticky, no link) with a folder per
// user, else the volume's .Trash-<uid>, made when missing.
std::optional<TrashPlace> trashFor(const QByteArray& absolute, dev_t device) {
    const QString home = dataHome();
    if (!home.isEmpty()) {
        const QByteArray own = native(home) + "/Trash";
        makePath(own, 0700);
        struct stat st;
        if (::stat(own.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_dev == device)
            return TrashPlace{own, {}};
    }
    const QByteArray top = volumeTop(absolute, device);
    const QByteArray base = top == "/" ? QByteArray() : top;
    const QByteArray uid = QByteArray::number(::getuid());
    struct stat st;
    const QByteArray shared = base + "/.Trash";
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QByteArray folder = shared + '/' + uid;
        ::mkdir(folder.constData(), 0700);
        if (isOwnFolder(folder))
            return TrashPlace{folder, top};
    }
    const QByteArray folder = base + "/.Trash-" + uid;
    ::mkdir(folder.constData(), 0700);
    if (isOwnFolder(folder))
        return TrashPlace{folder, top};
    return std::nullopt;
}

// "name.2.txt" for the second entry of the name "name.txt".
QByteArray numberedName(const QByteArray& name, int n) {
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray number = '.' + QByteArray::number(n);
    if (dot <= 0)
        return name + number;
    return name.left(dot) + number + name.mid(dot);
}

bool writeWhole(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes.constData(), bytes.size()) && ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (!ok)
        ::unlink(path.constData());
    return ok;
}

// Copies a file's bytes into a new file (for a trash where a link cannot be
// made).
bool copyInto(const QByteArray& from, const QByteArray& to) {
    const int in = openForReading(from);
    struct stat st;
    if (in < 0)
        return false;
    if (!isRegularOpenFile(in, st)) {
        ::close(in);
        return false;
    }
    const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = out >= 0;
    char buf[1 << 16];
    while (ok) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = writeAll(out, buf, n);
    }
    ::close(in);
    if (out >= 0) {
        ok = ::fsync(out) == 0 && ok;
        ok = ::close(out) == 0 && ok;
        if (!ok)
            ::unlink(to.constData());
    }
    return ok;
}

// Puts an entry into the trash of its volume: its information file first (as
// the trash's rules ask), then `place` makes the entry under the trash's
// name it is given. Answers false, having left nothing behind, when there is
// no trash or `place` fails.
bool putInTrash(const QByteArray& absolute, dev_t device,
                const std::function<bool(const QByteArray& trashed)>& place) {
    const std::optional<TrashPlace> trash = trashFor(absolute, device);
    if (!trash)
        return false;
    const QByteArray files = trash->folder + "/files";
    const QByteArray info = trash->folder + "/info";
    ::mkdir(files.constData(), 0700);
    ::mkdir(info.constData(), 0700);
    // The original place, relative to the volume's top in a volume's trash.
    QByteArray original = absolute;
    if (!trash->top.isEmpty())
        original = absolute.mid(trash->top == "/" ? 1 : trash->top.size() + 1);
    char date[32];
    const time_t now = ::time(nullptr);
    struct tm local;
    ::localtime_r(&now, &local);
    ::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const QByteArray description =
        "[Trash Info]\nPath=" + original.toPercentEncoding("/") + "\nDeletionDate=" + date + "\n";
    // Room for the information file's extension within a name's 255 bytes.
    const QByteArray name = absolute.mid(absolute.lastIndexOf('/') + 1).left(200);
    for (int n = 1; n < 10000; ++n) {
        const QByteArray entry = n == 1 ? name : numberedName(name, n);
        if (lexists(files + '/' + entry))
            continue;
        const QByteArray infoFile = info + '/' + entry + ".trashinfo";
        if (!writeWhole(infoFile, description)) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        if (!place(files + '/' + entry)) {
            ::unlink(infoFile.constData());
            return false;
        }
        syncFolder(info);
        syncFolder(files);
        return true;
    }
    return false;
}

// The full path of an entry given by its bytes: the folder it lies in as the
// system resolves it, and its own name.
QByteArray absoluteOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArrayLiteral(".") : parentOf(path);
    const QByteArray name = path.mid(slash + 1);
    char buf[PATH_MAX];
    if (!::realpath(folder.constData(), buf))
        return path;
    const QByteArray resolved(buf);
    return (resolved == "/" ? QByteArray() : resolved) + '/' + name;
}

bool moveNativeToTrash(const QByteArray& path) {
    const QByteArray absolute = absoluteOf(path);
    struct stat st;
    if (::lstat(absolute.constData(), &st) != 0)
        return false;
    return putInTrash(absolute, st.st_dev, [&](const QByteArray& trashed) {
        return ::rename(absolute.constData(), trashed.constData()) == 0;
    });
}

// Keeps the content of a regular file that is about to be replaced in the
// trash: a second name for the same file where the volume allows it (the
// replacement then takes the first name alone), else a copy of its bytes.
bool keepInTrash(const QByteArray& path) {
    const QByteArray absolute = absoluteOf(path);
    struct stat st;
    if (::stat(absolute.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return putInTrash(absolute, st.st_dev, [&](const QByteArray& trashed) {
        return ::link(absolute.constData(), trashed.constData()) == 0 ||
               copyInto(absolute, trashed);
    });
}

} // namespace

QString decodeName(QByteArrayView bytes) {
    if (isUtf8(bytes))
        return QString::fromUtf8(bytes);
    if (std::optional<QString> cp932 = decodeCodePage932Exactly(bytes))
        return *cp932;
    return escapedName(bytes);
}

std::vector<DirEntry> listDirectory(const QString& dir) {
    std::vector<DirEntry> entries;
    const QByteArray nativeDir = native(dir.isEmpty() ? QStringLiteral(".") : dir);
    DIR* d = ::opendir(nativeDir.constData());
    if (!d)
        return entries;
    const int dfd = ::dirfd(d);
    std::vector<QByteArray> foreign; // names that are not UTF-8, by entry
    while (dirent* e = ::readdir(d)) {
        const char* name = e->d_name;
        if (isNameOfFolderItself(name))
            continue;
        DirEntry entry;
        const QByteArrayView bytes(name);
        const bool utf8 = isUtf8(bytes);
        entry.name = utf8 ? QString::fromUtf8(bytes) : decodeName(bytes);
        foreign.emplace_back(utf8 ? QByteArray() : bytes.toByteArray());
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
    // Each name that is not UTF-8 must lead back to its own entry: one read
    // from code page 932 that another entry has in UTF-8 (or as its escapes)
    // is shown escaped; one that still leads elsewhere (an entry of UTF-8
    // holds the very text of its escapes) is offered by no listing.
    const QByteArray parent = nativeDir + '/';
    for (size_t i = 0; i < entries.size(); ++i) {
        if (foreign[i].isEmpty())
            continue;
        if (entryBytes(parent, entries[i].name) == foreign[i])
            continue;
        entries[i].name = escapedName(foreign[i]);
        if (entryBytes(parent, entries[i].name) != foreign[i])
            entries[i].system = true;
    }
    return entries;
}

ReadResult readFileUpTo(const QString& path, qint64 limit) {
    ReadResult result;
    const int fd = openForReading(native(path));
    if (fd < 0)
        return result;
    struct stat st;
    if (!isRegularOpenFile(fd, st)) {
        ::close(fd);
        return result;
    }
    if (st.st_size > limit) {
        ::close(fd);
        result.status = ReadStatus::TooLarge;
        return result;
    }
    result.stamp = stampFrom(st);
    QByteArray& data = result.bytes;
    data.resize(qsizetype(st.st_size));
    qint64 done = 0;
    for (;;) {
        if (done == data.size()) {
            if (done >= limit) { // the file grew meanwhile beyond the limit
                ::close(fd);
                result.bytes.clear();
                result.status = ReadStatus::TooLarge;
                return result;
            }
            data.resize(qsizetype(qMin<qint64>(data.size() + 65536, limit)));
        }
        const ssize_t n = ::read(fd, data.data() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            result.bytes.clear();
            return result;
        }
        if (n == 0)
            break;
        done += n;
    }
    ::close(fd);
    data.resize(qsizetype(done));
    result.status = ReadStatus::Read;
    return result;
}

ReadFailure readFileInto(const QString& path, qint64 limit, QByteArray& buffer,
                         const std::atomic<bool>* cancelled) {
    buffer.resize(0);
    // A regular file reads whole even when opened without waiting; the
    // flag is kept (one call fewer for each of many small files).
    const int fd = openForReading(native(path));
    if (fd < 0) {
        switch (errno) {
        case ENOENT:
        case ENOTDIR:
            return ReadFailure::NotFound;
        case EACCES:
        case EPERM:
            return ReadFailure::AccessDenied;
        default:
            return ReadFailure::Other;
        }
    }
    const auto closed = [fd](ReadFailure failure) {
        ::close(fd);
        return failure;
    };
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return closed(ReadFailure::Other);
    if (!S_ISREG(st.st_mode))
        return closed(ReadFailure::NotRegularFile);
    if (st.st_size > limit)
        return closed(ReadFailure::TooLarge);
    // One byte more than the file's size: a read that fills it tells that
    // the file grew meanwhile.
    constexpr qint64 kPiece = 4 << 20;
    qint64 done = 0;
    const auto wanted = qsizetype(std::min<qint64>(qint64(st.st_size) + 1, limit + 1));
    if (buffer.capacity() < wanted) {
        // Room for this file exactly (a grown array would take up to twice
        // as much), the old bytes not copied.
        buffer = QByteArray();
        buffer.reserve(wanted);
    }
    buffer.resize(wanted);
    for (;;) {
        if (done == buffer.size()) {
            if (done > limit) {
                buffer.resize(0);
                return closed(ReadFailure::TooLarge);
            }
            buffer.resize(qsizetype(std::min<qint64>(done + 65536, limit + 1)));
        }
        if (cancelled && cancelled->load(std::memory_order_relaxed)) {
            buffer.resize(0);
            return closed(ReadFailure::Cancelled);
        }
        const qint64 asked = std::min<qint64>(buffer.size() - done, kPiece);
        const ssize_t n = ::read(fd, buffer.data() + done, size_t(asked));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            buffer.resize(0);
            return closed(ReadFailure::Other);
        }
        if (n == 0)
            break;
        done += n;
        // Having read what the file held when opened, a read that stops
        // short is at its end: no further call is needed to be told so.
        if (done == st.st_size && n < asked)
            break;
    }
    buffer.resize(qsizetype(done));
    return closed(ReadFailure::None);
}

std::unique_ptr<FileReader> FileReader::open(const QString& path, qint64 limit,
                                             ReadStatus* status) {
    *status = ReadStatus::CannotOpen;
    const int fd = openForReading(native(path));
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (!isRegularOpenFile(fd, st)) {
        ::close(fd);
        return nullptr;
    }
    if (st.st_size > limit) {
        ::close(fd);
        *status = ReadStatus::TooLarge;
        return nullptr;
    }
    *status = ReadStatus::Read;
    return std::unique_ptr<FileReader>(new FileReader(fd, limit, stampFrom(st)));
}

FileReader::FileReader(int fd, qint64 limit, const FileStamp& stamp)
    : m_fd(fd), m_limit(limit), m_stamp(stamp), m_hash(XXH3_createState()) {
    XXH3_64bits_reset(static_cast<XXH3_state_t*>(m_hash));
}

FileReader::~FileReader() {
    ::close(m_fd);
    XXH3_freeState(static_cast<XXH3_state_t*>(m_hash));
}

qint64 FileReader::read(char* into, qint64 room) {
    for (;;) {
        const ssize_t n = ::read(m_fd, into, size_t(room));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        m_read += n;
        if (m_read > m_limit) // the file grew meanwhile beyond the limit
            return -1;
        XXH3_64bits_update(static_cast<XXH3_state_t*>(m_hash), into, size_t(n));
        return n;
    }
}

bool FileReader::rewind() {
    if (::lseek(m_fd, 0, SEEK_SET) != 0)
        return false;
    m_read = 0;
    XXH3_64bits_reset(static_cast<XXH3_state_t*>(m_hash));
    return true;
}

quint64 FileReader::hash() const {
    return XXH3_64bits_digest(static_cast<const XXH3_state_t*>(m_hash));
}

std::optional<QByteArray> readFile(const QString& path) {
    ReadResult r = readFileUpTo(path, std::numeric_limits<qint64>::max());
    if (r.status != ReadStatus::Read)
        return std::nullopt;
    return std::move(r.bytes);
}

qint64 physicalMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : 0;
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

std::optional<quint64> contentHashOf(const QString& path) {
    const int fd = openForReading(native(path));
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    XXH3_state_t* hash = XXH3_createState();
    XXH3_64bits_reset(hash);
    bool ok = isRegularOpenFile(fd, st);
    std::vector<char> buf(1 << 20);
    while (ok) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        XXH3_64bits_update(hash, buf.data(), size_t(n));
    }
    ::close(fd);
    const quint64 digest = XXH3_64bits_digest(hash);
    XXH3_freeState(hash);
    if (!ok)
        return std::nullopt;
    return digest;
}

bool moveToTrash(const QString& path) {
    return moveNativeToTrash(native(path));
}

QByteArray absoluteNativePath(const QString& path) {
    return absoluteOf(native(path));
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

RemoveResult removeFolderWithFiles(const QString& path, Disposal disposal) {
    const QByteArray folder = native(path);
    struct stat st;
    if (::lstat(folder.constData(), &st) != 0)
        return RemoveResult::Failed;
    if (S_ISLNK(st.st_mode))
        return ::unlink(folder.constData()) == 0 ? RemoveResult::Removed : RemoveResult::Failed;
    if (!S_ISDIR(st.st_mode))
        return RemoveResult::Refused;
    // Everything below goes through this descriptor, so that the folder
    // cannot be swapped for a link to somewhere else meanwhile.
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0)
        return RemoveResult::Failed;
    const int listFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    const std::vector<QByteArray> names = listFd >= 0 ? namesIn(listFd) : std::vector<QByteArray>{};
    if (listFd < 0) {
        ::close(dirFd);
        return RemoveResult::Failed;
    }
    for (const QByteArray& name : names) {
        if (!deletableEntry(dirFd, name)) {
            ::close(dirFd);
            return RemoveResult::Refused;
        }
    }
    // The folder goes to the trash whole, with whatever it holds.
    if (disposal == Disposal::ToTrash && moveNativeToTrash(folder)) {
        ::close(dirFd);
        return RemoveResult::Removed;
    }
    bool ok = true;
    for (const QByteArray& name : names)
        if (::unlinkat(dirFd, name.constData(), 0) != 0 && errno != ENOENT)
            ok = false;
    ::close(dirFd);
    if (ok && ::rmdir(folder.constData()) != 0)
        ok = false;
    return ok ? RemoveResult::Removed : RemoveResult::Failed;
}

namespace {

// Removes the stale temporaries among the names of a folder's entries.
int removeStaleTemporaries(int dirFd, const std::vector<QByteArray>& names) {
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
        const int fd = ::openat(dirFd, name.constData(),
                                O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        // Locked: its writer still runs.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlinkat(dirFd, name.constData(), 0) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

} // namespace

namespace detail {

QByteArray temporaryPrefix() {
    return kTemporaryPrefix + QByteArray::number(::getpid()) + '-';
}

int removeStaleTemporariesAt(int dirFd) {
    const int listFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    return removeStaleTemporaries(dirFd, listFd >= 0 ? namesIn(listFd) : std::vector<QByteArray>{});
}

} // namespace detail

int removeStaleTemporaries(const QString& folder) {
    const int dirFd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return 0;
    const int listFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    const int removed =
        removeStaleTemporaries(dirFd, listFd >= 0 ? namesIn(listFd) : std::vector<QByteArray>{});
    ::close(dirFd);
    return removed;
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
    const int dirFd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return 0;
    const int removed = removeStaleTemporaries(dirFd, names);
    ::close(dirFd);
    return removed;
}

bool deleteFile(const QString& path, Disposal disposal) {
    const QByteArray file = native(path);
    struct stat st;
    if (::lstat(file.constData(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode)) {
        // A link is deleted itself; its target decides whether it is read-only.
        struct stat target;
        if (statNative(file, target) && (S_ISDIR(target.st_mode) || !ownerMayWrite(target)))
            return false;
    } else if (!S_ISREG(st.st_mode) || !ownerMayWrite(st)) {
        return false;
    }
    if (disposal == Disposal::ToTrash && moveNativeToTrash(file))
        return true;
    return ::unlink(file.constData()) == 0;
}

bool copyFile(const QString& source, const QString& destination, Disposal replaced) {
    const QByteArray from = native(source);
    // A copy keeps the name bytes of its source (a name that is not UTF-8 is
    // not turned into another one).
    const QString sourceName = source.section(u'/', -1);
    QByteArray to;
    if (destination.section(u'/', -1) == sourceName && destination.contains(u'/'))
        to = native(destination.section(u'/', 0, -2)) + '/' + from.mid(from.lastIndexOf('/') + 1);
    else
        to = native(destination);
    const QByteArray target = resolveLinks(to);

    const int in = openForReading(from);
    if (in < 0)
        return false;
    struct stat src;
    if (!isRegularOpenFile(in, src)) {
        ::close(in);
        return false;
    }
    struct stat dst;
    const bool existed = statNative(target, dst);
    if (existed) {
        if ((src.st_dev == dst.st_dev && src.st_ino == dst.st_ino) || !S_ISREG(dst.st_mode) ||
            !ownerMayWrite(dst) || ::access(target.constData(), W_OK) != 0) {
            ::close(in);
            return false;
        }
    }
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
        [&] {
            // A volume without a trash replaces the file all the same.
            if (existed && replaced == Disposal::ToTrash)
                keepInTrash(target);
        });
    ::close(in);
    return ok;
}

QString currentDirectory() {
    char buf[PATH_MAX];
    if (::getcwd(buf, sizeof buf))
        return decodeName(buf);
    return {};
}

DirectoryChange setCurrentDirectory(const QString& path) {
    if (::chdir(native(path).constData()) == 0)
        return {};
    switch (errno) {
    case ENOENT:
        return {DirectoryError::NotFound, errno};
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
        return {DirectoryError::InvalidName, errno};
    case EACCES:
    case EPERM:
        return {DirectoryError::AccessDenied, errno};
    default:
        return {DirectoryError::Other, errno};
    }
}

} // namespace ostrel::fs
