// A host of several engine instances in one process, through <quorvel.h> only, for the
// memory a host pays: N instances of one clip open at once, each with its own audio
// thread pulling 20 ms every 20 ms against a steady deadline, and each picture read as a
// host copying it out would. It reports, per instance, the pictures delivered against
// those the clip's frame rate gives for the time it played, and the audio it played, then
// the process's peak memory and CPU.
//
//   quorvel-bench-instances CLIP --fps R [--instances N] [--for S] [--loop]
//                           [--decoder-threads N]
//
// Without --for it runs until no instance has had a picture or a chunk for a second (a
// clip played once, to its end). --decoder-threads sets QUORVEL_DECODER_THREADS before
// the instances are created. Built for Linux against libquorvel.so (bench/CMakeLists.txt)
// and for Windows against quorvel.dll's import library (bench/windows_memory.sh); there
// memory is the peak working set, with the peak private bytes and the most address space
// seen in use, which is what runs out first in a 32-bit process.
// Results are "key value" lines on standard output, for bench/run.
#ifdef _WIN32
#include <windows.h>
// windows.h first: psapi.h needs its types.
#include <psapi.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "quorvel.h"
#include "real_time_audio.h"
#ifndef _WIN32
#include "resource_use.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double SecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// Error texts of the whole process: the engine sends every log text through one live
// instance, so they are gathered here rather than per instance.
struct ErrorLog {
    std::atomic<int> count{0};
    std::mutex lock;
    std::string first;

    void Add(const wchar_t* text)
    {
        if (count.fetch_add(1) != 0 || text == nullptr) return;
        std::lock_guard<std::mutex> guard(lock);
        for (; *text != L'\0' && first.size() < 200; ++text) {
            first += (*text >= 0x20 && *text < 0x7f) ? static_cast<char>(*text) : '?';
        }
    }
};

// What the host saw of one instance. Pictures arrive on the instance's render clock
// thread, chunks on the host's audio thread of that instance; the main thread reads them.
class Player final : public MediaFileInterface {
public:
    Player(Clock::time_point runStart, ErrorLog& errors) : m_runStart(runStart), m_errors(errors) {}

    // The slot's calling convention, as a 32-bit Windows host must state it.
    void QUORVEL_SLOT OnMediaEvent(IMediaFile*, uint32_t event, uintptr_t param1, uintptr_t,
                                   uintptr_t param3, uintptr_t) override
    {
        if (event == MEDIA_EVENT_VIDEO_FRAME) {
            TakePicture(*reinterpret_cast<const VideoFrameInfo*>(param1));
        } else if (event == MEDIA_EVENT_OPEN_FAILED) {
            openFailed.store(true);
        } else if (event == MEDIA_EVENT_LOG && param1 == 0) {
            m_errors.Add(reinterpret_cast<const wchar_t*>(param3));
        }
    }

    // Audio thread.
    void TakeChunk(int32_t bytes, int32_t rate, int32_t channels)
    {
        bytesPerSecond.store(rate * channels * 2);
        pcmBytes.fetch_add(bytes);
        lastActivityUs.store(MicrosecondsNow());
    }

    double AudioSeconds() const
    {
        const int32_t rate = bytesPerSecond.load();
        return rate == 0 ? 0.0 : static_cast<double>(pcmBytes.load()) / rate;
    }

    std::atomic<int64_t> pictures{0};
    std::atomic<int64_t> firstPictureUs{-1};  // since the start of the run
    std::atomic<int64_t> lastPictureUs{-1};
    std::atomic<int64_t> lastActivityUs{-1};  // a picture or a chunk
    std::atomic<int64_t> pcmBytes{0};
    std::atomic<int32_t> bytesPerSecond{0};
    std::atomic<bool> openFailed{false};

private:
    int64_t MicrosecondsNow() const
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_runStart)
            .count();
    }

    // Reads one byte in every 64, as a copy out of the picture touches every cache line,
    // and keeps the sum so that the reads are not optimised away.
    void TakePicture(const VideoFrameInfo& info)
    {
        uint32_t sum = 0;
        for (int32_t i = 0; i < info.nSize; i += 64) sum += info.pData[i];
        m_sum.fetch_add(sum, std::memory_order_relaxed);
        const int64_t now = MicrosecondsNow();
        int64_t none = -1;
        firstPictureUs.compare_exchange_strong(none, now);
        lastPictureUs.store(now);
        lastActivityUs.store(now);
        pictures.fetch_add(1);
    }

    Clock::time_point m_runStart;
    ErrorLog& m_errors;
    std::atomic<uint32_t> m_sum{0};
};

