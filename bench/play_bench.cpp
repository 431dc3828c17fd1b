// A minimal host of the engine, through <quorvel.h> only: it pulls audio in real time
// (one 20 ms chunk per 20 ms against a steady deadline) and discards pictures, and
// measures what a host sees.
//
//   quorvel-bench-play play CLIP [--frames F.framemd5] [--loop] [--for S] [--rss-every S]
//       time to Open's return, to the first picture (start latency), to the first
//       and the last chunk, pictures, audio pulls that
//       gave nothing between the first and the last chunk, A/V offset at delivery (with
//       --frames), RSS over time
//   quorvel-bench-play seek CLIP --frames F.framemd5
//       20 SetPos calls while playing: time to the first picture of the target's GOP
//
// Results are "key value" lines on standard output, for bench/run.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "frame_map.h"
#include "quorvel.h"
#include "real_time_audio.h"
#include "resource_use.h"
#include "stats.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double ResidentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

// What the host has played: bytes of every chunk the engine told it to play, and the
// pulls between the first and the last chunk that gave nothing, for which a host plays
// silence of its own making.
struct PlayedAudio {
    std::atomic<int64_t> bytes{0};
    std::atomic<int32_t> bytesPerSecond{0};
    std::atomic<int64_t> firstChunkMs{-1};  // ms since start of the run
    std::atomic<int64_t> lastChunkMs{-1};  // ms since start of the run
    std::atomic<int64_t> madeUpChunks{0};

    double Seconds() const
    {
        const int32_t rate = bytesPerSecond.load();
        return rate == 0 ? 0.0 : static_cast<double>(bytes.load()) / rate;
    }
};

// The host's audio renderer: a thread that pulls once per 20 ms of wall time.
class RealTimeAudio {
public:
    RealTimeAudio(IMediaFile* media, PlayedAudio& played, Clock::time_point runStart)
        : m_media(media), m_played(played), m_runStart(runStart), m_thread([this] { Loop(); })
    {
    }
    ~RealTimeAudio()
    {
        m_stop.store(true);
        m_thread.join();
    }

private:
    void Loop()
    {
        bool started = false;
        int64_t emptyPulls = 0;  // since the last chunk; made up only if another follows
        PullAudioInRealTime(
            m_media, m_stop, [&](int32_t n, const uint8_t*, int32_t rate, int32_t channels) {
                if (n > 0) {
                    m_played.bytesPerSecond.store(rate * channels * 2);
                    m_played.bytes.fetch_add(n);
                    m_played.lastChunkMs.store(static_cast<int64_t>(MsSince(m_runStart)));
                    if (!started) m_played.firstChunkMs.store(m_played.lastChunkMs.load());
                    m_played.madeUpChunks.fetch_add(emptyPulls);
                    emptyPulls = 0;
                    started = true;
                } else if (started) {
                    ++emptyPulls;
                }
            });
    }

    IMediaFile* m_media;
    PlayedAudio& m_played;
    Clock::time_point m_runStart;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Called on the render clock thread for every delivered picture, with its pts when the
// frame map knows it.
struct Delivery {
    double atMs;  // since the start of the run
    std::optional<double> pts;
};

class BenchHost final : public MediaFileInterface {
public:
    BenchHost(const FrameMap& frames, Clock::time_point runStart)
        : m_frames(frames), m_runStart(runStart)
    {
    }

    void OnMediaEvent(IMediaFile*, uint32_t event, uintptr_t param1, uintptr_t, uintptr_t,
                      uintptr_t) override
    {
        if (event != MEDIA_EVENT_VIDEO_FRAME) {
            return;
        }
        const auto* info = reinterpret_cast<const VideoFrameInfo*>(param1);
        Delivery delivery{MsSince(m_runStart), std::nullopt};
        if (!m_frames.Empty()) {
            delivery.pts = m_frames.PtsOf(info->pData, info->nSize);
        }
        // Only a count and the last time are kept, so that a long looped run measures the
        // engine's memory rather than a growing record of its pictures.
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_nPictures;
        m_lastPictureMs = delivery.atMs;
        if (m_onPicture) {
            m_onPicture(delivery);
        }
    }

