#include "diag/instance_registry.h"

#include <functional>
#include <set>

#include "demux/demuxer_interface.h"
#include "diag/log.h"
#include "diag/read_write_lock.h"

namespace diag {
namespace {

// std::less orders unrelated pointers totally, by address.
using InstanceSet = std::set<DemuxerInterface*, std::less<DemuxerInterface*>>;

// Function-local statics: built on first use, so logging from any static initialiser
// finds them ready.
ReadWriteLock& RegistryLock()
{
    static ReadWriteLock g_registryLock;
    return g_registryLock;
}

InstanceSet& Registry()
{
    static InstanceSet g_instanceRegistry;
    return g_instanceRegistry;
}

// Holds the registry lock in one mode for a scope.
class RegistryHold {
public:
    enum class Mode { Shared, Exclusive };

    explicit RegistryHold(Mode mode)
    {
        if (mode == Mode::Shared)
            RegistryLock().ReadLock();
        else
            RegistryLock().WriteLock();
    }
    ~RegistryHold() { RegistryLock().Unlock(); }
    RegistryHold(const RegistryHold&) = delete;
    RegistryHold& operator=(const RegistryHold&) = delete;
};

}  // namespace

void RegisterInstance(DemuxerInterface* instance)
{
    if (instance == nullptr)
        return;
    RegistryHold hold(RegistryHold::Mode::Exclusive);
    Registry().insert(instance);
}

void UnregisterInstance(DemuxerInterface* instance)
{
    RegistryHold hold(RegistryHold::Mode::Exclusive);
    Registry().erase(instance);
}

void DispatchLog(int level, const wchar_t* text)
{
    RegistryHold hold(RegistryHold::Mode::Shared);
    const InstanceSet& registry = Registry();
    if (registry.empty())
        return;
    DemuxerInterface* receiver = *registry.begin();
    const auto nParam = reinterpret_cast<intptr_t>(text);
    if (level == LOG_ERROR)
        receiver->OnDemuxEvent(DEMUX_EVENT_LOG_ERROR, nParam, 0.0);
    else if (level == LOG_INFO)
        receiver->OnDemuxEvent(DEMUX_EVENT_LOG_INFO, nParam, 0.0);
}

}  // namespace diag
