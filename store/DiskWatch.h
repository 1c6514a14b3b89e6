#pragma once

#include "os/FolderWatch.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <map>
#include <optional>

// Following the data folder as other programs (a sync engine, a file
// manager, another machine's Ostrel) change it: which groups and records
// came, went or were written, told at a pace the lists can follow.
namespace ostrel::store {

// When changes seen on the disk are shown: soon after the first one (after a
// short wait in which the rest of one operation arrives: a file made,
// written and closed, a temporary renamed over a record), and however many
// follow, no sooner than an interval after the last time they were shown, so
// that a burst of thousands of files is shown at most twice a second. Plain
// logic on a clock in milliseconds.
class RelistPacer {
public:
    static constexpr qint64 kSettleMs = 100;
    static constexpr qint64 kIntervalMs = 500;

    // A change was seen at `now`.
    void changed(qint64 now);
    // When the changes seen are to be shown; nothing when there are none.
    std::optional<qint64> due() const;
    // They were shown at `now`.
    void shown(qint64 now);
    // They could not be shown at `now` (the user is in the middle of a
    // command): tried again an interval later.
    void postponed(qint64 now);
    // Showing them ended at `now` (a list read on another thread): the next
    // changes are shown an interval after that.
    void showingEnded(qint64 now);

private:
    std::optional<qint64> m_firstPending;
    std::optional<qint64> m_lastShown;
    qint64 m_notBefore = 0;
};

// The entries of one folder that changed: by name, or "anything" when there
// were too many to name or the system lost count.
struct NamedChanges {
    // More names than this are not worth looking up one by one.
    static constexpr int kMaxNames = 256;

    bool anything = false;
    QSet<QString> cameOrWent; // made, deleted or renamed (either name)
    QSet<QString> written;    // content or attributes changed

    bool empty() const { return !anything && cameOrWent.isEmpty() && written.isEmpty(); }
    bool touches(const QString& name) const {
        return anything || cameOrWent.contains(name) || written.contains(name);
    }
    // Whether a list of the folder may have to change.
    bool mayChangeList() const { return anything || !cameOrWent.isEmpty(); }
    void add(const fs::EntryChange& change);
    void merge(const NamedChanges& other);
};

// What changed in the data folder. Hidden entries are left out: no list
// shows them, and they are the temporaries of saves (Ostrel's own and the
// sync engines').
struct DiskChanges {
    NamedChanges groups;                      // entries of the data folder
    std::map<QString, NamedChanges> inGroups; // entries of group folders, by group
    bool empty() const;
    void merge(const DiskChanges& other);
};

// Watches the data folder and the groups it is told to follow, and hands
// what changed to `apply` at the pace of RelistPacer. `apply` answers false
// when it cannot show the changes now; they are then handed again later,
// with what came meanwhile. Where the system cannot watch, nothing is ever
// handed.
class DataFolderWatch : public QObject {
    Q_OBJECT

public:
    using Apply = std::function<bool(const DiskChanges&)>;

    // `dataFolder` in full: the working directory may change meanwhile.
    DataFolderWatch(const QString& dataFolder, Apply apply, QObject* parent = nullptr);

    // Whether the data folder is watched (not when the system cannot watch,
    // nor once the data folder itself was moved or deleted).
    bool watching() const { return m_watching; }
    // Follows these groups (their folders) besides the data folder, and no
    // others. A group whose folder cannot be watched is not followed.
    void followGroups(const QStringList& groups);
    // The groups whose folders are watched now.
    QStringList followedGroups() const;
    // Hands a group's records over again (as if anything in it had
    // changed): what was read of it could not be shown.
    void remind(const QString& group);
    // The changes handed over were shown only now (read on another thread):
    // the next are handed an interval after this.
    void listsShown();

private:
    void take(const std::vector<fs::FolderChanges>& changes);
    void takeOverflow();
    void stop();
    void schedule();
    void deliver();
    void rewatch();
    qint64 now() const { return m_clock.elapsed(); }
    QString folderOf(const QString& group) const { return m_dataFolder + u'/' + group; }

    QString m_dataFolder;
    Apply m_apply;
    fs::FolderWatch m_watch;
    bool m_watching = false;
    QStringList m_groups;              // the groups to follow
    QHash<QString, QString> m_folders; // watched group folder -> group
    RelistPacer m_pacer;
    DiskChanges m_pending;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

} // namespace ostrel::store
