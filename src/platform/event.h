// Kernel-style event: manual reset (stays open until Reset, lets every waiter through) or
// auto reset (lets exactly one waiter through, then closes again). Any thread.
#pragma once

#ifndef _WIN32
#include <condition_variable>
#include <mutex>
#endif

namespace platform {

class Event {
public:
    enum class Reset { Manual, Auto };

    Event(Reset mode, bool initiallySet);
#ifdef _WIN32
    ~Event();
#endif
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // Waits without a time limit until the event is set (and, in auto mode, closes it).
    void Wait();

private:
#ifdef _WIN32
    void* m_hEvent;  // HANDLE of a kernel event; null when it could not be created
#else
    const bool m_bAutoReset;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_bSet;  // guarded by m_mutex
#endif
};

}  // namespace platform
