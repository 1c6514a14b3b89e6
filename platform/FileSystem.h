#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

// File-system services with the rules the program relies on:
// - a hidden entry is one whose name begins with ".";
// - a system entry is anything that is neither a regular file nor a folder
//   (sockets, pipes, devices), which no listing offers;
// - a read-only file is one whose owner has no write permission, whoever runs
//   the program (root included); such a file is neither deleted nor replaced.
// Paths use "/" as the separator.
namespace ostrel::fs {

struct DirEntry {
    QString name;
    bool isDir = false;
    bool hidden = false;
    bool system = false;
};

// The entries of a folder, without "." and "..", in no particular order,
// symbolic links followed. A folder that cannot be read yields none. (Whether
// a file is read-only is asked with isReadOnlyFile where it matters.)
std::vector<DirEntry> listDirectory(const QString& dir);

// The whole content of a regular file; nothing when it cannot be read.
std::optional<QByteArray> readFile(const QString& path);

bool exists(const QString& path);
bool isDirectory(const QString& path);
bool isReadOnlyFile(const QString& path);

// Whether two paths name the same existing file or folder (links followed).
bool sameFile(const QString& a, const QString& b);

// Replaces (or creates) a file so that a failure at any moment leaves the old
// content whole: the data goes to a new file beside the target, every write is
// checked, the file is synced and then renamed over the target. A symbolic link
// is written through to its target; permissions and ownership are kept.
// Refuses a read-only target. On failure answers false and sets *why.
bool writeFileAtomic(const QString& path, const QByteArray& data, QString* why = nullptr);

// Hands the pieces of a file's content to the file, in order; answers false
// when a write failed.
using PieceWriter = std::function<bool(QByteArrayView piece)>;

// As writeFileAtomic, with the content made piece by piece: `produce` hands
// every piece to the writer it is given, and answers false to give up, which
// leaves the target as it was.
bool writeFileAtomic(const QString& path, const std::function<bool(const PieceWriter&)>& produce,
                     QString* why = nullptr);

// Creates an empty file; fails when anything of that name exists.
bool createNewFile(const QString& path);
// Creates one folder (not its parents).
bool createDirectory(const QString& path);
// Removes an empty folder.
bool removeDirectory(const QString& path);
// Deletes a regular file unless it is read-only.
bool deleteFile(const QString& path);
// Copies a regular file, replacing an existing destination file atomically
// (unless that is read-only). Copying a file onto itself fails.
bool copyFile(const QString& source, const QString& destination);

// The working directory as a full path.
QString currentDirectory();
// Changes the working directory; answers 0 or the platform's error code,
// expressed as the codes the program reports: 2 not found, 3 invalid name,
// 5 access denied, anything else as the system's own number.
int setCurrentDirectory(const QString& path);

} // namespace ostrel::fs
