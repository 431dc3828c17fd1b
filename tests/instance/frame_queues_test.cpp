#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "diag/log.h"
#include "instance/quorvel_test_access.h"
#include "instance/recording_sink.h"
#include "platform/time_source.h"
#include "playback/pacing.h"
#include "support/fake_time.h"

namespace {

class FrameQueues : public ::testing::Test {
protected:
    test::FakeTimeSource time{1000};
    platform::ScopedTimeSource installed{time};
    test::RecordingSink sink;
    CQuorvel instance{L"/nonexistent/unit.mp4", &sink};
    CQuorvelTestAccess access{instance};
};

// A few decoded pictures ahead: a quarter of a second, 4 to 8 of them; a rate the file does
// not declare (or one not believed, which Open stores as 0) sizes the queue as 25 frames
// per second would. The limit admits a queue of exactly that many, so one more can come.
TEST_F(FrameQueues, VideoLimitIsAQuarterOfASecondOfFourToEightPictures)
{
    const std::pair<int32_t, size_t> kLimits[] = {{25, 6}, {60, 8}, {5, 4}, {0, 6}, {240, 8}};
    for (const auto& [rate, limit] : kLimits) {
        SCOPED_TRACE(rate);
        access.FlushQueues();
        access.FrameRate() = rate;
        for (size_t i = 0; i < limit; ++i) {
            EXPECT_TRUE(instance.CanAcceptFrame(0.0, DEMUX_WAIT_VIDEO));
            access.PushPicture(static_cast<double>(i));
        }
        EXPECT_TRUE(instance.CanAcceptFrame(0.0, DEMUX_WAIT_VIDEO));
        access.PushPicture(static_cast<double>(limit));
        EXPECT_FALSE(instance.CanAcceptFrame(0.0, DEMUX_WAIT_VIDEO));
    }
}

TEST_F(FrameQueues, AudioOnlyCountsBlocksWhateverTheVideoQueueHolds)
{
    access.AudioOnly() = true;
    for (int i = 0; i < 30; ++i) {
        access.PushPicture(i);
    }
    for (int i = 0; i < 50; ++i) {
        access.PushAudio(i * 0.02, 16);
    }
    EXPECT_TRUE(instance.CanAcceptFrame(0.0, 7000));
    access.PushAudio(1.0, 16);
    EXPECT_FALSE(instance.CanAcceptFrame(0.0, 7000));
}

TEST_F(FrameQueues, LentBufferIsQueuedAsItIsAndLentAgainUntilHandedBack)
{
    EXPECT_EQ(instance.LendPictureBuffer(100), nullptr);  // not open: the picture is lost
    access.Opened() = true;
    uint8_t* lent = instance.LendPictureBuffer(100);
    ASSERT_NE(lent, nullptr);
    EXPECT_EQ(instance.LendPictureBuffer(100), lent);  // withheld picture: same buffer
    std::fill(lent, lent + 100, uint8_t{0x42});
    EXPECT_EQ(instance.OnVideoFrame(lent, 100, 160, 120, 0, 2.0), 100);
    EXPECT_EQ(access.Pool().UsedCount(), 1u);  // no second buffer, no copy
    std::vector<uint8_t> bytes;
    double pts = 0.0;
    EXPECT_EQ(access.PopVideo(&pts, &bytes), 100);
    EXPECT_EQ(bytes, std::vector<uint8_t>(100, 0x42));
    EXPECT_EQ(pts, 2.0);

    // A new size replaces an unused lent buffer; Close takes it back.
    ASSERT_NE(instance.LendPictureBuffer(50), nullptr);
    ASSERT_NE(instance.LendPictureBuffer(60), nullptr);
    EXPECT_EQ(access.Pool().UsedCount(), 1u);
    instance.Close();
    EXPECT_EQ(access.Pool().UsedCount(), 0u);
}

TEST_F(FrameQueues, TakenPictureIsReportedAndItsBufferGoesBack)
{
    double pts = -1.0;
    EXPECT_EQ(access.PopVideo(&pts), 0);  // empty queue
    EXPECT_EQ(pts, -1.0);
    access.PushPicture(1.5, 100, 0x7f);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(access.PopVideo(&pts, &bytes), 100);
    EXPECT_EQ(pts, 1.5);
    EXPECT_EQ(bytes, std::vector<uint8_t>(100, 0x7f));
    EXPECT_EQ(access.Pool().FreeCount(), 1u);
    EXPECT_EQ(access.Pool().UsedCount(), 0u);
}

TEST_F(FrameQueues, EmptyOrNullInputIsNotQueued)
{
    uint8_t byte = 0;
    CQuorvel& q = instance;
    access.Opened() = true;
    EXPECT_EQ(q.OnVideoFrame(nullptr, 10, 1, 1, 0, 0.0), 0);
    EXPECT_EQ(q.OnVideoFrame(&byte, 0, 1, 1, 0, 0.0), 0);
    EXPECT_EQ(q.OnAudioFrame(nullptr, 10, 44100, 2, 0.0), 0);
    EXPECT_EQ(q.OnAudioFrame(&byte, 0, 44100, 2, 0.0), 0);
    EXPECT_EQ(access.VideoQueued(), 0u);
    EXPECT_EQ(access.AudioQueued(), 0u);
    EXPECT_EQ(access.AudioBytes(), 0);
}

// A declared format whose 20 ms chunk would overrun the host's buffer, or be empty, is
// never queued; any other is, whatever its rate or channel count. The largest accepted
// ones fill the advertised maximum exactly.
TEST_F(FrameQueues, AudioInAnUnplayableFormatIsNotQueued)
{
    EXPECT_EQ(access.PushAudio(0.0, 16, 2000000000, 2), 0);
    EXPECT_EQ(access.PushAudio(0.0, 16, 2000000000, 1000), 0);
    EXPECT_EQ(access.PushAudio(0.0, 16, 48000, 65), 0);
    EXPECT_EQ(access.PushAudio(0.0, 16, 8, 2), 0);
    EXPECT_EQ(access.PushAudio(0.0, 16, 48000, 0), 0);
    EXPECT_EQ(access.AudioBytes(), 0);
    EXPECT_EQ(access.PushAudio(0.0, 16, 384000, 8), 16);
    EXPECT_EQ(access.PushAudio(0.0, 16, 48000, 64), 16);
    EXPECT_EQ(access.PushAudio(0.0, 16, 500, 2), 16);
    EXPECT_EQ(playback::AudioChunkBytes(384000, 8), QUORVEL_MAX_AUDIO_CHUNK_BYTES);
}

TEST_F(FrameQueues, FramesArrivingWhileClosedAreDiscarded)
{
    uint8_t bytes[8] = {};
    EXPECT_EQ(instance.OnVideoFrame(bytes, 8, 1, 1, 0, 0.0), 0);
    EXPECT_EQ(instance.OnAudioFrame(bytes, 8, 44100, 2, 0.0), 0);
    access.Opened() = true;
    EXPECT_EQ(instance.OnVideoFrame(bytes, 8, 1, 1, 0, 0.0), 8);
    EXPECT_EQ(instance.OnAudioFrame(bytes, 8, 44100, 2, 0.0), 8);
    EXPECT_EQ(access.AudioBytes(), 8);
    access.Opened() = false;
}

TEST_F(FrameQueues, DropOlderThanReturnsBuffersAndCountsTheQueue)
{
    for (double pts : {2.0, 2.04}) {
        access.PushPicture(pts);
        access.PushAudio(pts, 100);
    }
    for (double pts : {0.0, 0.04}) {
        access.PushPictureOf(access.Pass(1), pts);
        access.PushAudioOf(access.Pass(1), pts, 100);
    }
    EXPECT_EQ(access.DropOlderThan(access.Pass(1)), 4u);
    EXPECT_EQ(access.VideoQueuePts(), (std::vector<double>{0.0, 0.04}));
    EXPECT_EQ(access.AudioQueuePts(), (std::vector<double>{0.0, 0.04}));
    EXPECT_EQ(access.AudioBytes(), 200);
    EXPECT_EQ(access.Pool().FreeCount(), 2u);
    EXPECT_EQ(access.Pool().UsedCount(), 2u);
}

// A push of the generation before a seek (the decoder had checked for a pending seek and
// then pushed) is refused once the seek has begun its generation, also when it comes
// after the queues were emptied; the lent buffer goes back to the pool.
TEST_F(FrameQueues, PushOfAnOlderGenerationIsRefused)
{
    const playback::PlaybackTag before = access.Playing();
    instance.SetPos(3);
    EXPECT_EQ(access.PushPictureOf(before, 6.0), 0);
    EXPECT_EQ(access.PushAudioOf(before, 6.0, 100), 0);
    EXPECT_EQ(access.VideoQueued(), 0u);
    EXPECT_EQ(access.AudioBytes(), 0);
    EXPECT_EQ(access.Pool().UsedCount(), 0u);
    EXPECT_EQ(access.PushPicture(3.0), 100);
    EXPECT_EQ(access.PushAudio(3.0, 100), 100);
}

TEST_F(FrameQueues, FlushInAudioOnlyInstanceLeavesTheVideoQueue)
{
    access.PushPicture(1.0);
    access.PushAudio(1.0, 500);
    access.AudioOnly() = true;
    access.FlushQueues();
    EXPECT_EQ(access.VideoQueued(), 1u);
    EXPECT_EQ(access.AudioQueued(), 0u);
    EXPECT_EQ(access.AudioBytes(), 0);
    access.AudioOnly() = false;
    access.FlushQueues();
    EXPECT_EQ(access.VideoQueued(), 0u);
    EXPECT_EQ(access.Pool().UsedCount(), 0u);
}

TEST_F(FrameQueues, EndOfPassRecordsThatThePassIsRead)
{
    access.PushPicture(3.0);
    access.PushAudio(2.98, 100);
    EXPECT_FALSE(access.Record().PassRead());
    instance.OnDemuxEvent(DEMUX_EVENT_END_OF_PASS, 0, 0.0);
    EXPECT_TRUE(access.Record().PassRead());
    EXPECT_EQ(sink.CountLogs(L"last frame m_dfinal pts 3.000000"), 1u);
    EXPECT_EQ(sink.CountLogs(L"last frame m_dfinal audio pts 2.980000"), 1u);
}

TEST_F(FrameQueues, LogCodesReachTheHostWithTheirLevel)
{
    const wchar_t text[] = L"hello";
    instance.OnDemuxEvent(DEMUX_EVENT_LOG_ERROR, reinterpret_cast<intptr_t>(text), 0.0);
    instance.OnDemuxEvent(DEMUX_EVENT_LOG_INFO, reinterpret_cast<intptr_t>(text), 0.0);
    instance.OnDemuxEvent(99, reinterpret_cast<intptr_t>(text), 0.0);
    EXPECT_EQ(sink.CountLogs(L"hello"), 2u);
    EXPECT_EQ(sink.LogLevels(), (std::vector<uintptr_t>{0, 1}));
}

// A receiver without a sink drops the text there: it is not passed on to another
// instance that has one.
TEST(FrameQueuesNoSink, LogTextWithoutSinkIsDropped)
{
    test::RecordingSink sink;
    CQuorvel silent(L"/nonexistent/unit.mp4", nullptr);
    CQuorvel heard(L"/nonexistent/unit.mp4", &sink);
    const wchar_t text[] = L"nobody hears this";
    silent.OnDemuxEvent(DEMUX_EVENT_LOG_INFO, reinterpret_cast<intptr_t>(text), 0.0);
    EXPECT_EQ(sink.Logs().size(), 0u);
    LogMessage(LOG_INFO, L"routed %d", 1);
    const bool heardReceives = std::less<CQuorvel*>()(&heard, &silent);
    EXPECT_EQ(sink.CountLogs(L"routed 1"), heardReceives ? 1u : 0u);
}

// Pictures that would be dropped as lagging, behind a clock that the audio of the pass has
// set, are late, and a second behind they lag; before any audio, while paused, or for
// another pass, never.
TEST_F(FrameQueues, PicturesLagBehindTheClockOnceAudioIsHeard)
{
    using Lateness = DemuxerInterface::Lateness;
    access.PushAudio(10.0, 3528);
    EXPECT_EQ(instance.LatenessOf(8.9), Lateness::OnTime);  // nothing plays yet
    uint8_t chunk[3528];
    int bytes = 0;
    int rate = 0;
    int channels = 0;
    ASSERT_EQ(instance.OnRenderGetaudioFrame(chunk, &bytes, &rate, &channels, 0, 0), 3528);
    EXPECT_EQ(instance.LatenessOf(8.9), Lateness::Lagging);
    EXPECT_EQ(instance.LatenessOf(9.6), Lateness::Slow);
    EXPECT_EQ(instance.LatenessOf(9.8), Lateness::OnTime);
    instance.Pause();
    EXPECT_EQ(instance.LatenessOf(8.9), Lateness::OnTime);
    instance.Resume();
    access.Playback().StartNextPass(access.Playing(), 10.0);
    EXPECT_EQ(instance.LatenessOf(5.0), Lateness::OnTime);  // the decoder is on another pass
}

// Audio packets the clock has passed by more than a packet and the lag threshold are not
// decoded, once the host takes audio.
TEST_F(FrameQueues, AcceptAudioPtsOnceTheHostTakesAudio)
{
    access.RunClock(5.0, time.TickCount());
    EXPECT_TRUE(instance.AcceptAudioPts(4.0));  // no audio taken yet
    access.HeardAudioUpTo(5.0, time.TickCount());
    EXPECT_FALSE(instance.AcceptAudioPts(4.1));
    EXPECT_TRUE(instance.AcceptAudioPts(4.3));
    access.Playback().NoteEndOfPass(access.Playing());
    access.Playback().StartNextPass(access.Playing(), 0.0);
    access.RunClock(5.0, time.TickCount());
    access.HeardAudioUpTo(5.0, time.TickCount());
    EXPECT_TRUE(instance.AcceptAudioPts(4.1));  // the decoder is still a pass behind: not ours
}

}  // namespace
