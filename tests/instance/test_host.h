// A host for end-to-end runs: media paths, the bounded wait and the audio renderer.
#pragma once

#include <string>

#include "support/audio_puller.h"
#include "support/wait_until.h"

namespace test {

inline std::wstring MediaPath(const std::string& name)
{
    const std::string path = std::string(QUORVEL_TEST_MEDIA_DIR) + "/" + name;
    return std::wstring(path.begin(), path.end());
}

}  // namespace test
