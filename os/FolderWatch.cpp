#include "FolderWatch.h"

#include "FileSystem.h"

#include <QElapsedTimer>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace ostrel::fs {

namespace {

// What a folder's watch asks the system to tell. Writes are told when the
// file is closed, not at every write(), so a large file arriving is one
// change, not thousands.
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                IN_ONLYDIR | IN_EXCL_UNLINK;

// How much one turn of the event loop reads: the rest waits for the next
// turn, so that other events (the user's) come in between.
constexpr qsizetype kReadBytes = 64 * 1024;
constexpr int kMaxReadsPerTurn = 8;
constexpr qint64 kMaxTurnNs = 4'000'000;

std::optional<int> g_testLimit;
int g_watchesInProcess = 0;

} // namespace

void FolderWatch::limitWatchesForTesting(std::optional<int> folders) {
    g_testLimit = folders;
}

FolderWatch::FolderWatch(QObject* parent) : QObject(parent) {}

FolderWatch::~FolderWatch() {
    g_watchesInProcess -= int(m_watches.size());
}

bool FolderWatch::open() {
    if (m_fd.isOpen())
        return true;
    if (g_testLimit && *g_testLimit <= 0)
        return false;
    // EMFILE: the user's limit on watchers (fs.inotify.max_user_instances)
    // or the process's on open files.
    m_fd.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!m_fd.isOpen())
        return false;
    m_notifier = new QSocketNotifier(m_fd.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readChanges(); });
    return true;
}

bool FolderWatch::watch(const QString& folder) {
    const auto known = std::find_if(m_watches.begin(), m_watches.end(),
                                    [&](const Watch& w) { return w.folder == folder; });
    if (known != m_watches.end())
        return true;
    if (g_testLimit && g_watchesInProcess >= *g_testLimit)
        return false;
    if (!open())
        return false;
    // ENOSPC: the user's limit on watches (fs.inotify.max_user_watches).
    const int wd =
        ::inotify_add_watch(m_fd.get(), absoluteNativePath(folder).constData(), kWatchMask);
    if (wd < 0)
        return false;
    m_watches.push_back({wd, folder});
    ++g_watchesInProcess;
    return true;
}

void FolderWatch::unwatch(const QString& folder) {
    const auto it = std::find_if(m_watches.begin(), m_watches.end(),
                                 [&](const Watch& w) { return w.folder == folder; });
    if (it == m_watches.end())
        return;
    const int wd = it->descriptor;
    m_watches.erase(it);
    --g_watchesInProcess;
    // Two paths to one folder (a link) share the system's watch: it goes
    // with the last of them.
    if (std::none_of(m_watches.begin(), m_watches.end(),
                     [wd](const Watch& w) { return w.descriptor == wd; }))
        ::inotify_rm_watch(m_fd.get(), wd);
}

QStringList FolderWatch::watched() const {
    QStringList out;
    for (const Watch& w : m_watches)
        out.append(w.folder);
    return out;
}

void FolderWatch::readChanges() {
    alignas(inotify_event) char buffer[kReadBytes];
    std::vector<FolderChanges> changes;
    bool overflow = false;
    const auto changesOf = [&changes](const QString& folder) -> FolderChanges& {
        for (FolderChanges& c : changes)
            if (c.folder == folder)
                return c;
        changes.push_back({folder, {}, false});
        return changes.back();
    };
    std::vector<int> goneDescriptors;
    QElapsedTimer turn;
    turn.start();
    for (int reads = 0; reads < kMaxReadsPerTurn && turn.nsecsElapsed() < kMaxTurnNs; ++reads) {
        const ssize_t n = ::read(m_fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                overflow = true;
                continue;
            }
            const bool gone = e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED);
            std::optional<EntryChange> entry;
            if (!gone && e->len > 0) {
                // The name is padded with zero bytes to the event's length.
                const char* name = e->name;
                const QByteArrayView bytes(name, qsizetype(::strnlen(name, e->len)));
                EntryChange c;
                c.name = decodeName(bytes);
                c.hidden = bytes.startsWith('.');
                c.kind = e->mask & (IN_CREATE | IN_MOVED_TO)     ? EntryChange::Kind::Added
                         : e->mask & (IN_DELETE | IN_MOVED_FROM) ? EntryChange::Kind::Removed
                                                                 : EntryChange::Kind::Written;
                entry = std::move(c);
            }
            for (const Watch& w : m_watches) {
                if (w.descriptor != e->wd)
                    continue;
                FolderChanges& c = changesOf(w.folder);
                if (entry)
                    c.entries.push_back(*entry);
                if (gone)
                    c.gone = true;
            }
            if (gone)
                goneDescriptors.push_back(e->wd);
        }
    }
    // A folder moved away is still watched by the system under its new
    // name: its watch is given up, as a deleted folder's is.
    for (const int wd : goneDescriptors) {
        const auto before = m_watches.size();
        std::erase_if(m_watches, [wd](const Watch& w) { return w.descriptor == wd; });
        if (m_watches.size() != before) {
            g_watchesInProcess -= int(before - m_watches.size());
            ::inotify_rm_watch(m_fd.get(), wd);
        }
    }
    if (overflow)
        emit overflowed();
    if (!changes.empty())
        emit changed(changes);
}

} // namespace ostrel::fs
