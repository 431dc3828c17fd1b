#include <gtest/gtest.h>

#include <limits>

#include "demux/decoder_threads.h"
#include "demux/seek_request.h"
#include "demux/stream_rules.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

TEST(StreamRules, FrameRatesAndStillPictures)
{
    EXPECT_EQ(demux::WholeFrameRate({30000, 1001}, {30000, 1001}), 29);
    // A cover picture: only a timer-like base rate.
    EXPECT_TRUE(demux::IsStillPicture({0, 0}, {90000, 1}));
    EXPECT_EQ(demux::WholeFrameRate({0, 0}, {90000, 1}), 0);
    EXPECT_DOUBLE_EQ(demux::StreamFrameRate({0, 0}, {90000, 1}), 90000.0);
    EXPECT_TRUE(demux::IsStillPicture({1, 200}, {25, 1}));
    EXPECT_FALSE(demux::IsStillPicture({25, 1}, {25, 1}));
    EXPECT_EQ(demux::WholeFrameRate({0, 0}, {24, 1}), 24);
    EXPECT_DOUBLE_EQ(demux::StreamFrameRate({0, 0}, {0, 0}), 0.0);
}

// One per core up to the cap by default; a host's setting wins within 1 to the maximum,
// and one that is not a whole positive number is ignored rather than read as 0 threads
// (which FFmpeg would take as "choose for yourself").
TEST(StreamRules, DecoderThreadCount)
{
    EXPECT_EQ(demux::DecoderThreadCount("", 2), 2);
    EXPECT_EQ(demux::DecoderThreadCount("", 0), 1);
    EXPECT_EQ(demux::DecoderThreadCount("", 64), demux::DECODER_THREADS_DEFAULT_CAP);
    EXPECT_EQ(demux::DecoderThreadCount("1", 8), 1);
    EXPECT_EQ(demux::DecoderThreadCount("12", 2), 12);
    EXPECT_EQ(demux::DecoderThreadCount("400", 2), demux::DECODER_THREADS_MAX);
    EXPECT_EQ(demux::DecoderThreadCount("99999999999999999999999", 2), demux::DECODER_THREADS_MAX);
    for (const char* ignored : {"0", "-3", "4x", "x", " "})
        EXPECT_EQ(demux::DecoderThreadCount(ignored, 4), 4) << ignored;
}

TEST(StreamRules, WholeSecondsTruncateTowardZero)
{
    EXPECT_EQ(demux::WholeSeconds(-500000), 0);
    EXPECT_EQ(demux::WholeSeconds(1900000), 1);
    EXPECT_EQ(demux::WholeSeconds(-1900000), -1);
}

TEST(StreamRules, ClockStepWithoutRateIsZero)
{
    EXPECT_DOUBLE_EQ(demux::FrameStep(0.0, 0), 0.0);
    EXPECT_DOUBLE_EQ(demux::FrameStep(25.0, 0), 0.04);
    EXPECT_DOUBLE_EQ(demux::FrameStep(25.0, 1), 0.06);
}

// A time seek lands on the key picture at or before its target, counted from the start.
TEST(SeekTargets, TimeSeekEndsAtItsTarget)
{
    demux::SeekTarget target = demux::TimeSeekTarget(75, 1400000);
    EXPECT_EQ(target.llSeekPos, 76400000);
    EXPECT_EQ(target.nSeekFlags, 0);
    EXPECT_DOUBLE_EQ(target.dTime, 75.0);
    EXPECT_EQ(demux::SeekBounds(target), std::make_pair(kMin, int64_t{76400000}));
    EXPECT_EQ(demux::TimeSeekTarget(kMax).llSeekPos, kMax);
}

