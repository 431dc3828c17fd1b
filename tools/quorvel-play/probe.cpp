#include "probe.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "console.h"
#include "host_events.h"
#include "media_file.h"
#include "text.h"

namespace qplay {
namespace {

struct ProbeResult {
    std::string error;  // empty when playable
    bool audio_only = false;
    MediaFileInfo info{};
};

ProbeResult ProbeFile(const std::string& path, Console* log_console)
{
    ProbeResult result;
    result.error = CheckPath(path);
    if (!result.error.empty()) return result;
    HostEvents events(log_console, nullptr, nullptr);
    Instance media = MakeInstance(path, &events);
    int32_t audio_only = 0;
    if (media->GetFileInfo(0, &audio_only, &result.info) != 0) {
        result.audio_only = audio_only != 0;
    } else if (events.InvalidFile()) {
        result.error = "not playable: outside the playable limits";
    } else {
        result.error = events.OpenFailed() ? "cannot be opened as media" : "not playable";
    }
    return result;
}

std::string JsonOrNull(bool known, const std::string& value) { return known ? value : "null"; }

void PrintJson(const std::string& path, const ProbeResult& r)
{
    const bool ok = r.error.empty();
    std::printf(
        "{\"file\":%s,\"playable\":%s,\"audio_only\":%s,\"width\":%s,\"height\":%s,"
        "\"video_codec\":%s,\"audio_codec\":%s,\"size\":%s,\"error\":%s}\n",
        JsonString(path).c_str(), ok ? "true" : "false",
        JsonOrNull(ok, r.audio_only ? "true" : "false").c_str(),
        JsonOrNull(ok, std::to_string(r.info.nWidth)).c_str(),
        JsonOrNull(ok, std::to_string(r.info.nHeight)).c_str(),
        JsonOrNull(ok, JsonString(CodecName(r.info.szVideoCodec))).c_str(),
        JsonOrNull(ok, JsonString(CodecName(r.info.szAudioCodec))).c_str(),
        JsonOrNull(ok, std::to_string(r.info.llFileSize)).c_str(),
        ok ? "null" : JsonString(r.error).c_str());
}

std::string OrNone(const std::string& name) { return name.empty() ? "none" : name; }

void PrintText(const std::string& path, const ProbeResult& r)
{
    std::printf("%s: playable%s, %dx%d, video %s, audio %s, %" PRId64 " bytes\n", path.c_str(),
                r.audio_only ? " (audio only)" : "", r.info.nWidth, r.info.nHeight,
                OrNone(CodecName(r.info.szVideoCodec)).c_str(),
                OrNone(CodecName(r.info.szAudioCodec)).c_str(), r.info.llFileSize);
}

}  // namespace

int RunProbe(const Options& options, Console& console)
{
    int status = 0;
    for (const std::string& path : options.files) {
        const ProbeResult result = ProbeFile(path, options.log ? &console : nullptr);
        if (!result.error.empty()) {
            std::fprintf(stderr, "quorvel-play: %s: %s\n", path.c_str(), result.error.c_str());
            status = 1;
        }
        if (options.json) {
            PrintJson(path, result);
        } else if (result.error.empty()) {
            PrintText(path, result);
        }
        std::fflush(stdout);
    }
    return status;
}

}  // namespace qplay
