#pragma once

#include "core/JobQueue.h"

#include <QtGlobal>
#include <atomic>
#include <mutex>
#include <vector>

struct XXH3_state_s;

namespace ostrel::fs {

// Writes all of `data`, however many calls it takes; answers false (errno
// set) when a write fails.
bool writeAll(int fd, const char* data, qint64 size);

// Writes a file's content in order, on a thread of its own once there is
// more than a buffer of it, so that making the next bytes and writing the
// last ones overlap. The transfer to the disk is started every few
// megabytes, so that the sync at the end has little left to wait for.
class BackgroundWriter {
public:
    // With `hash`, the bytes are also hashed as they are written.
    explicit BackgroundWriter(int fd, XXH3_state_s* hash = nullptr);
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // Takes a copy of the bytes; answers false once a write has failed.
    bool write(const char* data, qint64 size);
    // Waits for every byte to be written; answers whether all were, with
    // errno set as the failed write left it.
    bool finish();

private:
    using Buffer = std::vector<char>;
    Buffer takeFree();
    // Writes a buffer, on the writer's thread.
    void writeOut(Buffer& b);
    void failed(int error);

    const int m_fd;
    XXH3_state_s* const m_hash;
    Buffer m_filling;
    bool m_handed = false; // a buffer went to the thread
    // Buffers written, for the next ones to fill.
    std::mutex m_freeMutex;
    std::vector<Buffer> m_free;
    std::atomic<bool> m_failed = false;
    int m_error = 0; // set before m_failed
    // Only the writer's thread.
    qint64 m_written = 0;
    qint64 m_flushed = 0;
    JobQueue<Buffer> m_queue;
};

} // namespace ostrel::fs
