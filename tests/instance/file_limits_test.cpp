#include "instance/file_limits.h"

#include <gtest/gtest.h>

namespace {

using Streams = quorvel::PlayedStreams;

MediaInfo Info(int32_t width, int32_t height, int32_t rate, int32_t channels)
{
    return MediaInfo{width, height, rate, 44100, channels, 0, 0};
}

TEST(FileLimits, PictureAndRateBoundaries)
{
    EXPECT_TRUE(quorvel::IsWithinPlayableLimits(Info(100, 80, 5, 2), Streams::AudioAndVideo));
    EXPECT_TRUE(quorvel::IsWithinPlayableLimits(Info(1920, 1080, 60, 2), Streams::AudioAndVideo));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(99, 80, 25, 2), Streams::AudioAndVideo));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(1921, 80, 25, 2), Streams::AudioAndVideo));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(100, 79, 25, 2), Streams::AudioAndVideo));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(100, 1081, 25, 2), Streams::AudioAndVideo));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(100, 80, 4, 2), Streams::AudioAndVideo));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(100, 80, 61, 2), Streams::AudioAndVideo));
}

TEST(FileLimits, NoVideoPassesThePictureLimits)
{
    EXPECT_TRUE(quorvel::IsWithinPlayableLimits(Info(0, 0, 0, 2), Streams::AudioAndVideo));
    EXPECT_TRUE(quorvel::IsWithinPlayableLimits(Info(-1, -1, -1, 2), Streams::AudioAndVideo));
}

// A cover picture is never shown: its size does not refuse the file.
TEST(FileLimits, CoverPictureOfAnAudioOnlyFilePasses)
{
    EXPECT_TRUE(quorvel::IsWithinPlayableLimits(Info(3000, 3000, 0, 2), Streams::AudioOnly));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(3000, 3000, 0, 2), Streams::AudioAndVideo));
}

TEST(FileLimits, Channels)
{
    EXPECT_TRUE(quorvel::IsWithinPlayableLimits(Info(320, 240, 25, 5), Streams::AudioAndVideo));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(320, 240, 25, 6), Streams::AudioAndVideo));
    EXPECT_FALSE(quorvel::IsWithinPlayableLimits(Info(320, 240, 25, 0), Streams::AudioAndVideo));
    EXPECT_TRUE(quorvel::IsWithinPlayableLimits(Info(320, 240, 25, 0), Streams::VideoOnly));
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
