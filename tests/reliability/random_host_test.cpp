// A randomised host through the public header alone: three instances at once, each driven
// by a control thread of its own through random sequences of every operation with random
// gaps, and an audio thread each that pulls all the time, over files of every kind.
// Everything is checked against what the header promises; a violation names the seed and
// the instance's last operations, so that the run can be repeated.
//
// RANDOM_HOST_SEED=N runs that one seed (0: a fresh one, printed), RANDOM_HOST_SEEDS=K
// runs K seeds from there, RANDOM_HOST_OPS=M operations per instance; without them a few
// fixed seeds run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "instance/recording_sink.h"
#include "quorvel.h"
#include "support/media_path.h"
#include "support/wait_until.h"

namespace {

using namespace std::chrono_literals;

struct FileKind {
    const char* name;
    bool playable;
    bool video;
    bool audio;
};

const FileKind kFiles[] = {
    {"h264_aac.mp4", true, true, true},     {"video_only.mp4", true, true, false},
    {"pcm_s16.wav", true, false, true},     {"audio_22050.mp3", true, false, true},
    {"start_time.ts", true, true, true},    {"loop_1s.mp4", true, true, true},
    {"not_media.mp4", false, false, false}, {"audio_start20.ts", true, false, true},
    {"joined.ts", true, true, true},        {"late_audio.mp4", true, true, true},
    {"vfr.mkv", true, true, false},
};

// The host's sink: what arrived, whether two events overlapped, and whether one came
// when the header says none may.
class ModelSink final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile* /*sender*/, uint32_t event, uintptr_t param1,
                      uintptr_t /*param2*/, uintptr_t /*param3*/, uintptr_t /*param4*/) override
    {
        if (m_nInFlight.fetch_add(1) != 0) m_nOverlaps.fetch_add(1);
        if (m_bDestroyed.load()) m_nAfterDestroy.fetch_add(1);
        if (event == MEDIA_EVENT_VIDEO_FRAME) {
            if (m_bClosed.load()) m_nPicturesAfterClose.fetch_add(1);
            m_nPictures.fetch_add(1);
            if (m_bPaused.load())
                NotePausedPicture(*reinterpret_cast<const VideoFrameInfo*>(param1));
        }
        m_nInFlight.fetch_sub(1);
    }

    // Control thread: the header's states as the host has made them.
    void Closed(bool closed) { m_bClosed.store(closed); }
    void Destroyed() { m_bDestroyed.store(true); }
    void Paused(bool paused)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_bPaused.store(paused);
        m_strLastPaused.clear();
        m_nPausedChanges = 0;
    }
    // Pictures that differed from the one before while paused: one under way at the Pause
    // and the held one may both arrive; the held one then repeats.
    int PausedChanges()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_nPausedChanges;
    }

    std::atomic<int> m_nOverlaps{0};
    std::atomic<int> m_nAfterDestroy{0};
    std::atomic<int> m_nPicturesAfterClose{0};
    std::atomic<size_t> m_nPictures{0};

private:
    void NotePausedPicture(const VideoFrameInfo& info)
    {
        const std::string md5 = test::Md5Hex(info.pData, static_cast<size_t>(info.nSize));
        std::lock_guard<std::mutex> guard(m_mutex);
        if (md5 != m_strLastPaused) ++m_nPausedChanges;
        m_strLastPaused = md5;
    }

    std::atomic<int> m_nInFlight{0};
    std::atomic<bool> m_bDestroyed{false};
    std::atomic<bool> m_bClosed{true};
    std::atomic<bool> m_bPaused{false};
    std::mutex m_mutex;
    std::string m_strLastPaused;  // guarded by m_mutex
    int m_nPausedChanges = 0;  // guarded by m_mutex
};

// One instance and the host's threads around it.
class HostedInstance {
public:
    HostedInstance(uint64_t seed, int index)
        : m_random(seed * 7919 + static_cast<uint64_t>(index)), m_nSeed(seed), m_nIndex(index)
    {
        Create();
        m_audio = std::thread([this] { PullAudio(); });
    }
    ~HostedInstance()
    {
        m_bStop.store(true);
        m_audio.join();
        Destroy();
    }

