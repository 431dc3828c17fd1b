#include "playback/pacing.h"

#include <gtest/gtest.h>

namespace {

TEST(Pacing, TwentyMillisecondChunks)
{
    EXPECT_EQ(playback::AudioChunkBytes(44100, 2), 3528);
    EXPECT_EQ(playback::AudioChunkBytes(48000, 2), 3840);
    EXPECT_EQ(playback::AudioChunkBytes(11025, 1), 440);
    EXPECT_EQ(playback::AudioChunkBytes(0, 2), 0);
}

TEST(Pacing, TickPictureDueAtMultiplesOfTheFramePeriod)
{
    EXPECT_FALSE(playback::IsTickPictureDue(1, 25, 1000, 1039));
    EXPECT_TRUE(playback::IsTickPictureDue(1, 25, 1000, 1040));
    EXPECT_FALSE(playback::IsTickPictureDue(2, 25, 1000, 1079));
    EXPECT_TRUE(playback::IsTickPictureDue(2, 25, 1000, 1080));
}

TEST(Pacing, TickCountWrapIsHarmless)
{
    const uint32_t start = 0xFFFFFFF0u;  // 16 ms before the wrap
    EXPECT_FALSE(playback::IsTickPictureDue(1, 25, start, 20));  // 36 ms elapsed
    EXPECT_TRUE(playback::IsTickPictureDue(1, 25, start, 24));  // 40 ms elapsed
}

TEST(Pacing, FrameRateZeroIsNeverDue)
{
    EXPECT_FALSE(playback::IsTickPictureDue(1, 0, 0, 0xFFFFFFFFu));
}

}  // namespace
