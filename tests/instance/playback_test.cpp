// End-to-end runs on generated media in real time: short files, tolerant bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "demux/demux_test_support.h"
#include "diag/log.h"
#include "instance/host_support.h"
#include "instance/quorvel_test_access.h"
#include "platform/time_source.h"
#include "playback/pacing.h"

namespace {

using namespace std::chrono_literals;
using test::AudioPuller;
using test::Create;
using test::InstancePtr;
using test::RecordingSink;
using test::ReferenceMd5s;
using test::WaitUntil;
using test::WideMediaPath;

CQuorvelTestAccess Access(IMediaFile* instance)
{
    return CQuorvelTestAccess(*static_cast<CQuorvel*>(instance));
}

// Every picture is FFmpeg's, in order, from the file's first to its last. Only a render
// clock that lags the audio by 0.3 s skips pictures, which a loaded machine may cause once
// or twice, never at the first or the last.
TEST(Playback, FilePlaysToTheEndAndTheQueuesDrain)
{
    const std::vector<std::string> reference = ReferenceMd5s("loop_1s.mp4");
    ASSERT_EQ(reference.size(), 25u);
    RecordingSink sink;
    InstancePtr instance = Create("loop_1s.mp4", &sink);
    ASSERT_EQ(instance->Open(), 1);
    // The audio starts once the second is decoded, as a player's pre-roll would: a slow
    // (sanitizer) build then cannot fall behind the audio and skip pictures to catch up.
    AudioPuller audio(instance.get(), true);
    CQuorvelTestAccess access = Access(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return access.Demux().HasEnded(); }, 20000));
    audio.Release();
    EXPECT_TRUE(WaitUntil(
        [&] {
            return access.VideoQueued() == 0 && access.AudioBytes() == 0 &&
                   sink.PictureCount() > 0 && sink.Pictures().back().md5 == reference.back() &&
                   access.Record().bPlayedOut;
        },
        10000));
    audio.Stop();
    const std::vector<test::DeliveredPicture> pictures = sink.Pictures();
    ASSERT_GE(pictures.size(), 23u);
    EXPECT_EQ(pictures.front().md5, reference.front());
    int previous = -1;
    for (const test::DeliveredPicture& picture : pictures) {
        const int index = test::IndexOf(reference, picture.md5);
        EXPECT_GT(index, previous) << "not FFmpeg's picture, repeated or out of order";
        previous = index;
    }
    EXPECT_GT(audio.Bytes(), 44100 * 4 / 2);  // well over half a second of stereo s16
    EXPECT_EQ(audio.SampleRate(), 44100);
    EXPECT_EQ(audio.Channels(), 2);
    EXPECT_EQ(access.Record().nPassesRead, 1u);  // the decoder's end, without a rewind
    int64_t pos = -1;
    int64_t duration = -1;
    instance->GetPos(&pos, &duration);
    EXPECT_EQ(pos, duration) << "played out";
}

TEST(Playback, LoopedPassesRestartTheClock)
{
    RecordingSink sink;
    InstancePtr instance = Create("loop_1s.mp4", &sink);
    instance->SetLoop(1);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    CQuorvelTestAccess access = Access(instance.get());
    int restarts = 0;
    double previous = 0.0;
    EXPECT_TRUE(WaitUntil(
        [&] {
            const double now = access.ClockAt(platform::GetTickCount());
            restarts += previous > 0.5 && now < 0.3 ? 1 : 0;
            previous = now;
            return restarts >= 2;
        },
        15000));
    EXPECT_GE(sink.CountLogs(L"last frame m_dfinal pts"), 2u);
    EXPECT_GT(sink.PictureCount(), 40u);
    audio.Stop();
}

constexpr size_t kBytesPerSecond = 44100 * 4;  // stereo s16

// Seconds into FFmpeg's decode at which chunk plays, or -1.
double PcmTime(const std::string& reference, const std::string& chunk)
{
    for (size_t at = 0; at + chunk.size() <= reference.size(); at += 4) {
        if (test::NearPcm(reference, at, chunk)) {
            return static_cast<double>(at) / kBytesPerSecond;
        }
    }
    return -1.0;
}

