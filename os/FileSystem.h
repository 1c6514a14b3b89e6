#pragma once

#include "Descriptor.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
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

// Names on disk are bytes. A name in UTF-8 is shown as it is; another one
// (what unpacking an old Windows archive gives) is shown decoded from code
// page 932 when it reads back to the same bytes, and otherwise with every byte
// that is not UTF-8, and every backslash, written as "\xHH". Every path given
// to the functions here is turned back into the bytes of the entry that
// exists under it, so a name shown this way opens, saves, copies and deletes
// its own file.
QString decodeName(QByteArrayView bytes);

// The entries of a folder, without "." and "..", in no particular order,
// symbolic links followed. A folder that cannot be read yields none. (Whether
// a file is read-only is asked with isReadOnlyFile where it matters.) Every
// name listed leads to its own entry: a name that is not UTF-8 and reads as
// another entry's is shown escaped, and one whose escapes are another
// entry's UTF-8 name is listed as a system entry, which no listing offers.
std::vector<DirEntry> listDirectory(const QString& dir);

// The whole content of a regular file; nothing when it cannot be read. Never
// blocks on a pipe or a device: anything but a regular file is refused.
std::optional<QByteArray> readFile(const QString& path);

// What tells one state of a file from another without reading it: which file
// it is (device and inode: a file renamed over it is another one), its size
// and its modification time. `recent` is set when that time lay within two
// seconds of the moment it was taken (or after it): a file system keeps times
// only as finely as its clock ticks (two seconds on some), so a second change
// within the same tick may leave all of this alike, and only the content
// tells.
struct FileStamp {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0;
    bool recent = false;

    bool sameState(const FileStamp& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modifiedNs == other.modifiedNs;
    }
};

// The stamp of the file a path names now (links followed); nothing when there
// is none.
std::optional<FileStamp> stampOf(const QString& path);

// A hash of a file's content, fast enough to take of a large file (not one
// that resists a forger: it tells accidental changes). The same bytes hash
// alike within one run of the program.
quint64 contentHash(QByteArrayView bytes);
// The hash of the content of the file a path names now; nothing when it
// cannot be read.
std::optional<quint64> contentHashOf(const QString& path);

// As readFile, refusing a file larger than `limit` bytes without reading it.
// The stamp is that of the file that was read, taken as it was opened.
enum class ReadStatus { Read, CannotOpen, TooLarge };
struct ReadResult {
    ReadStatus status = ReadStatus::CannotOpen;
    QByteArray bytes;
    FileStamp stamp;
};
ReadResult readFileUpTo(const QString& path, qint64 limit);

// A file read piece by piece (a large record, decoded as it comes), opened as
// readFileUpTo opens it: its stamp is taken as it is opened, and the hash of
// what was read (contentHash of the whole, once all is read) is kept. A file
// that grows past the limit while it is read fails the read.
class FileReader {
public:
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    // Nothing when the file cannot be opened or is too large (`status` tells).
    static std::unique_ptr<FileReader> open(const QString& path, qint64 limit, ReadStatus* status);
    const FileStamp& stamp() const { return m_stamp; }
    qint64 size() const { return m_stamp.size; }
    // The next bytes: how many, 0 at the end, -1 when the read failed.
    qint64 read(char* into, qint64 room);
    // Starts again at the first byte (and the hash with it).
    bool rewind();
    // The hash of the bytes read since the start.
    quint64 hash() const;

private:
    FileReader(Descriptor fd, qint64 limit, const FileStamp& stamp);
    Descriptor m_fd;
    qint64 m_limit;
    qint64 m_read = 0;
    FileStamp m_stamp;
    void* m_hash; // the hash's state
};

// Why a file could not be read whole.
enum class ReadFailure { None, NotFound, AccessDenied, NotRegularFile, TooLarge, Cancelled, Other };

// As readFileUpTo, into `buffer`, whose memory is kept from one call to the
// next (a search reads thousands of files one after another), telling why a
// file could not be read. A large file is read a few megabytes at a time,
// and given up (Cancelled) when `cancelled` is set meanwhile.
ReadFailure readFileInto(const QString& path, qint64 limit, QByteArray& buffer,
                         const std::atomic<bool>* cancelled = nullptr);

