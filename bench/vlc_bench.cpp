// The same host as quorvel-bench-instances, on libVLC 3 instead of the engine: libVLC
// plays a file into the host's own I420 buffer (video callbacks) and hands the host s16
// PCM (audio callbacks), with no display and no audio device, in real time as it would
// play it. Each picture is read as a host copying it out would. It reports what came and
// the process's peak RSS and CPU, so that the engine's figures have a player's beside them.
//
//   quorvel-bench-vlc CLIP [--for S] [--decoder-threads N]
//
// Without --for it runs until the media ends. --decoder-threads is libVLC's
// --avcodec-threads, for CPU compared at equal decoder threads.
// Results are "key value" lines on standard output, for bench/run.
#include <vlc/vlc.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "resource_use.h"

namespace {

using Clock = std::chrono::steady_clock;

unsigned AlignUp(unsigned value, unsigned to) { return (value + to - 1) / to * to; }

// The host's picture buffer and what came. libVLC calls the video callbacks on its video
// output thread and the audio callbacks on its audio output thread; the main thread reads
// the counts.
struct Host {
    std::vector<uint8_t> buffer;
    unsigned planeOffset[3] = {};
    unsigned width = 0;
    unsigned height = 0;
    std::atomic<int64_t> pictures{0};
    std::atomic<uint32_t> sum{0};
    std::atomic<int64_t> samples{0};  // per channel
};

// Video output thread, once the decoder's format is known: asks for I420 at the video's
// size, pitches and lines rounded up to 32 as libVLC recommends, in one buffer.
unsigned Setup(void** opaque, char* chroma, unsigned* width, unsigned* height, unsigned* pitches,
               unsigned* lines)
{
    Host& host = *static_cast<Host*>(*opaque);
    std::memcpy(chroma, "I420", 4);
    host.width = *width;
    host.height = *height;
    pitches[0] = AlignUp(*width, 32);
    pitches[1] = pitches[2] = AlignUp((*width + 1) / 2, 32);
    lines[0] = AlignUp(*height, 32);
    lines[1] = lines[2] = AlignUp((*height + 1) / 2, 32);
    unsigned offset = 0;
    for (int plane = 0; plane < 3; ++plane) {
        host.planeOffset[plane] = offset;
        offset += pitches[plane] * lines[plane];
    }
    host.buffer.assign(offset, 0);
    return 1;
}

void Cleanup(void*) {}

void* Lock(void* opaque, void** planes)
{
    Host& host = *static_cast<Host*>(opaque);
    for (int plane = 0; plane < 3; ++plane) {
        planes[plane] = host.buffer.data() + host.planeOffset[plane];
    }
    return nullptr;
}

void Unlock(void*, void*, void* const*) {}

// Video output thread, when the picture is due: reads one byte in every 64, as a copy out
// of the picture touches every cache line, as quorvel-bench-instances does.
void Display(void* opaque, void*)
{
    Host& host = *static_cast<Host*>(opaque);
    uint32_t sum = 0;
    for (size_t i = 0; i < host.buffer.size(); i += 64) sum += host.buffer[i];
    host.sum.fetch_add(sum, std::memory_order_relaxed);
    host.pictures.fetch_add(1);
}

// Audio output thread: the PCM libVLC would have the device play now.
void Play(void* opaque, const void*, unsigned count, int64_t)
{
    static_cast<Host*>(opaque)->samples.fetch_add(count);
}

struct Options {
    std::string clip;
    double forSeconds = 0.0;  // 0: until the media ends
    int decoderThreads = 0;  // 0: libVLC's own choice
};

std::optional<Options> ParseOptions(int argc, char** argv)
{
    if (argc < 2) return std::nullopt;
    Options options;
    options.clip = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--for" && hasValue) {
            options.forSeconds = std::stod(argv[++i]);
        } else if (arg == "--decoder-threads" && hasValue) {
            options.decoderThreads = std::stoi(argv[++i]);
        } else {
            return std::nullopt;
        }
    }
    return options;
}

constexpr unsigned kRate = 48000;

// Main thread: plays until the media ends, fails, or --for has passed.
int Run(const Options& options)
{
    const std::string threads = "--avcodec-threads=" + std::to_string(options.decoderThreads);
    // No hardware decoding and no deinterlacing: the engine does neither.
    const char* const args[] = {
        "--quiet",    "--no-video-title-show", "--no-sub-autodetect-file", "--no-osd",
        "--no-stats", "--avcodec-hw=none",     "--deinterlace=0",          threads.c_str()};
    libvlc_instance_t* vlc = libvlc_new(sizeof(args) / sizeof(args[0]), args);
    if (vlc == nullptr) {
        std::fprintf(stderr, "quorvel-bench-vlc: libvlc_new failed\n");
        return 1;
    }
    libvlc_media_t* media = libvlc_media_new_path(vlc, options.clip.c_str());
    libvlc_media_player_t* player = libvlc_media_player_new_from_media(media);
    libvlc_media_release(media);
    Host host;
    libvlc_video_set_callbacks(player, Lock, Unlock, Display, &host);
    libvlc_video_set_format_callbacks(player, Setup, Cleanup);
    libvlc_audio_set_callbacks(player, Play, nullptr, nullptr, nullptr, nullptr, &host);
    libvlc_audio_set_format(player, "S16N", kRate, 2);
    const Clock::time_point start = Clock::now();
    libvlc_media_player_play(player);
    libvlc_state_t state = libvlc_NothingSpecial;
    while (true) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        state = libvlc_media_player_get_state(player);
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        if (state == libvlc_Ended || state == libvlc_Error ||
            (options.forSeconds > 0.0 && elapsed >= options.forSeconds)) {
            break;
        }
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    libvlc_media_player_stop(player);
    libvlc_media_player_release(player);
    libvlc_release(vlc);
    std::printf("state %s\n", state == libvlc_Error ? "error" : "played");
    // The size libVLC's decoder hands over, with its padding (1280x738 for 720p H.264).
    std::printf("picture_size %ux%u\n", host.width, host.height);
    std::printf("pictures %lld\n", static_cast<long long>(host.pictures.load()));
    std::printf("audio_seconds %.2f\n", static_cast<double>(host.samples.load()) / kRate);
    std::printf("wall_s %.2f\n", wall);
    PrintResourceUse();
    return state == libvlc_Error ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: quorvel-bench-vlc CLIP [--for S] [--decoder-threads N]\n");
        return 2;
    }
    return Run(*options);
}
