#pragma once

#include "store/RecordStore.h"

#include <QString>

class QComboBox;
class QListWidget;
class QStatusBar;
class QWidget;

namespace ostrel {

// The main window as DiskFollower reaches it: its lists and status bar, a
// place for a notice, the loaded record and the operations that show the
// disk again. The main window implements it; DiskFollower knows nothing else
// of it.
class FollowerHost {
public:
    virtual ~FollowerHost() = default;

    virtual QComboBox* groupList() const = 0;
    virtual QListWidget* recordList() const = 0;
    virtual QStatusBar* statusLine() const = 0;
    // Shows a notice above the editor and the lists, across the window.
    virtual void placeNotice(QWidget* notice) = 0;

    virtual const store::LoadedRecord& loadedRecord() const = 0;
    // Whether the editor holds the loaded record (after a deletion it holds
    // none, though the record's path still names the last one), and whether
    // it holds unsaved edits of it.
    virtual bool editorHoldsRecord() const = 0;
    virtual bool editorModified() const = 0;
    // Whether the editor holds the loaded record whole (a large one loads in
    // the background).
    virtual bool recordComplete() const = 0;
    virtual QString supportPatterns() const = 0;

    // The main window's operations of these names.
    virtual bool ListGroups() = 0;
    virtual void ListRecords() = 0;
    virtual void SelectGroup(int position) = 0;
    virtual void SelectRecord(int position) = 0;
    // Reads the loaded record again (TMainFrm::reloadRecord).
    virtual bool reloadRecord() = 0;
};

} // namespace ostrel
