#include "Memory.h"

#include "FileSystem.h"

#include <cstdlib> // defines __GLIBC__ with the GNU C library
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace ostrel {

#if defined(__GLIBC__)
namespace {
int keeping = 0;
} // namespace
#endif

KeepFreedMemory::KeepFreedMemory() {
#if defined(__GLIBC__)
    if (keeping++ == 0) {
        // Blocks up to 64 MB come from the heap, and its top is given back
        // only beyond 256 MB.
        mallopt(M_MMAP_THRESHOLD, 64 << 20);
        mallopt(M_TRIM_THRESHOLD, 256 << 20);
    }
#endif
}

KeepFreedMemory::~KeepFreedMemory() {
#if defined(__GLIBC__)
    if (--keeping == 0) {
        // The library's starting values.
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);
        mallopt(M_TRIM_THRESHOLD, 128 * 1024);
        malloc_trim(0);
    }
#endif
}

qint64 fs::physicalMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : 0;
}

} // namespace ostrel
