#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "instance/quorvel_test_access.h"
#include "instance/recording_sink.h"
#include "platform/time_source.h"
#include "playback/pacing.h"
#include "support/fake_time.h"

namespace {

class VideoDelivery : public ::testing::Test {
protected:
    VideoDelivery()
    {
        access.FrameRate() = 25;
        time.Set(1000);
    }

    int Tick()
    {
        bool flag = false;
        int count = 0;
        return instance.OnRenderGetVideoFrame(buffer.data(), static_cast<int>(buffer.size()), &flag,
                                              &count, &width, &height);
    }

    test::FakeTimeSource time;
    platform::ScopedTimeSource installed{time};
    test::RecordingSink sink;
    CQuorvel instance{L"/nonexistent/unit.mp4", &sink};
    CQuorvelTestAccess access{instance};
    std::vector<uint8_t> buffer = std::vector<uint8_t>(160 * 120 * 3);
    int width = 160;
    int height = 120;
};

// The first picture starts the clock at its own time and goes out at once; each later
// one goes out on the first tick at most half a tick before its time, whatever the rate
// the file declares (here none) and however far apart the pictures are.
TEST_F(VideoDelivery, PicturesGoOutWhenTheClockReachesTheirOwnTime)
{
    access.FrameRate() = 0;
    access.PushPicture(0.0);
    access.PushPicture(0.04);
    access.PushPicture(0.54);
    EXPECT_EQ(Tick(), 100);
    EXPECT_TRUE(access.ClockState().bRunning);
    time.Set(1034);
    EXPECT_EQ(Tick(), 0);
    time.Set(1035);
    EXPECT_EQ(Tick(), 100);
    time.Set(1534);
    EXPECT_EQ(Tick(), 0);
    time.Set(1535);
    EXPECT_EQ(Tick(), 100);

    const auto pictures = sink.Pictures();
    ASSERT_EQ(pictures.size(), 3u);
    EXPECT_EQ(pictures[0].nFormat, VIDEO_FORMAT_I420);
    EXPECT_EQ(pictures[0].nSize, 100);
    EXPECT_EQ(pictures[0].nWidth, 160);
    EXPECT_EQ(access.LastPicturePts().load(), 0.54);
    EXPECT_DOUBLE_EQ(access.ClockAt(1535), 0.535);  // the clock runs with the tick count
    EXPECT_EQ(sink.CountLogs(L"::chun  only video  videosize 100 0.040000"), 1u);
}

// Reads the fake clock, but runs a step of the control thread at the next read first:
// the step then lands inside the tick that reads the time.
class InterleavingTime : public platform::TimeSource {
public:
    explicit InterleavingTime(test::FakeTimeSource& time) : m_time(time) {}
    uint32_t TickCount() override
    {
        if (std::function<void()> step = std::exchange(m_step, nullptr)) {
            step();
        }
        return m_time.TickCount();
    }
    void SleepMs(uint32_t ms) override { m_time.SleepMs(ms); }

