// Writes the --events file: one JSON object per line, each starting with "t", the host's
// monotonic time in ms. Any thread may call Write (the engine's render-clock thread for
// pictures, the audio thread for chunks, any thread for log texts, the main thread for
// control and position lines); mutex_ guards file_ so lines never interleave.
#ifndef QUORVEL_PLAY_EVENT_LOG_H
#define QUORVEL_PLAY_EVENT_LOG_H

#include <mutex>
#include <string>

#include "file_handle.h"
#include "host_clock.h"

namespace qplay {

class EventLog {
public:
    // Throws std::runtime_error when path cannot be written.
    EventLog(const std::string& path, const HostClock& clock);

    // fields: the object's members after "t", e.g. "\"event\":\"pause\"".
    void Write(const std::string& fields);

private:
    const HostClock& clock_;
    std::mutex mutex_;
    FileHandle file_;  // guarded by mutex_
};

}  // namespace qplay

#endif
