// Stress: many instances at once, long seeded runs of the whole host cycle, seek storms,
// teardown at awkward moments and a log flood against instance churn. Each scenario runs
// under a watchdog and must leave no thread behind; leaks show under LeakSanitizer.
#include <gtest/gtest.h>

#include <random>

#include "diag/log.h"
#include "instance/quorvel_test_access.h"
#include "reliability/reliability_support.h"

namespace reliability {
namespace {

using namespace std::chrono_literals;

constexpr auto kCloseBound = 8s;  // the stop wait (5 s) and some slack

#if defined(__SANITIZE_THREAD__)
constexpr int kHostCycles = 250;  // ThreadSanitizer makes every cycle several times slower
#else
constexpr int kHostCycles = 500;
#endif

IMediaFile* Create(const std::string& fixture, MediaFileInterface* sink)
{
    return CreateInstance(Wide(test::MediaPath(fixture)).c_str(), sink);
}

CQuorvelTestAccess Access(IMediaFile* media)
{
    return CQuorvelTestAccess(*static_cast<CQuorvel*>(media));
}

// Destroys and says whether it came back within the bound.
bool DestroyWithinBound(InstancePtr& media)
{
    const auto start = std::chrono::steady_clock::now();
    media.reset();
    return std::chrono::steady_clock::now() - start < kCloseBound;
}

class Stress : public ::testing::Test {
protected:
    void SetUp() override { m_nThreads = BaselineThreadCount(); }
    void TearDown() override
    {
        EXPECT_TRUE(WaitFor([this] { return ThreadCount() <= m_nThreads; }, 5s))
            << ThreadCount() << " threads, " << m_nThreads << " before";
    }

    size_t m_nThreads = 0;
};

TEST_F(Stress, EightInstancesPlayAtOnceWithEightAudioThreads)
{
    Watchdog watchdog("eight instances", 90s);
    const std::vector<std::string> fixtures = {"h264_aac.mp4",  "mpeg4_mp3.avi",  "h264_pcm.mkv",
                                               "two_audio.mkv", "start_time.ts",  "loop_1s.mp4",
                                               "pcm_s16.wav",   "audio_22050.mp3"};
    std::vector<std::unique_ptr<CountingSink>> sinks;
    std::vector<InstancePtr> instances;
    std::vector<std::unique_ptr<test::AudioPuller>> audio;
    for (const std::string& fixture : fixtures) {
        sinks.push_back(std::make_unique<CountingSink>());
        instances.emplace_back(Create(fixture, sinks.back().get()));
        instances.back()->SetLoop(1);
        ASSERT_EQ(instances.back()->Open(), 1) << fixture;
    }
    for (InstancePtr& media : instances)
        audio.push_back(std::make_unique<test::AudioPuller>(media.get()));

    EXPECT_TRUE(WaitFor(
        [&] {
            for (size_t i = 0; i < instances.size(); ++i) {
                if (audio[i]->Bytes() == 0) return false;
                if (instances[i]->IsAudioOnly() == 0 && sinks[i]->Pictures() < 5) return false;
            }
            return true;
        },
        30s));
    for (auto& thread : audio) thread->Stop();
    for (InstancePtr& media : instances) EXPECT_TRUE(DestroyWithinBound(media));
    for (auto& sink : sinks) EXPECT_EQ(sink->Unknown(), 0);
}

// The host's whole cycle with seeded random choices and pauses: a failure names its seed
// and cycle, and the run repeats exactly as far as the engine's own threads allow.
TEST_F(Stress, HostCyclesWithRandomTiming)
{
    Watchdog watchdog("host cycles", kWatchdogLimit);
    const std::vector<std::string> fixtures = {"h264_aac.mp4",   "mpeg4_mp3.avi", "pcm_s16.wav",
                                               "video_only.mp4", "cover.mp3",     "not_media.mp4",
                                               "truncated.mp4",  "loop_1s.mp4"};
    constexpr unsigned kSeed = 7;
    std::mt19937 random(kSeed);
    auto pause = [&random] {
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    };
    // Every sink outlives the run, sealed once its instance is gone, so an event that
    // comes late, even many cycles later, is counted.
    std::vector<std::unique_ptr<CountingSink>> sinks;
    for (int cycle = 0; cycle < kHostCycles; ++cycle) {
        SCOPED_TRACE("seed " + std::to_string(kSeed) + ", cycle " + std::to_string(cycle));
        sinks.push_back(std::make_unique<CountingSink>());
        CountingSink& sink = *sinks.back();
        InstancePtr media(Create(fixtures[random() % fixtures.size()], &sink));
        ASSERT_NE(media, nullptr);
        int32_t audioOnly = 0;
        MediaFileInfo info{};
        media->GetFileInfo(0, &audioOnly, &info);
        media->SetLoop(static_cast<int32_t>(random() % 2));
        if (media->Open() == 1) {
            test::AudioPuller audio(media.get());
            for (int step = static_cast<int>(random() % 4); step > 0; --step) {
                pause();
                media->SetPos(static_cast<int64_t>(random() % 4));
            }
            pause();
            media->Pause();
            pause();
            media->Resume();
            int64_t position = 0;
            int64_t duration = 0;
            EXPECT_EQ(media->GetPos(&position, &duration), 1);
        }
        if (random() % 2 == 0) media->Close();  // else DestroyInstance closes it
        ASSERT_TRUE(DestroyWithinBound(media));
        sink.Seal();
        EXPECT_EQ(sink.Unknown(), 0);
    }
    std::this_thread::sleep_for(100ms);  // room for a late event of the last cycles
    for (size_t cycle = 0; cycle < sinks.size(); ++cycle) {
        EXPECT_EQ(sinks[cycle]->Late(), 0) << "cycle " << cycle;
    }
}

TEST_F(Stress, HundredSeeksInASecondLeavePlaybackRunning)
{
    Watchdog watchdog("seek storm", 60s);
    CountingSink sink;
    InstancePtr media(Create("h264_aac.mp4", &sink));
    media->SetLoop(1);
    ASSERT_EQ(media->Open(), 1);
    test::AudioPuller audio(media.get());
    std::mt19937 random(100);
    for (int seek = 0; seek < 100; ++seek) {
        media->SetPos(static_cast<int64_t>(random() % 3));
        std::this_thread::sleep_for(10ms);
    }
    const int pictures = sink.Pictures();
    const int64_t bytes = audio.Bytes();
    EXPECT_TRUE(
        WaitFor([&] { return sink.Pictures() > pictures + 10 && audio.Bytes() > bytes; }, 20s));
    audio.Stop();
    EXPECT_TRUE(DestroyWithinBound(media));
}

// Nobody pulls the audio of an audio-only file, so its queue fills and the decoder waits
// for room until the instance goes.
TEST_F(Stress, DestroyWhileTheDecoderWaitsForRoom)
{
    Watchdog watchdog("back-pressure", 60s);
    for (const char* fixture : {"pcm_s16.wav", "h264_aac.mp4"}) {
        CountingSink sink;
        InstancePtr media(Create(fixture, &sink));
        ASSERT_EQ(media->Open(), 1);
        CQuorvelTestAccess access = Access(media.get());
        const bool audioOnly = media->IsAudioOnly() != 0;
        ASSERT_TRUE(WaitFor(
            [&] {
                return audioOnly ? access.AudioQueued() > 50
                                 : access.Demux().ReadAheadFull() && access.VideoQueued() > 6;
            },
            20s))
            << fixture;
        EXPECT_TRUE(DestroyWithinBound(media)) << fixture;
    }
}

TEST_F(Stress, DestroyRightAfterTheAudioThreadStopped)
{
    Watchdog watchdog("audio stop", 90s);
    std::mt19937 random(11);
    for (const char* fixture : {"h264_aac.mp4", "pcm_s16.wav", "mpeg4_mp3.avi", "loop_1s.mp4",
                                "h264_pcm.mkv", "audio_22050.mp3"}) {
        CountingSink sink;
        InstancePtr media(Create(fixture, &sink));
        media->SetLoop(1);
        ASSERT_EQ(media->Open(), 1);
        test::AudioPuller audio(media.get());
        ASSERT_TRUE(WaitFor([&] { return audio.Bytes() > 0; }, 20s)) << fixture;
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 100));
        audio.Stop();
        EXPECT_TRUE(DestroyWithinBound(media)) << fixture;
        sink.Seal();
        EXPECT_EQ(sink.Late(), 0);
    }
}

