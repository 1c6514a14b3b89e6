#pragma once

#include "os/FileSystem.h"
#include "text/LineSearch.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The search through every record of every group: the records as the lists
// show them, each read and decoded as the loader reads it, searched on
// threads of its own and handed over in the lists' order.
namespace ostrel::store {

// A record the search found lines in, or could not read.
struct FoundRecord {
    QString group;
    QString name;
    std::vector<LineMatch> lines;
    fs::ReadFailure failure = fs::ReadFailure::None;
    qint64 order = 0; // its place among the records searched
};

// A record whose text the editor holds (with its unsaved edits): the search
// reads that in place of its file.
struct EditedRecord {
    QString group;
    QString name;
    SharedText text; // shared with the editor's copy, only read
};

struct SearchRequest {
    QString dataFolder; // in full
    QString patterns;   // the displayed-files pattern list
    QString what;
    MatchOptions options;
    std::optional<EditedRecord> edited;
    // How many lines at most: a search that finds more stops there.
    qint64 lineLimit = 100000;
    int threads = 0; // 0: as many as the machine has cores (at most four)
};

// The records of a group in the order the search takes them: as the record
// list shows them, a file listed twice taken once.
QStringList searchedRecords(const QString& dataFolder, const QString& group,
                            const QString& patterns);

// Searches one record, its file or the edited text.
FoundRecord searchRecord(const SearchRequest& request, const QString& group, const QString& name);

// A running search. It starts at once; its results are taken in batches by
// the thread that asks (the window's), which never waits for the search: the
// search's threads hold the lock only to hand over. A record is handed over
// as soon as it is searched (a large one does not hold back those after it):
// its `order` tells its place in the groups' and records' order.
class RecordSearch {
public:
    struct Progress {
        qint64 searched = 0; // records searched
        qint64 records = 0;  // records listed so far
        bool listed = false; // every group has been listed
        bool finished = false;
        bool truncated = false; // stopped on finding the most lines it takes
    };

    // `ready` is called on one of the search's threads each time results or
    // the end wait to be taken, once until take() is next called.
    RecordSearch(SearchRequest request, std::function<void()> ready);
    // Stops the search and waits for its threads (which stop soon after
    // cancel(): between two pieces of a record).
    ~RecordSearch();
    RecordSearch(const RecordSearch&) = delete;
    RecordSearch& operator=(const RecordSearch&) = delete;

    // Stops the search: nothing more is handed over. Returns at once.
    void cancel();
    // Whether its threads have ended (after the end or a cancel).
    bool threadsEnded() const;

    // The records found since the last call, and how far it got.
    std::vector<FoundRecord> take(Progress* progress = nullptr);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace ostrel::store
