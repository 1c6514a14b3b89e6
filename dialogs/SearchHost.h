#pragma once

#include "store/RecordSearch.h"
#include "text/LineSearch.h"

#include <QString>
#include <optional>

namespace ostrel {

// The main window as the search window reaches it: where the records are,
// the record the editor holds, and showing a record that was found. The
// main window's side implements it; the search window knows nothing else
// of it.
class SearchHost {
public:
    virtual ~SearchHost() = default;

    // The data folder, in full, and the displayed-files pattern list.
    virtual QString dataFolder() const = 0;
    virtual QString supportPatterns() const = 0;

    // The loaded record with the editor's text as it stands (unsaved edits
    // included); nothing when no record is loaded.
    virtual std::optional<store::EditedRecord> editedRecord() = 0;

    // Shows a found line: the record is picked as the user picks it (the
    // unsaved-changes question first, unless it is the loaded record) and
    // the match at `position` selected in the editor. Answers false when the
    // user chose to stay with the record loaded. Raises the error of a
    // record that is gone or cannot be read.
    virtual bool showFound(const QString& group, const QString& name, qint64 position,
                           qint64 length, const QString& what, MatchOptions options) = 0;
};

} // namespace ostrel