TEST(Playback, SetPosIsReportedAtOnceAndPlaybackGoesOnFromThere)
{
    const std::string reference = test::ReferencePcm("h264_aac.mp4", 44100, 2);
    RecordingSink sink;
    InstancePtr instance = Create("h264_aac.mp4", &sink);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    ASSERT_TRUE(
        WaitUntil([&] { return sink.PictureCount() >= 3 && audio.ChunkCount() >= 3; }, 5000));
    const size_t chunksAtSeek = audio.ChunkCount();
    EXPECT_EQ(instance->SetPos(2), 1);
    int64_t cur = -1;
    int64_t max = -1;
    EXPECT_EQ(instance->GetPos(&cur, &max), 1);
    EXPECT_EQ(cur, 2);
    EXPECT_EQ(max, 3);
    ASSERT_TRUE(WaitUntil([&] { return audio.ChunkCount() >= chunksAtSeek + 20; }, 10000));
    instance->GetPos(&cur, &max);
    const std::vector<std::string> chunks = audio.Chunks();
    audio.Stop();
    size_t first = chunksAtSeek + 1;
    while (first < chunksAtSeek + 5 && PcmTime(reference, chunks[first]) < 0.0) {
        ++first;
    }
    const double heard = PcmTime(reference, chunks[first]);
    EXPECT_NEAR(heard, 2.0, 1.0) << "chunk " << first - chunksAtSeek << " after the seek";
    size_t next = static_cast<size_t>(heard * kBytesPerSecond + 0.5);
    for (size_t i = first; i < chunks.size() && heard >= 0.0; ++i) {
        EXPECT_TRUE(test::NearPcm(reference, next, chunks[i]))
            << "gap or repeat at chunk " << i - chunksAtSeek;
        next += chunks[i].size();
    }
    const double end = static_cast<double>(next) / kBytesPerSecond;
    EXPECT_NEAR(static_cast<double>(cur), end, 1.0) << "GetPos against what was heard";
}

// A seek the input refuses is logged and playback goes on from where the input stood; a
// seek once the input takes seeks again lands.
TEST(Playback, RefusedSeekLeavesPlaybackGoingAndTheNextOneWorks)
{
    RecordingSink sink;
    InstancePtr instance = Create("seek_10s.ts", &sink);
    CQuorvelTestAccess access = Access(instance.get());
    test::ScriptedSource* source = nullptr;
    access.Demux().SetSourceOpener(test::ScriptedOpener("seek_10s.ts", &source));
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 5; }, 10000));
    source->refuseSeeks = true;
    instance->SetPos(6);
    ASSERT_TRUE(WaitUntil([&] { return sink.CountLogs(L"avformat_seek_file error") >= 1; }, 10000));
    const size_t pictures = sink.PictureCount();
    const double heard = audio.Seconds();
    EXPECT_TRUE(WaitUntil(
        [&] { return sink.PictureCount() >= pictures + 10 && audio.Seconds() >= heard + 0.4; },
        10000));
    source->refuseSeeks = false;
    instance->SetPos(6);
    const double before = audio.Seconds();
    ASSERT_TRUE(WaitUntil([&] { return audio.Seconds() >= before + 0.5; }, 10000));
    int64_t pos = -1;
    int64_t duration = -1;
    instance->GetPos(&pos, &duration);
    EXPECT_EQ(pos, 6);
    audio.Stop();
}

// With looping off the decoder thread ends with the input; a seek after that must still
// bring playback back, also while paused (the restarted decoder stays paused).
TEST(Playback, SetPosAfterTheFileHasPlayedOutPlaysAgain)
{
    RecordingSink sink;
    InstancePtr instance = Create("loop_1s.mp4", &sink);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    CQuorvelTestAccess access = Access(instance.get());
    ASSERT_TRUE(
        WaitUntil([&] { return access.Demux().HasEnded() && access.VideoQueued() == 0; }, 10000));
    instance->Pause();
    EXPECT_EQ(instance->SetPos(0), 1);
    EXPECT_FALSE(access.Demux().HasEnded());
    instance->Resume();
    const size_t before = sink.PictureCount();
    EXPECT_TRUE(WaitUntil([&] { return sink.PictureCount() >= before + 5; }, 5000));
    audio.Stop();
}

TEST(Playback, PauseResendsTheHeldPictureAndStopsTheAudio)
{
    RecordingSink sink;
    InstancePtr instance = Create("h264_aac.mp4", &sink);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 3; }, 5000));
    instance->Pause();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));  // let a tick under way end
    const size_t pausedAt = sink.PictureCount();
    const int64_t audioAt = audio.Bytes();
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= pausedAt + 5; }, 5000));
    const auto pictures = sink.Pictures();
    for (size_t i = pausedAt + 1; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].md5, pictures[pausedAt].md5) << i;
    }
    EXPECT_EQ(audio.Bytes(), audioAt);
    instance->Resume();
    EXPECT_TRUE(
        WaitUntil([&] { return sink.Pictures().back().md5 != pictures[pausedAt].md5; }, 5000));
    audio.Stop();
}

