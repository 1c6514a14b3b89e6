#include "Descriptor.h"

#include <unistd.h>

namespace ostrel::fs {

void Descriptor::reset(int fd) {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

bool Descriptor::close() {
    return m_fd < 0 || ::close(release()) == 0;
}

} // namespace ostrel::fs
