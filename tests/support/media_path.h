// Paths of the generated test media.
#pragma once

#include <string>

namespace test {

inline std::string MediaPath(const std::string& name)
{
    return std::string(QUORVEL_TEST_MEDIA_DIR) + "/" + name;
}

// The media folder's path is ASCII, so widening each byte gives the same path.
inline std::wstring WideMediaPath(const std::string& name)
{
    const std::string path = MediaPath(name);
    return std::wstring(path.begin(), path.end());
}

}  // namespace test