TEST(Playback, CloseThenOpenAgainPlaysAgain)
{
    RecordingSink sink;
    InstancePtr instance = Create("loop_1s.mp4", &sink);
    ASSERT_EQ(instance->Open(), 1);
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 3; }, 5000));
    instance->Close();
    EXPECT_EQ(instance->IsOpen(), 0);
    const size_t closedAt = sink.PictureCount();
    ASSERT_EQ(instance->Open(), 1);
    EXPECT_TRUE(WaitUntil([&] { return sink.PictureCount() >= closedAt + 3; }, 5000));
}

// Plays well into the file with audio pulled, optionally pauses, closes and opens again.
// The reopened instance must play like a new one: not paused, its first audio chunk and
// its pictures from the start, even when the host's audio starts late.
void ExpectReopenStartsFresh(bool pauseBeforeClose)
{
    const std::vector<std::string> reference = ReferenceMd5s("h264_aac.mp4");
    ASSERT_FALSE(reference.empty());
    RecordingSink sink;
    InstancePtr instance = Create("h264_aac.mp4", &sink);
    CQuorvelTestAccess access = Access(instance.get());
    ASSERT_EQ(instance->Open(), 1);
    {
        AudioPuller audio(instance.get());
        ASSERT_TRUE(WaitUntil([&] { return access.LastPicturePts().load() > 1.5; }, 10000));
    }
    if (pauseBeforeClose) {
        instance->Pause();
    }
    instance->Close();
    sink.Clear();
    ASSERT_EQ(instance->Open(), 1);
    EXPECT_EQ(instance->IsPaused(), 0);
    EXPECT_FALSE(access.Demux().HasEnded());
    // The host's audio starts late, once the decoder has filled the queues.
    ASSERT_TRUE(WaitUntil([&] { return access.Demux().ReadAheadFull(); }, 10000));
    std::vector<uint8_t> chunk(QUORVEL_MAX_AUDIO_CHUNK_BYTES);
    ASSERT_TRUE(WaitUntil([&] {
        int32_t bytes = 0;
        int32_t rate = 0;
        int32_t channels = 0;
        return instance->OnRenderGetaudioFrame(chunk.data(), &bytes, &rate, &channels, 0, 0) > 0;
    }));
    EXPECT_LT(access.ClockAt(platform::GetTickCount()), 0.2);  // the first chunk's pts
    AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 3; }, 10000));
    const std::string first = sink.Pictures().front().md5;
    const auto shown = std::find(reference.begin(), reference.end(), first);
    EXPECT_LT(shown - reference.begin(), 5) << "the first picture is not from the start";
}

TEST(Playback, ReopenedInstancePlaysLikeANewOne) { ExpectReopenStartsFresh(false); }

TEST(Playback, ReopenedInstanceAfterAPausePlaysLikeANewOne) { ExpectReopenStartsFresh(true); }