    // The hook runs under the host's lock, on the render clock thread.
    void SetOnPicture(std::function<void(const Delivery&)> hook)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_onPicture = std::move(hook);
    }
    size_t PictureCount()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_nPictures;
    }
    double LastPictureMs()  // 0 before the first picture
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lastPictureMs;
    }

private:
    const FrameMap& m_frames;
    Clock::time_point m_runStart;
    std::mutex m_lock;
    size_t m_nPictures = 0;
    double m_lastPictureMs = 0.0;
    std::function<void(const Delivery&)> m_onPicture;
};

struct Options {
    std::string mode;
    std::string clip;
    std::string frames;
    bool loop = false;
    double forSeconds = 0.0;  // 0: until the end
    double rssEverySeconds = 0.0;  // 0: no samples
};

std::optional<Options> ParseOptions(int argc, char** argv)
{
    if (argc < 3) {
        return std::nullopt;
    }
    Options options;
    options.mode = argv[1];
    options.clip = argv[2];
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--loop") {
            options.loop = true;
        } else if (arg == "--frames" && hasValue) {
            options.frames = argv[++i];
        } else if (arg == "--for" && hasValue) {
            options.forSeconds = std::stod(argv[++i]);
        } else if (arg == "--rss-every" && hasValue) {
            options.rssEverySeconds = std::stod(argv[++i]);
        } else {
            return std::nullopt;
        }
    }
    return options;
}

std::wstring Wide(const std::string& path) { return std::wstring(path.begin(), path.end()); }

void PrintUsage()
{
    std::fprintf(stderr,
                 "usage: quorvel-bench-play play CLIP [--frames F] [--loop] [--for S] "
                 "[--rss-every S]\n"
                 "       quorvel-bench-play seek CLIP --frames F\n");
}

// Picture pts minus the audio the host had played when the picture came, for every
// picture delivered while audio was playing.
void PrintAvOffset(const std::vector<double>& offsetsMs)
{
    std::printf("av_offset_pictures %zu\n", offsetsMs.size());
    std::printf("av_offset_ms_p1 %.1f\n", Quantile(offsetsMs, 0.01));
    std::printf("av_offset_ms_median %.1f\n", Quantile(offsetsMs, 0.5));
    std::printf("av_offset_ms_p99 %.1f\n", Quantile(offsetsMs, 0.99));
}

// Playback ends when nothing new came for a second (looping off), or at --for.
bool PlaybackOver(const Options& options, double elapsedMs, double lastActivityMs)
{
    if (options.forSeconds > 0.0) {
        return elapsedMs >= options.forSeconds * 1000.0;
    }
    return elapsedMs > 2000.0 && elapsedMs - lastActivityMs > 1000.0;
}

int Play(const Options& options, const FrameMap& frames)
{
    const Clock::time_point start = Clock::now();
    BenchHost host(frames, start);
    PlayedAudio played;
    std::vector<double> offsetsMs;
    std::optional<double> firstPictureMs;
    host.SetOnPicture([&](const Delivery& delivery) {
        if (!firstPictureMs) {
            firstPictureMs = delivery.atMs;
        }
        if (delivery.pts && played.bytes.load() > 0) {
            offsetsMs.push_back((*delivery.pts - played.Seconds()) * 1000.0);
        }
    });
    IMediaFile* media = CreateInstance(Wide(options.clip).c_str(), &host);
    media->SetLoop(options.loop ? 1 : 0);
    if (media->Open() == 0) {
        std::fprintf(stderr, "quorvel-bench-play: cannot open %s\n", options.clip.c_str());
        DestroyInstance(media);
        return 1;
    }
    const double openMs = MsSince(start);
    std::vector<double> rss;
    {
        RealTimeAudio audio(media, played, start);
        double nextRssMs = options.rssEverySeconds * 1000.0;
        while (true) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const double elapsed = MsSince(start);
            const double lastActivity =
                std::max(host.LastPictureMs(), static_cast<double>(played.lastChunkMs.load()));
            if (options.rssEverySeconds > 0.0 && elapsed >= nextRssMs) {
                rss.push_back(ResidentMiB());
                nextRssMs += options.rssEverySeconds * 1000.0;
            }
            if (PlaybackOver(options, elapsed, lastActivity)) {
                break;
            }
        }
    }
    const double lastActivityMs =
        std::max(host.LastPictureMs(), static_cast<double>(played.lastChunkMs.load()));
    DestroyInstance(media);
    std::printf("open_ms %.1f\n", openMs);
    std::printf("start_ms %.1f\n", firstPictureMs.value_or(-1.0));
    std::printf("first_chunk_ms %lld\n", static_cast<long long>(played.firstChunkMs.load()));
    std::printf("play_ms %.1f\n", lastActivityMs);
    std::printf("pictures %zu\n", host.PictureCount());
    std::printf("audio_seconds %.2f\n", played.Seconds());
    std::printf("made_up_chunks %lld\n", static_cast<long long>(played.madeUpChunks.load()));
    if (!frames.Empty()) {
        PrintAvOffset(offsetsMs);
    }
    for (size_t i = 0; i < rss.size(); ++i) {
        std::printf("rss_mib_at_%.0fs %.1f\n", (i + 1) * options.rssEverySeconds, rss[i]);
    }
    PrintResourceUse();
    return 0;
}

