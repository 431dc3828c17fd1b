#ifndef _WIN32

#include "platform/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

// Only whole pages inside the range are asked for; a kernel older than 5.14 refuses the
// advice, which changes nothing.
void PrefaultForWriting(void* pData, size_t nBytes)
{
#ifdef MADV_POPULATE_WRITE
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<uintptr_t>(pData);
    const uintptr_t first = (begin + page - 1) & ~(page - 1);
    const uintptr_t end = (begin + nBytes) & ~(page - 1);
    if (end > first) {
        static_cast<void>(
            madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE));
    }
#else
    static_cast<void>(pData);
    static_cast<void>(nBytes);
#endif
}

}  // namespace platform

#endif
