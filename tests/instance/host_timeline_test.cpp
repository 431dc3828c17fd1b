// Host-level runs of seeks, loops and position reads that meet playback already under way:
// after each, pictures and audio must flow again from the right place, whatever the
// decoder had reached. Through the public header alone; time bounds are waits, not
// measurements.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

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

// Transport streams (sought by bytes) with a start time, looping: a seek past the end
// reaches the end of the pass, and a seek back must bring pictures and sound back. In
// joined recordings the duration read before the first pass ends is that of the
// timestamps (104 s), so a seek to 100 is past the continued end, and the byte landings
// it tries must not move the time line that the next seek starts from.
TEST(HostTimeline, LoopingTransportStreamComesBackFromASeekPastTheEnd)
{
    struct Case {
        const char* media;
        int64_t pastTheEnd;
    };
    for (const Case& row : {Case{"loop_6s.ts", 9}, Case{"joined.ts", 100}}) {
        SCOPED_TRACE(row.media);
        RecordingSink sink;
        InstancePtr instance = Create(row.media, &sink);
        instance->SetLoop(1);
        ASSERT_EQ(instance->Open(), 1);
        AudioPuller audio(instance.get());
        ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 30; }, 20000));
        instance->SetPos(row.pastTheEnd);
        std::this_thread::sleep_for(300ms);
        instance->SetPos(1);
        EXPECT_TRUE(PlaybackFlows(sink, audio));
    }
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

// ---- real files' time lines ------------------------------------------------------------

// Sound whose timestamps start far from 0 plays from Open, and again in every pass.
TEST(HostTimeline, SoundThatStartsLatePlaysFromTheStartInEveryPass)
{
    for (const char* media : {"audio_start20.ts", "audio_start20.mka"}) {
        SCOPED_TRACE(media);
        RecordingSink sink;
        InstancePtr instance = Create(media, &sink);
        instance->SetLoop(1);
        ASSERT_EQ(instance->Open(), 1);
        AudioPuller audio(instance.get());
        EXPECT_TRUE(WaitUntil([&] { return audio.Seconds() >= 1.0; }, 5000));
        EXPECT_LE(Position(instance.get()), 1);
        EXPECT_TRUE(WaitUntil([&] { return audio.Seconds() >= 5.0; }, 20000)) << "the next pass";
    }
}

// Two recordings joined end to end, the second's timestamps 100 s later: playback, the
// position and a seek go on as if the file were one recording of 8 s.
TEST(HostTimeline, JoinedRecordingsPlayAsOne)
{
    for (const char* media : {"joined_audio.ts", "joined.ts"}) {
        SCOPED_TRACE(media);
        RecordingSink sink;
        InstancePtr instance = Create(media, &sink);
        ASSERT_EQ(instance->Open(), 1);
        AudioPuller audio(instance.get());
        EXPECT_TRUE(WaitUntil([&] { return audio.Seconds() >= 7.5; }, 20000));
        int64_t pos = -1;
        int64_t duration = -1;
        instance->GetPos(&pos, &duration);
        EXPECT_GE(pos, 7);
        EXPECT_LE(pos, 8);
        EXPECT_EQ(duration, 8);
        instance->SetPos(2);
        const double before = audio.Seconds();
        EXPECT_TRUE(WaitUntil([&] { return audio.Seconds() >= before + 1.5; }, 20000));
        EXPECT_EQ(Position(instance.get()), 3);
        if (std::string(media) == "joined.ts") {
            EXPECT_GE(sink.PictureCount(), 190u);  // of 200 in the first play
        }
    }
}

// Sound that starts 3 s after the pictures waits for its time: the pictures play on by
// themselves, and the first sound comes with the pictures of 3 s.
TEST(HostTimeline, SoundThatStartsAfterThePicturesWaitsForItsTime)
{
    RecordingSink sink;
    InstancePtr instance = Create("late_audio.mp4", &sink);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return audio.Bytes() > 0; }, 20000));
    const size_t pictures = sink.PictureCount();
    EXPECT_GE(pictures, 73u) << "the first sound came with picture " << pictures;
    EXPECT_LE(pictures, 80u);
}