TEST(Playback, DestroyWhilePlayingSendsNothingAfterwards)
{
    auto sink = std::make_unique<RecordingSink>();
    IMediaFile* instance = CreateInstance(WideMediaPath("h264_aac.mp4").c_str(), sink.get());
    ASSERT_EQ(instance->Open(), 1);
    {
        AudioPuller audio(instance);
        ASSERT_TRUE(WaitUntil([&] { return sink->PictureCount() >= 3; }, 5000));
    }
    DestroyInstance(instance);
    sink->Seal();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(sink->EventsAfterSeal(), 0);
    sink.reset();  // a late event would now reach freed memory (caught by ASan)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST(Playback, NullSinkPlaysSilently)
{
    InstancePtr instance = Create("loop_1s.mp4", nullptr);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    CQuorvelTestAccess access = Access(instance.get());
    EXPECT_TRUE(
        WaitUntil([&] { return audio.Bytes() > 0 && access.LastPicturePts().load() > 0.2; }, 5000));
    audio.Stop();
}

TEST(Playback, LogsArriveThroughTheInstanceWithTheSmallerAddress)
{
    RecordingSink first;
    RecordingSink second;
    InstancePtr a = Create("a.mp4", &first);
    InstancePtr b = Create("b.mp4", &second);
    const bool aIsSmaller =
        reinterpret_cast<uintptr_t>(a.get()) < reinterpret_cast<uintptr_t>(b.get());
    RecordingSink& receiver = aIsSmaller ? first : second;
    RecordingSink& bystander = aIsSmaller ? second : first;
    LogMessage(LOG_INFO, L"routing probe %d", 7);
    EXPECT_EQ(receiver.CountLogs(L"routing probe 7"), 1u);
    EXPECT_EQ(bystander.CountLogs(L"routing probe 7"), 0u);
    ASSERT_FALSE(receiver.Senders().empty());
    EXPECT_EQ(receiver.Senders().back(), aIsSmaller ? a.get() : b.get());
}

TEST(Playback, SurroundIsRejectedByGetFileInfoButPlaysAsStereo)
{
    RecordingSink sink;
    InstancePtr instance = Create("surround51.m4a", &sink);
    int32_t audioOnly = -1;
    MediaFileInfo info{};
    EXPECT_EQ(instance->GetFileInfo(0, &audioOnly, &info), 0);
    EXPECT_EQ(sink.CountLogs(L"invalid file"), 1u);
    EXPECT_EQ(audioOnly, -1);
    ASSERT_EQ(instance->Open(), 1);
    EXPECT_EQ(instance->IsAudioOnly(), 1);
    AudioPuller audio(instance.get());
    EXPECT_TRUE(WaitUntil([&] { return audio.Bytes() > 0; }, 5000));
    EXPECT_EQ(audio.Channels(), 2);
    EXPECT_EQ(audio.SampleRate(), 48000);
    audio.Stop();
}

TEST(Playback, SixteenChannelsArePlayed)
{
    RecordingSink sink;
    InstancePtr instance = Create("audio_16ch.wav", &sink);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    EXPECT_TRUE(WaitUntil([&] { return audio.Bytes() > 0; }, 5000));
    EXPECT_EQ(audio.Channels(), 16);
    audio.Stop();
}

// 65 channels of s16 at 48000 Hz: more than a resampler takes, and a 20 ms chunk would be
// larger than the host's buffer. The stream is refused at the open, so a file of nothing
// else does not open, and nothing loops or spins.
TEST(Playback, AudioOfMoreChannelsThanTheResamplerTakesIsRefused)
{
    const int channels = 65;
    const uint32_t rate = 48000;
    const uint32_t dataBytes = rate / 10 * 2 * channels;  // 100 ms
    const std::string path = testing::TempDir() + "channels65.wav";
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    auto put32 = [file](uint32_t value) {
        const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                  static_cast<uint8_t>(value >> 16),
                                  static_cast<uint8_t>(value >> 24)};
        std::fwrite(bytes, 1, 4, file);
    };
    auto put16 = [file](uint16_t value) {
        const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
        std::fwrite(bytes, 1, 2, file);
    };
    std::fwrite("RIFF", 1, 4, file);
    put32(36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, file);
    put32(16);
    put16(1);  // PCM
    put16(channels);
    put32(rate);
    put32(rate * 2 * channels);
    put16(2 * channels);
    put16(16);
    std::fwrite("data", 1, 4, file);
    put32(dataBytes);
    const std::vector<uint8_t> silence(dataBytes, 0);
    std::fwrite(silence.data(), 1, silence.size(), file);
    std::fclose(file);

    RecordingSink sink;
    InstancePtr instance(CreateInstance(std::wstring(path.begin(), path.end()).c_str(), &sink));
    instance->SetLoop(1);
    EXPECT_EQ(instance->Open(), 0);
    EXPECT_EQ(sink.CountLogs(L"Demuxer::OpenAudio: unplayable audio: 48000 Hz, 65 channels"), 1u);
    instance.reset();
    std::remove(path.c_str());
}

