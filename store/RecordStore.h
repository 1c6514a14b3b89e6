#pragma once

#include "os/FileSystem.h"
#include "text/TextCodec.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>
#include <vector>

// The record store: the groups (folders of the data folder, which is the
// working directory) and their records (files), read and written as values.
// Every list is read from the disk each time; nothing is kept between calls.
// The main window's operations of the same names (ListGroups, LoadRecord ...)
// call these and show the result.
namespace ostrel::store {

// The file of a record as it was when loaded or last saved, to tell whether
// another program has changed, replaced or deleted it since. The hash of its
// content is kept only when the stamp alone cannot tell (a file changed
// within its file system's time granularity of that moment).
struct DiskState {
    std::optional<fs::FileStamp> stamp; // nothing: there was no file
    std::optional<quint64> hash;
};

// A record as it was loaded: where it lies and how its file stores its text,
// so that a save writes it back alike.
struct LoadedRecord {
    QString group;
    QString name;
    QString path; // "./" + group + "/" + name
    TextFormat format;
    DiskState disk;
};

// A loaded record with its text (lines separated by "\n").
struct RecordText {
    LoadedRecord record;
    QString text;
};

// The groups, sorted as the list shows them.
QStringList groups();

// The records of a group that the pattern list shows, sorted as the list
// shows them (a file once for each pattern it matches). What a killed save
// left in the group is cleared away first.
QStringList records(const QString& group, const QString& patterns);
// The same for a group folder given by its path (which need not be relative
// to the working directory).
QStringList recordsIn(const QString& groupFolder, const QString& patterns);

// Whether the data folder holds a group of that name now.
bool isGroup(const QString& name);
// How many times the records of a group list a file of that name now (once
// for each pattern it matches; none when it is not there, hidden or not a
// file).
int timesListed(const QString& group, const QString& name, const QString& patterns);

// The largest record, in bytes, that can be opened on this machine.
qint64 recordSizeLimit();

// Reads a record. Raises "ファイル … は開けません" (gone, unreadable, not a
// file) or the too-large error.
RecordText load(const QString& group, const QString& name);

// A record opened to be read piece by piece (a large one, decoded as it is
// read, in the editor): the record with its place, and its file. Raises the
// errors load raises.
struct OpenedRecord {
    LoadedRecord record; // its format and disk state are set by finishReading
    std::unique_ptr<fs::FileReader> file;
};
OpenedRecord openRecord(const QString& group, const QString& name);
// The whole file was read and decoded in this format: the record takes it,
// and the state of the file it was read from.
void finishReading(LoadedRecord& record, const fs::FileReader& file, TextFormat format);

// A record for a file that is not there (yet): saving it makes the file.
LoadedRecord absentRecord(const QString& group, const QString& name);

// How a loaded record's file stands now, beside what was loaded or last
// saved (see DiskState).
enum class DiskChange {
    None,
    Changed, // another program changed or replaced the file
    Gone,    // the file is no longer there
};
DiskChange diskChange(const LoadedRecord& record);

enum class SaveResult {
    Saved,
    Unencodable, // a character the record's encoding cannot hold
    Changed,     // another program changed or replaced the file since
    Gone,        // the file is no longer there
};

// Whether a save overwrites a file that changed on disk since it was loaded.
enum class Overwrite { IfUnchanged, Always };

// Writes a text (given in consecutive parts, lines separated by "\n") over
// the record, in the record's own encoding and line breaks.
// Unless told to overwrite always, first compares the file with what was
// loaded, and answers Changed or Gone, having written nothing, when it
// differs. Answers Unencodable, having written nothing, when a character
// cannot be held by the encoding; raises "ファイル … を作成できません" when
// the file cannot be written. After a save the record's format and disk state
// are the written file's.
SaveResult save(LoadedRecord& record, const std::vector<QStringView>& text,
                Overwrite overwrite = Overwrite::IfUnchanged);

// Creates the folder "./" + name (not its parents); answers whether it did.
bool createGroup(const QString& name);
// Creates the empty file "./" + group + "/" + name; fails when anything of
// that name exists or the group is gone.
bool createRecord(const QString& group, const QString& name);
// Deletes a record's file (not a read-only one), into the trash where its
// volume has one.
bool deleteRecord(const QString& path);
// Removes the file of a record that was moved: its copy is in place, so the
// file is deleted for good.
bool removeMovedRecord(const QString& path);
// Deletes a group with its files, all or nothing (a group that holds a folder
// or a read-only file is kept whole), into the trash where its volume has
// one; a group that is a link is removed as a link, never followed out of the
// data folder.
bool deleteGroup(const QString& name);
// Copies a record's file out of the data folder (or into another group); a
// file of the same name there is replaced, and kept in the trash where its
// volume has one.
bool copyRecord(const QString& source, const QString& destination);

// Whether a folder is one of the groups (the folder of a group, also when
// either is reached through a link): what lands there is listed.
bool isGroupFolder(const QString& folder);

// A name typed for a new group or record names one entry, never a path.
bool isSingleEntryName(const QString& name);

} // namespace ostrel::store
