#ifdef _WIN32

#include "platform/memory.h"

namespace platform {

// Windows has no call that commits zero pages ahead of their first write; they fault in
// as they are written.
void PrefaultForWriting(void* /*pData*/, size_t /*nBytes*/) {}

}  // namespace platform

#endif
