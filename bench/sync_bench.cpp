// A/V sync as a host sees it, on the clips of bench/make_sync_clips.sh (a white picture and
// a beep at the start of every whole second). The host pulls one 20 ms chunk every 20 ms
// against a steady deadline and counts a chunk as heard when it pulls it; a picture as seen
// when its event comes. Each white picture is paired with the nearest beep start.
//
//   quorvel-bench-sync CLIP [--loop] [--for S] [--seek-at T:S]...
//
// Prints "key value" lines: pairs, the offset (picture time minus sound time) in ms over
// the pairs of steady playback (median, 95th percentile of its size; pairs in the 0.5 s
// after a seek do not count, as playback starts there), and the white pictures and beeps
// that found no partner within 200 ms: a second whose picture or sound was lost.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "quorvel.h"
#include "real_time_audio.h"
#include "stats.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kPairWindowMs = 200.0;
constexpr double kAfterSeekMs = 500.0;
constexpr int kLoud = 8000;  // s16: half the beep's peak, above a codec's pre-echo
constexpr int kQuietFrames = 480;  // silence before a beep starts (10 ms at 48 kHz)

struct Options {
    std::string clip;
    bool loop = false;
    double forSeconds = 10.0;
    std::vector<std::pair<double, int64_t>> seeks;  // wall seconds, target
};

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Times (ms since start) at which white pictures came.
class FlashSink final : public MediaFileInterface {
public:
    explicit FlashSink(Clock::time_point start) : m_start(start) {}

    void OnMediaEvent(IMediaFile*, uint32_t event, uintptr_t param1, uintptr_t, uintptr_t,
                      uintptr_t) override
    {
        if (event != MEDIA_EVENT_VIDEO_FRAME) return;
        const auto* info = reinterpret_cast<const VideoFrameInfo*>(param1);
        const uint8_t luma = info->pData[(info->nHeight / 2) * info->nWidth + info->nWidth / 2];
        const bool white = luma > 128;
        std::lock_guard<std::mutex> guard(m_mutex);
        if (white && !m_bWhite) m_flashes.push_back(MsSince(m_start));
        m_bWhite = white;
    }
    std::vector<double> Flashes()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_flashes;
    }

private:
    Clock::time_point m_start;
    std::mutex m_mutex;
    bool m_bWhite = false;
    std::vector<double> m_flashes;
};

// The host's audio renderer: one pull per 20 ms; the times (ms since start) at which beeps
// began, a chunk heard when pulled.
class BeepRenderer {
public:
    BeepRenderer(IMediaFile* media, Clock::time_point start)
        : m_media(media), m_start(start), m_thread([this] { Loop(); })
    {
    }
    ~BeepRenderer() { Stop(); }
    void Stop()
    {
        m_stop.store(true);
        if (m_thread.joinable()) m_thread.join();
    }
    std::vector<double> Beeps() const { return m_beeps; }  // after Stop

private:
    void Loop()
    {
        PullAudioInRealTime(m_media, m_stop,
                            [this](int32_t n, const uint8_t* pcm, int32_t rate, int32_t channels) {
                                const double pulledMs = MsSince(m_start);
                                if (n > 0) {
                                    Scan(reinterpret_cast<const int16_t*>(pcm), n / 2 / channels,
                                         channels, rate, pulledMs);
                                } else {
                                    m_nQuiet += 960;  // the host plays 20 ms of silence
                                }
                            });
    }
    void Scan(const int16_t* samples, int frames, int channels, int rate, double pulledMs)
    {
        for (int i = 0; i < frames; ++i) {
            if (std::abs(samples[i * channels]) > kLoud) {
                if (m_nQuiet >= kQuietFrames) m_beeps.push_back(pulledMs + 1000.0 * i / rate);
                m_nQuiet = 0;
            } else {
                ++m_nQuiet;
            }
        }
    }

    IMediaFile* m_media;
    Clock::time_point m_start;
    std::atomic<bool> m_stop{false};
    int m_nQuiet = kQuietFrames;  // renderer thread only
    std::vector<double> m_beeps;  // renderer thread until Stop
    std::thread m_thread;
};

std::optional<Options> Parse(int argc, char** argv)
{
    if (argc < 2) return std::nullopt;
    Options options;
    options.clip = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--loop") {
            options.loop = true;
        } else if (arg == "--for" && i + 1 < argc) {
            options.forSeconds = std::stod(argv[++i]);
        } else if (arg == "--seek-at" && i + 1 < argc) {
            const std::string value = argv[++i];
            const size_t colon = value.find(':');
            if (colon == std::string::npos) return std::nullopt;
            options.seeks.emplace_back(std::stod(value.substr(0, colon)),
                                       std::stoll(value.substr(colon + 1)));
        } else {
            return std::nullopt;
        }
    }
    return options;
}

std::optional<double> Nearest(const std::vector<double>& times, double at)
{
    std::optional<double> best;
    for (double t : times)
        if (std::fabs(t - at) <= kPairWindowMs &&
            (!best || std::fabs(t - at) < std::fabs(*best - at)))
            best = t;
    return best;
}

void Report(const std::vector<double>& flashes, const std::vector<double>& beeps,
            const std::vector<double>& seekMs)
{
    std::vector<double> offsets;
    int pairs = 0;
    int unpairedFlashes = 0;
    for (double flash : flashes) {
        const std::optional<double> beep = Nearest(beeps, flash);
        if (!beep) {
            ++unpairedFlashes;
            continue;
        }
        ++pairs;
        const bool afterSeek = std::any_of(seekMs.begin(), seekMs.end(), [&](double seek) {
            return flash >= seek && flash - seek < kAfterSeekMs;
        });
        if (!afterSeek) offsets.push_back(flash - *beep);
    }
    int unpairedBeeps = 0;
    for (double beep : beeps) unpairedBeeps += Nearest(flashes, beep) ? 0 : 1;
    std::vector<double> sizes;
    for (double offset : offsets) sizes.push_back(std::fabs(offset));
    std::printf("pairs %d\n", pairs);
    std::printf("steady_pairs %zu\n", offsets.size());
    std::printf("av_sync_ms_median %.1f\n", Quantile(offsets, 0.5));
    std::printf("av_sync_ms_p95_size %.1f\n", Quantile(sizes, 0.95));
    std::printf("unpaired_pictures %d\n", unpairedFlashes);
    std::printf("unpaired_beeps %d\n", unpairedBeeps);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<Options> options = Parse(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: quorvel-bench-sync CLIP [--loop] [--for S] [--seek-at T:S]...\n");
        return 2;
    }
    const Clock::time_point start = Clock::now();
    FlashSink sink(start);
    const std::wstring path(options->clip.begin(), options->clip.end());
    IMediaFile* media = CreateInstance(path.c_str(), &sink);
    media->SetLoop(options->loop ? 1 : 0);
    if (media->Open() == 0) {
        std::fprintf(stderr, "quorvel-bench-sync: cannot open %s\n", options->clip.c_str());
        DestroyInstance(media);
        return 1;
    }
    std::vector<double> seekMs;
    BeepRenderer renderer(media, start);
    size_t next = 0;
    while (MsSince(start) < options->forSeconds * 1000.0) {
        if (next < options->seeks.size() && MsSince(start) >= options->seeks[next].first * 1000.0) {
            seekMs.push_back(MsSince(start));
            media->SetPos(options->seeks[next++].second);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    renderer.Stop();
    DestroyInstance(media);
    Report(sink.Flashes(), renderer.Beeps(), seekMs);
    return 0;
}
