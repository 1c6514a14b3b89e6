#include "DiskWatch.h"

#include <algorithm>

namespace ostrel::store {

void RelistPacer::changed(qint64 now) {
    if (!m_firstPending)
        m_firstPending = now;
}

std::optional<qint64> RelistPacer::due() const {
    if (!m_firstPending)
        return std::nullopt;
    qint64 at = std::max(*m_firstPending + kSettleMs, m_notBefore);
    if (m_lastShown)
        at = std::max(at, *m_lastShown + kIntervalMs);
    return at;
}

void RelistPacer::shown(qint64 now) {
    m_firstPending.reset();
    m_lastShown = now;
}

void RelistPacer::postponed(qint64 now) {
    m_notBefore = now + kIntervalMs;
}

void RelistPacer::showingEnded(qint64 now) {
    m_lastShown = std::max(m_lastShown.value_or(now), now);
}

void NamedChanges::add(const fs::EntryChange& change) {
    if (anything || change.hidden)
        return;
    QSet<QString>& into = change.kind == fs::EntryChange::Kind::Written ? written : cameOrWent;
    into.insert(change.name);
    if (cameOrWent.size() + written.size() > kMaxNames) {
        anything = true;
        cameOrWent.clear();
        written.clear();
    }
}

void NamedChanges::merge(const NamedChanges& other) {
    if (anything)
        return;
    if (other.anything ||
        cameOrWent.size() + written.size() + other.cameOrWent.size() + other.written.size() >
            kMaxNames) {
        anything = true;
        cameOrWent.clear();
        written.clear();
        return;
    }
    cameOrWent.unite(other.cameOrWent);
    written.unite(other.written);
}

bool DiskChanges::empty() const {
    return groups.empty() && std::all_of(inGroups.begin(), inGroups.end(),
                                         [](const auto& g) { return g.second.empty(); });
}

void DiskChanges::merge(const DiskChanges& other) {
    groups.merge(other.groups);
    for (const auto& [group, changes] : other.inGroups)
        inGroups[group].merge(changes);
}

DataFolderWatch::DataFolderWatch(const QString& dataFolder, Apply apply, QObject* parent)
    : QObject(parent), m_dataFolder(dataFolder), m_apply(std::move(apply)) {
    m_clock.start();
    m_timer.setSingleShot(true);
    // A coarse timer may fire a little early; the pacer's times are kept to
    // the millisecond (an early timeout is only set again).
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { deliver(); });
    connect(&m_watch, &fs::FolderWatch::changed, this,
            [this](const std::vector<fs::FolderChanges>& changes) { take(changes); });
    connect(&m_watch, &fs::FolderWatch::overflowed, this, [this] { takeOverflow(); });
    m_watching = m_watch.watch(m_dataFolder);
}

void DataFolderWatch::followGroups(const QStringList& groups) {
    m_groups = groups;
    m_groups.removeAll(QString());
    m_groups.removeDuplicates();
    for (auto it = m_folders.begin(); it != m_folders.end();) {
        if (m_groups.contains(it.value())) {
            ++it;
            continue;
        }
        m_watch.unwatch(it.key());
        it = m_folders.erase(it);
    }
    rewatch();
}

QStringList DataFolderWatch::followedGroups() const {
    QStringList out = m_folders.values();
    out.sort();
    return out;
}

void DataFolderWatch::remind(const QString& group) {
    if (!m_watching)
        return;
    m_pending.inGroups[group].anything = true;
    schedule();
}

void DataFolderWatch::listsShown() {
    m_pacer.showingEnded(now());
    if (m_pacer.due())
        m_timer.start(int(std::max<qint64>(0, *m_pacer.due() - now())));
}

void DataFolderWatch::rewatch() {
    if (!m_watching)
        return;
    for (const QString& group : std::as_const(m_groups)) {
        const QString folder = folderOf(group);
        if (!m_folders.contains(folder) && m_watch.watch(folder))
            m_folders.insert(folder, group);
    }
}

void DataFolderWatch::take(const std::vector<fs::FolderChanges>& changes) {
    bool any = false;
    for (const fs::FolderChanges& c : changes) {
        if (c.folder == m_dataFolder && c.gone) {
            // The data folder itself was moved or deleted: its path leads
            // nowhere now (or elsewhere), and nothing more is followed.
            stop();
            return;
        }
        NamedChanges* into = nullptr;
        if (c.folder == m_dataFolder) {
            into = &m_pending.groups;
        } else if (const auto group = m_folders.constFind(c.folder); group != m_folders.cend()) {
            into = &m_pending.inGroups[group.value()];
            if (c.gone) {
                // Deleted or renamed: watched again once it is back (at the
                // next delivery, before the lists are read).
                into->anything = true;
                m_folders.remove(c.folder);
                any = true;
            }
        }
        if (!into)
            continue;
        for (const fs::EntryChange& e : c.entries) {
            if (e.hidden)
                continue;
            into->add(e);
            any = true;
        }
    }
    if (any)
        schedule();
}

void DataFolderWatch::stop() {
    m_watching = false;
    for (const QString& folder : m_watch.watched())
        m_watch.unwatch(folder);
    m_folders.clear();
    m_groups.clear();
    m_pending = {};
    m_timer.stop();
}

void DataFolderWatch::takeOverflow() {
    if (!m_watching)
        return;
    m_pending.groups.anything = true;
    for (const QString& group : std::as_const(m_groups))
        m_pending.inGroups[group].anything = true;
    schedule();
}

void DataFolderWatch::schedule() {
    m_pacer.changed(now());
    if (!m_timer.isActive())
        m_timer.start(int(std::max<qint64>(0, *m_pacer.due() - now())));
}

void DataFolderWatch::deliver() {
    const std::optional<qint64> due = m_pacer.due();
    if (!due)
        return;
    if (*due > now()) {
        m_timer.start(int(*due - now()));
        return;
    }
    // A group folder made anew (after a delete or a rename) is watched
    // before the lists are read, so that nothing falls between.
    rewatch();
    DiskChanges changes = std::exchange(m_pending, {});
    if (changes.empty() || m_apply(changes)) {
        m_pacer.shown(now());
        // Changes seen while they were shown wait for the next time.
        if (!m_pending.empty())
            m_pacer.changed(now());
    } else {
        // What came meanwhile joins what is still to be shown.
        changes.merge(m_pending);
        m_pending = std::move(changes);
        m_pacer.postponed(now());
    }
    if (m_pacer.due() && !m_timer.isActive())
        m_timer.start(int(std::max<qint64>(0, *m_pacer.due() - now())));
}

} // namespace ostrel::store
