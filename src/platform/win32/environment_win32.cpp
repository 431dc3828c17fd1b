#ifdef _WIN32

#include "platform/environment.h"

#include <windows.h>

namespace platform {

// The process's block rather than the C runtime's copy of it, which a statically linked
// runtime takes once when the library loads and never sees SetEnvironmentVariable change.
std::string EnvironmentValue(const char* name)
{
    const DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
    if (needed == 0) return std::string();
    std::string value(needed, '\0');
    const DWORD length = GetEnvironmentVariableA(name, value.data(), needed);
    value.resize(length < needed ? length : 0);
    return value;
}

}  // namespace platform

#endif
