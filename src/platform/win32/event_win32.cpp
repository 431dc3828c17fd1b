#ifdef _WIN32

#include "platform/event.h"

#include <windows.h>

namespace platform {

// The nested enum shares its name with Reset(), which hides it here.
Event::Event(enum Reset mode, bool initiallySet)
    : m_hEvent(CreateEventW(nullptr, mode == Reset::Manual ? TRUE : FALSE,
                            initiallySet ? TRUE : FALSE, nullptr))
{
}

Event::~Event()
{
    if (m_hEvent != nullptr) CloseHandle(m_hEvent);
}

void Event::Set() { SetEvent(m_hEvent); }

void Event::Reset() { ResetEvent(m_hEvent); }

void Event::Wait() { WaitForSingleObject(m_hEvent, INFINITE); }

}  // namespace platform

#endif  // _WIN32
