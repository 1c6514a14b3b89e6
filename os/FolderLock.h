#pragma once

#include "Descriptor.h"

#include <QString>
#include <memory>

namespace ostrel::fs {

// A lock that one process at a time holds on a file, for as long as it runs:
// it is released when the object goes or the process ends in any way (killed
// included), so a lock left by a process that died is free to take.
class FolderLock {
public:
    // Takes the lock on `file` (made when missing); nothing when another
    // process holds it, or when the name cannot be a lock file: it is a link,
    // a folder, anything but a plain file of the user's own with no other
    // name, or it cannot be made. `unusable` tells the latter.
    static std::unique_ptr<FolderLock> take(const QString& file, bool* unusable = nullptr);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    explicit FolderLock(Descriptor fd) : m_fd(std::move(fd)) {}
    Descriptor m_fd;
};

// A name for a folder that is the same by whichever path it is reached (its
// device and inode); empty when the folder cannot be found.
QString folderIdentity(const QString& folder);

// Whether a local socket can listen at this path (its bytes fit the
// system's socket address).
bool fitsSocketAddress(const QString& path);

} // namespace ostrel::fs