struct Options {
    std::string clip;
    double fps = 0.0;
    int instances = 1;
    double forSeconds = 0.0;  // 0: until every instance has ended
    bool loop = false;
    int decoderThreads = 0;  // 0: the engine's own choice
};

std::optional<Options> ParseOptions(int argc, char** argv)
{
    if (argc < 2) return std::nullopt;
    Options options;
    options.clip = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--loop") {
            options.loop = true;
        } else if (arg == "--fps" && hasValue) {
            options.fps = std::stod(argv[++i]);
        } else if (arg == "--instances" && hasValue) {
            options.instances = std::stoi(argv[++i]);
        } else if (arg == "--for" && hasValue) {
            options.forSeconds = std::stod(argv[++i]);
        } else if (arg == "--decoder-threads" && hasValue) {
            options.decoderThreads = std::stoi(argv[++i]);
        } else {
            return std::nullopt;
        }
    }
    if (options.fps <= 0.0 || options.instances < 1) return std::nullopt;
    return options;
}

void SetDecoderThreads(int threads)
{
    const std::string value = std::to_string(threads);
#ifdef _WIN32
    SetEnvironmentVariableA("QUORVEL_DECODER_THREADS", value.c_str());
#else
    setenv("QUORVEL_DECODER_THREADS", value.c_str(), 1);
#endif
}

#ifdef _WIN32
constexpr double kMiB = 1024.0 * 1024.0;

// The most address space seen in use, sampled by the main thread while the instances play:
// what a 32-bit process runs out of.
class AddressSpaceWatch {
public:
    void Sample()
    {
        MEMORYSTATUSEX status{};
        status.dwLength = sizeof(status);
        if (!GlobalMemoryStatusEx(&status)) return;
        m_total = static_cast<double>(status.ullTotalVirtual);
        m_peak = std::max(m_peak, m_total - static_cast<double>(status.ullAvailVirtual));
    }
    double PeakMiB() const { return m_peak / kMiB; }
    double TotalMiB() const { return m_total / kMiB; }

private:
    double m_peak = 0.0;
    double m_total = 0.0;
};

double CpuSeconds()
{
    FILETIME created;
    FILETIME exited;
    FILETIME kernel;
    FILETIME user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

// The peak working set, and the peak private bytes (which Wine does not count as Windows
// does).
void PrintProcessUse(const AddressSpaceWatch& addressSpace)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    std::printf("cpu_seconds %.3f\n", CpuSeconds());
    std::printf("peak_working_set_mib %.1f\n",
                static_cast<double>(counters.PeakWorkingSetSize) / kMiB);
    std::printf("peak_private_mib %.1f\n", static_cast<double>(counters.PeakPagefileUsage) / kMiB);
    std::printf("peak_address_space_mib %.1f\n", addressSpace.PeakMiB());
    std::printf("address_space_mib %.1f\n", addressSpace.TotalMiB());
}
#else
// Linux: peak RSS and CPU come from getrusage at the end; nothing to sample.
class AddressSpaceWatch {
public:
    void Sample() {}
};

void PrintProcessUse(const AddressSpaceWatch&) { PrintResourceUse(); }
#endif

// One instance with its host and, once it is open, its audio thread (the host's audio
// renderer of that instance).
struct Slot {
    std::unique_ptr<Player> player;
    IMediaFile* media = nullptr;
    bool opened = false;
    std::thread audio;
};

// Main thread: creates and opens the instances one after the other, each starting to play
// (and its audio thread to pull) as soon as it is open.
std::vector<Slot> OpenAll(const Options& options, Clock::time_point runStart, ErrorLog& errors,
                          const std::atomic<bool>& stop)
{
    const std::wstring path(options.clip.begin(), options.clip.end());
    std::vector<Slot> slots(static_cast<size_t>(options.instances));
    for (Slot& slot : slots) {
        slot.player = std::make_unique<Player>(runStart, errors);
        slot.media = CreateInstance(path.c_str(), slot.player.get());
        if (slot.media == nullptr) continue;
        slot.media->SetLoop(options.loop ? 1 : 0);
        slot.opened = slot.media->Open() != 0 && !slot.player->openFailed.load();
        if (!slot.opened) continue;
        IMediaFile* media = slot.media;
        Player* player = slot.player.get();
        slot.audio = std::thread([media, player, &stop] {
            PullAudioInRealTime(
                media, stop, [player](int32_t n, const uint8_t*, int32_t rate, int32_t channels) {
                    if (n > 0) player->TakeChunk(n, rate, channels);
                });
        });
    }
    return slots;
}

