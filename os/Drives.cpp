#include "Drives.h"

#include "FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStorageInfo>

#include <algorithm>

namespace ostrel::drives {

namespace {

bool isInside(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder + u'/');
}

bool isNetworkType(const QString& type) {
    static const QStringList network = {QStringLiteral("nfs"),
                                        QStringLiteral("nfs4"),
                                        QStringLiteral("cifs"),
                                        QStringLiteral("smb3"),
                                        QStringLiteral("smbfs"),
                                        QStringLiteral("ncpfs"),
                                        QStringLiteral("afs"),
                                        QStringLiteral("ceph"),
                                        QStringLiteral("glusterfs"),
                                        QStringLiteral("9p"),
                                        QStringLiteral("davfs"),
                                        QStringLiteral("fuse.sshfs"),
                                        QStringLiteral("fuse.rclone"),
                                        QStringLiteral("fuse.s3fs"),
                                        QStringLiteral("fuse.davfs2"),
                                        QStringLiteral("fuse.smbnetfs"),
                                        QStringLiteral("fuse.curlftpfs"),
                                        QStringLiteral("fuse.glusterfs"),
                                        QStringLiteral("fuse.ceph")};
    return network.contains(type);
}

bool isPseudoType(const QString& type) {
    static const QStringList pseudo = {QStringLiteral("proc"),
                                       QStringLiteral("sysfs"),
                                       QStringLiteral("cgroup"),
                                       QStringLiteral("cgroup2"),
                                       QStringLiteral("devpts"),
                                       QStringLiteral("devtmpfs"),
                                       QStringLiteral("mqueue"),
                                       QStringLiteral("debugfs"),
                                       QStringLiteral("tracefs"),
                                       QStringLiteral("securityfs"),
                                       QStringLiteral("pstore"),
                                       QStringLiteral("bpf"),
                                       QStringLiteral("configfs"),
                                       QStringLiteral("fusectl"),
                                       QStringLiteral("hugetlbfs"),
                                       QStringLiteral("autofs"),
                                       QStringLiteral("binfmt_misc"),
                                       QStringLiteral("efivarfs"),
                                       QStringLiteral("rpc_pipefs"),
                                       QStringLiteral("nsfs"),
                                       QStringLiteral("selinuxfs"),
                                       QStringLiteral("rootfs"),
                                       QStringLiteral("nfsd"),
                                       QStringLiteral("tracefs"),
                                       QStringLiteral("fuse.gvfsd-fuse"),
                                       QStringLiteral("fuse.portal"),
                                       QStringLiteral("fuse.lxcfs"),
                                       QStringLiteral("fuse.xdg-document-portal")};
    return pseudo.contains(type);
}

QString canonicalDevice(const QString& source) {
    if (!source.startsWith(u"/dev/"))
        return {};
    const QString canonical = QFileInfo(source).canonicalFilePath();
    return canonical.isEmpty() ? source : canonical;
}

// Whether the block device (or the disk its partition belongs to) is marked
// removable by the kernel.
bool removableDevice(const QString& device) {
    if (device.isEmpty())
        return false;
    const QString sys =
        QFileInfo(QStringLiteral("/sys/class/block/") + QFileInfo(device).fileName())
            .canonicalFilePath();
    if (sys.isEmpty())
        return false;
    for (const QString& dir : {sys, QFileInfo(sys).path()}) {
        QFile flag(dir + QStringLiteral("/removable"));
        if (flag.open(QIODevice::ReadOnly))
            return flag.readAll().trimmed() == "1";
    }
    return false;
}

// Each drive's current folder, by root.
QHash<QString, QString>& currentDirectories() {
    static QHash<QString, QString> folders;
    return folders;
}

} // namespace

