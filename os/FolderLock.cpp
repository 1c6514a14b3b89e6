#include "FolderLock.h"

#include "Descriptor.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace ostrel::fs {

std::unique_ptr<FolderLock> FolderLock::take(const QString& file, bool* unusable) {
    auto refuse = [unusable] {
        if (unusable)
            *unusable = true;
        return nullptr;
    };
    if (unusable)
        *unusable = false;
    // Not through a link; a FIFO planted at the name must not block the open.
    Descriptor fd(::open(QFile::encodeName(file).constData(),
                         O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    if (!fd.isOpen())
        return refuse();
    // The process id is written into the file: a second name of it (a hard
    // link) could be any file of the user's.
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid() ||
        st.st_nlink != 1)
        return refuse();
    // The lock belongs to the open file, so the system drops it with the
    // process. The file itself stays: removing it would let a second process
    // lock a new file of the same name while a third still waits on the old.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK)
            return refuse();
        return nullptr;
    }
    const QByteArray pid = QByteArray::number(::getpid()) + '\n';
    if (::ftruncate(fd.get(), 0) == 0)
        (void)!::pwrite(fd.get(), pid.constData(), size_t(pid.size()), 0);
    return std::unique_ptr<FolderLock>(new FolderLock(std::move(fd)));
}

FolderLock::~FolderLock() = default;

QString folderIdentity(const QString& folder) {
    struct stat st;
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return {};
    return QStringLiteral("%1-%2").arg(quint64(st.st_dev), 0, 16).arg(quint64(st.st_ino), 0, 16);
}

bool fitsSocketAddress(const QString& path) {
    return size_t(QFile::encodeName(path).size()) < sizeof(sockaddr_un::sun_path);
}

} // namespace ostrel::fs
