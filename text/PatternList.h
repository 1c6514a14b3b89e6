#pragma once

#include <QString>
#include <QStringList>

namespace ostrel {

// The default displayed-files pattern list.
QString defaultPatternList();

// The patterns of a list, in order: each one is terminated by "/"; text after
// the last "/" is not a pattern and is dropped. Empty patterns ("//") are kept
// (they match nothing).
QStringList splitPatternList(const QString& list);

} // namespace ostrel
