#include "RecordSearch.h"

#include "Folders.h"
#include "RecordStore.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace ostrel::store {

namespace {

// What one thread needs to search record after record: the search with its
// buffers and the memory files are read into.
struct Searcher {
    Searcher(const SearchRequest& request, const std::atomic<bool>* stop)
        : request(request), search(request.what, request.options), stop(stop),
          sizeLimit(recordSizeLimit()) {
        search.setCancelFlag(stop);
    }

    // Answers nothing when the search was stopped meanwhile.
    std::optional<FoundRecord> run(const QString& group, const QString& name) {
        FoundRecord found{group, name, {}, fs::ReadFailure::None};
        const LineReceiver receive = [&found](LineMatch&& line) {
            found.lines.push_back(std::move(line));
        };
        const std::optional<EditedRecord>& edited = request.edited;
        if (edited && edited->group == group && edited->name == name) {
            search.searchText(edited->text, receive);
        } else {
            found.failure = fs::readFileInto(request.dataFolder + u'/' + group + u'/' + name,
                                             sizeLimit, bytes, stop);
            if (found.failure == fs::ReadFailure::None)
                search.searchFile(bytes, receive);
        }
        if (search.cancelled())
            return std::nullopt;
        return found;
    }

    const SearchRequest& request;
    LineSearch search;
    QByteArray bytes;
    const std::atomic<bool>* stop;
    const qint64 sizeLimit; // asked once: the system is asked each time
};

} // namespace

QStringList searchedRecords(const QString& dataFolder, const QString& group,
                            const QString& patterns) {
    QStringList names = recordNames(dataFolder + u'/' + group, patterns);
    sortForList(names);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

FoundRecord searchRecord(const SearchRequest& request, const QString& group, const QString& name) {
    const std::atomic<bool> never{false};
    Searcher searcher(request, &never);
    return *searcher.run(group, name);
}

// --- the running search ----------------------------------------------------------------

struct RecordSearch::State {
    SearchRequest request;
    std::function<void()> ready;
    std::atomic<bool> stop{false};      // the threads stop soon
    std::atomic<bool> cancelled{false}; // nothing more is handed over
    std::atomic<bool> readyCalled{false};
    std::vector<std::thread> threads;

    std::mutex mutex;
    std::condition_variable listedMore;
    // Listing, group by group, by whichever thread runs out of records.
    QStringList groups;
    bool groupsListed = false;
    qsizetype nextGroup = 0;
    bool listing = false;
    // The records listed so far, in order.
    struct Listed {
        qsizetype group;
        QString name;
    };
    std::deque<Listed> listed;
    qsizetype nextRecord = 0; // the next record to search
    std::vector<FoundRecord> outbox;
    Progress progress;
    qint64 linesHandedOver = 0;
    int running = 0;

    void announce() {
        if (!readyCalled.exchange(true))
            ready();
    }

    void work();
    // Lists the next group; answers false when every group is listed.
    bool listNextGroup(std::unique_lock<std::mutex>& lock);
    void handOver(qsizetype index, std::optional<FoundRecord> found);
};

bool RecordSearch::State::listNextGroup(std::unique_lock<std::mutex>& lock) {
    if (!groupsListed) {
        listing = true;
        lock.unlock();
        QStringList names = groupNames(request.dataFolder);
        sortForList(names);
        lock.lock();
        listing = false;
        groups = std::move(names);
        groupsListed = true;
        progress.listed = groups.isEmpty();
        listedMore.notify_all();
        return true;
    }
    if (nextGroup >= groups.size())
        return false;
    const qsizetype group = nextGroup++;
    listing = true;
    lock.unlock();
    const QStringList names = searchedRecords(request.dataFolder, groups[group], request.patterns);
    lock.lock();
    listing = false;
    for (const QString& name : names)
        listed.push_back({group, name});
    progress.records += names.size();
    progress.listed = nextGroup >= groups.size();
    listedMore.notify_all();
    return true;
}

void RecordSearch::State::work() {
    Searcher searcher(request, &stop);
    // A few records at a time, so that the threads seldom meet at the lock.
    constexpr qsizetype kClaim = 4;
    std::unique_lock lock(mutex);
    for (;;) {
        if (stop)
            break;
        const auto listedCount = qsizetype(listed.size());
        if (nextRecord < listedCount) {
            const qsizetype first = nextRecord;
            const qsizetype end = std::min(listedCount, first + kClaim);
            nextRecord = end;
            std::vector<std::pair<qsizetype, QString>> claimed;
            for (qsizetype i = first; i < end; ++i) {
                const Listed& record = listed[size_t(i)];
                claimed.emplace_back(record.group, record.name);
            }
            const QStringList& groupNamesNow = groups;
            lock.unlock();
            for (qsizetype i = 0; i < qsizetype(claimed.size()); ++i) {
                std::optional<FoundRecord> found = searcher.run(
                    groupNamesNow[claimed[size_t(i)].first], claimed[size_t(i)].second);
                lock.lock();
                handOver(first + i, std::move(found));
                lock.unlock();
            }
            lock.lock();
            continue;
        }
        if (listing) {
            listedMore.wait(lock);
            continue;
        }
        if (!listNextGroup(lock))
            break;
    }
    if (--running == 0) {
        progress.finished = !cancelled;
        lock.unlock();
        listedMore.notify_all();
        // Told whether or not results wait: a cancelled search's end too.
        readyCalled = true;
        ready();
    }
}

void RecordSearch::State::handOver(qsizetype index, std::optional<FoundRecord> found) {
    // After a cancel, or once the line limit was reached, nothing more.
    if (cancelled || progress.truncated || !found)
        return;
    ++progress.searched;
    if (found->lines.empty() && found->failure == fs::ReadFailure::None)
        return;
    const qint64 room = request.lineLimit - linesHandedOver;
    if (qint64(found->lines.size()) >= room) {
        found->lines.resize(size_t(std::max<qint64>(room, 0)));
        progress.truncated = true;
        stop = true;
    }
    linesHandedOver += qint64(found->lines.size());
    found->order = index;
    outbox.push_back(std::move(*found));
    announce();
}

RecordSearch::RecordSearch(SearchRequest request, std::function<void()> ready)
    : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    s.request = std::move(request);
    s.ready = std::move(ready);
    int threads = s.request.threads;
    if (threads <= 0)
        threads = std::clamp(int(std::thread::hardware_concurrency()), 1, 4);
    if (!LineSearch(s.request.what, s.request.options).searchable()) {
        // Nothing can be found: the search has ended before it began.
        s.progress.listed = true;
        s.progress.finished = true;
        s.announce();
        return;
    }
    s.running = threads;
    for (int i = 0; i < threads; ++i)
        s.threads.emplace_back([&s] { s.work(); });
}

RecordSearch::~RecordSearch() {
    cancel();
    for (std::thread& t : m_state->threads)
        t.join();
}

void RecordSearch::cancel() {
    State& s = *m_state;
    {
        const std::lock_guard lock(s.mutex);
        s.cancelled = true;
        s.stop = true;
        s.outbox.clear();
    }
    s.listedMore.notify_all();
}

bool RecordSearch::threadsEnded() const {
    const std::lock_guard lock(m_state->mutex);
    return m_state->running == 0;
}

std::vector<FoundRecord> RecordSearch::take(Progress* progress) {
    State& s = *m_state;
    const std::lock_guard lock(s.mutex);
    s.readyCalled = false;
    if (progress)
        *progress = s.progress;
    if (s.cancelled)
        return {};
    return std::exchange(s.outbox, {});
}

} // namespace ostrel::store
