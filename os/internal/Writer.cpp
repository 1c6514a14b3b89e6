// The writer thread of a file's content (see BackgroundWriter).
#include "Writer.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <xxhash.h>

namespace ostrel::fs {

namespace {

constexpr qint64 kBuffer = 2 << 20;
// One buffer is filled while the others wait to be written or are written.
constexpr int kBuffers = 3;

} // namespace

bool writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(qMin<qint64>(size, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

BackgroundWriter::BackgroundWriter(int fd, XXH3_state_s* hash)
    : m_fd(fd), m_hash(hash), m_queue([this](Buffer& b) { writeOut(b); }, kBuffers - 1) {}

BackgroundWriter::~BackgroundWriter() {
    finish();
}

bool BackgroundWriter::write(const char* data, qint64 size) {
    while (size > 0) {
        const bool holding = m_filling.capacity() != 0;
        if (!holding || qint64(m_filling.size()) == kBuffer) {
            if (holding) {
                if (m_failed)
                    return false;
                m_handed = true;
                m_queue.push(std::move(m_filling));
            }
            m_filling = takeFree();
        }
        const qint64 n = std::min<qint64>(size, kBuffer - qint64(m_filling.size()));
        m_filling.insert(m_filling.end(), data, data + n);
        data += n;
        size -= n;
    }
    return !m_failed;
}

bool BackgroundWriter::finish() {
    if (!m_handed) {
        // All of it fitted in one buffer: written here.
        if (!m_filling.empty())
            writeOut(m_filling);
    } else {
        if (!m_filling.empty())
            m_queue.push(std::move(m_filling));
        m_queue.waitUntilIdle();
    }
    m_filling = Buffer();
    if (m_failed)
        errno = m_error;
    return !m_failed;
}

BackgroundWriter::Buffer BackgroundWriter::takeFree() {
    {
        // The queue's limit keeps the buffers to kBuffers: one is free here
        // once that many were made.
        std::lock_guard lock(m_freeMutex);
        if (!m_free.empty()) {
            Buffer b = std::move(m_free.back());
            m_free.pop_back();
            b.clear();
            return b;
        }
    }
    Buffer b;
    b.reserve(size_t(kBuffer));
    return b;
}

void BackgroundWriter::writeOut(Buffer& b) {
    // After a failure the rest is not written: the file is given up.
    if (!m_failed) {
        if (m_hash)
            XXH3_64bits_update(m_hash, b.data(), b.size());
        if (!writeAll(m_fd, b.data(), qint64(b.size()))) {
            failed(errno);
        } else {
            m_written += qint64(b.size());
#ifdef __linux__
            constexpr qint64 kFlushEvery = 8 << 20;
            if (m_written - m_flushed >= kFlushEvery) {
                ::sync_file_range(m_fd, m_flushed, m_written - m_flushed, SYNC_FILE_RANGE_WRITE);
                m_flushed = m_written;
            }
#endif
        }
    }
    std::lock_guard lock(m_freeMutex);
    m_free.push_back(std::move(b));
}

void BackgroundWriter::failed(int error) {
    m_error = error ? error : EIO;
    m_failed = true;
}

} // namespace ostrel::fs
