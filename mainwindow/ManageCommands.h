#pragma once

#include <QString>

// Deleting the loaded record and whole groups, on the main window.

// Deletes the file at RecordPath, rebuilds RecordLst without a selection,
// clears and disables the editor, sets GroupIndex and RecordIndex to -1 and
// disables the delete commands. Answers whether the file was deleted.
// RecordPath and RecordName keep naming the deleted file.
bool DeleteRecordFile();

// Deletes the group folder "./" + name with its files after asking, then
// rebuilds the lists on the first group. Refuses when fewer than two groups
// are listed or when no group is named.
void DeleteGroup(const QString& name);

namespace ostrel {

// Deletes every deletable file of the group folder "./" + group, then the
// folder itself. Folders, read-only files and anything else that resists stay;
// the folder is then kept. Answers whether the folder was removed.
bool deleteGroupFolder(const QString& group);

} // namespace ostrel
