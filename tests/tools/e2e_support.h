// Helpers for the end-to-end tests: run quorvel-play (or ffmpeg) as a subprocess with a
// time limit, read its outputs, and take FFmpeg's own decode as the reference.
#ifndef QUORVEL_TESTS_TOOLS_E2E_SUPPORT_H
#define QUORVEL_TESTS_TOOLS_E2E_SUPPORT_H

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct RunResult {
    int status = -1;  // exit status, or -1 when killed at the time limit or by a signal
    std::string out;
    std::string err;
    double seconds = 0;  // wall time
};

// A fresh folder under the temporary directory, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string Media(const std::string& name);

// Runs quorvel-play with args; env entries are added to the environment. The process is
// killed after limit_seconds. interrupt_after > 0 sends SIGINT after that many seconds.
RunResult RunPlay(const std::vector<std::string>& args,
                  const std::vector<std::pair<std::string, std::string>>& env = {},
                  double limit_seconds = 60, double interrupt_after = 0);

// Standard output of a shell command (for ffmpeg and ffprobe).
std::string Shell(const std::string& command);

std::string ReadFile(const std::string& path);
std::vector<std::string> Lines(const std::string& text);

// One flat JSON object: member name to its text (strings unquoted and unescaped for the
// simple escapes, numbers, true/false/null as written).
std::map<std::string, std::string> ParseFlatJson(const std::string& line);

struct FrameHash {
    double pts;  // seconds
    std::string md5;
};

// Every picture of the file's first video stream as FFmpeg decodes it to yuv420p, in
// presentation order, with one hash each.
std::vector<FrameHash> FfmpegFrameHashes(const std::string& path);

// The file's first audio stream decoded by FFmpeg to interleaved s16.
std::string FfmpegPcm(const std::string& path);

}  // namespace e2e

#endif
