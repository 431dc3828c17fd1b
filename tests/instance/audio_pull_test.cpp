#include <gtest/gtest.h>

#include <vector>

#include "instance/quorvel_test_access.h"
#include "instance/recording_sink.h"
#include "playback/pacing.h"

namespace {

class AudioPull : public ::testing::Test {
protected:
    int Pull()
    {
        return instance.OnRenderGetaudioFrame(buffer.data(), &bytes, &rate, &channels, 0, 0);
    }

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

TEST_F(AudioPull, ChunkIsCutAcrossBlocksAndCarriesThePtsOfItsLastBlock)
{
    access.AudioSynced() = true;
    access.Clock() = 1.0;
    access.PushAudio(1.0, 2000, 44100, 2, 0x01);
    access.PushAudio(1.02, 3000, 44100, 2, 0x02);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(access.Clock().load(), 1.02);
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
            L"OnRenderGetaudioFrame::m_dLastPlayAVPTS,pts  m_lstvidep1.000000 1.020000 0.000000"),
        1u);
}

TEST_F(AudioPull, LongBlockGivesSeveralChunksWithItsPts)
{
    access.PushAudio(2.0, 3528 * 2 + 10);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(Pull(), 0);
    EXPECT_EQ(access.Clock().load(), 2.0);
    EXPECT_EQ(access.AudioBytes(), 10);
}

TEST_F(AudioPull, ChunkMoreThanTenSecondsFromTheClockIsDiscarded)
{
    access.AudioSynced() = true;
    access.Clock() = 30.0;
    access.PushAudio(45.0, 3528);
    EXPECT_EQ(Pull(), 0);
    EXPECT_EQ(access.AudioQueued(), 0u);
    EXPECT_EQ(access.Clock().load(), 30.0);
    EXPECT_TRUE(access.AudioSynced().load());
}

TEST_F(AudioPull, PausedHandsOutNothing)
{
    access.PushAudio(0.0, 3528);
    instance.Pause();
    EXPECT_EQ(Pull(), 0);
    EXPECT_EQ(access.AudioBytes(), 3528);
    instance.Resume();
    EXPECT_EQ(Pull(), 3528);
}

TEST_F(AudioPull, RunningDryHandsPacingBackToTheTickCount)
{
    access.AudioSynced() = true;
    EXPECT_EQ(Pull(), 0);
    EXPECT_FALSE(access.AudioSynced().load());
}

TEST_F(AudioPull, FirstChunkOlderThanThePictureIsDroppedAndSyncs)
{
    access.Clock() = 12.0;
    access.LastPicturePts() = 12.0;
    access.PushAudio(11.5, 3528);
    access.PushAudio(12.02, 3528);
    EXPECT_EQ(Pull(), 0);
    EXPECT_TRUE(access.AudioSynced().load());
    EXPECT_EQ(access.Clock().load(), 12.0);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(access.Clock().load(), 12.02);
}

TEST_F(AudioPull, AfterSetPosTheFirstChunkMovesTheClock)
{
    access.AudioSynced() = true;
    instance.SetPos(60);
    access.PushAudio(59.98, 3528);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(access.Clock().load(), 59.98);
}

TEST_F(AudioPull, AudioOnlyStartsTheNextPassAtTheEndOfItsAudio)
{
    access.AudioOnly() = true;
    access.AudioSynced() = true;
    access.Clock() = 1.98;
    access.PushAudio(2.0, 3528);
    access.EndPass();
    access.PushAudioOf(access.Pass(1), 0.0, 3528);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(access.Playing().nPass, 1u);
    EXPECT_EQ(access.Clock().load(), 0.0);
    EXPECT_FALSE(access.AudioSynced().load());
    EXPECT_EQ(Pull(), 3528);  // the next pass plays from its first chunk
    EXPECT_EQ(access.Clock().load(), 0.0);
}

// The chunk that ends a pass does not run on into the next pass's first block: its pts
// would be the next pass's, far from the clock, and every later chunk would be dropped.
TEST_F(AudioPull, ChunkStopsAtTheEndOfItsPassAndEndsInSilence)
{
    access.AudioOnly() = true;
    access.AudioSynced() = true;
    access.Clock() = 14.98;
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
    EXPECT_EQ(access.Clock().load(), 0.0);
}

TEST_F(AudioPull, WithPicturesOfThePassStillToComeTheyFollowTheTickCount)
{
    access.AudioSynced() = true;
    access.LastPicturePts() = 1.92;
    access.Clock() = 1.98;
    access.FrameCount() = 7;
    access.PushAudio(2.0, 3528);
    access.PushPicture(1.96);
    access.EndPass();
    access.PushAudioOf(access.Pass(1), 0.0, 3528);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(access.Clock().load(), 2.0);
    EXPECT_FALSE(access.AudioSynced().load());
    EXPECT_EQ(access.FrameCount().load(), 0);  // a new tick base, not the old one's backlog
    EXPECT_EQ(access.Playing().nPass, 0u);
    EXPECT_EQ(Pull(), 0);  // the next pass's audio waits for its pass
    EXPECT_EQ(access.AudioBytes(), 3528);
}

TEST_F(AudioPull, LastPictureShownStartsTheNextPassAfterTheTailOfTheAudio)
{
    access.AudioSynced() = true;
    access.LastPicturePts() = 1.96;
    access.Clock() = 1.98;
    access.PushAudio(2.0, 3528 + 100);
    access.EndPass();
    access.PushAudioOf(access.Pass(1), 0.0, 3528);
    access.PushPictureOf(access.Pass(1), 0.0);
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(access.Playing().nPass, 0u);
    EXPECT_EQ(Pull(), 3528);  // the 100-byte tail, then silence
    EXPECT_EQ(access.Playing().nPass, 1u);
    EXPECT_EQ(access.AudioQueuePts(), std::vector<double>{0.0});
    EXPECT_EQ(access.AudioBytes(), 3528);
    EXPECT_EQ(access.VideoQueuePts(), std::vector<double>{0.0});
    EXPECT_EQ(access.Clock().load(), 0.0);
}

TEST_F(AudioPull, TooLittleAudioWaitsUnlessThePassIsAllQueued)
{
    access.AudioSynced() = true;
    access.Clock() = 25.0;
    access.PushAudio(24.98, 100);
    EXPECT_EQ(Pull(), 0);
    EXPECT_EQ(access.AudioBytes(), 100);
    access.PushAudioOf(access.Pass(1), 0.0, 3528);  // the next pass's block follows
    EXPECT_EQ(Pull(), 3528);
    EXPECT_EQ(access.Clock().load(), 24.98);
    EXPECT_EQ(access.Playing().nPass, 0u);  // pictures of the pass may still come
    EXPECT_FALSE(access.AudioSynced().load());
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
    test::SteppingSink seeking;
    CQuorvel instance(L"/nonexistent/unit.mp4", &seeking);
    CQuorvelTestAccess access(instance);
    seeking.m_onLog = [&instance] { instance.SetPos(2); };
    access.AudioSynced() = true;
    access.Clock() = 5.98;
    access.PushAudio(6.0, 3528);
    std::vector<uint8_t> buffer(3528);
    int bytes = 0;
    int rate = 0;
    int channels = 0;
    EXPECT_EQ(instance.OnRenderGetaudioFrame(buffer.data(), &bytes, &rate, &channels, 0, 0), 0);
    EXPECT_EQ(access.Clock().load(), 2.0);
    EXPECT_FALSE(access.AudioSynced().load());
}

}  // namespace
