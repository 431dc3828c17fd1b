// The process's environment variables, read when asked, so that a host may set one just
// before the call that reads it.
#pragma once

#include <string>

namespace platform {

// The variable's value; empty when it is not set.
std::string EnvironmentValue(const char* name);

}  // namespace platform
