// The audio queue when pulls end inside blocks: what is left of a block, the byte count,
// and storage that is used again by later blocks.
#include <gtest/gtest.h>

#include <vector>

#include "instance/quorvel_test_access.h"

namespace {

class AudioBlocks : public ::testing::Test {
protected:
    CQuorvel instance{L"/nonexistent/unit.mp4", nullptr};
    CQuorvelTestAccess access{instance};
    std::vector<uint8_t> chunk = std::vector<uint8_t>(3528, 0xee);
};

// 44100 Hz stereo chunks are 3528 bytes; blocks of 5000 bytes hold a byte ramp each.
TEST_F(AudioBlocks, PullsThatEndInsideABlockHandOutItsBytesInOrder)
{
    std::vector<uint8_t> first(5000);
    std::vector<uint8_t> second(5000);
    for (size_t i = 0; i < first.size(); ++i) {
        first[i] = static_cast<uint8_t>(i % 251);
        second[i] = static_cast<uint8_t>((i + 5000) % 251);
    }
    access.Opened().store(true);
    instance.OnAudioFrame(first.data(), 5000, 44100, 2, 1.0);
    instance.OnAudioFrame(second.data(), 5000, 44100, 2, 1.1);
    double pts = 0.0;
    size_t position = 0;
    for (int pull = 0; pull < 2; ++pull) {
        ASSERT_EQ(access.PopChunk(chunk.data(), &pts, 1.05), 3528);
        for (size_t i = 0; i < chunk.size(); ++i, ++position) {
            ASSERT_EQ(chunk[i], static_cast<uint8_t>(position % 251)) << position;
        }
    }
    EXPECT_DOUBLE_EQ(pts, 1.02);  // the second chunk starts 20 ms into the first block
    EXPECT_EQ(access.AudioBytes(), 10000 - 2 * 3528);
    EXPECT_EQ(access.FrontAudioSize(), 10000 - 2 * 3528);
    EXPECT_EQ(access.AudioQueuePts(), std::vector<double>{1.1});
}

// A partly consumed block that is dropped takes only its unconsumed bytes off the count.
TEST_F(AudioBlocks, DropAndFlushCountOnlyTheUnconsumedBytes)
{
    access.PushAudio(5.0, 5000);
    access.PushAudioOf(access.Pass(1), 1.0, 5000);
    double pts = 0.0;
    ASSERT_EQ(access.PopChunk(chunk.data(), &pts, 5.0), 3528);
    EXPECT_EQ(access.AudioBytes(), 10000 - 3528);
    access.DropOlderThan(access.Pass(1));
    EXPECT_EQ(access.AudioBytes(), 5000);
    EXPECT_EQ(access.AudioQueuePts(), std::vector<double>{1.0});
    access.DropOlderThan(access.Pass(2));
    EXPECT_EQ(access.AudioBytes(), 0);
    EXPECT_EQ(access.AudioQueued(), 0u);

    access.PushAudio(4.0, 5000);
    ASSERT_EQ(access.PopChunk(chunk.data(), &pts, 4.0), 3528);
    access.FlushQueues();
    EXPECT_EQ(access.AudioBytes(), 0);
    EXPECT_EQ(access.AudioQueued(), 0u);
}

// A block queued into storage a larger block left behind holds only its own bytes.
TEST_F(AudioBlocks, RecycledStorageHoldsExactlyTheNewBlock)
{
    access.PushAudio(1.0, 8000, 44100, 2, 0x11);
    access.FlushQueues();
    access.PushAudio(2.0, 3600, 44100, 2, 0x22);
    EXPECT_EQ(access.AudioBytes(), 3600);
    double pts = 0.0;
    ASSERT_EQ(access.PopChunk(chunk.data(), &pts, 2.0), 3528);
    for (uint8_t byte : chunk) {
        ASSERT_EQ(byte, 0x22);
    }
    EXPECT_EQ(access.AudioBytes(), 72);
    EXPECT_EQ(access.PopChunk(chunk.data(), &pts, 2.0), 0);
}

}  // namespace
