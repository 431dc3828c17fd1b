#ifdef _WIN32

#include "platform/lock.h"

#include <new>

#include <windows.h>

namespace platform {

static_assert(sizeof(CRITICAL_SECTION) == RecursiveLock::LOCK_SECTION_BYTES,
              "RecursiveLock's storage must match CRITICAL_SECTION");
static_assert(alignof(CRITICAL_SECTION) <= alignof(void*),
              "RecursiveLock's storage must be aligned for CRITICAL_SECTION");

namespace {

CRITICAL_SECTION* Section(unsigned char* storage)
{
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}

}  // namespace

RecursiveLock::RecursiveLock() { InitializeCriticalSection(new (m_section) CRITICAL_SECTION); }

RecursiveLock::~RecursiveLock() { DeleteCriticalSection(Section(m_section)); }

void RecursiveLock::Lock() { EnterCriticalSection(Section(m_section)); }

void RecursiveLock::Unlock() { LeaveCriticalSection(Section(m_section)); }

}  // namespace platform

#endif  // _WIN32