// Audio that runs on long after the pictures is read a few seconds ahead at most, whether
// the host pulls it or not.
TEST(Playback, AudioBesidePicturesIsReadAFewSecondsAheadAtMost)
{
    constexpr int32_t kMaxBytes = 8 * 44100 * 4 + 64 * 1024;  // 8 s of stereo s16 and a block
    for (bool pulled : {false, true}) {
        SCOPED_TRACE(pulled ? "audio pulled" : "audio not pulled");
        RecordingSink sink;
        InstancePtr instance = Create("long_audio.mp4", &sink);
        ASSERT_EQ(instance->Open(), 1);
        CQuorvelTestAccess access = Access(instance.get());
        std::unique_ptr<AudioPuller> audio(pulled ? new AudioPuller(instance.get()) : nullptr);
        int32_t peak = 0;
        WaitUntil(
            [&] {
                peak = std::max(peak, access.AudioBytes());
                return sink.PictureCount() >= 50;
            },
            20000);
        for (int i = 0; i < 300; ++i) {  // the pictures are over; the audio goes on
            peak = std::max(peak, access.AudioBytes());
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_LE(peak, kMaxBytes);
        EXPECT_GT(peak, 0);
    }
}

// The first chunk after Open and after a seek comes with some audio read ahead, so that
// a decoder slower than real time does not leave the host without audio at once; the
// pictures after the first wait with it.
TEST(Playback, AudioStartsWithSomeReadAheadAfterOpenAndSeek)
{
    RecordingSink sink;
    InstancePtr instance = Create("h264_aac.mp4", &sink);
    ASSERT_EQ(instance->Open(), 1);
    CQuorvelTestAccess access = Access(instance.get());
    for (int32_t seekTo : {-1, 1}) {
        SCOPED_TRACE(seekTo < 0 ? "after Open" : "after a seek");
        if (seekTo >= 0) instance->SetPos(seekTo);
        std::vector<uint8_t> chunk(QUORVEL_MAX_AUDIO_CHUNK_BYTES);
        int32_t bytes = 0;
        int32_t rate = 0;
        int32_t channels = 0;
        int32_t played = 0;
        ASSERT_TRUE(WaitUntil(
            [&] {
                played =
                    instance->OnRenderGetaudioFrame(chunk.data(), &bytes, &rate, &channels, 0, 0);
                return played > 0;
            },
            10000));
        const double queued = (access.AudioBytes() + played) / (2.0 * rate * channels);
        EXPECT_GE(queued, playback::PACING_READ_AHEAD_SECONDS);
        if (seekTo < 0) {
            EXPECT_LE(sink.PictureCount(), 2u);  // the first, and one by the clock
        }
    }
}

TEST(Playback, AudioOnlyAtAnUnusualRatePlaysAt44100)
{
    RecordingSink sink;
    InstancePtr instance = Create("audio_22050.mp3", &sink);
    int32_t audioOnly = -1;
    MediaFileInfo info{};
    EXPECT_EQ(instance->GetFileInfo(0, &audioOnly, &info), 1);
    EXPECT_EQ(audioOnly, 1);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    EXPECT_TRUE(WaitUntil([&] { return audio.Bytes() > 0; }, 5000));
    EXPECT_EQ(audio.SampleRate(), 44100);
    audio.Stop();
}

// Without audio the clock runs with the tick count from the first picture: picture k is
// due k/25 s after it, no more than half a tick early. A late tick catches up at one
// picture per tick, so even a loaded machine plays the 2 s file in little more than 2 s;
// pacing at half the rate would need 4 s.
TEST(Playback, VideoOnlyFileIsPacedByTheTickCountAndPullsNoAudio)
{
    RecordingSink sink;
    InstancePtr instance = Create("video_only.mp4", &sink);
    const auto opened = std::chrono::steady_clock::now();
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 50; }, 10000));
    audio.Stop();
    const std::vector<test::DeliveredPicture> pictures = sink.Pictures();
    const auto msAfterOpen = [&](size_t i) {
        return std::chrono::duration<double, std::milli>(pictures[i].arrived - opened).count();
    };
    // The clock starts as the first picture is taken, which the host sees only once the
    // picture has been delivered: a tick (10 ms) allows for that delivery, half a tick
    // for the picture due before its time, and the tick count's whole milliseconds.
    for (size_t i = 1; i < pictures.size(); ++i) {
        const double due = msAfterOpen(0) + 40.0 * static_cast<double>(i) - 10.0 - 5.0 - 2.0;
        EXPECT_GE(msAfterOpen(i), due) << "picture " << i << " came early";
    }
    EXPECT_LE(msAfterOpen(49), 3500.0) << "50 pictures at 25 fps";
    EXPECT_EQ(audio.Bytes(), 0);
}

TEST(Playback, DeliveredPicturesAreTheDecodedOnesInOrder)
{
    const std::vector<std::string> reference = ReferenceMd5s("h264_aac.mp4");
    ASSERT_EQ(reference.size(), 75u);
    RecordingSink sink;
    InstancePtr instance = Create("h264_aac.mp4", &sink);
    ASSERT_EQ(instance->Open(), 1);
    AudioPuller audio(instance.get());
    CQuorvelTestAccess access = Access(instance.get());
    WaitUntil(
        [&] {
            return sink.PictureCount() >= 75 ||
                   (access.VideoQueued() == 0 && sink.PictureCount() > 30);
        },
        8000);
    audio.Stop();
    const auto pictures = sink.Pictures();
    EXPECT_GE(pictures.size(), 30u);
    size_t next = 0;
    for (const test::DeliveredPicture& picture : pictures) {
        EXPECT_EQ(picture.nSize, 320 * 240 * 3 / 2);
        while (next < reference.size() && reference[next] != picture.md5) {
            ++next;
        }
        ASSERT_LT(next, reference.size()) << "a picture not in the decode, or out of order";
        ++next;
    }
}