// Eight threads log back to back while instances come and go: the registry is held
// shared by the loggers and exclusively by every create and destroy. Readers may join a
// shared hold while a writer waits, so each create and destroy waits for a moment with no
// logger inside; the loggers yield between messages to leave such moments.
TEST_F(Stress, LogFloodWhileInstancesComeAndGo)
{
    Watchdog watchdog("log flood", 90s);
    constexpr int kInstances = 200;
    std::atomic<bool> stop{false};
    std::atomic<int64_t> logged{0};
    std::vector<std::thread> loggers;
    for (int t = 0; t < 8; ++t) {
        loggers.emplace_back([&stop, &logged, t] {
            const std::wstring text(static_cast<size_t>(t) * 100 + 1, L'λ');
            while (!stop.load()) {
                LogMessage(t % 2 == 0 ? LOG_ERROR : LOG_INFO, L"flood %d %ls", t, text.c_str());
                logged.fetch_add(1);
                std::this_thread::yield();
            }
        });
    }
    CountingSink keeper;  // an instance that lives through the whole flood
    InstancePtr lasting(Create("h264_aac.mp4", &keeper));
    std::vector<std::unique_ptr<CountingSink>> sinks;
    size_t delivered = 0;
    for (int i = 0; i < kInstances; ++i) {
        sinks.push_back(std::make_unique<CountingSink>());
        InstancePtr media(Create("h264_aac.mp4", sinks.back().get()));
        if (i % 10 == 0) {
            int32_t audioOnly = 0;
            MediaFileInfo info{};
            EXPECT_EQ(media->GetFileInfo(0, &audioOnly, &info), 1);
        }
        media.reset();
        sinks.back()->Seal();
        delivered += sinks.back()->LogCount();
    }
    stop.store(true);
    for (std::thread& logger : loggers) logger.join();
    delivered += keeper.LogCount();
    lasting.reset();

    EXPECT_GT(logged.load(), 0);
    EXPECT_GT(delivered, 0u);
    for (auto& sink : sinks) EXPECT_EQ(sink->Late(), 0);
}

}  // namespace
}  // namespace reliability
