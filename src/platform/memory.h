// Memory that is filled as soon as it is had.
#pragma once

#include <cstddef>

namespace platform {

// Makes the pages of [pData, pData + nBytes) resident and writable in one call, so that
// filling a new buffer does not fault once per page; the contents do not change. Best
// effort: where the system cannot, the pages fault in as they are first written.
void PrefaultForWriting(void* pData, size_t nBytes);

}  // namespace platform
