#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

namespace qplay {
namespace {

double ParseSeconds(const std::string& option, const std::string& text)
{
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) || value < 0)
        throw UsageError(option + ": expected seconds (a number >= 0), got '" + text + "'");
    return value;
}

int64_t ParseWholeSeconds(const std::string& option, const std::string& text)
{
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 0)
        throw UsageError(option + ": expected whole seconds (an integer >= 0), got '" + text + "'");
    return value;
}

// Splits "T:X" at the colon; both halves must be present.
std::pair<std::string, std::string> SplitPair(const std::string& option, const std::string& text)
{
    const auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        throw UsageError(option + ": expected T:VALUE, got '" + text + "'");
    return {text.substr(0, colon), text.substr(colon + 1)};
}

TimedSeek ParseSeekAt(const std::string& text)
{
    const auto [at, to] = SplitPair("--seek-at", text);
    return {ParseSeconds("--seek-at", at), ParseWholeSeconds("--seek-at", to)};
}

TimedPause ParsePauseAt(const std::string& text)
{
    const auto [at, length] = SplitPair("--pause-at", text);
    const TimedPause pause{ParseSeconds("--pause-at", at), ParseSeconds("--pause-at", length)};
    if (pause.length <= 0) throw UsageError("--pause-at: the pause length must be above 0");
    return pause;
}

double ParsePlayFor(const std::string& text)
{
    const double seconds = ParseSeconds("--for", text);
    if (seconds <= 0) throw UsageError("--for: expected seconds above 0");
    return seconds;
}

using Flag = bool Options::*;
using Setter = std::function<void(Options&, const std::string&)>;

struct OptionTable {
    std::map<std::string, Flag> flags;
    std::map<std::string, Setter> valued;
};

OptionTable ProbeOptions() { return {{{"--json", &Options::json}, {"--log", &Options::log}}, {}}; }

OptionTable PlayOptions()
{
    OptionTable table;
    table.flags = {
        {"--log", &Options::log}, {"--loop", &Options::loop}, {"--window", &Options::window}};
    table.valued = {
        {"--start",
         [](Options& o, const std::string& v) { o.start = ParseWholeSeconds("--start", v); }},
        {"--for", [](Options& o, const std::string& v) { o.play_for = ParsePlayFor(v); }},
        {"--seek-at", [](Options& o, const std::string& v) { o.seeks.push_back(ParseSeekAt(v)); }},
        {"--pause-at",
         [](Options& o, const std::string& v) { o.pauses.push_back(ParsePauseAt(v)); }},
        {"--video-out", [](Options& o, const std::string& v) { o.video_out = v; }},
        {"--audio-out", [](Options& o, const std::string& v) { o.audio_out = v; }},
        {"--events", [](Options& o, const std::string& v) { o.events_out = v; }},
    };
    return table;
}

// Applies the option at args[*i] (either "--name value" or "--name=value").
void ApplyOption(const OptionTable& table, const std::string& command,
                 const std::vector<std::string>& args, size_t* i, Options* options)
{
    const std::string& arg = args[*i];
    const auto equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (const auto flag = table.flags.find(name); flag != table.flags.end()) {
        if (equals != std::string::npos) throw UsageError(name + " takes no value");
        options->*(flag->second) = true;
        return;
    }
    const auto valued = table.valued.find(name);
    if (valued == table.valued.end())
        throw UsageError("unknown option for " + command + ": " + name);
    if (equals != std::string::npos) {
        valued->second(*options, arg.substr(equals + 1));
        return;
    }
    if (*i + 1 >= args.size()) throw UsageError(name + " needs a value");
    valued->second(*options, args[++*i]);
}

}  // namespace

Options ParseCommandLine(const std::vector<std::string>& args)
{
    Options options;
    if (args.empty()) throw UsageError("no command given (probe or play)");
    const std::string& command = args[0];
    if (command == "-h" || command == "--help" || command == "help") return options;
    if (command != "probe" && command != "play")
        throw UsageError("unknown command: " + command + " (probe or play)");
    options.command = command == "probe" ? Command::Probe : Command::Play;
    const OptionTable table = options.command == Command::Probe ? ProbeOptions() : PlayOptions();
    bool options_end = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (!options_end && args[i] == "--") {
            options_end = true;
        } else if (!options_end && args[i].size() > 1 && args[i][0] == '-') {
            ApplyOption(table, command, args, &i, &options);
        } else {
            options.files.push_back(args[i]);
        }
    }
    if (options.files.empty()) throw UsageError(command + ": no file given");
    if (options.command == Command::Play && options.files.size() > 1)
        throw UsageError("play: one file at a time");
    return options;
}

const char* UsageText()
{
    return "usage: quorvel-play probe [--json] [--log] FILE...\n"
           "       quorvel-play play [options] FILE\n"
           "play options:\n"
           "  --loop              start again from the beginning at the end\n"
           "  --start SECONDS     seek there right after opening\n"
           "  --seek-at T:S       at T seconds of wall time, seek to S seconds (repeatable)\n"
           "  --pause-at T:D      at T seconds of wall time, pause for D seconds (repeatable)\n"
           "  --for SECONDS       stop after that long\n"
           "  --video-out F.y4m   write every delivered picture (YUV4MPEG2)\n"
           "  --audio-out F.wav   write every played audio chunk\n"
           "  --events F.jsonl    write one JSON line per event and played chunk\n"
           "  --window            show the pictures and play the sound through SDL2\n"
           "  --log               print the library's log texts to standard error\n";
}

}  // namespace qplay
