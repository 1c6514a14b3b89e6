#pragma once

#include "os/FileSystem.h"

#include <QString>
#include <QStringList>
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

// The position of the last item equal to `name` (exact comparison), or 0.
int lastExactIndex(const QStringList& items, const QString& name);

} // namespace ostrel
