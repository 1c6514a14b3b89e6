#include "Folders.h"

#include "os/FileSystem.h"
#include "text/PatternList.h"
#include "text/Wildcard.h"

#include <algorithm>
#include <string>

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

namespace {

// The name as a short (8.3) name carries its extension: cut to its first
// three letters. On the home platform a pattern also matches a file's short
// name, so "*.htm" lists "index.html"; nothing when the name has no longer
// extension.
QString shortExtensionForm(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || name.size() - dot - 1 <= 3)
        return {};
    return name.left(dot + 4);
}

} // namespace

QStringList recordNames(const QString& groupFolder, const QString& patternList) {
    return recordNames(fs::listDirectory(groupFolder), patternList);
}

QStringList recordNames(const std::vector<fs::DirEntry>& listing, const QString& patternList) {
    std::vector<Wildcard> patterns;
    for (const QString& p : splitPatternList(patternList))
        if (!p.isEmpty()) // an empty pattern names the folder itself: no file
            patterns.emplace_back(p);
    QStringList names;
    if (patterns.empty())
        return names;
    for (const fs::DirEntry& e : listing) {
        if (e.isDir || e.hidden || e.system)
            continue;
        const QString shortForm = shortExtensionForm(e.name);
        QString folded, foldedShort;
        for (const Wildcard& w : patterns) {
            bool match;
            if (!w.needsFoldedName()) {
                match = w.matches(e.name) || (!shortForm.isEmpty() && w.matches(shortForm));
            } else {
                if (folded.isEmpty()) {
                    folded = e.name.toCaseFolded();
                    foldedShort = shortForm.toCaseFolded();
                }
                match = w.matchesFolded(folded) ||
                        (!foldedShort.isEmpty() && w.matchesFolded(foldedShort));
            }
            if (match) // once for each pattern it matches
                names.append(e.name);
        }
    }
    return names;
}

namespace {

// Names of ASCII letters only, as most are, folded and sorted as bytes: the
// same order as the folded names' and cheaper by far for thousands of them.
bool sortAscii(QStringList& items) {
    std::vector<std::pair<std::string, qsizetype>> keyed; // folded name, position
    keyed.reserve(size_t(items.size()));
    for (qsizetype i = 0; i < items.size(); ++i) {
        std::string key;
        key.reserve(size_t(items[i].size()));
        for (QChar c : std::as_const(items[i])) {
            const char16_t u = c.unicode();
            if (u >= 0x80)
                return false;
            key += char(u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u);
        }
        keyed.emplace_back(std::move(key), i);
    }
    std::sort(keyed.begin(), keyed.end(), [&items](const auto& a, const auto& b) {
        const int c = a.first.compare(b.first);
        return c != 0 ? c < 0 : items[a.second] < items[b.second];
    });
    QStringList sorted;
    sorted.reserve(items.size());
    for (const auto& k : keyed)
        sorted.append(std::move(items[k.second]));
    items = std::move(sorted);
    return true;
}

} // namespace

void sortForList(QStringList& items) {
    if (sortAscii(items))
        return;
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

int compareForList(const QString& a, const QString& b) {
    if (a == b)
        return 0;
    const int folded = a.toCaseFolded().compare(b.toCaseFolded());
    return folded != 0 ? folded : a.compare(b);
}

int listPosition(const QStringList& items, const QString& name) {
    const auto at = std::lower_bound(
        items.begin(), items.end(), name,
        [](const QString& item, const QString& n) { return compareForList(item, n) < 0; });
    return int(at - items.begin());
}

std::optional<std::vector<ListEdit>> listEdits(const QStringList& from, const QStringList& to,
                                               int maxEdits) {
    std::vector<ListEdit> edits;
    qsizetype i = 0, j = 0;
    int row = 0; // the row of from[i] in the list being edited
    while (i < from.size() || j < to.size()) {
        const int c = i == from.size() ? 1 : j == to.size() ? -1 : compareForList(from[i], to[j]);
        if (c == 0) {
            ++i, ++j, ++row;
            continue;
        }
        const ListEdit::Kind kind = c < 0 ? ListEdit::Kind::Remove : ListEdit::Kind::Insert;
        // A run goes on where the last step left off.
        ListEdit* last = edits.empty() ? nullptr : &edits.back();
        const bool joins =
            last && last->kind == kind &&
            (kind == ListEdit::Kind::Remove ? last->row == row
                                            : last->row + last->inserted.size() == row);
        if (!joins) {
            if (int(edits.size()) == maxEdits)
                return std::nullopt;
            edits.push_back({kind, row, {}, 0});
            last = &edits.back();
        }
        if (kind == ListEdit::Kind::Remove) {
            ++last->removed;
            ++i;
        } else {
            last->inserted.append(to[j]);
            ++j, ++row;
        }
    }
    return edits;
}

int lastExactIndex(const QStringList& items, const QString& name) {
    int found = 0;
    for (int i = 0; i < items.size(); ++i)
        if (items[i] == name)
            found = i;
    return found;
}

} // namespace ostrel
