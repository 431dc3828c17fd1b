#include <gtest/gtest.h>

#include <vector>

#include "instance/quorvel_test_access.h"
#include "instance/recording_sink.h"
#include "platform/time_source.h"
#include "playback/pacing.h"
#include "support/fake_time.h"

namespace {

constexpr uint32_t kStart = 1000;  // ms, the fake tick count at the start of each test

class AudioPull : public ::testing::Test {
protected:
    AudioPull() { time.Set(kStart); }

    int Pull()
    {
        return instance.OnRenderGetaudioFrame(buffer.data(), &bytes, &rate, &channels, 0, 0);
    }
    double Clock() { return access.ClockAt(time.TickCount()); }

    test::FakeTimeSource time;
    platform::ScopedTimeSource installed{time};
    test::RecordingSink sink;
    CQuorvel instance{L"/nonexistent/unit.mp4", &sink};
    CQuorvelTestAccess access{instance};
    std::vector<uint8_t> buffer = std::vector<uint8_t>(8192, 0xee);
    int bytes = 0;
    int rate = 0;
    int channels = 0;
};

TEST_F(AudioPull, LessThanTwentyMillisecondsIsLeftQueued)
{
    access.PushAudio(0.0, 3000);
    EXPECT_EQ(Pull(), 0);
    EXPECT_EQ(access.AudioBytes(), 3000);
    EXPECT_EQ(bytes, 0);
    access.PushAudio(0.0, 528);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(bytes, 3528);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(access.AudioBytes(), 0);
}

// The first pull of a pass starts its clock at its first sound, which the chunk is.
TEST_F(AudioPull, ChunkIsCutAcrossBlocksAndTheClockIsSetToItsStart)
{
    access.PushAudio(1.0, 2000, 44100, 2, 0x01);
    access.PushAudio(1.02, 3000, 44100, 2, 0x02);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(Clock(), 1.0);
    EXPECT_TRUE(access.ClockState().bRunning);
    EXPECT_EQ(access.AudioQueuePts(), std::vector<double>{1.02});
    EXPECT_EQ(access.FrontAudioSize(), 1472);
    EXPECT_EQ(access.AudioBytes(), 1472);
    EXPECT_EQ(buffer[0], 0x01);
    EXPECT_EQ(buffer[1999], 0x01);
    EXPECT_EQ(buffer[2000], 0x02);
    EXPECT_EQ(buffer[3527], 0x02);
    EXPECT_EQ(buffer[3528], 0xee);
    EXPECT_EQ(
        sink.CountLogs(
            L"OnRenderGetaudioFrame::m_dLastPlayAVPTS,pts  m_lstvidep1.000000 1.000000 0.000000"),
        1u);
}

// The chunk handed out is the sound starting now: between pulls the clock runs with the
// tick count from it. A host that takes its audio ahead (two chunks at once here) keeps
// the clock running smoothly; one that comes late sets it back to the sound it takes.
TEST_F(AudioPull, TheClockRunsFromTheLastChunkTakenUnlessTheHostIsAhead)
{
    access.PushAudio(2.0, 3528 * 3 + 10);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(Pull(), 3528);  // at the same tick: taken ahead
    EXPECT_EQ(Clock(), 2.0);
    time.Advance(10);
    EXPECT_DOUBLE_EQ(Clock(), 2.01);
    time.Advance(50);  // the third chunk, 2.04, taken 20 ms late
    EXPECT_EQ(Pull(), 3528);
    EXPECT_DOUBLE_EQ(Clock(), 2.04);
    EXPECT_EQ(Pull(), 0);
    EXPECT_EQ(access.AudioBytes(), 10);
}

// Audio that starts after the pictures (or after a gap in the sound) waits for its time:
// silence is played, nothing is taken, and the clock runs on by itself.
TEST_F(AudioPull, AudioAheadOfTheClockWaitsForItsTime)
{
    access.RunClock(0.0, kStart);
    access.PushAudio(3.0, 3528);
    EXPECT_EQ(Pull(), 0);
    time.Set(kStart + 2980);
    EXPECT_EQ(Pull(), 0);
    EXPECT_EQ(access.AudioBytes(), 3528);
    time.Set(kStart + 2990);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(Clock(), 3.0);
}

// After a stall the clock has run on: audio it passed by more than the lag threshold is
// dropped, and the next sound plays when its time comes.
TEST_F(AudioPull, AudioTheClockPassedIsDropped)
{
    access.RunClock(12.0, kStart);
    access.LastPicturePts() = 12.0;
    access.PushAudio(11.5, 3528);
    access.PushAudio(12.02, 3528);
    EXPECT_EQ(Pull(), 0);
    EXPECT_EQ(access.AudioQueuePts(), std::vector<double>{12.02});
    time.Advance(20);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(Clock(), 12.02);
}

TEST_F(AudioPull, PausedHandsOutNothingAndTheClockStands)
{
    access.PushAudio(0.0, 3528 * 2);
    EXPECT_EQ(Pull(), 3528);
    instance.Pause();
    time.Advance(500);
    EXPECT_EQ(Pull(), 0);
    EXPECT_EQ(access.AudioBytes(), 3528);
    EXPECT_EQ(Clock(), 0.0);
    instance.Resume();
    time.Advance(20);
    EXPECT_EQ(Clock(), 0.02);
    EXPECT_EQ(Pull(), 3528);
}

TEST_F(AudioPull, RunningDryLeavesTheClockRunning)
{
    access.RunClock(1.0, kStart);
    EXPECT_EQ(Pull(), 0);
    time.Advance(100);
    EXPECT_DOUBLE_EQ(Clock(), 1.1);
}

// The clock stands at the target until the first sound of the new position is taken.
TEST_F(AudioPull, AfterSetPosTheFirstChunkStartsTheClock)
{
    access.RunClock(5.0, kStart);
    instance.SetPos(60);
    EXPECT_EQ(Clock(), 60.0);
    EXPECT_FALSE(access.ClockState().bStarted);
    access.PushAudio(60.0, 3528);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(Clock(), 60.0);
    EXPECT_TRUE(access.ClockState().bRunning);
}

TEST_F(AudioPull, AudioOnlyStartsTheNextPassAtTheEndOfItsAudio)
{
    access.AudioOnly() = true;
    access.RunClock(2.0, kStart);
    access.PushAudio(2.0, 3528);
    access.EndPass();
    access.PushAudioOf(access.Pass(1), 0.0, 3528);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(access.Playing().nPass, 1u);
    EXPECT_EQ(Clock(), 0.0);
    EXPECT_FALSE(access.ClockState().bStarted);
    EXPECT_EQ(Pull(), 3528);  // the next pass plays from its first chunk
    EXPECT_EQ(Clock(), 0.0);
}

// The chunk that ends a pass does not run on into the next pass's first block, whose time
// line starts again.
TEST_F(AudioPull, ChunkStopsAtTheEndOfItsPassAndEndsInSilence)
{
    access.AudioOnly() = true;
    access.RunClock(15.0, kStart);
    access.PushAudio(15.0, 1000, 44100, 2, 0x01);
    access.EndPass();
    access.PushAudioOf(access.Pass(1), 0.0, 3528, 44100, 2, 0x02);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(buffer[999], 0x01);
    EXPECT_EQ(buffer[1000], 0x00);
    EXPECT_EQ(buffer[3527], 0x00);
    EXPECT_EQ(access.Playing().nPass, 1u);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(buffer[0], 0x02);
    EXPECT_EQ(Clock(), 0.0);
}

// The audio of the pass ends before its pictures: the clock runs on by itself for them,
// and the next pass's audio waits for its pass.
TEST_F(AudioPull, WithPicturesOfThePassStillToComeTheClockRunsOn)
{
    access.LastPicturePts() = 1.92;
    access.RunClock(2.0, kStart);
    access.PushAudio(2.0, 3528);
    access.PushPicture(1.96);
    access.EndPass();
    access.PushAudioOf(access.Pass(1), 0.0, 3528);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(access.Playing().nPass, 0u);
    time.Advance(40);
    EXPECT_EQ(Pull(), 0);
    EXPECT_DOUBLE_EQ(Clock(), 2.04);
    EXPECT_EQ(access.AudioBytes(), 3528);
}

TEST_F(AudioPull, LastPictureShownStartsTheNextPassAfterTheTailOfTheAudio)
{
    access.LastPicturePts() = 1.96;
    access.RunClock(2.0, kStart);
    access.PushAudio(2.0, 3528 + 100);
    access.EndPass();
    access.PushAudioOf(access.Pass(1), 0.0, 3528);
    access.PushPictureOf(access.Pass(1), 0.0);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(access.Playing().nPass, 0u);
    time.Advance(20);
    EXPECT_EQ(Pull(), 3528);  // the 100-byte tail, then silence
    EXPECT_EQ(access.Playing().nPass, 1u);
    EXPECT_EQ(access.AudioQueuePts(), std::vector<double>{0.0});
    EXPECT_EQ(access.AudioBytes(), 3528);
    EXPECT_EQ(access.VideoQueuePts(), std::vector<double>{0.0});
    EXPECT_EQ(Clock(), 0.0);
}

TEST_F(AudioPull, TooLittleAudioWaitsUnlessThePassIsAllQueued)
{
    access.RunClock(24.98, kStart);
    access.PushAudio(24.98, 100);
    EXPECT_EQ(Pull(), 0);
    EXPECT_EQ(access.AudioBytes(), 100);
    access.PushAudioOf(access.Pass(1), 0.0, 3528);  // the next pass's block follows
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(Clock(), 24.98);
    EXPECT_EQ(access.Playing().nPass, 0u);  // pictures of the pass may still come
}

TEST_F(AudioPull, NullOutputsTakeNothing)
{
    access.PushAudio(0.0, 3528);
    EXPECT_EQ(instance.OnRenderGetaudioFrame(buffer.data(), nullptr, &rate, &channels, 0, 0), 0);
    EXPECT_EQ(instance.OnRenderGetaudioFrame(nullptr, &bytes, &rate, &channels, 0, 0), 0);
    EXPECT_EQ(access.AudioBytes(), 3528);
}

// The host seeks from inside the pull's log event, after the chunk was taken and before
// the clock moved: the new position keeps its clock, and the old chunk is not played.
TEST(AudioPullSeek, SeekDuringThePullKeepsTheNewPosition)
{
    test::FakeTimeSource time(kStart);
    platform::ScopedTimeSource installed(time);
    test::SteppingSink seeking;
    CQuorvel instance(L"/nonexistent/unit.mp4", &seeking);
    CQuorvelTestAccess access(instance);
    seeking.m_onLog = [&instance] { instance.SetPos(2); };
    access.RunClock(6.0, kStart);
    access.PushAudio(6.0, 3528);
    std::vector<uint8_t> buffer(3528);
    int bytes = 0;
    int rate = 0;
    int channels = 0;
    EXPECT_EQ(instance.OnRenderGetaudioFrame(buffer.data(), &bytes, &rate, &channels, 0, 0), 0);
    EXPECT_EQ(access.ClockAt(kStart), 2.0);
    EXPECT_FALSE(access.ClockState().bStarted);
}

}  // namespace
