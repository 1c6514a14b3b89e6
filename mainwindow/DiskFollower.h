#pragma once

#include "FollowerHost.h"
#include "store/DiskWatch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

namespace ostrel {

class DiskNotice;

// The main window following the disk: what another program (a sync engine,
// a file manager, another machine's Ostrel) changes in the data folder shows
// in the window without a command. The groups and the records of the shown
// group that come, go or are renamed show in the lists (with their selection
// and scroll position kept); the loaded record changed elsewhere is read
// again when it has no unsaved edits, else a notice says so (the save asks
// before it overwrites, as always); deleted elsewhere, a notice says so and
// the text stays.
//
// Nothing changes while the user is in the middle of a command (a handler
// runs, a message box or a dialog waits, a menu is open): it waits until the
// command is over. Ostrel's own saves, creations and deletions change nothing
// here, as the window has already shown them. Where the system cannot watch,
// the window shows the disk as read at its own commands, as without this.
class DiskFollower : public QObject {
    Q_OBJECT

public:
    // Follows the data folder (in full) of a window whose start-up is
    // under way.
    DiskFollower(FollowerHost* window, const QString& dataFolder, QObject* parent);
    ~DiskFollower() override;

    // Whether the data folder is watched.
    bool watching() const { return m_watch->watching(); }
    // The groups whose folders are watched now.
    QStringList followedGroups() const { return m_watch->followedGroups(); }
    // How many times a list was changed to follow the disk.
    int relistings() const { return m_relistings; }
    // How many times changes waited for the user's command to end.
    int waits() const { return m_waits; }

    // The window listed the records of the shown group itself: a reading
    // begun before is out of date.
    void recordsListed();
    // The editor holds what the loaded record's file holds: the record was
    // loaded, or the editor's text saved.
    void editorMatchesFile();

signals:
    // A list was changed to follow the disk.
    void relisted();

private:
    bool apply(const store::DiskChanges& changes);
    bool canChangeWindow() const;
    void follow(const store::DiskChanges& changes);
    void followGroups(const store::NamedChanges& changes);
    void followRecords(const QString& group, const store::NamedChanges& changes);
    void readRecords(const QString& group);
    void recordsRead(int generation, const QString& group, const QStringList& names);
    void showRecords(const QStringList& names);
    void followLoadedRecord();
    void tell(const QString& text);
    void dismissNotice();
    void watchShownAndLoaded();

    FollowerHost* m_window;
    QString m_dataFolder;
    store::DataFolderWatch* m_watch;
    DiskNotice* m_notice = nullptr;
    // The records of a large group are read on a thread of their own.
    QThreadPool m_readers;
    int m_generation = 0;
    bool m_reading = false;
    int m_relistings = 0;
    int m_waits = 0;
    // A record that keeps changing (a log another program writes) is read
    // again no more than a tenth of the time: a large one takes a while.
    QElapsedTimer m_clock;
    qint64 m_reloadNotBefore = 0;
    QTimer m_reloadLater;
    // The status bar's text of the last reload, to take back when a notice
    // says otherwise.
    QString m_reloadMessage;
};

} // namespace ostrel