// Targets spread over the clip, each far from the one before, so that a picture from
// before the seek cannot pass for one of the target's GOP.
std::vector<int64_t> SeekTargets()
{
    std::vector<int64_t> targets;
    for (int i = 1; i <= 20; ++i) {
        targets.push_back((i * 7) % 19);
    }
    return targets;
}

constexpr double kGopSeconds = 2.0;  // the clips' keyframe interval

int Seek(const Options& options, const FrameMap& frames)
{
    const Clock::time_point start = Clock::now();
    BenchHost host(frames, start);
    PlayedAudio played;
    std::mutex lock;
    std::optional<double> lowPts;  // the target's keyframe; none while no seek waits
    double highPts = 0.0;
    std::optional<double> foundMs;
    host.SetOnPicture([&](const Delivery& delivery) {
        std::lock_guard<std::mutex> guard(lock);
        if (lowPts && delivery.pts && *delivery.pts >= *lowPts && *delivery.pts < highPts) {
            foundMs = delivery.atMs;
            lowPts.reset();
        }
    });
    IMediaFile* media = CreateInstance(Wide(options.clip).c_str(), &host);
    media->SetLoop(1);  // a decoder that reached the end would carry out no seek
    if (media->Open() == 0) {
        std::fprintf(stderr, "quorvel-bench-play: cannot open %s\n", options.clip.c_str());
        DestroyInstance(media);
        return 1;
    }
    std::vector<double> latenciesMs;
    int missed = 0;
    {
        RealTimeAudio audio(media, played, start);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        for (int64_t target : SeekTargets()) {
            double seekMs = 0.0;
            {
                std::lock_guard<std::mutex> guard(lock);
                lowPts = static_cast<double>(target) -
                         std::fmod(static_cast<double>(target), kGopSeconds);
                highPts = static_cast<double>(target) + kGopSeconds;
                foundMs.reset();
            }
            // Outside the lock: the hook runs under the engine's notification lock.
            seekMs = MsSince(start);
            media->SetPos(target);
            std::optional<double> found;
            while (!found && MsSince(start) - seekMs < 3000.0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                std::lock_guard<std::mutex> guard(lock);
                found = foundMs;
            }
            if (found) {
                latenciesMs.push_back(*found - seekMs);
                std::printf("seek_to %lld ms %.1f\n", static_cast<long long>(target),
                            latenciesMs.back());
            } else {
                ++missed;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    }
    DestroyInstance(media);
    std::printf("seeks %zu\n", latenciesMs.size());
    std::printf("seeks_missed %d\n", missed);
    std::printf("seek_ms_median %.1f\n", Quantile(latenciesMs, 0.5));
    std::printf("seek_ms_worst %.1f\n", Quantile(latenciesMs, 1.0));
    PrintResourceUse();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options || (options->mode != "play" && options->mode != "seek")) {
        PrintUsage();
        return 2;
    }
    const FrameMap frames = options->frames.empty() ? FrameMap{} : FrameMap::Load(options->frames);
    if (!options->frames.empty() && frames.Empty()) {
        std::fprintf(stderr, "quorvel-bench-play: no pictures in %s\n", options->frames.c_str());
        return 1;
    }
    if (options->mode == "seek") {
        if (frames.Empty()) {
            PrintUsage();
            return 2;
        }
        return Seek(*options, frames);
    }
    return Play(*options, frames);
}
