// What the host-level tests share: instances owned the way a host owns them, FFmpeg's own
// decode of a fixture as the reference.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "instance/recording_sink.h"
#include "instance/test_host.h"
#include "quorvel.h"
#include "support/ffmpeg_output.h"

namespace test {

struct InstanceDeleter {
    void operator()(IMediaFile* instance) const { DestroyInstance(instance); }
};
using InstancePtr = std::unique_ptr<IMediaFile, InstanceDeleter>;

inline InstancePtr Create(const std::string& media, MediaFileInterface* sink)
{
    return InstancePtr(CreateInstance(WideMediaPath(media).c_str(), sink));
}

// FFmpeg's own decode of the file: one md5 per picture, in presentation order, each
// picture at its own size, through the filter given (none, and the display matrix left
// alone, by default).
inline std::vector<std::string> ReferenceMd5s(const std::string& media,
                                              const std::string& filter = "")
{
    const std::string filtered = filter.empty() ? "" : "-vf " + filter + " ";
    std::istringstream lines(FfmpegOutput(
        media,
        "-an -fps_mode passthrough -autoscale 0 " + filtered + "-pix_fmt yuv420p -f framemd5 -",
        "-noautorotate"));
    std::vector<std::string> md5s;
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream field(line.substr(line.find_last_of(',') + 1));
        std::string md5;
        field >> md5;
        md5s.push_back(md5);
    }
    return md5s;
}

// FFmpeg's own decode of the file's audio as interleaved s16 at the engine's rate.
inline std::string ReferencePcm(const std::string& media, int rate, int channels)
{
    return FfmpegOutput(media, "-vn -ac " + std::to_string(channels) + " -ar " +
                                   std::to_string(rate) + " -f s16le -");
}

// Whether chunk is FFmpeg's decode at byte offset at, give or take a rounding step: AAC
// decoded after a flush differs from an unbroken decode in the last bit. One sample too
// many or too few moves a 440 Hz tone by hundreds of steps.
inline bool NearPcm(const std::string& reference, size_t at, const std::string& chunk)
{
    if (at + chunk.size() > reference.size()) {
        return false;
    }
    const auto* want = reinterpret_cast<const int16_t*>(reference.data() + at);
    const auto* got = reinterpret_cast<const int16_t*>(chunk.data());
    for (size_t i = 0; i < chunk.size() / 2; ++i) {
        if (std::abs(want[i] - got[i]) > 16) {
            return false;
        }
    }
    return true;
}

// Index of md5 in the reference, or -1.
inline int IndexOf(const std::vector<std::string>& reference, const std::string& md5)
{
    for (size_t i = 0; i < reference.size(); ++i) {
        if (reference[i] == md5) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace test