    std::function<void()> m_step;

private:
    test::FakeTimeSource& m_time;
};

// A Resume that arrives while a tick counts its due picture must leave a sound time
// base behind, not tick 0, from which every later tick would be due.
TEST_F(VideoDelivery, ResumeDuringATickCannotTearTheTimeBase)
{
    for (int i = 0; i < 12; ++i) {
        access.PushPicture(0.04 * i);
    }
    InterleavingTime interleaving(time);
    platform::ScopedTimeSource hooked(interleaving);
    Tick();
    time.Set(1040);
    interleaving.m_step = [this] { instance.Resume(); };
    Tick();  // the Resume lands in this tick's reading of the time
    for (int i = 0; i < 10; ++i) {
        time.Advance(10);
        Tick();
    }
    EXPECT_LE(sink.PictureCount(), 4u);  // 100 ms at 25 a second, not one per tick
}

// Pictures that come late (the decoder fell behind) go out one per tick until they have
// caught up with the clock.
TEST_F(VideoDelivery, LatePicturesComeOnePerTick)
{
    access.RunClock(0.0, 1000);
    time.Set(1120);
    EXPECT_EQ(Tick(), 0);  // nothing queued
    for (double pts : {0.0, 0.04, 0.08, 0.12}) {
        access.PushPicture(pts);
    }
    EXPECT_EQ(Tick(), 100);
    EXPECT_EQ(Tick(), 100);
    EXPECT_EQ(Tick(), 100);
    EXPECT_EQ(Tick(), 100);
    EXPECT_EQ(Tick(), 0);  // caught up
}

TEST_F(VideoDelivery, TickCountWrapBetweenStartAndNow)
{
    time.Set(0xFFFFFFF0u);
    access.PushPicture(0.0);
    access.PushPicture(0.04);
    EXPECT_EQ(Tick(), 100);
    time.Set(18);  // 34 ms after the start
    EXPECT_EQ(Tick(), 0);
    time.Set(19);
    EXPECT_EQ(Tick(), 100);
}

TEST_F(VideoDelivery, LaggingPicturesAreSkippedUndelivered)
{
    access.RunClock(60.0, 1000);
    for (int i = 0; i <= 60; ++i) {
        access.PushPicture(58.0 + i * 0.04);
    }
    EXPECT_EQ(Tick(), 100);
    // Everything more than 0.3 s behind the clock was dropped; 59.72 was delivered.
    EXPECT_EQ(sink.PictureCount(), 1u);
    EXPECT_DOUBLE_EQ(access.LastPicturePts().load(), 59.72);
    EXPECT_DOUBLE_EQ(access.VideoQueuePts().front(), 59.76);
}

// Records where each delivered picture lies, its last byte, and how many pool buffers
// are lent while the host holds it.
class PoolWatchingSink final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile* /*sender*/, uint32_t event, uintptr_t param1,
                      uintptr_t /*param2*/, uintptr_t /*param3*/, uintptr_t /*param4*/) override
    {
        if (event == MEDIA_EVENT_VIDEO_FRAME) {
            const auto* info = reinterpret_cast<const VideoFrameInfo*>(param1);
            m_data.push_back(info->pData);
            m_lastByte.push_back(info->pData[info->nSize - 1]);
            m_lentDuringEvent.push_back(m_pPool->UsedCount());
        }
    }

    FramePool* m_pPool = nullptr;
    std::vector<const uint8_t*> m_data;
    std::vector<uint8_t> m_lastByte;
    std::vector<size_t> m_lentDuringEvent;
};

// The host is handed the decoder's pool buffer itself, lent until the event returns;
// neither delivered nor skipped pictures are copied into the clock's buffer, and a
// picture larger than that buffer still goes out whole.
TEST_F(VideoDelivery, HostGetsThePoolBufferAndTheClockBufferIsNotWritten)
{
    PoolWatchingSink watching;
    CQuorvel watched(L"/nonexistent/unit.mp4", &watching);
    CQuorvelTestAccess watchedAccess(watched);
    watching.m_pPool = &watchedAccess.Pool();
    watchedAccess.RunClock(60.0, 1000);
    watchedAccess.PushPicture(59.0, 100, 0x11);  // skipped
    watchedAccess.PushPicture(59.6, 100, 0x22);  // skipped
    const int large = static_cast<int>(buffer.size()) + 1000;
    watchedAccess.PushPicture(59.84, large, 0x33);
    watchedAccess.PushPicture(59.88, 100, 0x44);
    bool flag = false;
    int count = 0;
    for (int expected : {large, 100}) {
        EXPECT_EQ(watched.OnRenderGetVideoFrame(buffer.data(), static_cast<int>(buffer.size()),
                                                &flag, &count, &width, &height),
                  expected);
    }

    ASSERT_EQ(watching.m_data.size(), 2u);
    for (const uint8_t* data : watching.m_data) {
        EXPECT_NE(data, buffer.data());
    }
    EXPECT_EQ(watching.m_lastByte, (std::vector<uint8_t>{0x33, 0x44}));
    EXPECT_EQ(watching.m_lentDuringEvent, (std::vector<size_t>{2, 1}));  // with the one queued
    EXPECT_EQ(watchedAccess.Pool().UsedCount(), 0u);
    EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 0));
}

