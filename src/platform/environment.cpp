#ifndef _WIN32

#include "platform/environment.h"

#include <cstdlib>

namespace platform {

std::string EnvironmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace platform

#endif
