// Host-level runs of seeks, loops and position reads that meet playback already under way:
// after each, pictures and audio must flow again from the right place, whatever the
// decoder had reached. Through the public header alone; time bounds are waits, not
// measurements.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "instance/host_support.h"
#include "support/audio_puller.h"

namespace {

using namespace std::chrono_literals;
using test::AudioPuller;
using test::Create;
using test::InstancePtr;
using test::RecordingSink;
using test::WaitUntil;

int64_t Position(IMediaFile* instance)
{
    int64_t pos = -1;
    int64_t duration = -1;
    instance->GetPos(&pos, &duration);
    return pos;
}

// Ten more pictures and half a second more audio reach the host.
bool PlaybackFlows(RecordingSink& sink, AudioPuller& audio)
{
    const size_t pictures = sink.PictureCount();
    const size_t chunks = audio.ChunkCount();
    return WaitUntil(
        [&] { return sink.PictureCount() >= pictures + 10 && audio.ChunkCount() >= chunks + 25; },
        20000);
}

// A transport stream (sought by bytes) with a start time, looping: a seek past the end
// reaches the end of the pass, and a seek back must bring playback back.
TEST(HostTimeline, LoopingTransportStreamComesBackFromASeekPastTheEnd)
{
    RecordingSink sink;
    InstancePtr instance = Create("loop_6s.ts", &sink);
    instance->SetLoop(1);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 30; }, 20000));
    instance->SetPos(9);
    std::this_thread::sleep_for(300ms);
    instance->SetPos(1);
    EXPECT_TRUE(PlaybackFlows(sink, audio));
}

// A seek while looping, after the decoder has read the pass to its end but before
// playback reached it: the new position holds (here beyond the clock's 10 s jump from 0),
// and audio flows from it.
TEST(HostTimeline, SeekAfterTheDecoderReadThePassHoldsItsPosition)
{
    RecordingSink sink;
    InstancePtr instance = Create("loop_12s.wav", &sink);
    instance->SetLoop(1);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return audio.ChunkCount() >= 10; }, 20000));
    instance->SetPos(11);
    ASSERT_TRUE(WaitUntil([&] { return audio.ChunkCount() >= 35; }, 20000));
    instance->SetPos(10);
    EXPECT_EQ(Position(instance.get()), 10);
    const size_t chunks = audio.ChunkCount();
    EXPECT_TRUE(WaitUntil([&] { return audio.ChunkCount() >= chunks + 25; }, 20000));
    EXPECT_GE(Position(instance.get()), 10);
}

// A looping file without audio whose decoder reads all of it at once: the position
// follows the pictures.
TEST(HostTimeline, LoopingVideoOnlyFileShowsItsPosition)
{
    RecordingSink sink;
    InstancePtr instance = Create("video_only.mp4", &sink);
    instance->SetLoop(1);
    ASSERT_EQ(instance->Open(), 1);
    EXPECT_TRUE(WaitUntil([&] { return Position(instance.get()) >= 1; }, 20000));
}

// Audio that ends before the pictures: in later passes the clock follows the pictures
// again rather than standing at 0.
TEST(HostTimeline, AudioShorterThanVideoKeepsThePositionMovingInLaterPasses)
{
    RecordingSink sink;
    InstancePtr instance = Create("short_audio.mp4", &sink);
    instance->SetLoop(1);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 100 + 10; }, 30000));
    EXPECT_TRUE(WaitUntil([&] { return Position(instance.get()) >= 2; }, 20000));
    EXPECT_GE(sink.PictureCount(), 100u + 10u);
}

// A time-mode seek counts from the media's start time (30 s here): SetPos(12) shows the
// picture at 12 s into the media, and its audio plays.
TEST(HostTimeline, TimeSeekCountsFromTheStartTime)
{
    const std::vector<std::string> reference = test::ReferenceMd5s("start_30s.mkv");
    ASSERT_GE(reference.size(), 490u);
    RecordingSink sink;
    InstancePtr instance = Create("start_30s.mkv", &sink);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 3; }, 20000));
    const size_t before = sink.PictureCount();
    audio.Hold();
    instance->SetPos(12);
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= before + 2; }, 20000));
    audio.Release();
    const int index = test::IndexOf(reference, sink.Pictures()[before + 1].md5);
    EXPECT_LE(std::abs(index / 25.0 - 12.0), 1.0) << "picture " << index;
    EXPECT_TRUE(PlaybackFlows(sink, audio));
    EXPECT_LE(std::abs(static_cast<double>(Position(instance.get())) - 12.5), 1.5);
}

// Looping switched on after the decoder has read a short file to its end: playback goes
// on with the next pass instead of ending.
TEST(HostTimeline, LoopSwitchedOnAfterTheDecoderEndedPlaysTheNextPass)
{
    RecordingSink sink;
    InstancePtr instance = Create("loop_1s.mp4", &sink);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 15; }, 20000));
    instance->SetLoop(1);
    EXPECT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 25 + 20; }, 20000));
}

}  // namespace
