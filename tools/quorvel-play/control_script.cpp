#include "control_script.h"

#include <algorithm>
#include <cmath>

namespace qplay {
namespace {

int64_t ToMs(double seconds) { return static_cast<int64_t>(std::llround(seconds * 1000.0)); }

}  // namespace

ControlScript::ControlScript(const std::vector<TimedSeek>& seeks,
                             const std::vector<TimedPause>& pauses)
{
    for (const TimedSeek& seek : seeks)
        actions_.push_back({ToMs(seek.at), ScriptAction::Kind::Seek, seek.to});
    for (const TimedPause& pause : pauses) {
        actions_.push_back({ToMs(pause.at), ScriptAction::Kind::Pause, 0});
        actions_.push_back({ToMs(pause.at + pause.length), ScriptAction::Kind::Resume, 0});
    }
    std::stable_sort(
        actions_.begin(), actions_.end(),
        [](const ScriptAction& a, const ScriptAction& b) { return a.at_ms < b.at_ms; });
}

std::vector<ScriptAction> ControlScript::TakeDue(int64_t elapsed_ms)
{
    std::vector<ScriptAction> due;
    while (next_ < actions_.size() && actions_[next_].at_ms <= elapsed_ms)
        due.push_back(actions_[next_++]);
    return due;
}

}  // namespace qplay
