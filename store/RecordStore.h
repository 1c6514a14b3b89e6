#pragma once

#include <QString>

// The record store's operations on the main window: they rebuild GroupCmb and
// RecordLst from the folders, and load a record into MainEdit. Every list is
// rebuilt from the disk each time; nothing is kept between calls.

// Empties GroupCmb and adds every group; answers whether there is one. The
// rebuilt list has no selection.
bool ListGroups();
// Empties RecordLst and adds the records of the group shown in GroupCmb.
void ListRecords();
// Position of the last item equal to `name`, or 0.
int FindGroupIndex(const QString& name);
// Position of the last item equal to `name`, or 0 (also for an empty name).
int FindRecordIndex(const QString& name);
// Makes the item at `position` the selection of GroupCmb.
void SelectGroup(int position);
// Selects the item at `position` of RecordLst (-1: none) without running
// the record-picking handler.
void SelectRecord(int position);
// The selected item of RecordLst: its position (-1: none) and its text.
int SelectedRecordIndex();
QString SelectedRecordName();
// Loads the selected record of RecordLst into MainEdit; raises the file-open
// error when the file cannot be read (the editor then keeps what it had).
void LoadRecord();
// Creates the folder "./" + name; rebuilds GroupCmb whatever the outcome.
bool CreateGroupFolder(const QString& name);
// Creates the empty file "./" + group + "/" + name; tells the user when it fails.
void CreateRecordFile(const QString& name);

namespace ostrel {
// The largest record, in bytes, that can be opened on this machine.
qint64 recordSizeLimit();
// A name typed for a new group or record names one entry, never a path.
bool isSingleEntryName(const QString& name);
} // namespace ostrel
