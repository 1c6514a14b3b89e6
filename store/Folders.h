#pragma once

#include "os/FileSystem.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The data folder's listings, without any window: used by the record store's
// window operations and by tests and benchmarks.
namespace ostrel {

// "./" + group + "/" + file name.
QString recordPath(const QString& group, const QString& file);
// "./" + group.
QString groupPath(const QString& group);

// The groups of a data folder: its folders that are not hidden.
QStringList groupNames(const QString& dataFolder);

// The records of a group folder: every file that is not hidden, not a folder
// and not a special file, once for each pattern of the list that it matches.
QStringList recordNames(const QString& groupFolder, const QString& patternList);
// The same from a listing of the group folder.
QStringList recordNames(const std::vector<fs::DirEntry>& listing, const QString& patternList);

// Sorts as the lists show their items: alphabetically without regard to case.
void sortForList(QStringList& items);

// The order of sortForList: negative, zero or positive as `a` sorts before,
// with or after `b`.
int compareForList(const QString& a, const QString& b);
// The position of the first item of a sorted list that does not sort before
// `name`: where it stands, or would stand.
int listPosition(const QStringList& items, const QString& name);

// One step of turning a sorted list into another: items inserted, or
// removed, at a row of the list as the steps before have left it.
struct ListEdit {
    enum class Kind { Insert, Remove };
    Kind kind;
    int row;
    QStringList inserted; // Insert: the items, in order
    int removed = 0;      // Remove: how many
};
// The steps that turn the sorted list `from` into the sorted list `to`,
// keeping every item they share in place, each step a run of neighbouring
// items; nothing when that takes more than `maxEdits` steps (the list is
// then better filled anew).
std::optional<std::vector<ListEdit>> listEdits(const QStringList& from, const QStringList& to,
                                               int maxEdits);

// The position of the last item equal to `name` (exact comparison), or 0.
int lastExactIndex(const QStringList& items, const QString& name);

} // namespace ostrel