// While the host takes audio, the audio sets the clock and the pictures follow it.
TEST_F(VideoDelivery, PictureWaitsForTheClockToReachItsOwnTime)
{
    access.RunClock(9.98, 1000);
    access.HeardAudioUpTo(10.0, 1000);
    access.PushPicture(10.04);
    time.Set(1054);
    EXPECT_EQ(Tick(), 0);
    time.Set(1055);
    EXPECT_EQ(Tick(), 100);
    EXPECT_EQ(access.LastPicturePts().load(), 10.04);
    EXPECT_EQ(sink.CountLogs(
                  L"OnRenderGetVideoFrame call back m_dLastPlayAVPTS  pts 10.035000,10.040000"),
              1u);
}

// The last picture of a pass goes out once; while the host takes the pass's audio, the
// audio pull starts the next pass when that audio is played out.
TEST_F(VideoDelivery, LastPictureOfThePassGoesOutOnceWhileItsAudioPlaysOn)
{
    access.RunClock(3.0, 1000);
    access.HeardAudioUpTo(3.0, 1000);
    access.LastPicturePts() = 2.96;
    access.PushPicture(3.0);
    access.PushAudio(3.0, 100000);
    access.EndPass();
    access.PushPictureOf(access.Pass(1), 0.0);
    EXPECT_EQ(Tick(), 100);
    EXPECT_EQ(Tick(), 0);
    EXPECT_EQ(Tick(), 0);
    EXPECT_EQ(sink.PictureCount(), 1u);
    EXPECT_EQ(access.VideoQueued(), 1u);
    EXPECT_EQ(access.Playing().nPass, 0u);
}

// While no audio is taken, the next pass starts after the last picture, with what is left
// of the pass's audio dropped; its clock starts at its first picture or sound.
TEST_F(VideoDelivery, WithoutAudioTakenTheNextPassStartsAfterTheLastPicture)
{
    access.RunClock(0.92, 1000);
    access.LastPicturePts() = 0.92;
    access.PushPicture(0.96);
    access.PushAudio(0.98, 100);
    access.EndPass();
    access.PushPictureOf(access.Pass(1), 0.0);
    access.PushPictureOf(access.Pass(1), 0.04);
    access.PushAudioOf(access.Pass(1), 0.0, 100);
    time.Set(1035);
    EXPECT_EQ(Tick(), 100);
    EXPECT_EQ(Tick(), 0);  // the pass's pictures are all shown: the next pass starts

    EXPECT_EQ(access.Playing().nPass, 1u);
    EXPECT_EQ(access.AudioQueuePts(), std::vector<double>{0.0});
    EXPECT_EQ(access.VideoQueuePts(), (std::vector<double>{0.0, 0.04}));
    EXPECT_EQ(sink.CountLogs(L"::last framr  reset 2 0.960000"), 1u);
    EXPECT_EQ(access.ClockAt(1035), 0.0);
    EXPECT_EQ(access.LastPicturePts().load(), 0.0);
    EXPECT_FALSE(access.ClockState().bStarted);
    EXPECT_EQ(Tick(), 100);  // the next pass's first picture starts its clock
    time.Set(1069);
    EXPECT_EQ(Tick(), 0);
    time.Set(1070);
    EXPECT_EQ(Tick(), 100);
    EXPECT_EQ(access.LastPicturePts().load(), 0.04);
}

