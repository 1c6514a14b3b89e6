#include "Folders.h"

#include "Patterns.h"
#include "platform/FileSystem.h"
#include "platform/Wildcard.h"

#include <algorithm>

namespace ostrel {

QString recordPath(const QString& group, const QString& file) {
    return QStringLiteral("./") + group + u'/' + file;
}

QString groupPath(const QString& group) {
    return QStringLiteral("./") + group;
}

QStringList groupNames(const QString& dataFolder) {
    QStringList names;
    for (const fs::DirEntry& e : fs::listDirectory(dataFolder))
        if (e.isDir && !e.hidden && !e.system)
            names.append(e.name);
    return names;
}

QStringList recordNames(const QString& groupFolder, const QString& patternList) {
    std::vector<Wildcard> patterns;
    for (const QString& p : splitPatternList(patternList))
        if (!p.isEmpty()) // an empty pattern names the folder itself: no file
            patterns.emplace_back(p);
    QStringList names;
    if (patterns.empty())
        return names;
    for (const fs::DirEntry& e : fs::listDirectory(groupFolder)) {
        if (e.isDir || e.hidden || e.system)
            continue;
        const QString folded = e.name.toCaseFolded();
        for (const Wildcard& w : patterns)
            if (w.matchesFolded(folded))
                names.append(e.name);
    }
    return names;
}

void sortForList(QStringList& items) {
    std::stable_sort(items.begin(), items.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    });
}

int lastExactIndex(const QStringList& items, const QString& name) {
    int found = 0;
    for (int i = 0; i < items.size(); ++i)
        if (items[i] == name)
            found = i;
    return found;
}

} // namespace ostrel
