#pragma once

#include <QString>

namespace ostrel {

// The main window as the dialogs reach it: what they must do to it after
// creating a group or a record, and the pattern list they change. The main
// window implements it; the dialogs know nothing else of it.
class DialogHost {
public:
    virtual ~DialogHost() = default;

    // The group the main window shows ("" when none).
    virtual QString shownGroup() const = 0;
    // Rebuilds the group list, with no group selected; answers whether there
    // is a group.
    virtual bool ListGroups() = 0;
    // Rebuilds the group list and shows the group with its records.
    virtual void showGroup(const QString& name) = 0;

    // How a new record was shown.
    enum class NewRecord {
        Loaded,     // selected and loaded
        OnlyRecord, // the group's only record: selected and loaded
        NotListed,  // the group lists no record
        Kept,       // the user chose to keep the loaded record's unsaved edits
    };
    // Lists the shown group's records again and shows the new one, after the
    // unsaved-changes question when the editor holds unsaved edits.
    virtual NewRecord showNewRecord(const QString& name) = 0;
    // Whether the create-record dialog closes after creating a record.
    virtual bool closesAfterCreatingRecord() const = 0;

    // The displayed-files pattern list.
    virtual QString supportPatterns() const = 0;
    virtual void setSupportPatterns(const QString& patterns) = 0;
};

} // namespace ostrel
