#pragma once

#include "RecordStore.h"

#include <QString>
#include <QStringView>
#include <vector>

// Recovery copies: the text of a record's unsaved edits, kept outside the
// data folder (in the user's state folder) while the edits are unsaved, so
// that a program that is killed, crashes or loses its display leaves them
// behind, to be offered at the next start.
namespace ostrel::store {

struct RecoveryCopy {
    QString file;  // the copy's own file
    QString group; // the record it belongs to
    QString name;
    QString text; // lines separated by "\n"
    // The record's file as the edits began from it (nothing: the copy does
    // not tell), so that a save after the restore asks when another program
    // has changed the file since.
    std::optional<DiskState> loaded;
};

// What a copy is made of besides the text: the record (its full path) and
// the state of its file when it was loaded or last saved.
struct RecoverySource {
    QString recordFile;
    DiskState loaded;
};

// <state folder>/ostrel/recovery; empty when the user has no state folder.
QString recoveryFolder();

// The copy's file in `folder` for a record (given by its full path), named
// for that path.
QString recoveryFileFor(const QString& folder, const QString& recordFile);

// Writes a copy of a text given as consecutive parts (lines separated by
// "\n" or U+2029, as the editor's text has them) for a record (its full
// path) atomically, making the folder, private, when missing. Answers whether
// it did. The text is kept as its UTF-16 code units (little-endian), so that
// it reads back exactly, whatever it holds: a lone surrogate, which UTF-8
// cannot hold, or a leading U+FEFF, which a UTF-8 reader takes for a mark.
bool writeRecoveryCopy(const QString& file, const RecoverySource& source,
                       const std::vector<QStringView>& parts);

// Removes a copy; answers false only when it is there and stays.
bool removeRecoveryCopy(const QString& file);

// The copies left in `folder` for records of the data folder (the working
// directory), the newest first.
std::vector<RecoveryCopy> leftRecoveryCopies(const QString& folder);

} // namespace ostrel::store
