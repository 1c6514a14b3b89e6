#include "DiskFollower.h"

#include "DiskNotice.h"
#include "WindowTexts.h"
#include "os/FileSystem.h"
#include "store/Folders.h"
#include "store/RecordStore.h"
#include "ui/Handler.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>

#include <algorithm>

namespace ostrel {

namespace {

// More steps than this and the record list is filled anew rather than
// edited item by item.
constexpr int kMaxListEdits = 64;

QStringList itemsOf(const QListWidget* list) {
    QStringList items;
    items.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        items.append(list->item(i)->text());
    return items;
}

QStringList itemsOf(const QComboBox* combo) {
    QStringList items;
    items.reserve(combo->count());
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    return items;
}

int exactRow(const QComboBox* combo, const QString& text) {
    return text.isEmpty() ? -1 : combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

} // namespace

DiskFollower::DiskFollower(FollowerHost* window, const QString& dataFolder, QObject* parent)
    : QObject(parent), m_window(window), m_dataFolder(dataFolder) {
    m_readers.setMaxThreadCount(1);
    m_clock.start();
    m_reloadLater.setSingleShot(true);
    connect(&m_reloadLater, &QTimer::timeout, this, [this] {
        if (!canChangeWindow())
            m_reloadLater.start(int(store::RelistPacer::kIntervalMs));
        else
            runHandler([this] { followLoadedRecord(); });
    });
    m_watch = new store::DataFolderWatch(
        dataFolder, [this](const store::DiskChanges& changes) { return apply(changes); }, this);
}

DiskFollower::~DiskFollower() {
    // A reading under way answers to this object: it ends first.
    m_readers.waitForDone();
}

void DiskFollower::recordsListed() {
    ++m_generation;
    watchShownAndLoaded();
}

void DiskFollower::editorMatchesFile() {
    dismissNotice();
    watchShownAndLoaded();
}

void DiskFollower::watchShownAndLoaded() {
    m_watch->followGroups({m_window->groupList()->currentText(), m_window->loadedRecord().group});
}

bool DiskFollower::canChangeWindow() const {
    // The commands keep positions in the lists across their questions; the
    // folder dialog browses by changing the working directory, where the
    // store's relative paths would read another folder.
    return handlersRunning() == 0 && !QApplication::activeModalWidget() &&
           !QApplication::activePopupWidget() && fs::currentDirectory() == m_dataFolder;
}

bool DiskFollower::apply(const store::DiskChanges& changes) {
    if (!canChangeWindow()) {
        ++m_waits;
        return false;
    }
    // What comes while the records are read is shown after them, at the
    // lists' pace.
    if (m_reading)
        return false;
    runHandler([&] { follow(changes); });
    return true;
}

void DiskFollower::follow(const store::DiskChanges& changes) {
    const QString shown = m_window->groupList()->currentText();
    if (changes.groups.mayChangeList())
        followGroups(changes.groups);
    // A shown group that went was replaced, its records listed anew.
    if (m_window->groupList()->currentText() == shown) {
        if (const auto in = changes.inGroups.find(shown);
            in != changes.inGroups.end() && in->second.mayChangeList())
            followRecords(shown, in->second);
    }
    const store::LoadedRecord& loaded = m_window->loadedRecord();
    if (const auto in = changes.inGroups.find(loaded.group);
        in != changes.inGroups.end() && in->second.touches(loaded.name))
        followLoadedRecord();
}

void DiskFollower::followGroups(const store::NamedChanges& changes) {
    QComboBox* combo = m_window->groupList();
    if (!changes.anything) {
        // Most changes in the data folder are none of the list's: the
        // settings file written, a group that came and went.
        const auto same = [combo](const QString& name) {
            return store::isGroup(name) == (exactRow(combo, name) >= 0);
        };
        if (std::all_of(changes.cameOrWent.begin(), changes.cameOrWent.end(), same))
            return;
    }
    if (store::groups() == itemsOf(combo))
        return;
    const QString shown = combo->currentText();
    m_window->ListGroups();
    ++m_relistings;
    const int kept = exactRow(combo, shown);
    if (kept >= 0 || shown.isEmpty()) {
        m_window->SelectGroup(kept);
    } else {
        // The shown group went (deleted, or renamed): the loaded record's
        // group is shown, else the first.
        const int loaded = exactRow(combo, m_window->loadedRecord().group);
        m_window->SelectGroup(loaded >= 0 ? loaded : combo->count() > 0 ? 0 : -1);
        if (combo->currentIndex() >= 0) {
            m_window->ListRecords();
            QListWidget* list = m_window->recordList();
            const QList<QListWidgetItem*> found =
                loaded >= 0 ? list->findItems(m_window->loadedRecord().name,
                                              Qt::MatchExactly | Qt::MatchCaseSensitive)
                            : QList<QListWidgetItem*>();
            m_window->SelectRecord(found.isEmpty() ? -1 : list->row(found.first()));
        } else {
            const QSignalBlocker block(m_window->recordList());
            m_window->recordList()->clear();
        }
    }
    emit relisted();
}

void DiskFollower::followRecords(const QString& group, const store::NamedChanges& changes) {
    if (!changes.anything) {
        // A record written, or a file the patterns do not show: the list
        // stays as it is.
        const QStringList shown = itemsOf(m_window->recordList()); // sorted
        const QString patterns = m_window->supportPatterns();
        const auto same = [&](const QString& name) {
            int listed = 0;
            for (int at = listPosition(shown, name);
                 at + listed < shown.size() && shown[at + listed] == name;)
                ++listed;
            return store::timesListed(group, name, patterns) == listed;
        };
        if (std::all_of(changes.cameOrWent.begin(), changes.cameOrWent.end(), same))
            return;
    }
    readRecords(group);
}

void DiskFollower::readRecords(const QString& group) {
    m_reading = true;
    const int generation = m_generation;
    const QString folder = m_dataFolder + u'/' + group;
    const QString patterns = m_window->supportPatterns();
    // A group of thousands of records takes a while to read: the window
    // goes on meanwhile, and shows the list when it has come.
    m_readers.start([this, generation, group, folder, patterns] {
        const QStringList names = store::recordsIn(folder, patterns);
        QMetaObject::invokeMethod(
            this, [this, generation, group, names] { recordsRead(generation, group, names); },
            Qt::QueuedConnection);
    });
}

void DiskFollower::recordsRead(int generation, const QString& group, const QStringList& names) {
    m_reading = false;
    const bool current =
        generation == m_generation && group == m_window->groupList()->currentText();
    if (current && !canChangeWindow()) {
        // Shown when the user's command is over, read again then.
        ++m_waits;
        m_watch->remind(group);
        return;
    }
    if (current)
        showRecords(names);
    // The next changes are shown an interval after these, not after the
    // reading began.
    m_watch->listsShown();
}

void DiskFollower::showRecords(const QStringList& names) {
    QListWidget* list = m_window->recordList();
    const QStringList shown = itemsOf(list);
    if (shown == names)
        return;
    const QSignalBlocker block(list);
    QScrollBar* scroll = list->verticalScrollBar();
    // The view keeps its place: at the top it stays there, else the item at
    // its top stays at its top, or the place where it stood.
    const bool atTop = scroll->value() == scroll->minimum();
    const QListWidgetItem* top = list->itemAt(QPoint(1, 1));
    const QString topText = top ? top->text() : QString();
    if (const auto edits = listEdits(shown, names, kMaxListEdits)) {
        // Item by item: the selection stays with its item. One that went
        // leaves nothing selected (the list would select its neighbour,
        // which would pass for the record in the editor).
        const QList<QListWidgetItem*> selected = list->selectedItems();
        QListWidgetItem* kept = selected.isEmpty() ? nullptr : selected.first();
        for (const ListEdit& e : *edits) {
            if (e.kind == ListEdit::Kind::Insert) {
                list->insertItems(e.row, e.inserted);
            } else {
                if (kept && list->row(kept) >= e.row && list->row(kept) < e.row + e.removed)
                    kept = nullptr;
                list->model()->removeRows(e.row, e.removed);
            }
        }
        if (!selected.isEmpty())
            m_window->SelectRecord(kept ? list->row(kept) : -1);
    } else {
        const QList<QListWidgetItem*> selected = list->selectedItems();
        const QString selectedText = selected.isEmpty() ? QString() : selected.first()->text();
        // The same name may stand more than once (once for each pattern).
        int occurrence = 0;
        if (!selected.isEmpty())
            for (int i = list->row(selected.first()) - 1; i >= 0 && shown[i] == selectedText; --i)
                ++occurrence;
        list->clear();
        list->addItems(names);
        int row = -1;
        if (!selectedText.isEmpty()) {
            row = names.indexOf(selectedText);
            for (int k = 0; row >= 0 && k < occurrence && row + 1 < names.size() &&
                            names[row + 1] == selectedText;
                 ++k)
                ++row;
        }
        m_window->SelectRecord(row);
    }
    if (atTop) {
        scroll->setValue(scroll->minimum());
    } else if (!topText.isEmpty()) {
        const int row = listPosition(names, topText);
        if (row < list->count())
            list->scrollToItem(list->item(row), QAbstractItemView::PositionAtTop);
    }
    ++m_relistings;
    emit relisted();
}

void DiskFollower::followLoadedRecord() {
    const store::LoadedRecord& record = m_window->loadedRecord();
    // After a deletion the editor holds no record, though the path still
    // names the last one.
    if (record.path.isEmpty() || !m_window->editorHoldsRecord()) {
        dismissNotice();
        return;
    }
    // A record still loading takes its file's state when it is read whole.
    if (!m_window->recordComplete())
        return;
    const QString path = record.path;
    switch (store::diskChange(record)) {
    case store::DiskChange::None:
        // Ostrel's own save, or a change undone.
        dismissNotice();
        return;
    case store::DiskChange::Gone:
        tell(texts::window::goneOnDisk().arg(path));
        return;
    case store::DiskChange::Changed:
        break;
    }
    if (m_window->editorModified()) {
        tell(texts::window::changedOnDisk().arg(path));
        return;
    }
    if (const qint64 wait = m_reloadNotBefore - m_clock.elapsed(); wait > 0) {
        m_reloadLater.start(int(wait));
        return;
    }
    const qint64 began = m_clock.elapsed();
    try {
        dismissNotice();
        if (m_window->reloadRecord()) {
            m_reloadMessage = texts::window::reloaded().arg(path);
            m_window->statusLine()->showMessage(m_reloadMessage);
        }
        const qint64 ended = m_clock.elapsed();
        m_reloadNotBefore = ended + 9 * (ended - began);
    } catch (const UserError& e) {
        // Unreadable now (too large, no longer a file): the editor keeps the
        // text it had, and a save asks before it overwrites.
        tell(texts::window::reloadFailed().arg(path, e.message()));
    }
}

void DiskFollower::tell(const QString& text) {
    if (!m_reloadMessage.isEmpty() && m_window->statusLine()->currentMessage() == m_reloadMessage)
        m_window->statusLine()->clearMessage();
    if (!m_notice) {
        // Above the editor and the lists, across the window.
        m_notice = new DiskNotice(nullptr);
        m_window->placeNotice(m_notice);
    }
    m_notice->tell(text);
}

void DiskFollower::dismissNotice() {
    if (m_notice)
        m_notice->dismiss();
}

} // namespace ostrel
