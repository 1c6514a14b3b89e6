#pragma once

#include "FileSystem.h"

#include <QString>
#include <optional>
#include <vector>

// The drives the destination folder dialog offers: the mounted volumes (as
// QStorageInfo lists them) that a user can keep files on, each known by its
// root (the mount point). Pseudo file systems (proc, sysfs, cgroup, devpts,
// the tmpfs mounts of /run and /dev ...) are left out.
//
// Each drive keeps its own current folder for the run: the folder last made
// the working directory on it through changeDirectory().
namespace ostrel::drives {

enum class DriveKind { Removable, Fixed, Network, CdRom, Ram };

struct Drive {
    QString root;   // the mount point, e.g. "/" or "/media/usb"
    QString label;  // the volume label, empty when it has none
    QString remote; // the remote name of a network volume ("server:/export")
    DriveKind kind = DriveKind::Fixed;
    // Whether names that differ only in letter case name different entries.
    bool caseSensitive = true;
};

// A mounted volume.
struct Mount {
    QString mountPoint;
    QString fsType; // "ext4", "fuse.sshfs" ...
    QString source; // "/dev/sda1", "server:/export", "tmpfs" ...
};

// What kind of drive a mount is, or nothing for a mount that is no drive
// (a pseudo file system, a mount inside /proc, /sys, /dev or /run...).
// `removableDevice` tells whether its block device is removable.
std::optional<DriveKind> driveKind(const Mount& mount, bool removableDevice);

// Whether names on such a file system are compared with regard to case.
bool caseSensitiveFileSystem(const QString& fsType);

// The drive list's text of a drive: the root alone for a removable drive; the
// root and the label in square brackets for a fixed, CD-ROM or RAM drive; the
// root and the remote name for a network drive (the label in brackets when
// the remote name is unknown). Labels and remote names are in lower case.
QString driveText(const Drive& drive);

// The drives present now, sorted by their roots.
std::vector<Drive> presentDrives();

// The root of the drive in `drives` that holds `path` (the longest root that
// is `path` or one of its ancestors); "/" when none does.
QString driveRootOf(const QString& path, const std::vector<Drive>& drives);

// The current folder of a drive: the folder last made the working directory
// on it, or its root.
QString currentDirectoryOf(const QString& root);

// Makes `path` the working directory and, when that succeeds, the current
// folder of its drive among `drives`.
fs::DirectoryChange changeDirectory(const QString& path, const std::vector<Drive>& drives);

// Forgets every drive's current folder (each drive is back at its root).
void forgetCurrentDirectories();

} // namespace ostrel::drives
