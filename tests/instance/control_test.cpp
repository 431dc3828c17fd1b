#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "instance/position.h"
#include "instance/quorvel_test_access.h"
#include "instance/recording_sink.h"

namespace {

class Control : public ::testing::Test {
protected:
    test::RecordingSink sink;
    CQuorvel instance{L"/nonexistent/control.mp4", &sink};
    CQuorvelTestAccess access{instance};
};

// The media time line counts from the media's start, so no start time is subtracted.
TEST(Position, TruncatesAndStaysWithinTheMedia)
{
    EXPECT_EQ(quorvel::PositionOf(12.7, 0), 12);
    EXPECT_EQ(quorvel::PositionOf(12.7, 5), 5);  // beyond the duration: at the end
    EXPECT_EQ(quorvel::PositionOf(-1.5, 5), 0);
    EXPECT_EQ(quorvel::PositionOf(12.7, -1), 0);  // no media
}

// The ends of the int64 range saturate instead of wrapping, and NaN counts as 0.
TEST(Position, ExtremeValuesSaturate)
{
    EXPECT_EQ(quorvel::PositionOf(1e30, 0), INT64_MAX);
    EXPECT_EQ(quorvel::PositionOf(-1e30, 0), 0);
    EXPECT_EQ(quorvel::PositionOf(std::nan(""), 0), 0);
    EXPECT_EQ(quorvel::TargetWithin(INT64_MIN, 0), 0);
    EXPECT_EQ(quorvel::TargetWithin(INT64_MAX, 0), INT64_MAX);
    EXPECT_EQ(quorvel::TargetWithin(INT64_MAX, 10), 10);
    EXPECT_EQ(quorvel::TargetWithin(-1, -1), 0);
}

// A closed instance has no media: GetPos answers 0 and -1, whatever the clock.
TEST_F(Control, GetPosOfAClosedInstanceIsZero)
{
    int64_t cur = -99;
    int64_t max = -99;
    access.RunClock(12.7, 0);
    EXPECT_EQ(instance.GetPos(&cur, &max), 1);
    EXPECT_EQ(cur, 0);
    EXPECT_EQ(max, -1);
    EXPECT_EQ(sink.CountLogs(L"Quorvel::GetPos: llCurPos=0, llMaxPos=-1"), 1u);
}

TEST_F(Control, GetPosWithANullPointerWritesAndLogsNothing)
{
    int64_t value = 7;
    EXPECT_EQ(instance.GetPos(nullptr, &value), 0);
    EXPECT_EQ(instance.GetPos(&value, nullptr), 0);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(sink.CountLogs(L"Quorvel::GetPos:"), 0u);
}

// The clock stands at the target until the new position plays, whatever time passes.
TEST_F(Control, SetPosSetsTheClockAtOnceAndEmptiesTheQueues)
{
    access.PushPicture(1.0);
    access.PushAudio(1.0, 100);
    access.LastPicturePts() = 1.0;
    access.RunClock(1.0, 0);
    EXPECT_EQ(instance.SetPos(30), 1);
    EXPECT_EQ(access.ClockAt(5000), 30.0);
    EXPECT_FALSE(access.ClockState().bStarted);
    EXPECT_EQ(access.VideoQueued(), 0u);
    EXPECT_EQ(access.AudioBytes(), 0);
    EXPECT_EQ(access.LastPicturePts().load(), 0.0);
    instance.SetPos(-4);  // before the start: from the start
    EXPECT_EQ(access.ClockAt(0), 0.0);
}

TEST_F(Control, PauseTakesTheNextPictureEachTimeAndGrowsTheSnapshot)
{
    instance.Pause();  // before any size is known: nothing can be held
    EXPECT_EQ(access.SnapshotSize().load(), 0);
    EXPECT_EQ(access.SnapshotCapacity(), 0);

    access.Width() = 10;
    access.Height() = 10;
    access.PushPicture(1.0, 300);
    access.PushPicture(1.04, 120);
    instance.Pause();
    EXPECT_EQ(access.SnapshotCapacity(), 300);
    EXPECT_EQ(access.SnapshotSize().load(), 300);
    EXPECT_EQ(access.Width().load(), 160);  // from the held picture
    instance.Pause();  // already paused: the next picture replaces the held one
    EXPECT_EQ(access.SnapshotSize().load(), 120);
    EXPECT_EQ(access.VideoQueued(), 0u);
    EXPECT_EQ(instance.IsPaused(), 1);
    instance.Pause();  // empty queue now
    EXPECT_EQ(access.SnapshotSize().load(), 0);
}

// The held picture's buffer follows the pictures it holds, not the size Open declared
// (whose width x height x 3 need not even fit an int): made once, grown only for a
// larger picture.
TEST_F(Control, SnapshotBufferGrowsOnlyForALargerPicture)
{
    access.Width() = 30000;
    access.Height() = 30000;
    access.PushPicture(1.0, 100);
    access.PushPicture(1.04, 300);
    access.PushPicture(1.08, 200);
    instance.Pause();
    EXPECT_EQ(access.SnapshotSize().load(), 100);
    EXPECT_EQ(access.SnapshotCapacity(), 100);
    instance.Pause();
    EXPECT_EQ(access.SnapshotSize().load(), 300);
    EXPECT_EQ(access.SnapshotCapacity(), 300);
    const uint8_t* held = access.SnapshotData();
    instance.Pause();
    EXPECT_EQ(access.SnapshotSize().load(), 200);
    EXPECT_EQ(access.SnapshotData(), held);
}

TEST_F(Control, ResumeOfAnInstanceNotPausedKeepsItsClock)
{
    EXPECT_EQ(instance.Resume(), 1);
    EXPECT_EQ(instance.IsPaused(), 0);
    EXPECT_FALSE(access.ClockState().bStarted);
}

TEST_F(Control, OpenOfAMissingFileFailsButCountsAsOpenUntilClose)
{
    instance.Pause();
    EXPECT_EQ(instance.Open(), 0);
    EXPECT_EQ(sink.OpenFailedCount(), 1);
    EXPECT_EQ(instance.IsOpen(), 1);
    EXPECT_EQ(instance.IsPaused(), 0);  // Open starts every playback afresh, unpaused

    // An open instance refuses Open and GetFileInfo without any event.
    int32_t audioOnly = 7;
    MediaFileInfo info{};
    EXPECT_EQ(instance.Open(), 0);
    EXPECT_EQ(instance.GetFileInfo(0, &audioOnly, &info), 0);
    EXPECT_EQ(sink.OpenFailedCount(), 1);
    EXPECT_EQ(audioOnly, 7);

    instance.Close();
    EXPECT_EQ(instance.IsOpen(), 0);
    EXPECT_EQ(instance.GetFileInfo(0, &audioOnly, &info), 0);
    EXPECT_EQ(sink.OpenFailedCount(), 2);
    EXPECT_EQ(audioOnly, 7);
}

TEST_F(Control, GetFileInfoWithANullOutputDoesNotTouchTheFile)
{
    int32_t audioOnly = 0;
    MediaFileInfo info{};
    EXPECT_EQ(instance.GetFileInfo(0, nullptr, &info), 0);
    EXPECT_EQ(instance.GetFileInfo(0, &audioOnly, nullptr), 0);
    EXPECT_EQ(sink.OpenFailedCount(), 0);  // the missing file was never tried
}

TEST_F(Control, CloseOfANeverOpenedInstanceIsHarmless)
{
    instance.Close();
    instance.Close();
    EXPECT_EQ(instance.IsOpen(), 0);
    EXPECT_EQ(instance.IsAudioOnly(), 0);
}

TEST(Exports, NullArgumentsAreRefusedOrIgnored)
{
    EXPECT_EQ(CreateInstance(nullptr, nullptr), nullptr);
    DestroyInstance(nullptr);
    IMediaFile* instance = CreateInstance(L"/nonexistent/exports.mp4", nullptr);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->IsOpen(), 0);
    DestroyInstance(instance);
}

}  // namespace
