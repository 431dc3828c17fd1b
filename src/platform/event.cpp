#ifndef _WIN32

#include "platform/event.h"

namespace platform {

// The nested enum shares its name with Reset(), which hides it here.
Event::Event(enum Reset mode, bool initiallySet)
    : m_bAutoReset(mode == Reset::Auto), m_bSet(initiallySet)
{
}

void Event::Set()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bSet = true;
    }
    if (m_bAutoReset)
        m_cond.notify_one();
    else
        m_cond.notify_all();
}

void Event::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bSet = false;
}

void Event::Wait()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cond.wait(lock, [this] { return m_bSet; });
    if (m_bAutoReset) m_bSet = false;
}

}  // namespace platform

#endif  // _WIN32
