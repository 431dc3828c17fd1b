#include "instance/file_limits.h"

#include <gtest/gtest.h>

namespace {

MediaInfo Info(int32_t width, int32_t height, int32_t rate, int32_t channels)
{
    return MediaInfo{width, height, rate, 44100, channels, 0, 0};
}

TEST(FileLimits, PictureAndRateBoundaries)
{
    EXPECT_TRUE(quorvel::IsWithinPlayableLimits(Info(100, 80, 5, 2), false));
    EXPECT_TRUE(quorvel::IsWithinPlayableLimits(Info(1920, 1080, 60, 2), false));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(99, 80, 25, 2), false));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(1921, 80, 25, 2), false));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(100, 79, 25, 2), false));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(100, 1081, 25, 2), false));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(100, 80, 4, 2), false));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(100, 80, 61, 2), false));
}

TEST(FileLimits, NoVideoPassesThePictureLimits)
{
    EXPECT_TRUE(quorvel::IsWithinPlayableLimits(Info(0, 0, 0, 2), false));
    EXPECT_TRUE(quorvel::IsWithinPlayableLimits(Info(-1, -1, -1, 2), false));
}

TEST(FileLimits, Channels)
{
    EXPECT_TRUE(quorvel::IsWithinPlayableLimits(Info(320, 240, 25, 5), false));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(320, 240, 25, 6), false));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(320, 240, 25, 0), false));
    EXPECT_TRUE(quorvel::IsWithinPlayableLimits(Info(320, 240, 25, 0), true));
}

TEST(FileLimits, NativeAudioOnlyRates)
{
    for (int rate : {8000, 16000, 32000, 44100, 48000}) {
        EXPECT_TRUE(quorvel::IsNativeAudioOnlyRate(rate)) << rate;
    }
    for (int rate : {0, 11025, 22050, 96000}) {
        EXPECT_FALSE(quorvel::IsNativeAudioOnlyRate(rate)) << rate;
    }
}

}  // namespace
