// Reading files: whole, up to a limit, into a buffer kept from file to file,
// piece by piece, or hashed; never blocking on a pipe or a device.
#include "Reading.h"

#include "Names.h"
#include "Stamps.h"
#include "os/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <vector>
#include <xxhash.h>

namespace ostrel::fs {

Descriptor openForReading(const QByteArray& path) {
    return Descriptor(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

bool isRegularOpenFile(int fd, struct stat& st) {
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

qint64 readUpTo(int fd, char* out, qint64 size) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, out + done, size_t(std::min<qint64>(size - done, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

ReadResult readFileUpTo(const QString& path, qint64 limit) {
    ReadResult result;
    const Descriptor fd = openForReading(native(path));
    if (!fd.isOpen())
        return result;
    struct stat st;
    if (!isRegularOpenFile(fd.get(), st))
        return result;
    if (st.st_size > limit) {
        result.status = ReadStatus::TooLarge;
        return result;
    }
    result.stamp = stampFrom(st);
    QByteArray& data = result.bytes;
    data.resize(qsizetype(st.st_size));
    qint64 done = 0;
    for (;;) {
        if (done == data.size()) {
            if (done >= limit) { // the file grew meanwhile beyond the limit
                result.bytes.clear();
                result.status = ReadStatus::TooLarge;
                return result;
            }
            data.resize(qsizetype(qMin<qint64>(data.size() + 65536, limit)));
        }
        const ssize_t n = ::read(fd.get(), data.data() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.bytes.clear();
            return result;
        }
        if (n == 0)
            break;
        done += n;
    }
    data.resize(qsizetype(done));
    result.status = ReadStatus::Read;
    return result;
}

ReadFailure readFileInto(const QString& path, qint64 limit, QByteArray& buffer,
                         const std::atomic<bool>* cancelled) {
    buffer.resize(0);
    // A regular file reads whole even when opened without waiting; the
    // flag is kept (one call fewer for each of many small files).
    const Descriptor fd = openForReading(native(path));
    if (!fd.isOpen()) {
        switch (errno) {
        case ENOENT:
        case ENOTDIR:
            return ReadFailure::NotFound;
        case EACCES:
        case EPERM:
            return ReadFailure::AccessDenied;
        default:
            return ReadFailure::Other;
        }
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return ReadFailure::Other;
    if (!S_ISREG(st.st_mode))
        return ReadFailure::NotRegularFile;
    if (st.st_size > limit)
        return ReadFailure::TooLarge;
    // One byte more than the file's size: a read that fills it tells that
    // the file grew meanwhile.
    constexpr qint64 kPiece = 4 << 20;
    qint64 done = 0;
    const auto wanted = qsizetype(std::min<qint64>(qint64(st.st_size) + 1, limit + 1));
    if (buffer.capacity() < wanted) {
        // Room for this file exactly (a grown array would take up to twice
        // as much), the old bytes not copied.
        buffer = QByteArray();
        buffer.reserve(wanted);
    }
    buffer.resize(wanted);
    for (;;) {
        if (done == buffer.size()) {
            if (done > limit) {
                buffer.resize(0);
                return ReadFailure::TooLarge;
            }
            buffer.resize(qsizetype(std::min<qint64>(done + 65536, limit + 1)));
        }
        if (cancelled && cancelled->load(std::memory_order_relaxed)) {
            buffer.resize(0);
            return ReadFailure::Cancelled;
        }
        const qint64 asked = std::min<qint64>(buffer.size() - done, kPiece);
        const ssize_t n = ::read(fd.get(), buffer.data() + done, size_t(asked));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            buffer.resize(0);
            return ReadFailure::Other;
        }
        if (n == 0)
            break;
        done += n;
        // Having read what the file held when opened, a read that stops
        // short is at its end: no further call is needed to be told so.
        if (done == st.st_size && n < asked)
            break;
    }
    buffer.resize(qsizetype(done));
    return ReadFailure::None;
}

std::unique_ptr<FileReader> FileReader::open(const QString& path, qint64 limit,
                                             ReadStatus* status) {
    *status = ReadStatus::CannotOpen;
    Descriptor fd = openForReading(native(path));
    if (!fd.isOpen())
        return nullptr;
    struct stat st;
    if (!isRegularOpenFile(fd.get(), st))
        return nullptr;
    if (st.st_size > limit) {
        *status = ReadStatus::TooLarge;
        return nullptr;
    }
    *status = ReadStatus::Read;
    return std::unique_ptr<FileReader>(new FileReader(std::move(fd), limit, stampFrom(st)));
}

FileReader::FileReader(Descriptor fd, qint64 limit, const FileStamp& stamp)
    : m_fd(std::move(fd)), m_limit(limit), m_stamp(stamp), m_hash(XXH3_createState()) {
    XXH3_64bits_reset(static_cast<XXH3_state_t*>(m_hash));
}

FileReader::~FileReader() {
    XXH3_freeState(static_cast<XXH3_state_t*>(m_hash));
}

qint64 FileReader::read(char* into, qint64 room) {
    for (;;) {
        const ssize_t n = ::read(m_fd.get(), into, size_t(room));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        m_read += n;
        if (m_read > m_limit) // the file grew meanwhile beyond the limit
            return -1;
        XXH3_64bits_update(static_cast<XXH3_state_t*>(m_hash), into, size_t(n));
        return n;
    }
}

bool FileReader::rewind() {
    if (::lseek(m_fd.get(), 0, SEEK_SET) != 0)
        return false;
    m_read = 0;
    XXH3_64bits_reset(static_cast<XXH3_state_t*>(m_hash));
    return true;
}

quint64 FileReader::hash() const {
    return XXH3_64bits_digest(static_cast<const XXH3_state_t*>(m_hash));
}

std::optional<QByteArray> readFile(const QString& path) {
    ReadResult r = readFileUpTo(path, std::numeric_limits<qint64>::max());
    if (r.status != ReadStatus::Read)
        return std::nullopt;
    return std::move(r.bytes);
}

std::optional<quint64> contentHashOf(const QString& path) {
    const Descriptor fd = openForReading(native(path));
    if (!fd.isOpen())
        return std::nullopt;
    struct stat st;
    XXH3_state_t* hash = XXH3_createState();
    XXH3_64bits_reset(hash);
    bool ok = isRegularOpenFile(fd.get(), st);
    std::vector<char> buf(1 << 20);
    while (ok) {
        const ssize_t n = ::read(fd.get(), buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        XXH3_64bits_update(hash, buf.data(), size_t(n));
    }
    const quint64 digest = XXH3_64bits_digest(hash);
    XXH3_freeState(hash);
    if (!ok)
        return std::nullopt;
    return digest;
}

} // namespace ostrel::fs
