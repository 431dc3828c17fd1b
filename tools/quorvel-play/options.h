// The command line of quorvel-play: `probe [--json] [--log] FILE...` and
// `play [options] FILE`. Parsing is pure and runs on the main thread before anything else.
#ifndef QUORVEL_PLAY_OPTIONS_H
#define QUORVEL_PLAY_OPTIONS_H

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qplay {

enum class Command { Help, Probe, Play };

// --seek-at T:S — at T seconds of wall time after Open, SetPos(S).
struct TimedSeek {
    double at;  // seconds since Open
    int64_t to;  // seconds into the media
};

// --pause-at T:D — at T seconds of wall time after Open, Pause for D seconds.
struct TimedPause {
    double at;  // seconds since Open
    double length;  // seconds
};

struct Options {
    Command command = Command::Help;
    std::vector<std::string> files;
    bool json = false;
    bool log = false;
    bool loop = false;
    bool window = false;
    std::optional<int64_t> start;  // seconds
    std::optional<double> play_for;  // seconds of wall time
    std::vector<TimedSeek> seeks;
    std::vector<TimedPause> pauses;
    std::string video_out;
    std::string audio_out;
    std::string events_out;
};

// A malformed command line; what() is one line naming the problem.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// args excludes the program name. Throws UsageError.
Options ParseCommandLine(const std::vector<std::string>& args);

const char* UsageText();

}  // namespace qplay

#endif