// Aimed from where the decoder read, at the rate measured (or the default).
TEST(SeekTargets, ByteSeekFromAReadPointAndARate)
{
    demux::SeekTarget forward = demux::ByteSeekTarget(13, {5000, 3.0}, 16000.0, 0);
    EXPECT_EQ(forward.llSeekPos, 5000 + 160000);
    EXPECT_EQ(forward.nSeekFlags, AVSEEK_FLAG_BYTE);
    EXPECT_DOUBLE_EQ(forward.dTime, 13.0);
    EXPECT_DOUBLE_EQ(forward.dAimTime, 13.0);
    EXPECT_EQ(demux::SeekBounds(forward), std::make_pair(kMin, kMax));

    demux::SeekTarget back = demux::ByteSeekTarget(1, {400000, 3.0}, 0.0, 0);
    EXPECT_EQ(back.llSeekPos, 400000 - 360000);
    // Before anything was read: from the start of the file.
    EXPECT_EQ(demux::ByteSeekTarget(2, {-1, 0.0}, 1000.0, 0).llSeekPos, 2000);
}

// Steps beyond any file saturate instead of wrapping, and the target stays in the file.
TEST(SeekTargets, ByteSeekStaysInTheFile)
{
    const demux::SeekTarget held = demux::ByteSeekTarget(100, {5000, 0.0}, 16000.0, 101000);
    EXPECT_EQ(held.llSeekPos, 101000);
    EXPECT_DOUBLE_EQ(held.dAimTime, 6.0) << "where the rate puts the end of the file";
    EXPECT_DOUBLE_EQ(held.dTime, 100.0);
    EXPECT_EQ(demux::ByteSeekTarget(kMax, {5000, 0.0}, 16000.0, 1000000).llSeekPos, 1000000);
    EXPECT_EQ(demux::ByteSeekTarget(kMax, {5000, 0.0}, 16000.0, 0).llSeekPos, kMax);
    EXPECT_EQ(demux::ByteSeekTarget(kMin, {5000, 0.0}, 0.0, 1000000).llSeekPos, 0);
    EXPECT_EQ(demux::ByteSeekTarget(0, {1, 1.0}, 0.0, 1000000).llSeekPos, 0);
}

TEST(SeekRequest, LastPostWinsAndALateOneStaysPending)
{
    demux::SeekRequest request;
    EXPECT_FALSE(request.Pending());
    request.Post(demux::TimeSeekTarget(1));
    request.Post(demux::TimeSeekTarget(2));
    uint64_t ticket = 0;
    EXPECT_EQ(request.Take(&ticket).llSeekPos, 2000000);
    request.Post(demux::TimeSeekTarget(3));  // arrives while the seek runs
    request.Finish(ticket);
    ASSERT_TRUE(request.Pending());
    EXPECT_EQ(request.Take(&ticket).llSeekPos, 3000000);
    request.Finish(ticket);
    EXPECT_FALSE(request.Pending());
}

// A byte seek made while the pictures had jumped to the second of two joined recordings
// and the sound not yet: after it both streams go on in one recording, on the offset of the
// stream the seek landed by.
TEST(Timeline, AByteSeekPutsEveryStreamOnTheRecordingItLandedBy)
{
    const AVRational ms{1, 1000};
    demux::Timeline timeline;
    timeline.Reset(0, true);
    const auto place = [&](demux::Timeline::Stream stream, int64_t stamp) {
        AVPacket packet{};
        packet.pts = packet.dts = stamp;
        packet.duration = 40;
        packet.pos = -1;
        timeline.Place(&packet, stream, ms);
        return timeline.Seconds(packet.dts, ms);
    };
    place(demux::Timeline::VIDEO, 3960);
    place(demux::Timeline::AUDIO, 3960);
    EXPECT_DOUBLE_EQ(place(demux::Timeline::VIDEO, 104000), 4.0);  // the jump taken out

    timeline.Restart();
    timeline.Align(demux::Timeline::VIDEO, 0.0);
    EXPECT_DOUBLE_EQ(place(demux::Timeline::AUDIO, 105000), 5.0);
    EXPECT_DOUBLE_EQ(place(demux::Timeline::VIDEO, 105000), 5.0);
}

}  // namespace