    void Run(int operations)
    {
        // The first violation ends the run: the instance's state no longer says much.
        for (int i = 0; i < operations && !m_bViolated; ++i) {
            Step();
            m_nProgress.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(Pick(0, 30)));
        }
    }
    size_t Progress() const { return m_nProgress.load(); }
    std::string History()
    {
        std::lock_guard<std::mutex> guard(m_historyMutex);
        std::ostringstream text;
        for (const std::string& op : m_history) text << "  " << op << "\n";
        return text.str();
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    void Note(const std::string& op)
    {
        std::lock_guard<std::mutex> guard(m_historyMutex);
        m_history.push_back(op);
        if (m_history.size() > 30) m_history.pop_front();
    }
    void Violation(const std::string& what)
    {
        m_bViolated = true;
        ADD_FAILURE() << "seed " << m_nSeed << " (repeat with RANDOM_HOST_SEED=" << m_nSeed
                      << " RANDOM_HOST_SEEDS=1), instance " << m_nIndex << " (" << m_file->name
                      << "): " << what << "\nlast operations:\n"
                      << History();
    }
    void Expect(bool holds, const std::string& what)
    {
        if (!holds && !m_bViolated) Violation(what);
    }

    void Create()
    {
        m_file = &kFiles[Pick(0, static_cast<int>(std::size(kFiles)) - 1)];
        m_sink = std::make_unique<ModelSink>();
        IMediaFile* created =
            CreateInstance(test::WideMediaPath(m_file->name).c_str(), m_sink.get());
        {
            std::lock_guard<std::mutex> guard(m_instanceMutex);
            m_instance = created;
        }
        m_bOpen = false;
        SetPaused(false);
        Note(std::string("CreateInstance ") + m_file->name);
    }
    void Destroy()
    {
        IMediaFile* victim = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_instanceMutex);
            victim = m_instance;
            m_instance = nullptr;
        }
        DestroyInstance(victim);
        m_sink->Destroyed();
        std::this_thread::sleep_for(20ms);  // an event that breaks the rule shows by now
        Expect(m_sink->m_nAfterDestroy.load() == 0, "an event after DestroyInstance");
        m_retiredSinks.push_back(std::move(m_sink));
    }

    // Pulls without pause, as a renderer does; none may be played while paused.
    void PullAudio()
    {
        std::vector<uint8_t> chunk(QUORVEL_MAX_AUDIO_CHUNK_BYTES);
        while (!m_bStop.load()) {
            {
                std::lock_guard<std::mutex> guard(m_instanceMutex);
                if (m_instance != nullptr) {
                    const bool pausedBefore = m_bPausedForAudio.load();
                    const uint64_t pauseBefore = m_nPauseEpoch.load();
                    int32_t bytes = 0;
                    int32_t rate = 0;
                    int32_t channels = 0;
                    const int32_t played = m_instance->OnRenderGetaudioFrame(
                        chunk.data(), &bytes, &rate, &channels, 0, 0);
                    if (played > 0) {
                        m_nChunks.fetch_add(1);
                        if (pausedBefore && pauseBefore == m_nPauseEpoch.load())
                            m_nAudioWhilePaused.fetch_add(1);
                    }
                }
            }
            std::this_thread::sleep_for(10ms);
        }
    }

    void Step()
    {
        const int choice = Pick(0, 99);
        if (choice < 10)
            Open();
        else if (choice < 16)
            Close();
        else if (choice < 26)
            Pause();
        else if (choice < 36)
            Resume();
        else if (choice < 54)
            Seek();
        else if (choice < 60)
            Loop();
        else if (choice < 72)
            Positions();
        else if (choice < 80)
            Queries();
        else if (choice < 84)
            FileInfo();
        else if (choice < 88)
            Recreate();
        else
            Probe();
        CheckSink();
    }

    void CheckSink()
    {
        Expect(m_sink->m_nOverlaps.load() == 0, "two events of one sink overlapped");
        Expect(m_sink->m_nPicturesAfterClose.load() == 0, "a picture after Close");
        Expect(m_sink->PausedChanges() <= 2, "the held picture changed while paused");
        Expect(m_nAudioWhilePaused.load() == 0, "audio played while paused");
    }

    // Open of a closed instance plays unpaused from its start.
    void Open()
    {
        const bool wasOpen = m_bOpen;
        if (!wasOpen) {
            SetPaused(false);
            m_sink->Closed(false);
        }
        const int32_t result = m_instance->Open();
        Note("Open -> " + std::to_string(result));
        Expect(result == (!wasOpen && m_file->playable ? 1 : 0), "Open's result");
        m_bOpen = true;
        Expect(m_instance->IsOpen() == 1, "IsOpen after Open");
    }
    void Close()
    {
        m_instance->Close();
        Note("Close");
        m_bOpen = false;
        m_sink->Closed(true);
        Expect(m_instance->IsOpen() == 0, "IsOpen after Close");
    }
    void Pause()
    {
        m_bPausedForAudio.store(false);
        m_instance->Pause();
        Note("Pause");
        SetPaused(true);
    }
    void Resume()
    {
        SetPaused(false);
        Expect(m_instance->Resume() == 1, "Resume's result");
        Note("Resume");
    }
    void SetPaused(bool paused)
    {
        m_nPauseEpoch.fetch_add(1);
        m_bPaused = paused;
        m_sink->Paused(paused);
        m_bPausedForAudio.store(paused);
    }
    void Seek()
    {
        static const int64_t kTargets[] = {0, 1, 2, -1, 7, 100, INT64_MAX / 3, INT64_MIN};
        const int64_t target = kTargets[Pick(0, static_cast<int>(std::size(kTargets)) - 1)];
        Note("SetPos(" + std::to_string(target) + ")");
        Expect(m_instance->SetPos(target) == 1, "SetPos's result");
        // While paused the new position's first picture is held in place of the old one.
        if (m_bPaused) m_sink->Paused(true);
    }
    void Loop()
    {
        const int loop = Pick(0, 1);
        m_instance->SetLoop(loop);
        Note("SetLoop(" + std::to_string(loop) + ")");
    }
    void Positions()
    {
        int64_t pos = -7;
        int64_t duration = -7;
        Expect(m_instance->GetPos(&pos, &duration) == 1, "GetPos's result");
        Note("GetPos -> " + std::to_string(pos) + "/" + std::to_string(duration));
        if (!m_bOpen) {
            Expect(pos == 0 && duration == -1, "GetPos of a closed instance");
        } else if (duration < 0) {
            Expect(pos == 0, "GetPos of an instance whose file did not open");
        } else {
            Expect(pos >= 0 && (duration == 0 || pos <= duration), "GetPos within the media");
        }
    }
    void Queries()
    {
        Note("IsOpen, IsPaused, IsAudioOnly");
        Expect(m_instance->IsOpen() == (m_bOpen ? 1 : 0), "IsOpen");
        Expect(m_instance->IsPaused() == (m_bPaused ? 1 : 0), "IsPaused");
        if (m_bOpen && m_file->playable) {
            const bool audioOnly = m_file->audio && !m_file->video;
            Expect(m_instance->IsAudioOnly() == (audioOnly ? 1 : 0), "IsAudioOnly");
        }
    }
    void FileInfo()
    {
        int32_t audioOnly = -1;
        MediaFileInfo info{};
        const int32_t result = m_instance->GetFileInfo(0, &audioOnly, &info);
        Note("GetFileInfo -> " + std::to_string(result));
        Expect(result == (!m_bOpen && m_file->playable ? 1 : 0), "GetFileInfo's result");
        if (result == 1) {
            Expect(audioOnly == (m_file->audio && !m_file->video ? 1 : 0),
                   "GetFileInfo's audio only");
        }
    }
    void Recreate()
    {
        Note("DestroyInstance");
        Destroy();
        Create();
    }
    // Whatever came before, playing from 1 s with looping on makes pictures and audio flow.
    void Probe()
    {
        if (!m_bOpen || !m_file->playable) return;
        Resume();
        m_instance->SetLoop(1);
        m_instance->SetPos(1);
        Note("probe: Resume, SetLoop(1), SetPos(1)");
        const size_t pictures = m_sink->m_nPictures.load();
        const size_t chunks = m_nChunks.load();
        const bool flows = test::WaitUntil(
            [&] {
                return (!m_file->video || m_sink->m_nPictures.load() >= pictures + 5) &&
                       (!m_file->audio || m_nChunks.load() >= chunks + 10);
            },
            10000);
        Expect(flows, "pictures and audio do not flow after SetLoop(1) and SetPos(1)");
    }

    std::mt19937_64 m_random;
    const uint64_t m_nSeed;
    const int m_nIndex;
    bool m_bViolated = false;  // control thread
    const FileKind* m_file = nullptr;
    std::unique_ptr<ModelSink> m_sink;
    std::vector<std::unique_ptr<ModelSink>> m_retiredSinks;  // events may still be counted
    bool m_bOpen = false;  // control thread: the host's view
    bool m_bPaused = false;
    std::mutex m_instanceMutex;  // the host's own lock around the instance pointer
    IMediaFile* m_instance = nullptr;  // guarded by m_instanceMutex for the audio thread
    std::atomic<bool> m_bPausedForAudio{false};
    std::atomic<uint64_t> m_nPauseEpoch{0};
    std::atomic<size_t> m_nChunks{0};
    std::atomic<int> m_nAudioWhilePaused{0};
    std::atomic<size_t> m_nProgress{0};
    std::atomic<bool> m_bStop{false};
    std::mutex m_historyMutex;
    std::deque<std::string> m_history;  // guarded by m_historyMutex
    std::thread m_audio;
};

