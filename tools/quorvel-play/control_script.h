// The scripted controls of --seek-at and --pause-at, as actions ordered by wall time.
// Main thread only.
#ifndef QUORVEL_PLAY_CONTROL_SCRIPT_H
#define QUORVEL_PLAY_CONTROL_SCRIPT_H

#include <cstdint>
#include <vector>

#include "options.h"

namespace qplay {

struct ScriptAction {
    enum class Kind { Seek, Pause, Resume };
    int64_t at_ms;  // since Open
    Kind kind;
    int64_t seek_to;  // seconds, for Seek
};

class ControlScript {
public:
    ControlScript(const std::vector<TimedSeek>& seeks, const std::vector<TimedPause>& pauses);

    // The actions due at elapsed_ms that were not returned before, in time order.
    std::vector<ScriptAction> TakeDue(int64_t elapsed_ms);

private:
    std::vector<ScriptAction> actions_;  // sorted by at_ms
    size_t next_ = 0;
};

}  // namespace qplay

#endif
