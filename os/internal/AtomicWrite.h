#pragma once

#include <QByteArray>
#include <functional>
#include <sys/stat.h>
#include <vector>

// Replacing a file whole: a new file beside it, synced, renamed over it.
namespace ostrel::fs {

// Writes what `produce` writes into the open file it is given into a new
// file beside `target`, then renames it over the target. `mode` and `owner`
// are those to keep. `beforeRename` runs once the new file is whole on the
// disk, just before it takes the target's place.
bool replaceAtomically(const QByteArray& target, mode_t mode, const struct stat* owner,
                       const std::function<bool(int fd)>& produce,
                       const std::function<void()>& beforeRename = {});

// Syncs a folder's entries (a rename or a new name in it) to the disk.
void syncFolder(const QByteArray& dir);

// The start of the name of a temporary file of a save made by this process:
// hidden, and removed as stale once its writer has ended (see
// removeStaleTemporaries).
QByteArray temporaryPrefix();
// Removes the stale temporary files of a save from an open folder, looking
// at the entries named; answers how many.
int removeStaleTemporariesAt(int dirFd, const std::vector<QByteArray>& names);
// The same, looking at every entry of the folder.
int removeStaleTemporariesAt(int dirFd);

} // namespace ostrel::fs
