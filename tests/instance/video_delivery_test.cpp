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

TEST_F(VideoDelivery, TickPacingFirstPictureAt40msSecondAt80ms)
{
    access.PushPicture(0.0);
    access.PushPicture(0.04);
    EXPECT_EQ(Tick(), 0);  // takes the time base at 1000
    EXPECT_EQ(access.StartTick().load(), 1000u);
    time.Set(1039);
    EXPECT_EQ(Tick(), 0);
    time.Set(1040);
    EXPECT_EQ(Tick(), 100);
    time.Set(1079);
    EXPECT_EQ(Tick(), 0);
    time.Set(1080);
    EXPECT_EQ(Tick(), 100);

    const auto pictures = sink.Pictures();
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].nFormat, VIDEO_FORMAT_I420);
    EXPECT_EQ(pictures[0].nSize, 100);
    EXPECT_EQ(pictures[0].nWidth, 160);
    EXPECT_EQ(access.LastPicturePts().load(), 0.04);
    EXPECT_EQ(access.Clock().load(), 0.04);  // without audio the clock follows the pictures
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

TEST_F(VideoDelivery, EmptyQueueStillUsesUpTheFramePeriod)
{
    Tick();
    time.Set(1120);  // three periods
    EXPECT_EQ(Tick(), 0);  // due, but nothing queued
    access.PushPicture(0.0);
    access.PushPicture(0.04);
    access.PushPicture(0.08);
    EXPECT_EQ(Tick(), 100);  // overdue pictures come one per tick
    EXPECT_EQ(Tick(), 100);
    EXPECT_EQ(Tick(), 0);  // caught up
}

TEST_F(VideoDelivery, FrameRateZeroIsNeverDue)
{
    access.FrameRate() = 0;
    access.PushPicture(0.0);
    Tick();
    time.Advance(100000);
    EXPECT_EQ(Tick(), 0);
    EXPECT_EQ(access.VideoQueued(), 1u);
}

TEST_F(VideoDelivery, TickCountWrapBetweenBaseAndNow)
{
    time.Set(0xFFFFFFF0u);
    access.PushPicture(0.0);
    EXPECT_EQ(Tick(), 0);
    time.Set(20);
    EXPECT_EQ(Tick(), 0);
    time.Set(24);
    EXPECT_EQ(Tick(), 100);
}

