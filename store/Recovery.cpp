#include "Recovery.h"

#include "Folders.h"
#include "os/FileSystem.h"
#include "os/PrivateFolder.h"
#include "os/UserFolders.h"

#include <QFile>
#include <QRegularExpression>
#include <QtEndian>

#include <algorithm>
#include <limits>
#include <map>

namespace ostrel::store {

namespace {

const QByteArray kFirstLine = "Ostrel recovery copy\n";
const QByteArray kPathKey = "Path";
const QByteArray kFolderKey = "Folder";
const QByteArray kFormatKey = "Format";
const QByteArray kLoadedKey = "Loaded";

// The text is written a few hundred kilobytes at a time.
constexpr qsizetype kUnitsAtOnce = 1 << 17;

// A file's name holds at most 255 bytes.
constexpr qsizetype kLongestName = 240;

QByteArray parentOf(QByteArrayView path) {
    return path.first(std::max<qsizetype>(path.lastIndexOf('/'), 0)).toByteArray();
}

QByteArray lastPart(QByteArrayView path) {
    return path.sliced(path.lastIndexOf('/') + 1).toByteArray();
}

// A number as QByteArray::number writes it and nothing else (no blanks, no
// leading zeros, small hexadecimal letters, no sign but a leading "-" where
// one may be), so that each value has one form.
std::optional<quint64> unsignedNumber(QByteArrayView text, int base) {
    if (text.isEmpty() || text.size() > 20 || (text.size() > 1 && text.front() == '0'))
        return std::nullopt;
    for (const char c : text) {
        const bool digit = (c >= '0' && c <= '9') || (base == 16 && c >= 'a' && c <= 'f');
        if (!digit)
            return std::nullopt;
    }
    bool ok = false;
    const quint64 value = text.toByteArray().toULongLong(&ok, base);
    return ok ? std::optional(value) : std::nullopt;
}

std::optional<qint64> signedNumber(QByteArrayView text) {
    const bool negative = text.startsWith('-');
    const std::optional<quint64> magnitude = unsignedNumber(negative ? text.sliced(1) : text, 10);
    if (!magnitude || *magnitude > quint64(std::numeric_limits<qint64>::max()) ||
        (negative && *magnitude == 0))
        return std::nullopt;
    return negative ? -qint64(*magnitude) : qint64(*magnitude);
}

// "-" for no file; else device, inode, size, time, whether the time was
// recent, and the content's hash ("-": none), separated by spaces.
QByteArray written(const DiskState& disk) {
    if (!disk.stamp)
        return "-";
    const fs::FileStamp& s = *disk.stamp;
    return QByteArray::number(s.device) + ' ' + QByteArray::number(s.inode) + ' ' +
           QByteArray::number(s.size) + ' ' + QByteArray::number(s.modifiedNs) + ' ' +
           (s.recent ? "1" : "0") + ' ' +
           (disk.hash ? QByteArray::number(*disk.hash, 16) : QByteArray("-"));
}

std::optional<DiskState> readDiskState(QByteArrayView text) {
    if (text == "-")
        return DiskState{};
    const QList<QByteArray> f = text.toByteArray().split(' ');
    if (f.size() != 6 || (f[4] != "0" && f[4] != "1"))
        return std::nullopt;
    const auto device = unsignedNumber(f[0], 10);
    const auto inode = unsignedNumber(f[1], 10);
    const auto size = signedNumber(f[2]);
    const auto modified = signedNumber(f[3]);
    const auto hash = f[5] == "-" ? std::optional<quint64>() : unsignedNumber(f[5], 16);
    if (!device || !inode || !size || *size < 0 || !modified || (f[5] != "-" && !hash))
        return std::nullopt;
    fs::FileStamp s;
    s.device = *device;
    s.inode = *inode;
    s.size = *size;
    s.modifiedNs = *modified;
    s.recent = f[4] == "1";
    return DiskState{s, hash};
}

constexpr std::pair<TextEncoding, const char*> kEncodings[] = {
    {TextEncoding::Utf8, "utf-8"},         {TextEncoding::Utf8Bom, "utf-8-bom"},
    {TextEncoding::Utf16LE, "utf-16le"},   {TextEncoding::Utf16BE, "utf-16be"},
    {TextEncoding::ShiftJis, "shift-jis"},
};
constexpr std::pair<LineBreak, const char*> kBreaks[] = {
    {LineBreak::LF, "lf"}, {LineBreak::CRLF, "crlf"}, {LineBreak::CR, "cr"}};

// The encoding, the line break (the most common one of a file whose lines
// end differently) and "lossy" for a file that no encoding read without
// loss.
QByteArray writtenFormat(const TextFormat& format) {
    QByteArray out;
    for (const auto& [encoding, name] : kEncodings)
        if (encoding == format.encoding)
            out = name;
    for (const auto& [lineBreak, name] : kBreaks)
        if (lineBreak == format.lineBreak)
            out += QByteArray(" ") + name;
    return format.lossless ? out : out + " lossy";
}

std::optional<TextFormat> readFormat(QByteArrayView text) {
    const QList<QByteArray> f = text.toByteArray().split(' ');
    if (f.size() < 2 || f.size() > 3 || (f.size() == 3 && f[2] != "lossy"))
        return std::nullopt;
    TextFormat format;
    bool encoding = false, lineBreak = false;
    for (const auto& [e, name] : kEncodings)
        if (f[0] == name) {
            format.encoding = e;
            encoding = true;
        }
    for (const auto& [b, name] : kBreaks)
        if (f[1] == name) {
            format.lineBreak = b;
            lineBreak = true;
        }
    format.lossless = f.size() == 2;
    return encoding && lineBreak ? std::optional(format) : std::nullopt;
}

// The full path of a record's file as the disk names it (the data folder's
// own path, the group's and the record's name bytes: a group that is a link
// is named, not followed), and the data folder's device and inode.
struct Identity {
    QByteArray path;
    std::optional<std::pair<quint64, quint64>> folderId;
};

Identity identityOf(const RecoverySource& source) {
    const QString group = source.dataFolder + u'/' + source.group;
    // Only the folder above the last name is resolved.
    const QByteArray groupPath = fs::absoluteNativePath(group);
    const QByteArray recordPath = fs::absoluteNativePath(group + u'/' + source.name);
    Identity id{groupPath + '/' + lastPart(recordPath), std::nullopt};
    if (const std::optional<fs::FileStamp> folder = fs::stampOf(source.dataFolder))
        id.folderId = {folder->device, folder->inode};
    return id;
}

// The copies live in "ostrel/recovery" below the state folder: the two parts
// the program makes, which no link may stand for.
fs::PrivateFolder openFolder(const QString& folder, bool create) {
    return fs::PrivateFolder(folder.section(u'/', 0, -3),
                             {folder.section(u'/', -2, -2), folder.section(u'/', -1)}, create);
}

// A group or record named by a copy names one entry of its folder, as a typed
// name must. A name shown with escapes ("\xHH" for each byte that is no
// character) holds backslashes that separate nothing: those are left out of
// the check.
bool namesOneEntry(const QString& shown) {
    static const QRegularExpression escape(QStringLiteral(R"(\\x[0-9A-F]{2})"));
    QString checked = shown;
    checked.replace(escape, QStringLiteral("_"));
    return isSingleEntryName(checked);
}

} // namespace

QString recoveryFolder() {
    const QString state = fs::stateHome();
    return state.isEmpty() ? QString() : state + QStringLiteral("/ostrel/recovery");
}

QString recoveryFileFor(const QString& folder, const RecoverySource& source) {
    const QByteArray full = identityOf(source).path;
    QByteArray name = full.toPercentEncoding(" ");
    if (name.size() > kLongestName) {
        // The end of the path tells the record; a hash of the whole keeps
        // two long paths with the same end apart.
        qsizetype cut = name.size() - (kLongestName - 17);
        // Not within an escape ("%2F").
        if (name.at(cut - 1) == '%')
            cut += 2;
        else if (name.at(cut - 2) == '%')
            cut += 1;
        name = QByteArray::number(fs::contentHash(full), 16).rightJustified(16, '0') + '-' +
               name.mid(cut);
    }
    return folder + u'/' + QString::fromLatin1(name);
}

bool writeRecoveryCopy(const QString& file, const RecoverySource& source,
                       const std::vector<QStringView>& parts) {
    const fs::PrivateFolder folder = openFolder(file.section(u'/', 0, -2), true);
    const Identity id = identityOf(source);
    QByteArray head = kFirstLine + kPathKey + '=' + id.path.toPercentEncoding() + '\n';
    if (id.folderId)
        head += kFolderKey + '=' + QByteArray::number(id.folderId->first) + ' ' +
                QByteArray::number(id.folderId->second) + '\n';
    head += kFormatKey + '=' + writtenFormat(source.format) + '\n' + kLoadedKey + '=' +
            written(source.loaded) + "\n\n";
    return folder.write(
        QFile::encodeName(file.section(u'/', -1)), [&](const fs::PieceWriter& write) {
            if (!write(head))
                return false;
            QByteArray bytes;
            for (QStringView part : parts) {
                for (qsizetype done = 0; done < part.size(); done += kUnitsAtOnce) {
                    const QStringView units =
                        part.sliced(done, std::min(kUnitsAtOnce, part.size() - done));
                    bytes.resize(units.size() * 2);
                    char* out = bytes.data();
                    for (const QChar c : units) {
                        qToLittleEndian(quint16(c.unicode()), out);
                        out += 2;
                    }
                    if (!write(bytes))
                        return false;
                }
            }
            return true;
        });
}

bool removeRecoveryCopy(const QString& file) {
    const fs::PrivateFolder folder = openFolder(file.section(u'/', 0, -2), false);
    // Without its folder there is no copy.
    return !folder.isOpen() || folder.remove(QFile::encodeName(file.section(u'/', -1)));
}

std::optional<RecoveryHead> parseRecoveryHead(QByteArrayView bytes) {
    if (!bytes.startsWith(kFirstLine))
        return std::nullopt;
    // The first line's own break may be the first of the two that end the
    // head (a head without lines).
    const qsizetype end = bytes.first(std::min(bytes.size(), kRecoveryHeadLimit))
                              .indexOf(QByteArrayView("\n\n"), kFirstLine.size() - 1);
    if (end < 0)
        return std::nullopt;
    // Each key once: one given twice tells nothing that can be trusted.
    std::map<QByteArray, std::optional<QByteArray>> values;
    if (end >= kFirstLine.size()) {
        for (const QByteArray& line :
             bytes.sliced(kFirstLine.size(), end - kFirstLine.size()).toByteArray().split('\n')) {
            const qsizetype equals = line.indexOf('=');
            if (equals < 0)
                continue;
            const QByteArray key = line.first(equals);
            const auto [at, added] = values.try_emplace(key, line.sliced(equals + 1));
            if (!added)
                at->second.reset();
        }
    }
    const auto value = [&](const QByteArray& key) {
        const auto at = values.find(key);
        return at == values.end() ? std::nullopt : at->second;
    };
    RecoveryHead head;
    const std::optional<QByteArray> path = value(kPathKey);
    if (!path)
        return std::nullopt;
    head.path = QByteArray::fromPercentEncoding(*path);
    if (!head.path.startsWith('/') || head.path.contains('\0'))
        return std::nullopt;
    if (const std::optional<QByteArray> folder = value(kFolderKey)) {
        const QList<QByteArray> f = folder->split(' ');
        const auto device = f.size() == 2 ? unsignedNumber(f[0], 10) : std::nullopt;
        const auto inode = f.size() == 2 ? unsignedNumber(f[1], 10) : std::nullopt;
        if (device && inode)
            head.folderId = {*device, *inode};
    }
    if (const std::optional<QByteArray> loaded = value(kLoadedKey))
        head.loaded = readDiskState(*loaded);
    if (const std::optional<QByteArray> format = value(kFormatKey))
        head.format = readFormat(*format);
    head.textAt = end + 2;
    return head;
}

LeftCopies leftRecoveryCopies(const QString& folder) {
    LeftCopies left;
    if (folder.isEmpty())
        return left;
    const fs::PrivateFolder dir = openFolder(folder, false);
    if (!dir.isOpen())
        return left;
    dir.removeStaleTemporaries();
    const QString dataFolder = fs::currentDirectory();
    const std::optional<fs::FileStamp> dataFolderStamp = fs::stampOf(QStringLiteral("."));
    std::optional<QStringList> groups; // listed once, when an older copy needs them
    std::vector<std::pair<qint64, RecoveryCopy>> found;
    for (const fs::PrivateFolder::File& entry : dir.files()) {
        // Every copy has a name of plain ASCII; another name is no copy's.
        const QString file = folder + u'/' + QFile::decodeName(entry.name);
        if (QFile::encodeName(QFile::decodeName(entry.name)) != entry.name)
            continue;
        const std::optional<QByteArray> bytes = dir.readHead(entry.name, kRecoveryHeadLimit);
        const std::optional<RecoveryHead> head = bytes ? parseRecoveryHead(*bytes) : std::nullopt;
        if (!head)
            continue;
        const QByteArray groupFolder = parentOf(head->path);
        QString group = fs::decodeName(lastPart(groupFolder));
        // The data folder by its path or, after a rename or from another
        // path, as the same folder. (Device numbers of some file systems
        // change when they are mounted again: the path still tells.)
        bool ours = fs::decodeName(parentOf(groupFolder)) == dataFolder ||
                    (head->folderId && dataFolderStamp &&
                     *head->folderId == std::pair(dataFolderStamp->device, dataFolderStamp->inode));
        if (!ours && !head->folderId) {
            // A copy of an older version names the group's folder with its
            // links resolved: a group that is a link is found as the folder
            // it leads to.
            if (!groups)
                groups = groupNames(QStringLiteral("."));
            for (const QString& g : *groups) {
                if (fs::sameFile(groupPath(g), fs::decodeName(groupFolder))) {
                    group = g;
                    ours = true;
                    break;
                }
            }
        }
        if (!ours)
            continue;
        RecoveryCopy copy{file,         group,        fs::decodeName(lastPart(head->path)),
                          head->loaded, head->format, entry.size - head->textAt};
        if (!namesOneEntry(copy.group) || !namesOneEntry(copy.name) || copy.textBytes % 2 != 0) {
            left.refused.append(file);
            continue;
        }
        found.emplace_back(entry.modifiedNs, std::move(copy));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (auto& [time, copy] : found)
        left.copies.push_back(std::move(copy));
    left.refused.sort();
    return left;
}

qint64 recoveryTextLimit() {
    // As many characters as the largest record that can be opened has bytes.
    return 2 * recordSizeLimit();
}

RecoveryText readRecoveryText(const RecoveryCopy& copy) {
    RecoveryText result;
    if (copy.textBytes > recoveryTextLimit()) {
        result.status = RecoveryRead::TooLarge;
        return result;
    }
    const fs::PrivateFolder dir = openFolder(copy.file.section(u'/', 0, -2), false);
    const fs::ReadResult read = dir.read(QFile::encodeName(copy.file.section(u'/', -1)),
                                         kRecoveryHeadLimit + recoveryTextLimit());
    if (read.status == fs::ReadStatus::TooLarge)
        result.status = RecoveryRead::TooLarge;
    if (read.status != fs::ReadStatus::Read)
        return result;
    const std::optional<RecoveryHead> head = parseRecoveryHead(read.bytes);
    if (!head || fs::decodeName(lastPart(head->path)) != copy.name)
        return result;
    const QByteArrayView body = QByteArrayView(read.bytes).sliced(head->textAt);
    if (body.size() % 2 != 0)
        return result;
    if (body.size() > recoveryTextLimit()) {
        result.status = RecoveryRead::TooLarge;
        return result;
    }
    result.text.resize(body.size() / 2);
    for (qsizetype i = 0; i < result.text.size(); ++i)
        result.text[i] = QChar(qFromLittleEndian<quint16>(body.data() + 2 * i));
    result.status = RecoveryRead::Read;
    return result;
}

} // namespace ostrel::store
