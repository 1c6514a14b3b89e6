#pragma once

#include "Descriptor.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class QSocketNotifier;

namespace ostrel::fs {

// What happened to an entry of a watched folder.
struct EntryChange {
    enum class Kind {
        Added,   // made, or moved in
        Removed, // deleted, or moved out
        Written, // its content or its attributes (times, permissions) changed
    };
    Kind kind = Kind::Written;
    QString name;        // as a listing shows it (see decodeName)
    bool hidden = false; // the name begins with "."
};

// The changes of one watched folder, in the order they happened.
struct FolderChanges {
    QString folder; // as it was given to watch()
    std::vector<EntryChange> entries;
    // The folder itself was deleted, moved or unmounted; it is no longer
    // watched.
    bool gone = false;
};

// Changes to the entries of folders, as the system tells them (inotify):
// nothing is polled, and a watch costs nothing while nothing happens. Each
// folder is watched alone, not the folders inside it. What the system has to
// tell is read when the event loop of the thread the watch lives in finds it,
// a bounded amount at a time, so that a burst of changes never holds that
// thread for long.
//
// Where the system cannot watch (its limits on watches or watchers reached)
// watch() answers false and nothing is reported. A network file system may
// report only the changes made on this machine.
class FolderWatch : public QObject {
    Q_OBJECT

public:
    explicit FolderWatch(QObject* parent = nullptr);
    ~FolderWatch() override;

    // Starts watching a folder (links followed); answers whether the system
    // watches it. Watching one already watched answers true.
    bool watch(const QString& folder);
    void unwatch(const QString& folder);
    QStringList watched() const;

    // For tests: every FolderWatch of the process together may watch at most
    // this many folders, as when the system's limit has been reached (0: the
    // system gives no watcher at all); nothing: the system's own limits.
    static void limitWatchesForTesting(std::optional<int> folders);

signals:
    // Changes were read, folder by folder.
    void changed(const std::vector<ostrel::fs::FolderChanges>& changes);
    // The system dropped changes it could not hold (a queue overflowed):
    // anything in any watched folder may have changed.
    void overflowed();

private:
    void readChanges();
    bool open();

    Descriptor m_fd;
    QSocketNotifier* m_notifier = nullptr;
    struct Watch {
        int descriptor;
        QString folder;
    };
    std::vector<Watch> m_watches;
};

} // namespace ostrel::fs