TEST_F(VideoDelivery, LaggingPicturesAreSkippedUndelivered)
{
    access.AudioSynced() = true;
    access.Clock() = 60.0;
    for (int i = 0; i <= 60; ++i) {
        access.PushPicture(58.0 + i * 0.04);
    }
    EXPECT_EQ(Tick(), 100);
    // Everything up to 59.72 was dropped; 59.76 was the one delivered.
    EXPECT_EQ(sink.PictureCount(), 1u);
    EXPECT_DOUBLE_EQ(access.LastPicturePts().load(), 59.76);
    EXPECT_DOUBLE_EQ(access.VideoQueuePts().front(), 59.80);
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
    watchedAccess.AudioSynced() = true;
    watchedAccess.Clock() = 60.0;
    watchedAccess.PushPicture(59.0, 100, 0x11);  // skipped
    watchedAccess.PushPicture(59.8, 100, 0x22);  // skipped
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

TEST_F(VideoDelivery, AudioPacingWaitsForTheClockToReachThePreviousPicture)
{
    access.AudioSynced() = true;
    access.LastPicturePts() = 10.0;
    access.Clock() = 9.98;
    access.PushPicture(10.04);
    EXPECT_EQ(Tick(), 0);
    access.Clock() = 10.0;
    EXPECT_EQ(Tick(), 100);
    EXPECT_EQ(access.LastPicturePts().load(), 10.04);
    EXPECT_EQ(access.Clock().load(), 10.0);  // only the audio moves the clock
    EXPECT_EQ(sink.CountLogs(
                  L"OnRenderGetVideoFrame call back m_dLastPlayAVPTS  pts 10.000000,10.040000"),
              1u);
}

TEST_F(VideoDelivery, LastPictureOfThePassUnderAudioPacingGoesOutOnce)
{
    access.AudioSynced() = true;
    access.LastPicturePts() = 2.96;
    access.Clock() = 3.0;
    access.PushPicture(3.0);
    access.PushAudio(3.0, 100000);  // the pass's audio plays on
    access.EndPass();
    access.PushPictureOf(access.Pass(1), 0.0);
    EXPECT_EQ(Tick(), 100);
    EXPECT_EQ(Tick(), 0);
    EXPECT_EQ(Tick(), 0);
    EXPECT_EQ(sink.PictureCount(), 1u);
    EXPECT_EQ(access.VideoQueued(), 1u);
    EXPECT_EQ(access.Playing().nPass, 0u);  // the audio pull starts the next pass
}

TEST_F(VideoDelivery, TickPacingStartsTheNextPassAfterTheLastPicture)
{
    access.Clock() = 0.92;
    access.LastPicturePts() = 0.92;
    access.PushPicture(0.96);
    access.PushAudio(0.98, 100);
    access.EndPass();
    access.PushPictureOf(access.Pass(1), 0.0);
    access.PushPictureOf(access.Pass(1), 0.04);
    access.PushAudioOf(access.Pass(1), 0.0, 100);
    Tick();
    time.Set(1040);
    EXPECT_EQ(Tick(), 100);
    EXPECT_EQ(Tick(), 0);  // the pass's pictures are all shown: the next pass starts

    EXPECT_EQ(access.Playing().nPass, 1u);
    EXPECT_EQ(access.AudioQueuePts(), std::vector<double>{0.0});
    EXPECT_EQ(access.VideoQueuePts(), (std::vector<double>{0.0, 0.04}));
    EXPECT_EQ(sink.CountLogs(L"::last framr  reset 2 0.960000"), 1u);
    EXPECT_EQ(access.Clock().load(), 0.0);
    EXPECT_EQ(access.LastPicturePts().load(), 0.0);
    EXPECT_EQ(access.FrameCount().load(), 0);
    EXPECT_FALSE(access.AudioSynced().load());
    time.Set(1080);
    EXPECT_EQ(Tick(), 0);  // a new time base
    time.Set(1120);
    EXPECT_EQ(Tick(), 100);
}

// A file without audio (or whose audio queue was empty at the end of input) follows its
// pictures in every pass, not only the first.
TEST_F(VideoDelivery, AfterTheNextPassStartsTheClockFollowsThePicturesAgain)
{
    access.PushPicture(0.96);
    access.EndPass();
    access.PushPictureOf(access.Pass(1), 0.0);
    access.PushPictureOf(access.Pass(1), 0.04);
    Tick();
    time.Set(1040);
    EXPECT_EQ(Tick(), 100);
    EXPECT_EQ(Tick(), 0);
    EXPECT_EQ(access.Playing().nPass, 1u);
    for (uint32_t now = 1050; now <= 1200; now += 10) {
        time.Set(now);
        Tick();
    }
    EXPECT_EQ(sink.PictureCount(), 3u);
    EXPECT_EQ(access.Clock().load(), 0.04);
    EXPECT_EQ(access.LastPicturePts().load(), 0.04);
}

// The host seeks from inside the picture event: the tick that delivered the picture
// must not store its pts over the new position's record afterwards.
TEST_F(VideoDelivery, SeekDuringThePictureEventKeepsTheNewRecord)
{
    test::SteppingSink seeking;
    CQuorvel seeked(L"/nonexistent/unit.mp4", &seeking);
    CQuorvelTestAccess seekedAccess(seeked);
    seeking.m_onPicture = [&seeked] { seeked.SetPos(2); };
    seekedAccess.AudioSynced() = true;
    seekedAccess.Clock() = 6.0;
    seekedAccess.LastPicturePts() = 5.96;
    seekedAccess.PushPicture(6.0);
    bool flag = false;
    int count = 0;
    EXPECT_EQ(seeked.OnRenderGetVideoFrame(buffer.data(), static_cast<int>(buffer.size()), &flag,
                                           &count, &width, &height),
              100);
    EXPECT_EQ(seekedAccess.LastPicturePts().load(), 0.0);
    EXPECT_EQ(seekedAccess.Clock().load(), 2.0);
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

TEST_F(VideoDelivery, PausedWithoutSnapshotPlaysOn)
{
    instance.Pause();  // empty queue: nothing held
    EXPECT_EQ(access.SnapshotSize().load(), 0);
    access.PushPicture(0.0);
    Tick();
    time.Set(1040);
    EXPECT_EQ(Tick(), 100);
    instance.Resume();
}

TEST_F(VideoDelivery, WithoutSinkPicturesAreTakenAndLost)
{
    CQuorvel silent(L"/nonexistent/unit.mp4", nullptr);
    CQuorvelTestAccess silentAccess(silent);
    silentAccess.AudioSynced() = true;
    silentAccess.Clock() = 0.2;
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
