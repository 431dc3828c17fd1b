#include "diag/instance_registry.h"

#include <functional>
#include <set>

#include "diag/log.h"
#include "diag/log_receiver.h"
#include "diag/read_write_lock.h"
#include "platform/thread_annotations.h"

namespace diag {
namespace {

// std::less orders unrelated pointers totally, by address.
using InstanceSet = std::set<LogReceiver*, std::less<LogReceiver*>>;

// The set and the lock that guards it, built on first use, so logging from any static
// initialiser finds them ready, and never destroyed: a host's static destructors and the
// threads of an instance it leaked may still register, unregister or log while the
// process exits, after every static of this library would have been destroyed.
struct Registry {
    ReadWriteLock g_registryLock;
    InstanceSet g_instanceRegistry GUARDED_BY(g_registryLock);
};

Registry& TheRegistry()
{
    static Registry* const registry = new Registry;
    return *registry;
}

// Holds the registry lock shared, or exclusive, for a scope.
class SCOPED_CAPABILITY SharedHold {
public:
    explicit SharedHold(ReadWriteLock& lock) ACQUIRE_SHARED(lock) : m_lock(lock)
    {
        m_lock.ReadLock();
    }
    ~SharedHold() RELEASE() { m_lock.Unlock(); }
    SharedHold(const SharedHold&) = delete;
    SharedHold& operator=(const SharedHold&) = delete;

private:
    ReadWriteLock& m_lock;
};

class SCOPED_CAPABILITY ExclusiveHold {
public:
    explicit ExclusiveHold(ReadWriteLock& lock) ACQUIRE(lock) : m_lock(lock) { m_lock.WriteLock(); }
    ~ExclusiveHold() RELEASE() { m_lock.Unlock(); }
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;

private:
    ReadWriteLock& m_lock;
};

}  // namespace

void RegisterInstance(LogReceiver* instance)
{
    if (instance == nullptr) return;
    Registry& registry = TheRegistry();
    ExclusiveHold hold(registry.g_registryLock);
    registry.g_instanceRegistry.insert(instance);
}

void UnregisterInstance(LogReceiver* instance)
{
    Registry& registry = TheRegistry();
    ExclusiveHold hold(registry.g_registryLock);
    registry.g_instanceRegistry.erase(instance);
}

void DispatchLog(int level, const wchar_t* text)
{
    Registry& registry = TheRegistry();
    SharedHold hold(registry.g_registryLock);
    if (registry.g_instanceRegistry.empty()) return;
    LogReceiver* receiver = *registry.g_instanceRegistry.begin();
    const auto nParam = reinterpret_cast<intptr_t>(text);
    if (level == LOG_ERROR)
        receiver->OnDemuxEvent(DEMUX_EVENT_LOG_ERROR, nParam, 0.0);
    else if (level == LOG_INFO)
        receiver->OnDemuxEvent(DEMUX_EVENT_LOG_INFO, nParam, 0.0);
}

}  // namespace diag
