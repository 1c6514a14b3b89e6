#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace ostrel {

// Jobs run one after another, in the order they came, on a thread of the
// queue's own (started with the first job), while the thread that hands them
// over goes on. The queue's owner declares it after everything the jobs use:
// going, the queue runs the jobs still waiting and ends its thread.
template <typename Job> class JobQueue {
public:
    // `run` does a job, on the queue's thread. With `limit`, no more than
    // that many jobs wait or run: handing over one more waits for a place.
    explicit JobQueue(std::function<void(Job&)> run, std::size_t limit = 0)
        : m_run(std::move(run)), m_limit(limit) {}

    ~JobQueue() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    void push(Job job) {
        push(std::move(job), [](const Job&) { return false; });
    }

    // Hands a job over in place of the waiting ones that `overtaken` picks
    // (those the new one makes needless).
    template <typename Overtaken> void push(Job job, Overtaken overtaken) {
        {
            std::unique_lock lock(m_mutex);
            std::erase_if(m_waiting, overtaken);
            if (m_limit > 0)
                m_changed.wait(lock, [this] { return pending() < m_limit; });
            m_waiting.push_back(std::move(job));
            if (!m_thread.joinable())
                m_thread = std::thread([this] { work(); });
        }
        m_changed.notify_all();
    }

    // Waits until every job handed over so far has run.
    void waitUntilIdle() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return pending() == 0; });
    }

private:
    std::size_t pending() const { return m_waiting.size() + (m_running ? 1 : 0); }

    void work() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return !m_waiting.empty() || m_stopping; });
            if (m_waiting.empty())
                return;
            Job job = std::move(m_waiting.front());
            m_waiting.pop_front();
            m_running = true;
            lock.unlock();
            m_run(job);
            lock.lock();
            m_running = false;
            m_changed.notify_all();
        }
    }

    const std::function<void(Job&)> m_run;
    const std::size_t m_limit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_waiting;
    bool m_running = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace ostrel