std::optional<DriveKind> driveKind(const Mount& mount, bool removable) {
    const QString& at = mount.mountPoint;
    const QString& type = mount.fsType;
    if (!at.startsWith(u'/') || isPseudoType(type))
        return std::nullopt;
    for (const char* special : {"/proc", "/sys", "/dev"})
        if (isInside(at, QLatin1String(special)))
            return std::nullopt;
    // /run holds the system's runtime state; only the media mounted there
    // for the user are drives.
    if (isInside(at, QStringLiteral("/run")) && !at.startsWith(u"/run/media/"))
        return std::nullopt;
    // The read-only images that packaging systems mount for each program.
    if (type == u"squashfs" && isInside(at, QStringLiteral("/snap")))
        return std::nullopt;
    if (isNetworkType(type))
        return DriveKind::Network;
    if (type == u"iso9660" || type == u"udf")
        return DriveKind::CdRom;
    if (type == u"tmpfs" || type == u"ramfs")
        return DriveKind::Ram;
    if (removable)
        return DriveKind::Removable;
    return DriveKind::Fixed;
}

bool caseSensitiveFileSystem(const QString& fsType) {
    static const QStringList folding = {QStringLiteral("vfat"),  QStringLiteral("msdos"),
                                        QStringLiteral("exfat"), QStringLiteral("ntfs"),
                                        QStringLiteral("ntfs3"), QStringLiteral("cifs"),
                                        QStringLiteral("smb3"),  QStringLiteral("smbfs")};
    return !folding.contains(fsType);
}

QString driveText(const Drive& drive) {
    const QString label = QStringLiteral(" [") + drive.label.toLower() + u']';
    switch (drive.kind) {
    case DriveKind::Removable:
        return drive.root;
    case DriveKind::Network:
        if (!drive.remote.isEmpty())
            return drive.root + u' ' + drive.remote.toLower();
        return drive.root + label;
    case DriveKind::Fixed:
    case DriveKind::CdRom:
    case DriveKind::Ram:
        break;
    }
    return drive.root + label;
}

std::vector<Drive> presentDrives() {
    // A later mount on the same point hides the earlier one.
    const QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    std::vector<Drive> found;
    for (auto it = volumes.rbegin(); it != volumes.rend(); ++it) {
        const QStorageInfo& v = *it;
        const Mount m{v.rootPath(), QString::fromUtf8(v.fileSystemType()),
                      QString::fromUtf8(v.device())};
        if (std::any_of(found.begin(), found.end(),
                        [&](const Drive& d) { return d.root == m.mountPoint; }))
            continue;
        const std::optional<DriveKind> kind =
            driveKind(m, removableDevice(canonicalDevice(m.source)));
        // Files bind-mounted over single files are no drives either.
        if (!kind || !fs::isDirectory(m.mountPoint))
            continue;
        Drive d;
        d.root = m.mountPoint;
        d.kind = *kind;
        d.label = v.name();
        if (d.kind == DriveKind::Network)
            d.remote = m.source;
        d.caseSensitive = caseSensitiveFileSystem(m.fsType);
        found.push_back(std::move(d));
    }
    if (found.empty())
        found.push_back(Drive{QStringLiteral("/"), {}, {}, DriveKind::Fixed, true});
    std::sort(found.begin(), found.end(),
              [](const Drive& a, const Drive& b) { return a.root < b.root; });
    return found;
}

QString driveRootOf(const QString& path, const std::vector<Drive>& drives) {
    QString best;
    for (const Drive& d : drives) {
        const bool holds = d.root == u"/" ? path.startsWith(u'/') : isInside(path, d.root);
        if (holds && d.root.size() > best.size())
            best = d.root;
    }
    return best.isEmpty() ? QStringLiteral("/") : best;
}

QString currentDirectoryOf(const QString& root) {
    return currentDirectories().value(root, root);
}

fs::DirectoryChange changeDirectory(const QString& path, const std::vector<Drive>& drives) {
    const fs::DirectoryChange change = fs::setCurrentDirectory(path);
    if (change.error == fs::DirectoryError::None) {
        const QString now = fs::currentDirectory();
        currentDirectories().insert(driveRootOf(now, drives), now);
    }
    return change;
}

void forgetCurrentDirectories() {
    currentDirectories().clear();
}

} // namespace ostrel::drives