// Pictures that end long before the sound, with no host taking the sound: every picture
// comes, and a looping file starts its next pass.
TEST(HostTimeline, PicturesEndingBeforeTheSoundAllComeWhileNoAudioIsTaken)
{
    RecordingSink sink;
    InstancePtr instance = Create("short_video.mp4", &sink);  // 2 s of pictures, 12 s of sound
    instance->SetLoop(1);
    ASSERT_EQ(instance->Open(), 1);
    EXPECT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 50 + 10; }, 20000));
}

// Pictures 40 ms apart, then 480 ms apart, play at their own times.
TEST(HostTimeline, VariableFrameRatePlaysAtItsSpeed)
{
    RecordingSink sink;
    InstancePtr instance = Create("vfr.mkv", &sink);
    ASSERT_EQ(instance->Open(), 1);
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 30; }, 20000));
    const std::vector<test::DeliveredPicture> pictures = sink.Pictures();
    const auto after = [&](size_t i) {
        return std::chrono::duration<double>(pictures[i].arrived - pictures[0].arrived).count();
    };
    EXPECT_GE(after(25), 1.0 - 0.007);
    EXPECT_GE(after(29), 2.92 - 0.007);
}

// Every picture of a five-picture clip in every pass, and the first after a seek too.
TEST(HostTimeline, FirstPictureOfEveryPassAndAfterASeekIsShown)
{
    RecordingSink sink;
    InstancePtr instance = Create("five_pictures.mp4", &sink);
    instance->SetLoop(1);
    ASSERT_EQ(instance->Open(), 1);
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 15; }, 20000));
    instance->SetPos(0);
    const size_t before = sink.PictureCount();
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= before + 2; }, 20000));
    const std::vector<test::DeliveredPicture> pictures = sink.Pictures();
    for (size_t i = 0; i < 5; ++i) {
        for (size_t j = i + 1; j < 5; ++j) EXPECT_NE(pictures[i].md5, pictures[j].md5);
    }
    for (size_t i = 5; i < 15; ++i) EXPECT_EQ(pictures[i].md5, pictures[i % 5].md5) << i;
    // One picture of the old position may have been under way at the SetPos.
    const bool first =
        pictures[before].md5 == pictures[0].md5 || pictures[before + 1].md5 == pictures[0].md5;
    EXPECT_TRUE(first) << "the first picture after SetPos(0) is not the first of the file";
}

// A picture goes out when its sound does, never before: its time is at most the audio the
// host has taken (a chunk, 20 ms) and half a tick ahead. The same for a host that takes
// its audio half a second at a time, which loses no picture either.
TEST(HostTimeline, PicturesComeWithTheirSoundNotBefore)
{
    const std::vector<std::string> reference = test::ReferenceMd5s("h264_aac.mp4");
    ASSERT_EQ(reference.size(), 75u);
    for (int burst : {1, 25}) {
        SCOPED_TRACE("chunks taken at a time: " + std::to_string(burst));
        RecordingSink sink;
        InstancePtr instance = Create("h264_aac.mp4", &sink);
        AudioPuller* heard = nullptr;
        sink.HearAudioBy([&heard] { return heard != nullptr ? heard->Seconds() : 0.0; });
        ASSERT_EQ(instance->Open(), 1);
        AudioPuller audio(instance.get(), false, burst);
        heard = &audio;
        ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 75; }, 20000));
        const std::vector<test::DeliveredPicture> pictures = sink.Pictures();
        for (size_t i = 1; i < pictures.size(); ++i) {
            const int index = test::IndexOf(reference, pictures[i].md5);
            EXPECT_EQ(index, static_cast<int>(i)) << "picture lost or out of order";
            if (pictures[i].heard > 0.0) {
                EXPECT_LE(index / 25.0, pictures[i].heard + 0.02 * burst + 0.006)
                    << "picture " << index << " before its sound";
            }
        }
    }
}

// A seek in a transport stream of sound alone lands where it was asked, not where the
// time played before it would put it.
TEST(HostTimeline, SeekInSoundAloneLandsAtTheTarget)
{
    RecordingSink sink;
    InstancePtr instance = Create("audio_30s.ts", &sink);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return audio.Seconds() >= 3.0; }, 20000));
    for (int64_t target : {20, 10}) {
        instance->SetPos(target);
        const double before = audio.Seconds();
        ASSERT_TRUE(WaitUntil([&] { return audio.Seconds() >= before + 0.5; }, 20000));
        EXPECT_EQ(Position(instance.get()), target);
    }
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