// The stream's pictures go from 160x120 to 320x240 and back: each is delivered at its
// own size, all of them, equal to FFmpeg's decode of the three parts.
TEST(Playback, PicturesThatGrowAndShrinkAreAllDelivered)
{
    std::vector<std::string> reference;
    for (const char* part : {"size_grow1.ts", "size_grow2.ts", "size_grow3.ts"}) {
        const std::vector<std::string> md5s = ReferenceMd5s(part);
        reference.insert(reference.end(), md5s.begin(), md5s.end());
    }
    ASSERT_EQ(reference.size(), 45u);
    RecordingSink sink;
    InstancePtr instance = Create("size_grow_shrink.ts", &sink);
    ASSERT_EQ(instance->Open(), 1);
    CQuorvelTestAccess access = Access(instance.get());
    // The last picture taken from the queue may still be on its way to the host.
    WaitUntil([&] { return sink.PictureCount() >= reference.size(); }, 15000);
    EXPECT_TRUE(access.Demux().HasEnded());
    std::vector<std::string> delivered;
    for (const test::DeliveredPicture& picture : sink.Pictures()) {
        delivered.push_back(picture.md5);
    }
    EXPECT_EQ(delivered, reference);
}

// A stream whose decoder is missing counts as absent: beside pictures the file plays as
// video only; alone it is refused, naming the codec, instead of being read for nothing.
TEST(Playback, StreamsThatCannotBeDecodedCountAsAbsent)
{
    RecordingSink sink;
    InstancePtr withVideo = Create("undecodable_audio_with_video.mkv", &sink);
    int32_t audioOnly = -1;
    MediaFileInfo info{};
    ASSERT_EQ(withVideo->GetFileInfo(0, &audioOnly, &info), 1);
    EXPECT_EQ(audioOnly, 0);
    EXPECT_STREQ(info.szAudioCodec, "");
    ASSERT_EQ(withVideo->Open(), 1);
    AudioPuller audio(withVideo.get());
    EXPECT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 10; }, 20000));
    audio.Stop();
    EXPECT_EQ(audio.Bytes(), 0);
    withVideo.reset();

    RecordingSink refusedSink;
    InstancePtr alone = Create("undecodable_audio.mka", &refusedSink);
    EXPECT_EQ(alone->GetFileInfo(0, &audioOnly, &info), 0);
    EXPECT_EQ(refusedSink.CountLogs(L"Demuxer::Init: nothing to decode: none"), 1u);
    alone->SetLoop(1);
    EXPECT_EQ(alone->Open(), 0);
    EXPECT_EQ(refusedSink.OpenFailedCount(), 2);
}

TEST(Playback, GetFileInfoAppliesThePlayableLimits)
{
    const std::pair<const char*, int> cases[] = {
        {"limit_w99.nut", 0}, {"limit_w100.nut", 1}, {"limit_w1920.nut", 1}, {"limit_w1921.nut", 0},
        {"limit_h79.nut", 0}, {"limit_h80.nut", 1},  {"limit_h1080.nut", 1}, {"limit_h1081.nut", 0},
        {"limit_r4.nut", 0},  {"limit_r5.nut", 1},   {"limit_r60.nut", 1},   {"limit_r61.nut", 0},
    };
    for (const auto& [media, playable] : cases) {
        RecordingSink sink;
        InstancePtr instance = Create(media, &sink);
        int32_t audioOnly = -1;
        MediaFileInfo info{};
        EXPECT_EQ(instance->GetFileInfo(0, &audioOnly, &info), playable) << media;
        EXPECT_EQ(sink.CountLogs(L"invalid file"), playable != 0 ? 0u : 1u) << media;
        EXPECT_EQ(instance->IsOpen(), 0);
        if (playable != 0) {
            EXPECT_EQ(audioOnly, 0) << media;
            EXPECT_STREQ(info.szVideoCodec, "ffv1") << media;
        }
    }
}

}  // namespace
