// The desktop's trash: where an entry goes, its information file, and the
// entry moved, linked or copied there.
#include "Trash.h"

#include "AtomicWrite.h"
#include "Names.h"
#include "Reading.h"
#include "Stamps.h"
#include "Writer.h"
#include "os/Descriptor.h"
#include "os/FileSystem.h"
#include "os/UserFolders.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace ostrel::fs {

namespace {

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
    Descriptor fd(::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd.isOpen())
        return false;
    bool ok = writeAll(fd.get(), bytes.constData(), bytes.size()) && ::fsync(fd.get()) == 0;
    if (!fd.close())
        ok = false;
    if (!ok)
        ::unlink(path.constData());
    return ok;
}

// Copies a file's bytes into a new file (for a trash where a link cannot be
// made).
bool copyInto(const QByteArray& from, const QByteArray& to) {
    const Descriptor in = openForReading(from);
    struct stat st;
    if (!in.isOpen() || !isRegularOpenFile(in.get(), st))
        return false;
    Descriptor out(::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    bool ok = out.isOpen();
    char buf[1 << 16];
    while (ok) {
        const ssize_t n = ::read(in.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = writeAll(out.get(), buf, n);
    }
    if (out.isOpen()) {
        ok = ::fsync(out.get()) == 0 && ok;
        ok = out.close() && ok;
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

} // namespace

bool moveNativeToTrash(const QByteArray& path) {
    const QByteArray absolute = absoluteOf(path);
    struct stat st;
    if (::lstat(absolute.constData(), &st) != 0)
        return false;
    return putInTrash(absolute, st.st_dev, [&](const QByteArray& trashed) {
        return ::rename(absolute.constData(), trashed.constData()) == 0;
    });
}

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

bool moveToTrash(const QString& path) {
    return moveNativeToTrash(native(path));
}

} // namespace ostrel::fs
