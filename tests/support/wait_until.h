// Bounded polling for tests that wait on another thread: generous enough for a loaded
// machine, short enough that a broken build fails instead of hanging.
#pragma once

#include <chrono>
#include <thread>

namespace test {

constexpr std::chrono::seconds kGenerousWait{20};

template <typename Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds limit = kGenerousWait)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

template <typename Predicate>
bool WaitUntil(Predicate done, int limitMs)
{
    return WaitUntil(done, std::chrono::milliseconds(limitMs));
}

}  // namespace test