uint64_t EnvNumber(const char* name, uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

// Three instances, each on its own control thread, under a watchdog that names a hang.
void RunSeed(uint64_t seed, int operations)
{
    SCOPED_TRACE("seed " + std::to_string(seed) +
                 " (repeat with RANDOM_HOST_SEED=" + std::to_string(seed) + ")");
    std::vector<std::unique_ptr<HostedInstance>> hosted;
    for (int i = 0; i < 3; ++i) hosted.push_back(std::make_unique<HostedInstance>(seed, i));
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        size_t last = 0;
        auto stalledSince = std::chrono::steady_clock::now();
        while (!done.load()) {
            std::this_thread::sleep_for(100ms);
            size_t progress = 0;
            for (const auto& one : hosted) progress += one->Progress();
            if (progress != last) {
                last = progress;
                stalledSince = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - stalledSince > 60s) {
                std::fprintf(stderr, "random host: seed %llu hangs; last operations:\n",
                             static_cast<unsigned long long>(seed));
                for (const auto& one : hosted)
                    std::fprintf(stderr, "%s---\n", one->History().c_str());
                std::abort();
            }
        }
    });
    std::vector<std::thread> controls;
    for (auto& one : hosted) controls.emplace_back([&one, operations] { one->Run(operations); });
    for (std::thread& control : controls) control.join();
    done.store(true);
    watchdog.join();
}

TEST(RandomHost, EveryOperationKeepsTheHeadersPromises)
{
    uint64_t first = EnvNumber("RANDOM_HOST_SEED", 1);
    if (first == 0) {
        first = std::random_device()();
        std::printf("random host: fresh seed %llu\n", static_cast<unsigned long long>(first));
    }
    const uint64_t seeds = EnvNumber("RANDOM_HOST_SEEDS", 2);
    const int operations = static_cast<int>(EnvNumber("RANDOM_HOST_OPS", 40));
    for (uint64_t seed = first; seed < first + seeds && !HasFailure(); ++seed) {
        RunSeed(seed, operations);
    }
}

}  // namespace
