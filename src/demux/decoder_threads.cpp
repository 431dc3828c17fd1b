#include "demux/decoder_threads.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/environment.h"

namespace demux {

namespace {

// 0 for anything but a whole number from 1 up.
long ParseCount(const std::string& setting)
{
    if (setting.empty()) return 0;
    char* end = nullptr;
    errno = 0;
    const long count = std::strtol(setting.c_str(), &end, 10);
    if (*end != '\0' || count < 1) return 0;
    return errno == ERANGE ? DECODER_THREADS_MAX : count;
}

}  // namespace

int DecoderThreadCount(const std::string& setting, unsigned cores)
{
    const long asked = ParseCount(setting);
    if (asked > 0) return static_cast<int>(std::min<long>(asked, DECODER_THREADS_MAX));
    return static_cast<int>(std::clamp<unsigned>(cores, 1, DECODER_THREADS_DEFAULT_CAP));
}

int DecoderThreadsFromEnvironment()
{
    return DecoderThreadCount(platform::EnvironmentValue(DECODER_THREADS_VARIABLE),
                              std::thread::hardware_concurrency());
}

}  // namespace demux
