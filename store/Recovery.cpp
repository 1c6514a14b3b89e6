#include "Recovery.h"

#include "os/FileSystem.h"
#include "os/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>

namespace ostrel::store {

namespace {

const QByteArray kFirstLine = "Ostrel recovery copy\n";
const QByteArray kPathKey = "Path=";
const QByteArray kLoadedKey = "Loaded=";

// The text is written a few hundred kilobytes at a time.
constexpr qsizetype kUnitsAtOnce = 1 << 17;

// A file's name holds at most 255 bytes.
constexpr qsizetype kLongestName = 240;

QByteArray parentOf(const QByteArray& path) {
    return path.left(std::max<qsizetype>(path.lastIndexOf('/'), 0));
}

QByteArray lastPart(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
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

std::optional<DiskState> readDiskState(const QByteArray& text) {
    if (text == "-")
        return DiskState{};
    const QList<QByteArray> f = text.split(' ');
    if (f.size() != 6)
        return std::nullopt;
    bool ok[5] = {};
    fs::FileStamp s;
    s.device = f[0].toULongLong(&ok[0]);
    s.inode = f[1].toULongLong(&ok[1]);
    s.size = f[2].toLongLong(&ok[2]);
    s.modifiedNs = f[3].toLongLong(&ok[3]);
    s.recent = f[4] == "1";
    DiskState disk{s, std::nullopt};
    if (f[5] != "-")
        disk.hash = f[5].toULongLong(&ok[4], 16);
    else
        ok[4] = true;
    if (!std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; }))
        return std::nullopt;
    return disk;
}

} // namespace

QString recoveryFolder() {
    const QString state = fs::stateHome();
    return state.isEmpty() ? QString() : state + QStringLiteral("/ostrel/recovery");
}

QString recoveryFileFor(const QString& folder, const QString& recordFile) {
    const QByteArray full = fs::absoluteNativePath(recordFile);
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
    const QString folder = file.section(u'/', 0, -2);
    if (!QFileInfo::exists(folder)) {
        QDir().mkpath(folder);
        // Only the user may read what was typed.
        const auto own = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        QFile::setPermissions(folder, own);
        QFile::setPermissions(folder.section(u'/', 0, -2), own);
    }
    const QByteArray head = kFirstLine + kPathKey +
                            fs::absoluteNativePath(source.recordFile).toPercentEncoding() + '\n' +
                            kLoadedKey + written(source.loaded) + "\n\n";
    return fs::writeFileAtomic(file, [&](const fs::PieceWriter& write) {
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
                    // The editor ends its lines with U+2029, and holds no
                    // U+2029 of its own (it takes one for a line end).
                    const char16_t u = c == QChar::ParagraphSeparator ? u'\n' : c.unicode();
                    qToLittleEndian(quint16(u), out);
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
    return QFile::remove(file) || !QFileInfo::exists(file);
}

std::vector<RecoveryCopy> leftRecoveryCopies(const QString& folder) {
    std::vector<std::pair<qint64, RecoveryCopy>> found;
    if (folder.isEmpty())
        return {};
    fs::removeStaleTemporaries(folder);
    const QString dataFolder = fs::currentDirectory();
    for (const fs::DirEntry& entry : fs::listDirectory(folder)) {
        if (entry.isDir || entry.hidden || entry.system)
            continue;
        const QString file = folder + u'/' + entry.name;
        const std::optional<QByteArray> bytes = fs::readFile(file);
        if (!bytes || !bytes->startsWith(kFirstLine))
            continue;
        const qsizetype pathAt = kFirstLine.size();
        const qsizetype end = bytes->indexOf("\n\n", pathAt);
        if (end < 0)
            continue;
        const QList<QByteArray> head = bytes->sliced(pathAt, end - pathAt).split('\n');
        if (!head.first().startsWith(kPathKey))
            continue;
        const QByteArray full =
            QByteArray::fromPercentEncoding(head.first().sliced(kPathKey.size()));
        std::optional<DiskState> loaded;
        for (const QByteArray& line : head)
            if (line.startsWith(kLoadedKey))
                loaded = readDiskState(line.sliced(kLoadedKey.size()));
        const QByteArray groupFolder = parentOf(full);
        if (fs::decodeName(parentOf(groupFolder)) != dataFolder)
            continue;
        const QByteArrayView body = QByteArrayView(*bytes).sliced(end + 2);
        if (body.size() % 2 != 0)
            continue;
        QString text(body.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(qFromLittleEndian<quint16>(body.data() + 2 * i));
        RecoveryCopy copy{file, fs::decodeName(lastPart(groupFolder)),
                          fs::decodeName(lastPart(full)), std::move(text), std::move(loaded)};
        const std::optional<fs::FileStamp> stamp = fs::stampOf(file);
        found.emplace_back(stamp ? stamp->modifiedNs : 0, std::move(copy));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<RecoveryCopy> copies;
    for (auto& [time, copy] : found)
        copies.push_back(std::move(copy));
    return copies;
}

} // namespace ostrel::store
