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
        QString folded;
        for (const Wildcard& w : patterns) {
            if (!w.needsFoldedName()) {
                if (w.matches(e.name))
                    names.append(e.name);
                continue;
            }
            if (folded.isEmpty())
                folded = e.name.toCaseFolded();
            if (w.matchesFolded(folded))
                names.append(e.name);
        }
    }
    return names;
}

void sortForList(QStringList& items) {
    // Each name is folded once; names equal but for case keep a fixed order.
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(size_t(items.size()));
    for (QString& item : items)
        keyed.emplace_back(item.toCaseFolded(), std::move(item));
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        const int c = a.first.compare(b.first);
        return c != 0 ? c < 0 : a.second < b.second;
    });
    for (qsizetype i = 0; i < items.size(); ++i)
        items[i] = std::move(keyed[size_t(i)].second);
}

int lastExactIndex(const QStringList& items, const QString& name) {
    int found = 0;
    for (int i = 0; i < items.size(); ++i)
        if (items[i] == name)
            found = i;
    return found;
}

} // namespace ostrel
