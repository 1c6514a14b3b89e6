#pragma once

#include "RecordStore.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>
#include <vector>

// Recovery copies: the text of a record's unsaved edits, kept outside the
// data folder (in the user's state folder) while the edits are unsaved, so
// that a program that is killed, crashes or loses its display leaves them
// behind, to be offered at the next start.
//
// A copy is a file of its own: a head of "Key=value" lines after the line
// "Ostrel recovery copy", an empty line, then the text as its UTF-16 code
// units (little-endian), so that it reads back exactly, whatever it holds: a
// lone surrogate, which UTF-8 cannot hold, or a leading U+FEFF, which a UTF-8
// reader takes for a mark. The head names the record by the full path of its
// file as the data folder, the group and the record are named on disk (a
// group that is a link is named, not followed), and the data folder also by
// its device and inode, so that the copy is found again after the data folder
// was renamed or is reached by another path.
namespace ostrel::store {

// The record a copy is kept for, and what a save of the restored edits needs
// to know of its file.
struct RecoverySource {
    QString dataFolder; // full path
    QString group;
    QString name;
    // The state of the record's file that the edits began from, so that a
    // save after the restore asks when another program has changed it since.
    DiskState loaded;
    // How the file stores its text, for a file that is gone by the restore.
    TextFormat format;
};

// <state folder>/ostrel/recovery; empty when the user has no state folder.
QString recoveryFolder();

// The copy's file in `folder` for a record (named for the record's full path).
QString recoveryFileFor(const QString& folder, const RecoverySource& source);

// Writes a copy of a text given as consecutive parts (lines separated by
// "\n" or U+2029, as the editor's text has them) atomically, making the
// folder, private, when missing. No link in the folder, or in its place, is
// followed. Answers whether it did.
bool writeRecoveryCopy(const QString& file, const RecoverySource& source,
                       const std::vector<QStringView>& parts);

// Removes a copy (a link in its place is removed itself); answers false only
// when it is there and stays.
bool removeRecoveryCopy(const QString& file);

// What the head of a copy tells (see parseRecoveryHead).
struct RecoveryHead {
    QByteArray path; // the record's file: data folder, group and record
    // The data folder's device and inode (copies of older versions have none).
    std::optional<std::pair<quint64, quint64>> folderId;
    // Nothing when the copy does not tell, or tells it malformed.
    std::optional<DiskState> loaded;
    std::optional<TextFormat> format;
    qsizetype textAt = 0; // where the text begins
};

// The most of a copy's head that is read: a longer head is no copy's.
constexpr qsizetype kRecoveryHeadLimit = 64 * 1024;

// Reads the head of a copy from the first bytes of a file; nothing when they
// are not a copy's (or its head is longer than kRecoveryHeadLimit).
std::optional<RecoveryHead> parseRecoveryHead(QByteArrayView bytes);

// A copy left for a record of the data folder.
struct RecoveryCopy {
    QString file; // the copy's own file, in full
    QString group;
    QString name;
    std::optional<DiskState> loaded;  // nothing: not told
    std::optional<TextFormat> format; // nothing: not told
    qint64 textBytes = 0;             // the size of its text in the file
};

struct LeftCopies {
    // The copies for records of the data folder, the newest first.
    std::vector<RecoveryCopy> copies;
    // Copies for the data folder that cannot be restored: their text is
    // damaged, or they name no record of it (a name that is not a single
    // entry's, such as ".."). They are left as they are.
    QStringList refused;
};

// The copies left in `folder` for records of the data folder (the working
// directory). Only the heads are read: what is not a copy is passed over,
// whatever its size.
LeftCopies leftRecoveryCopies(const QString& folder);

// The largest text, in bytes of the copy, that is restored.
qint64 recoveryTextLimit();

enum class RecoveryRead { Read, TooLarge, Unreadable };
struct RecoveryText {
    RecoveryRead status = RecoveryRead::Unreadable;
    QString text; // lines separated by "\n"
};

// Reads the text of a copy (the copy is read again: a copy that no longer
// names the same record is unreadable).
RecoveryText readRecoveryText(const RecoveryCopy& copy);

} // namespace ostrel::store
