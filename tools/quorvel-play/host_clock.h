// The host's monotonic time line: milliseconds since the clock was made. Read on any
// thread; immutable after construction.
#ifndef QUORVEL_PLAY_HOST_CLOCK_H
#define QUORVEL_PLAY_HOST_CLOCK_H

#include <chrono>
#include <cstdint>

namespace qplay {

class HostClock {
public:
    int64_t ElapsedMs() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

private:
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace qplay

#endif
