#include "RecordStore.h"

#include "Folders.h"
#include "StoreTexts.h"
#include "core/UserError.h"
#include "os/FileSystem.h"

#include <algorithm>
#include <future>

namespace ostrel::store {

QStringList groups() {
    QStringList names = groupNames(QStringLiteral("."));
    sortForList(names);
    return names;
}

QStringList records(const QString& group, const QString& patterns) {
    return recordsIn(groupPath(group), patterns);
}

QStringList recordsIn(const QString& folder, const QString& patterns) {
    // The folder is read once. What a save that was killed left behind is
    // cleared away here.
    const std::vector<fs::DirEntry> listing = fs::listDirectory(folder);
    fs::removeStaleTemporaries(folder, listing);
    QStringList names = recordNames(listing, patterns);
    sortForList(names);
    return names;
}

bool isGroup(const QString& name) {
    return isSingleEntryName(name) && !name.startsWith(u'.') && fs::isDirectory(groupPath(name));
}

int timesListed(const QString& group, const QString& name, const QString& patterns) {
    if (!isSingleEntryName(name))
        return 0;
    if (!fs::isRegularFile(recordPath(group, name)))
        return 0;
    fs::DirEntry entry;
    entry.name = name;
    entry.hidden = name.startsWith(u'.');
    return int(recordNames({entry}, patterns).size());
}

qint64 recordSizeLimit() {
    // A record is held several times over while it is open (the file's
    // bytes, the editor's text, the copy that find and save use, the layout):
    // about ten times its size at the peak. What the machine cannot hold is
    // refused, never more than 1 GiB, never less than 64 MiB.
    constexpr qint64 kMiB = 1 << 20;
    const qint64 memory = fs::physicalMemory();
    return std::clamp<qint64>(memory > 0 ? memory / 12 : 1024 * kMiB, 64 * kMiB, 1024 * kMiB);
}

namespace {

[[noreturn]] void cannotOpen(const QString& path, fs::ReadStatus status, qint64 limit) {
    if (status == fs::ReadStatus::TooLarge)
        throw UserError(texts::store::fileTooLarge().arg(path).arg(limit >> 20));
    throw UserError(texts::store::cannotOpenFile().arg(path));
}

} // namespace

RecordText load(const QString& group, const QString& name) {
    const QString path = recordPath(group, name);
    const qint64 limit = recordSizeLimit();
    const fs::ReadResult read = fs::readFileUpTo(path, limit);
    if (read.status != fs::ReadStatus::Read)
        cannotOpen(path, read.status, limit);
    DiskState disk{read.stamp, std::nullopt};
    // Only a file changed just before it was read needs its content's hash;
    // that is taken beside the decoding, not after it.
    std::future<quint64> hash;
    if (read.stamp.recent)
        hash =
            std::async(std::launch::async, [bytes = read.bytes] { return fs::contentHash(bytes); });
    DecodedText decoded = decodeText(read.bytes);
    if (hash.valid())
        disk.hash = hash.get();
    return {{group, name, path, std::move(decoded.format), std::move(disk)},
            std::move(decoded.text)};
}

OpenedRecord openRecord(const QString& group, const QString& name) {
    const QString path = recordPath(group, name);
    const qint64 limit = recordSizeLimit();
    fs::ReadStatus status = fs::ReadStatus::CannotOpen;
    std::unique_ptr<fs::FileReader> file = fs::FileReader::open(path, limit, &status);
    if (!file)
        cannotOpen(path, status, limit);
    return {{group, name, path, {}, {}}, std::move(file)};
}

void finishReading(LoadedRecord& record, const fs::FileReader& file, TextFormat format) {
    record.format = std::move(format);
    record.disk.stamp = file.stamp();
    // As load keeps it: the content's hash only for a file changed just
    // before it was read.
    record.disk.hash = file.stamp().recent ? std::optional(file.hash()) : std::nullopt;
}

LoadedRecord absentRecord(const QString& group, const QString& name) {
    return {group, name, recordPath(group, name), decodeText(QByteArray()).format, {}};
}

DiskChange diskChange(const LoadedRecord& record) {
    const std::optional<fs::FileStamp> now = fs::stampOf(record.path);
    if (!now)
        return DiskChange::Gone;
    if (!record.disk.stamp || !now->sameState(*record.disk.stamp))
        return DiskChange::Changed;
    if (record.disk.hash && fs::contentHashOf(record.path) != record.disk.hash)
        return DiskChange::Changed;
    return DiskChange::None;
}

SaveResult save(LoadedRecord& record, const std::vector<QStringView>& text, Overwrite overwrite) {
    const UserError cannotCreate(texts::store::cannotCreateFile().arg(record.path));
    if (record.path.isEmpty())
        throw cannotCreate;
    if (overwrite == Overwrite::IfUnchanged) {
        switch (diskChange(record)) {
        case DiskChange::None:
            break;
        case DiskChange::Changed:
            return SaveResult::Changed;
        case DiskChange::Gone:
            return SaveResult::Gone;
        }
    }
    TextFormat format = record.format;
    // The text is encoded straight into the file, piece by piece. A file with
    // mixed breaks keeps its bytes, which tell the breaks for the next save.
    QByteArray bytes;
    bool unencodable = false;
    const auto encode = [&](const fs::PieceWriter& write) {
        return encodeTextInPieces(text, format, write, &unencodable);
    };
    bool saved;
    fs::WrittenFile written;
    if (!format.mixed) {
        saved = fs::writeFileAtomic(record.path, encode, &written);
    } else {
        saved = encode([&](QByteArrayView piece) {
                    bytes += piece;
                    return true;
                }) &&
                fs::writeFileAtomic(record.path, bytes, &written);
    }
    if (!saved && unencodable)
        return SaveResult::Unencodable;
    if (!saved)
        throw cannotCreate;
    // The file now holds what the editor holds; unedited lines keep their
    // breaks at the next save only if the format is taken from the new file.
    if (format.mixed)
        format = decodeText(bytes).format;
    format.lossless = true;
    record.format = std::move(format);
    record.disk.stamp = written.stamp;
    record.disk.hash = written.stamp.recent ? std::optional(written.hash) : std::nullopt;
    return SaveResult::Saved;
}

bool createGroup(const QString& name) {
    return isSingleEntryName(name) && fs::createDirectory(groupPath(name));
}

bool createRecord(const QString& group, const QString& name) {
    // Without a shown group there is no folder to create in: the file never
    // lands in the data folder itself.
    return isSingleEntryName(group) && isSingleEntryName(name) &&
           fs::createNewFile(recordPath(group, name));
}

bool deleteRecord(const QString& path) {
    return fs::deleteFile(path, fs::Disposal::ToTrash);
}

bool removeMovedRecord(const QString& path) {
    return fs::deleteFile(path, fs::Disposal::Delete);
}

bool deleteGroup(const QString& name) {
    // All or nothing, so that a failure is never reported after files were
    // removed.
    return isSingleEntryName(name) &&
           fs::removeFolderWithFiles(groupPath(name), fs::Disposal::ToTrash) ==
               fs::RemoveResult::Removed;
}

bool copyRecord(const QString& source, const QString& destination) {
    return fs::copyFile(source, destination, fs::Disposal::ToTrash);
}

bool isGroupFolder(const QString& folder) {
    const QStringList names = groups();
    return std::any_of(names.begin(), names.end(), [&folder](const QString& group) {
        return fs::sameFile(folder, groupPath(group));
    });
}

bool isSingleEntryName(const QString& name) {
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(u'\\') && !name.contains(QChar(0));
}

} // namespace ostrel::store
