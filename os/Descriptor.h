#pragma once

#include <utility>

namespace ostrel::fs {

// An open file descriptor and its one owner: closed when the owner goes, or
// by close(), which tells whether the system saw a failure then (a write
// that failed only as it reached the disk).
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : m_fd(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // Gives the descriptor up to the caller, who closes it.
    int release() { return std::exchange(m_fd, -1); }
    // Closes the descriptor held (if any) and holds `fd`.
    void reset(int fd = -1);
    bool close();

private:
    int m_fd = -1;
};

} // namespace ostrel::fs
