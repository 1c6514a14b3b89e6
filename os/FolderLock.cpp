#include "FolderLock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel::fs {

std::unique_ptr<FolderLock> FolderLock::take(const QString& file) {
    const int fd = ::open(QFile::encodeName(file).constData(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    // The lock belongs to the open file, so the system drops it with the
    // process. The file itself stays: removing it would let a second process
    // lock a new file of the same name while a third still waits on the old.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    const QByteArray pid = QByteArray::number(::getpid()) + '\n';
    if (::ftruncate(fd, 0) == 0)
        (void)!::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
    return std::unique_ptr<FolderLock>(new FolderLock(fd));
}

FolderLock::~FolderLock() {
    ::close(m_fd);
}

QString folderIdentity(const QString& folder) {
    struct stat st;
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return {};
    return QStringLiteral("%1-%2").arg(quint64(st.st_dev), 0, 16).arg(quint64(st.st_ino), 0, 16);
}

} // namespace ostrel::fs