// While the host pulls audio, its pull starts the clock with the sound it hands out, and
// the first picture follows; a tick before it would run the clock ahead of the sound.
// Once the host has not pulled for a while, the tick starts the clock itself.
TEST_F(VideoDelivery, WhileTheHostPullsItsPullStartsTheClock)
{
    std::vector<uint8_t> pcm(QUORVEL_MAX_AUDIO_CHUNK_BYTES);
    int32_t bytes = 0;
    int32_t rate = 0;
    int32_t channels = 0;
    const auto pull = [&] {
        return instance.OnRenderGetaudioFrame(pcm.data(), &bytes, &rate, &channels, 0, 0);
    };
    EXPECT_EQ(pull(), 0);  // nothing queued yet
    access.PushPicture(0.0);
    access.PushAudio(0.0, 100000);
    time.Set(1000 + playback::PACING_PULL_GAP_MS);
    EXPECT_EQ(Tick(), 0);
    EXPECT_FALSE(access.ClockState().bStarted);
    EXPECT_GT(pull(), 0);
    EXPECT_EQ(access.ClockAt(1000 + playback::PACING_PULL_GAP_MS), 0.0);
    EXPECT_EQ(Tick(), 100);

    access.EndPass();
    access.StartNextPass();
    access.PushPictureOf(access.Pass(1), 0.0);
    time.Set(1001 + 2 * playback::PACING_PULL_GAP_MS);
    EXPECT_EQ(Tick(), 100);
    EXPECT_TRUE(access.ClockState().bStarted);
}

// The host seeks from inside the picture event: the tick that delivered the picture
// must not store its pts over the new position's record afterwards.
TEST_F(VideoDelivery, SeekDuringThePictureEventKeepsTheNewRecord)
{
    test::SteppingSink seeking;
    CQuorvel seeked(L"/nonexistent/unit.mp4", &seeking);
    CQuorvelTestAccess seekedAccess(seeked);
    seeking.m_onPicture = [&seeked] { seeked.SetPos(2); };
    seekedAccess.RunClock(6.0, 1000);
    seekedAccess.LastPicturePts() = 5.96;
    seekedAccess.PushPicture(6.0);
    bool flag = false;
    int count = 0;
    EXPECT_EQ(seeked.OnRenderGetVideoFrame(buffer.data(), static_cast<int>(buffer.size()), &flag,
                                           &count, &width, &height),
              100);
    EXPECT_EQ(seekedAccess.LastPicturePts().load(), 0.0);
    EXPECT_EQ(seekedAccess.ClockAt(1000), 2.0);
    EXPECT_TRUE(seeked.AcceptAudioPts(2.0));
}

TEST_F(VideoDelivery, PausedSnapshotIsResentEveryTickAndTheQueueIsLeftAlone)
{
    access.Width() = 10;
    access.Height() = 10;
    access.PushPicture(5.0, 150, 0x11);
    access.PushPicture(5.04, 150, 0x22);
    instance.Pause();
    EXPECT_EQ(access.SnapshotSize().load(), 150);
    EXPECT_EQ(Tick(), 150);
    EXPECT_EQ(Tick(), 150);
    EXPECT_EQ(access.VideoQueued(), 1u);
    const auto pictures = sink.Pictures();
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].md5, pictures[1].md5);
    EXPECT_EQ(pictures[0].nWidth, 160);  // the size of the held picture
    instance.Resume();
}

// Paused with nothing held (the queue was empty), the clock stands: no picture goes out
// until Resume.
TEST_F(VideoDelivery, PausedWithoutSnapshotShowsNothingUntilResume)
{
    instance.Pause();  // empty queue: nothing held
    EXPECT_EQ(access.SnapshotSize().load(), 0);
    access.PushPicture(0.0);
    EXPECT_EQ(Tick(), 0);
    time.Set(1040);
    EXPECT_EQ(Tick(), 0);
    instance.Resume();
    EXPECT_EQ(Tick(), 100);
}

TEST_F(VideoDelivery, WithoutSinkPicturesAreTakenAndLost)
{
    CQuorvel silent(L"/nonexistent/unit.mp4", nullptr);
    CQuorvelTestAccess silentAccess(silent);
    silentAccess.RunClock(0.2, 1000);
    silentAccess.PushPicture(0.1);
    bool flag = false;
    int count = 0;
    EXPECT_EQ(silent.OnRenderGetVideoFrame(buffer.data(), static_cast<int>(buffer.size()), &flag,
                                           &count, &width, &height),
              100);
    EXPECT_EQ(silentAccess.VideoQueued(), 0u);
    EXPECT_EQ(sink.PictureCount(), 0u);
}

}  // namespace