// The memory of the machine, in bytes (0 when unknown).
qint64 physicalMemory();

bool exists(const QString& path);
bool isDirectory(const QString& path);
// A regular file (links followed): what a listing offers as a record.
bool isRegularFile(const QString& path);
bool isReadOnlyFile(const QString& path);

// Whether two paths name the same existing file or folder (links followed).
bool sameFile(const QString& a, const QString& b);

// What a write left on the disk: the new file's stamp and the hash of the
// bytes written (contentHash of the whole).
struct WrittenFile {
    FileStamp stamp;
    quint64 hash = 0;
};

// Replaces (or creates) a file so that a failure at any moment leaves the old
// content whole: the data goes to a new file beside the target, every write is
// checked, the file is synced and then renamed over the target. A symbolic link
// is written through to its target; permissions and ownership are kept.
// Refuses a read-only target and anything but a regular file.
bool writeFileAtomic(const QString& path, const QByteArray& data, WrittenFile* written = nullptr);

// Hands the pieces of a file's content to the file, in order; answers false
// when a write failed.
using PieceWriter = std::function<bool(QByteArrayView piece)>;

// As writeFileAtomic, with the content made piece by piece: `produce` hands
// every piece to the writer it is given, and answers false to give up, which
// leaves the target as it was. With `written`, tells what was written.
bool writeFileAtomic(const QString& path, const std::function<bool(const PieceWriter&)>& produce,
                     WrittenFile* written = nullptr);

// Creates an empty file; fails when anything of that name exists.
bool createNewFile(const QString& path);
// Creates one folder (not its parents).
bool createDirectory(const QString& path);
// Removes an empty folder.
bool removeDirectory(const QString& path);

// What becomes of a file or folder that is deleted or replaced: gone for
// good, or kept in the desktop's trash of its volume (the freedesktop.org
// trash: $XDG_DATA_HOME/Trash on the volume of the user's data, a .Trash or
// .Trash-<uid> folder at the top of another volume) where the user can get it
// back. Where the volume has no trash that can be used, it is gone for good.
enum class Disposal { Delete, ToTrash };

// Moves a file, a link (itself, never its target) or a folder with all it
// holds to the trash of its volume; answers false, having changed nothing,
// when the volume has none or the move fails.
bool moveToTrash(const QString& path);

// Removes a folder with the files directly inside it, all or nothing: when it
// holds anything that cannot be deleted (a folder, a read-only file) nothing
// is touched. A symbolic link to a folder is removed as a link (never put in
// the trash); its target and what lies there are never touched, nor is any
// file reached through a link inside.
enum class RemoveResult { Removed, Refused, Failed };
RemoveResult removeFolderWithFiles(const QString& path, Disposal disposal = Disposal::Delete);

// Removes the temporary files that an interrupted save left in a folder
// (those whose writer no longer runs); answers how many.
int removeStaleTemporaries(const QString& folder);
// The same, looking only at the entries of a listing of the folder just
// made, so that the folder is not read a second time.
int removeStaleTemporaries(const QString& folder, const std::vector<DirEntry>& listing);
// Deletes a regular file unless it is read-only (a link is deleted itself).
bool deleteFile(const QString& path, Disposal disposal = Disposal::Delete);
// Copies a regular file, replacing an existing destination file atomically
// (unless that is read-only); with ToTrash the replaced file is kept in the
// trash, whole, as the new one takes its place. Copying a file onto itself
// fails. A destination that ends in the source's own name gets the source's
// name bytes.
bool copyFile(const QString& source, const QString& destination,
              Disposal replaced = Disposal::Delete);

// The full path of a path's entry as the bytes the system knows it by (the
// working directory's own, links in it resolved by the system).
QByteArray absoluteNativePath(const QString& path);

// The working directory as a full path.
QString currentDirectory();
// Why the working directory could not be changed.
enum class DirectoryError { None, NotFound, InvalidName, AccessDenied, Other };
struct DirectoryChange {
    DirectoryError error = DirectoryError::None;
    int systemCode = 0; // the system's own error number, for Other
};
// Changes the working directory.
DirectoryChange setCurrentDirectory(const QString& path);

} // namespace ostrel::fs