// Played once (no --for): over when every instance has been quiet for a second, two
// seconds at the earliest after the last one opened. Times are since the start of the run.
bool AllEnded(const std::vector<Slot>& slots, double openedAt, double now)
{
    if (now - openedAt < 2.0) return false;
    const auto nowUs = static_cast<int64_t>(now * 1e6);
    return std::all_of(slots.begin(), slots.end(), [&](const Slot& slot) {
        return nowUs - slot.player->lastActivityUs.load() > 1000000;
    });
}

// The pictures the clip's frame rate gives for the time the instance played: from its
// first picture to the end of the run (--for), or to its last picture (played once).
double ExpectedPictures(const Options& options, const Player& player, double openedAt,
                        double endedAt)
{
    const int64_t first = player.firstPictureUs.load();
    if (first < 0) return options.fps * (endedAt - openedAt);
    if (options.forSeconds > 0.0) return options.fps * (endedAt - static_cast<double>(first) / 1e6);
    return options.fps * static_cast<double>(player.lastPictureUs.load() - first) / 1e6 + 1.0;
}

void PrintInstances(const Options& options, const std::vector<Slot>& slots, double openedAt,
                    double endedAt)
{
    double minPercent = 100.0;
    int64_t minPictures = -1;
    double minAudio = -1.0;
    int failed = 0;
    for (size_t i = 0; i < slots.size(); ++i) {
        const Player& player = *slots[i].player;
        const int64_t pictures = player.pictures.load();
        const double expected = ExpectedPictures(options, player, openedAt, endedAt);
        const double percent =
            expected > 0.0 ? 100.0 * static_cast<double>(pictures) / expected : 0.0;
        std::printf(
            "instance_%zu opened %d pictures %lld expected %.0f delivered_pct %.1f "
            "audio_s %.2f\n",
            i, slots[i].opened ? 1 : 0, static_cast<long long>(pictures), expected, percent,
            player.AudioSeconds());
        failed += slots[i].opened ? 0 : 1;
        minPercent = std::min(minPercent, percent);
        minPictures = minPictures < 0 ? pictures : std::min(minPictures, pictures);
        minAudio =
            minAudio < 0.0 ? player.AudioSeconds() : std::min(minAudio, player.AudioSeconds());
    }
    std::printf("instances %zu\n", slots.size());
    std::printf("open_failed %d\n", failed);
    std::printf("min_delivered_pct %.1f\n", minPercent);
    std::printf("min_pictures %lld\n", static_cast<long long>(minPictures));
    std::printf("min_audio_s %.2f\n", minAudio);
    std::printf("played_s %.2f\n", endedAt - openedAt);
}

int Run(const Options& options)
{
    if (options.decoderThreads > 0) SetDecoderThreads(options.decoderThreads);
    const Clock::time_point start = Clock::now();
    ErrorLog errors;
    std::atomic<bool> stop{false};
    AddressSpaceWatch addressSpace;
    std::vector<Slot> slots = OpenAll(options, start, errors, stop);
    const double openedAt = SecondsBetween(start, Clock::now());
    while (true) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        addressSpace.Sample();
        const double now = SecondsBetween(start, Clock::now());
        if (options.forSeconds > 0.0 ? now - openedAt >= options.forSeconds
                                     : AllEnded(slots, openedAt, now)) {
            break;
        }
    }
    stop.store(true);
    for (Slot& slot : slots) {
        if (slot.audio.joinable()) slot.audio.join();
    }
    const double endedAt = SecondsBetween(start, Clock::now());
    PrintInstances(options, slots, openedAt, endedAt);
    for (Slot& slot : slots) DestroyInstance(slot.media);
    std::printf("error_logs %d\n", errors.count.load());
    if (errors.count.load() > 0) std::printf("first_error %s\n", errors.first.c_str());
    PrintProcessUse(addressSpace);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: quorvel-bench-instances CLIP --fps R [--instances N] [--for S] "
                     "[--loop] [--decoder-threads N]\n");
        return 2;
    }
    return Run(*options);
}
