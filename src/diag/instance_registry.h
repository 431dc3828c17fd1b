// The process-wide registry of live instances, ordered by address, smallest first. The
// log dispatch holds it shared for the whole delivery of a message; registering and
// unregistering hold it exclusive, so no instance leaves it while a message is delivered
// to it. Any thread; never register or unregister from inside a log delivery.
#pragma once

namespace diag {

class LogReceiver;

// The receiver is the instance's DemuxerInterface side; a null pointer is ignored.
void RegisterInstance(LogReceiver* instance);
void UnregisterInstance(LogReceiver* instance);

// Hands text to the first registered instance as OnDemuxEvent code 2 (level 0) or 3
// (level 1); dropped when nobody is registered or the level is neither.
void DispatchLog(int level, const wchar_t* text);

}  // namespace diag
