// Listing, making and removing folders and files, copying files, the
// working directory.
#include "AtomicWrite.h"
#include "Names.h"
#include "Reading.h"
#include "Stamps.h"
#include "Trash.h"
#include "Writer.h"
#include "os/Descriptor.h"
#include "os/FileSystem.h"

#include <QStringList>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace ostrel::fs {

namespace {

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

} // namespace

std::vector<DirEntry> listDirectory(const QString& dir) {
    std::vector<DirEntry> entries;
    const QByteArray nativeDir = native(dir.isEmpty() ? QStringLiteral(".") : dir);
    const FolderStream d(::opendir(nativeDir.constData()));
    if (!d)
        return entries;
    const int dfd = ::dirfd(d.get());
    std::vector<QByteArray> foreign; // names that are not UTF-8, by entry
    while (dirent* e = ::readdir(d.get())) {
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

bool createNewFile(const QString& path) {
    Descriptor fd(::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    return fd.isOpen() && fd.close();
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
    const Descriptor dir(
        ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir.isOpen())
        return RemoveResult::Failed;
    Descriptor list(::fcntl(dir.get(), F_DUPFD_CLOEXEC, 0));
    if (!list.isOpen())
        return RemoveResult::Failed;
    const std::vector<QByteArray> names = namesIn(std::move(list));
    for (const QByteArray& name : names)
        if (!deletableEntry(dir.get(), name))
            return RemoveResult::Refused;
    // The folder goes to the trash whole, with whatever it holds.
    if (disposal == Disposal::ToTrash && moveNativeToTrash(folder))
        return RemoveResult::Removed;
    bool ok = true;
    for (const QByteArray& name : names)
        if (::unlinkat(dir.get(), name.constData(), 0) != 0 && errno != ENOENT)
            ok = false;
    if (ok && ::rmdir(folder.constData()) != 0)
        ok = false;
    return ok ? RemoveResult::Removed : RemoveResult::Failed;
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

    const Descriptor in = openForReading(from);
    if (!in.isOpen())
        return false;
    struct stat src;
    if (!isRegularOpenFile(in.get(), src))
        return false;
    struct stat dst;
    const bool existed = statNative(target, dst);
    if (existed) {
        if ((src.st_dev == dst.st_dev && src.st_ino == dst.st_ino) || !S_ISREG(dst.st_mode) ||
            !ownerMayWrite(dst) || ::access(target.constData(), W_OK) != 0)
            return false;
    }
    return replaceAtomically(
        target, src.st_mode & 07777, nullptr,
        [&](int fd) {
            BackgroundWriter out(fd);
            char buf[1 << 16];
            for (;;) {
                const ssize_t n = ::read(in.get(), buf, sizeof buf);
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
