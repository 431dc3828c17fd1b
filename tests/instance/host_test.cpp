// Host-level runs through the public header alone: two instances side by side, the
// content of what plays across pauses, loops, reopens, size changes and seeks. Pictures
// and PCM are compared with FFmpeg's own decode of the fixture; timing bounds are loose.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <thread>

#include "instance/host_support.h"

namespace {

using namespace std::chrono_literals;
using test::Create;
using test::InstancePtr;
using test::RecordingSink;
using test::WaitUntil;

// ---- two instances --------------------------------------------------------------------

TEST(Host, TwoInstancesEachGetTheirOwnOpenFailed)
{
    RecordingSink first;
    RecordingSink second;
    InstancePtr a = Create("missing_a.mp4", &first);
    InstancePtr b = Create("missing_b.mp4", &second);
    EXPECT_EQ(a->Open(), 0);
    EXPECT_EQ(first.OpenFailedCount(), 1);
    EXPECT_EQ(second.OpenFailedCount(), 0);
    EXPECT_EQ(b->Open(), 0);
    EXPECT_EQ(first.OpenFailedCount(), 1);
    EXPECT_EQ(second.OpenFailedCount(), 1);
}

// Every log text of the process goes to the live instance with the lowest address, which
// sends it to its own sink as the sender, whichever instance the text concerns.
TEST(Host, LogTextsGoToTheInstanceWithTheLowestAddress)
{
    RecordingSink first;
    RecordingSink second;
    InstancePtr a = Create("limit_w99.nut", &first);
    InstancePtr b = Create("limit_w99.nut", &second);
    const bool aLower = std::less<IMediaFile*>()(a.get(), b.get());
    IMediaFile* higher = aLower ? b.get() : a.get();
    RecordingSink& receiver = aLower ? first : second;
    RecordingSink& bystander = aLower ? second : first;
    int32_t audioOnly = 0;
    MediaFileInfo info{};
    EXPECT_EQ(higher->GetFileInfo(0, &audioOnly, &info), 0);  // logs "invalid file"
    EXPECT_EQ(receiver.CountLogs(L"invalid file"), 1u);
    EXPECT_EQ(bystander.CountLogs(L"invalid file"), 0u);
    const std::vector<IMediaFile*> senders = receiver.Senders();
    EXPECT_TRUE(std::all_of(senders.begin(), senders.end(),
                            [&](IMediaFile* sender) { return sender != higher; }));
}

// The other instance keeps logging (one text per picture, audio pull and GetPos) while
// one is destroyed, the receiver of the logs or not.
TEST(Host, DestroyedInstanceSinkGetsNothingWhileTheOtherLogs)
{
    for (bool destroyLower : {true, false}) {
        RecordingSink sinks[2];
        IMediaFile* instances[2];
        for (int i = 0; i < 2; ++i) {
            instances[i] = CreateInstance(test::WideMediaPath("h264_aac.mp4").c_str(), &sinks[i]);
        }
        const bool firstLower = std::less<IMediaFile*>()(instances[0], instances[1]);
        const int victim = firstLower == destroyLower ? 0 : 1;
        InstancePtr survivor(instances[1 - victim]);
        RecordingSink& playing = sinks[1 - victim];
        ASSERT_EQ(survivor->Open(), 1);
        test::AudioPuller audio(survivor.get());
        ASSERT_TRUE(WaitUntil([&] { return playing.PictureCount() >= 3; }, 10000));
        DestroyInstance(instances[victim]);
        sinks[victim].Seal();
        const size_t logsBefore = playing.Logs().size();
        EXPECT_TRUE(WaitUntil([&] { return playing.Logs().size() > logsBefore + 20; }, 10000));
        EXPECT_EQ(sinks[victim].EventsAfterSeal(), 0) << "destroyed the lower: " << destroyLower;
        audio.Stop();
    }
}

// A host whose picture handler does its own work through the engine: it counts the
// pictures, and runs `step` (if any) inside each picture event.
class ActingSink final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile* /*sender*/, uint32_t event, uintptr_t /*param1*/,
                      uintptr_t /*param2*/, uintptr_t /*param3*/, uintptr_t /*param4*/) override
    {
        if (event != MEDIA_EVENT_VIDEO_FRAME) return;
        if (m_step) m_step();
        m_nPictures.fetch_add(1);
    }
    std::function<void()> m_step;  // set before the instance opens
    std::atomic<size_t> m_nPictures{0};
};

// The picture handler of the instance that receives every log text pauses and resumes the
// other instance, whose clock thread logs while it delivers: neither may wait for the
// other's handler while the other waits for it.
TEST(Host, PictureHandlerThatPausesTheOtherInstanceDoesNotHang)
{
    ActingSink sinks[2];
    InstancePtr instances[2] = {Create("h264_aac.mp4", &sinks[0]),
                                Create("h264_aac.mp4", &sinks[1])};
    const int receiver = std::less<IMediaFile*>()(instances[0].get(), instances[1].get()) ? 0 : 1;
    IMediaFile* other = instances[1 - receiver].get();
    // The handler takes its time, so the other's clock thread is likely to log meanwhile.
    sinks[receiver].m_step = [other] {
        std::this_thread::sleep_for(5ms);
        other->Pause();
        other->Resume();
    };
    ASSERT_EQ(instances[0]->Open(), 1);
    ASSERT_EQ(instances[1]->Open(), 1);
    test::AudioPuller audio0(instances[0].get());
    test::AudioPuller audio1(instances[1].get());
    test::AudioPuller& otherAudio = receiver == 0 ? audio1 : audio0;
    // Each Pause takes the other's next picture to hold, so its audio shows it playing.
    EXPECT_TRUE(WaitUntil(
        [&] { return sinks[receiver].m_nPictures.load() >= 30 && otherAudio.ChunkCount() >= 25; },
        20000));
    audio0.Stop();
    audio1.Stop();
    // The receiver's handler calls the other instance until the receiver is destroyed.
    instances[receiver].reset();
}

// The host holds its own lock while it reads the position on its control thread, and its
// picture handler takes the same lock: reading the position logs, and the log must not
// wait for the picture handler.
TEST(Host, PositionReadUnderTheHostsLockDoesNotWaitForThePictureHandler)
{
    std::mutex hostLock;
    ActingSink sink;
    sink.m_step = [&hostLock] { std::lock_guard<std::mutex> guard(hostLock); };
    InstancePtr instance = Create("h264_aac.mp4", &sink);
    ASSERT_EQ(instance->Open(), 1);
    test::AudioPuller audio(instance.get());
    // The host holds its lock a while, so a picture event is likely to wait for it.
    const bool played = WaitUntil(
        [&] {
            std::lock_guard<std::mutex> guard(hostLock);
            std::this_thread::sleep_for(5ms);
            int64_t pos = 0;
            int64_t duration = 0;
            instance->GetPos(&pos, &duration);
            return sink.m_nPictures.load() >= 30;
        },
        20000);
    EXPECT_TRUE(played);
    audio.Stop();
}

// ---- pause and loop content ----------------------------------------------------------

constexpr size_t kChunkBytes = 882 * 2 * 2;  // 20 ms of 44100 Hz stereo s16

// One pass of playback, as byte offsets into the reference decode.
struct Pass {
    size_t start;
    size_t end;
};

// Splits what the host played into passes over the reference. A chunk either continues
// the pass (it is the reference's next samples) or starts a new one: it is the reference
// at a chunk boundary no later than maxStartChunks. Anything else is a gap, a
// repeat or foreign audio, and fails.
std::vector<Pass> SplitPasses(const std::vector<std::string>& chunks, const std::string& reference,
                              size_t maxStartChunks)
{
    std::vector<Pass> passes;
    for (size_t i = 0; i < chunks.size(); ++i) {
        const std::string& chunk = chunks[i];
        if (!passes.empty() && test::NearPcm(reference, passes.back().end, chunk)) {
            passes.back().end += chunk.size();
            continue;
        }
        // The chunk that ends a pass ends in silence after the pass's last samples.
        const size_t sound = chunk.find_last_not_of('\0') + 1;
        if (!passes.empty() && sound < chunk.size() &&
            test::NearPcm(reference, passes.back().end, chunk.substr(0, sound))) {
            passes.back().end += sound;
            continue;
        }
        size_t start = 0;
        while (start <= maxStartChunks * kChunkBytes && !test::NearPcm(reference, start, chunk)) {
            start += kChunkBytes;
        }
        if (start > maxStartChunks * kChunkBytes) {
            ADD_FAILURE() << "chunk " << i << " neither goes on from "
                          << (passes.empty() ? 0 : passes.back().end) << " nor starts a pass";
            return passes;
        }
        passes.push_back({start, start + chunk.size()});
    }
    return passes;
}

// A pass plays to its last decoded block, its last chunk ending in silence (the decode
// after a flush may differ from FFmpeg's by a block at the end). At the start
// of the first pass with video, chunks older than the picture already shown are dropped.
constexpr size_t kMaxBlockBytes = 4096 * 2 * 2;
constexpr size_t kMaxVideoStartChunks = 5;

void ExpectWholePasses(const std::vector<Pass>& passes, const std::string& reference,
                       size_t maxStartChunks, size_t minPasses)
{
    ASSERT_GE(passes.size(), minPasses);
    for (size_t i = 0; i < passes.size(); ++i) {
        EXPECT_LE(passes[i].start, maxStartChunks * kChunkBytes) << "pass " << i;
        if (i + 1 < passes.size()) {
            EXPECT_GE(passes[i].end + kMaxBlockBytes + kChunkBytes, reference.size())
                << "pass " << i;
        }
    }
}

TEST(Host, PcmAcrossAPauseIsTheDecodeWithoutGapOrRepeat)
{
    const std::string reference = test::ReferencePcm("h264_aac.mp4", 44100, 2);
    const std::vector<std::string> pictures = test::ReferenceMd5s("h264_aac.mp4");
    RecordingSink sink;
    InstancePtr instance = Create("h264_aac.mp4", &sink);
    ASSERT_EQ(instance->Open(), 1);
    test::AudioPuller audio(instance.get());
    ASSERT_TRUE(
        WaitUntil([&] { return audio.ChunkCount() >= 25 && sink.PictureCount() >= 10; }, 20000));
    instance->Pause();
    std::this_thread::sleep_for(60ms);  // a pull or tick under way ends
    const size_t chunksAtPause = audio.ChunkCount();
    const size_t picturesAtPause = sink.PictureCount();
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= picturesAtPause + 10; }, 20000));
    EXPECT_EQ(audio.ChunkCount(), chunksAtPause);
    const std::vector<test::DeliveredPicture> held = sink.Pictures();
    EXPECT_GE(test::IndexOf(pictures, held[picturesAtPause].md5), 0);
    for (size_t i = picturesAtPause; i < held.size(); ++i) {
        EXPECT_EQ(held[i].md5, held[picturesAtPause].md5) << i;
    }
    instance->Resume();
    ASSERT_TRUE(WaitUntil([&] { return audio.ChunkCount() >= chunksAtPause + 40; }, 20000));
    audio.Stop();
    const std::vector<Pass> passes = SplitPasses(audio.Chunks(), reference, kMaxVideoStartChunks);
    EXPECT_EQ(passes.size(), 1u);
}

TEST(Host, LoopedAudioOnlyPassesAreTheWholeDecode)
{
    const std::string reference = test::ReferencePcm("pcm_s16.wav", 44100, 2);
    RecordingSink sink;
    InstancePtr instance = Create("pcm_s16.wav", &sink);
    instance->SetLoop(1);
    ASSERT_EQ(instance->Open(), 1);
    test::AudioPuller audio(instance.get());
    const size_t passChunks = reference.size() / kChunkBytes;
    ASSERT_TRUE(WaitUntil([&] { return audio.ChunkCount() >= passChunks * 2 + 20; }, 40000));
    audio.Stop();
    ExpectWholePasses(SplitPasses(audio.Chunks(), reference, 0), reference, 0, 3);
}

// A seek near the end of a looping sound (longer than the clock's 10 s jump) whose end
// falls inside a chunk: the next pass plays from its start, not from where its pts come
// within 10 s of the old clock.
TEST(Host, LoopedSoundSoughtNearItsEndGoesOnWithTheNextPass)
{
    const std::string reference = test::ReferencePcm("loop_12s.wav", 44100, 2);
    RecordingSink sink;
    InstancePtr instance = Create("loop_12s.wav", &sink);
    instance->SetLoop(1);
    ASSERT_EQ(instance->Open(), 1);
    test::AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return audio.ChunkCount() >= 10; }, 20000));
    instance->SetPos(11);
    const size_t afterSeek = audio.ChunkCount() + 1;  // one pull may be under way
    ASSERT_TRUE(WaitUntil([&] { return audio.ChunkCount() >= afterSeek + 150; }, 40000));
    audio.Stop();
    const std::vector<std::string> chunks = audio.Chunks();
    const std::vector<Pass> passes =
        SplitPasses({chunks.begin() + static_cast<std::ptrdiff_t>(afterSeek), chunks.end()},
                    reference, reference.size() / kChunkBytes);
    ASSERT_EQ(passes.size(), 2u);
    EXPECT_GE(passes[0].end + kChunkBytes, reference.size());
    EXPECT_EQ(passes[1].start, 0u);
    EXPECT_GE(passes[1].end, 100 * kChunkBytes);
}

// The same in an MP3, whose blocks do not end where chunks do: the position comes round
// through 1 s of the next pass instead of jumping to where the next pass's time stamps
// come within 10 s of the old clock.
TEST(Host, LoopedMp3SoughtNearItsEndComesRoundToItsStart)
{
    RecordingSink sink;
    InstancePtr instance = Create("loop_15s.mp3", &sink);
    instance->SetLoop(1);
    ASSERT_EQ(instance->Open(), 1);
    test::AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return audio.ChunkCount() >= 10; }, 20000));
    instance->SetPos(11);
    int64_t pos = -1;
    int64_t duration = -1;
    EXPECT_TRUE(WaitUntil(
        [&] {
            instance->GetPos(&pos, &duration);
            return pos == 1;
        },
        10000))
        << "position " << pos;
}

// What the restart rules drop in a looped file with video, and nothing else:
// - the pass's end: at most a block short of FFmpeg's decode, as the decode after a flush
//   may end differently;
// - a pass's start: its first chunk, when the render clock, paced by ticks after the
//   restart, has already shown a picture later than that chunk.
// Audio of a coming pass decoded while an earlier pass is still on screen belongs to that
// coming pass; dropping it for being older than the picture on screen leaves a hole.
void ExpectLoopedPassesWithVideo(const std::string& media, bool loopFromOpen)
{
    const std::string reference = test::ReferencePcm(media, 44100, 2);
    RecordingSink sink;
    InstancePtr instance = Create(media, &sink);
    instance->SetLoop(loopFromOpen ? 1 : 0);
    ASSERT_EQ(instance->Open(), 1);
    test::AudioPuller audio(instance.get());
    if (!loopFromOpen) {
        // Well before the decoder, 2.4 s ahead of the pictures, reaches the end of 3 s.
        ASSERT_TRUE(WaitUntil([&] { return audio.ChunkCount() >= 5; }, 20000));
        instance->SetLoop(1);
    }
    const size_t passChunks = reference.size() / kChunkBytes;
    ASSERT_TRUE(WaitUntil([&] { return audio.ChunkCount() >= passChunks * 2 + 20; }, 60000));
    audio.Stop();
    const std::vector<Pass> passes = SplitPasses(audio.Chunks(), reference, kMaxVideoStartChunks);
    ExpectWholePasses(passes, reference, kMaxVideoStartChunks, 3);
    for (size_t i = 1; i < passes.size(); ++i) {
        EXPECT_LE(passes[i].start, kChunkBytes) << "pass " << i;
    }
}

TEST(Host, LoopedPassesWithVideoAreTheWholeDecode)
{
    ExpectLoopedPassesWithVideo("loop_1s.mp4", true);
}

TEST(Host, LoopSwitchedOnMidPlayRepeatsTheWholeDecode)
{
    ExpectLoopedPassesWithVideo("h264_aac.mp4", false);
}

// ---- reopen ---------------------------------------------------------------------------

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr auto kAudioAfterOpen = 1500ms;  // the sanitizers slow the decoder's start
#else
constexpr auto kAudioAfterOpen = 300ms;
#endif

// Plays 2 s with audio pulled, optionally pauses, closes and opens again: the new run
// starts from the file's beginning, unpaused, with audio flowing at once.
void ExpectReopenStartsAfresh(bool pauseBeforeClose)
{
    const std::vector<std::string> reference = test::ReferenceMd5s("h264_aac.mp4");
    ASSERT_FALSE(reference.empty());
    RecordingSink sink;
    InstancePtr instance = Create("h264_aac.mp4", &sink);
    ASSERT_EQ(instance->Open(), 1);
    test::AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return audio.ChunkCount() >= 100; }, 20000));
    if (pauseBeforeClose) {
        instance->Pause();
    }
    instance->Close();
    sink.Clear();
    const size_t chunksAtOpen = audio.ChunkCount();
    ASSERT_EQ(instance->Open(), 1);
    const auto opened = std::chrono::steady_clock::now();
    int64_t pos = -1;
    int64_t duration = -1;
    EXPECT_EQ(instance->GetPos(&pos, &duration), 1);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(instance->IsPaused(), 0);
    ASSERT_TRUE(WaitUntil([&] { return audio.ChunkCount() > chunksAtOpen; }, 20000));
    EXPECT_LE(std::chrono::steady_clock::now() - opened, kAudioAfterOpen);
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 5; }, 20000));
    audio.Stop();
    const std::vector<test::DeliveredPicture> pictures = sink.Pictures();
    EXPECT_EQ(pictures[0].md5, reference[0])
        << "picture " << test::IndexOf(reference, pictures[0].md5);
    EXPECT_NE(pictures[4].md5, pictures[0].md5) << "pictures do not move";
}

TEST(Host, ReopenStartsFromTheBeginning) { ExpectReopenStartsAfresh(false); }

TEST(Host, ReopenAfterPauseIsNotPaused) { ExpectReopenStartsAfresh(true); }

// ---- picture size change ----------------------------------------------------------------

// A video-only file whose pictures reach the host as FFmpeg makes them (with the filter
// given), in order, at the sizes given and each of them seen. GetFileInfo reports the
// first size.
struct ShapedAs {
    const char* media;
    const char* filter;  // FFmpeg's, for the same pictures
    std::vector<std::pair<int, int>> sizes;  // in the order they come
};

void ExpectDeliveredAsFfmpegShapesThem(const ShapedAs& row)
{
    SCOPED_TRACE(row.media);
    const std::vector<std::string> reference = test::ReferenceMd5s(row.media, row.filter);
    ASSERT_GE(reference.size(), 25u);
    RecordingSink sink;
    InstancePtr instance = Create(row.media, &sink);
    int32_t audioOnly = 0;
    MediaFileInfo info{};
    ASSERT_EQ(instance->GetFileInfo(0, &audioOnly, &info), 1);
    EXPECT_EQ(std::make_pair(info.nWidth, info.nHeight), row.sizes.front());
    ASSERT_EQ(instance->Open(), 1);
    WaitUntil(
        [&] {
            const std::vector<test::DeliveredPicture> got = sink.Pictures();
            return !got.empty() && got.back().md5 == reference.back();
        },
        20000);
    instance->Close();
    int next = 0;
    std::vector<int> seen(row.sizes.size(), 0);
    for (const test::DeliveredPicture& picture : sink.Pictures()) {
        EXPECT_EQ(picture.nSize, picture.nWidth * picture.nHeight * 3 / 2);
        const auto size = std::find(row.sizes.begin(), row.sizes.end(),
                                    std::make_pair(picture.nWidth, picture.nHeight));
        ASSERT_NE(size, row.sizes.end()) << picture.nWidth << "x" << picture.nHeight;
        ++seen[size - row.sizes.begin()];
        const int index = test::IndexOf(reference, picture.md5);
        ASSERT_GE(index, next) << picture.nWidth << "x" << picture.nHeight
                               << ": not FFmpeg's picture, or out of order";
        next = index;
    }
    for (int count : seen) EXPECT_GE(count, 10);
}

// Each picture at its own size when it shrinks or grows after 1 s; turned as the display
// matrix says, a quarter turn either way (the second as phones write it) or mirrored.
TEST(Host, PicturesAreDeliveredAsFfmpegShapesThem)
{
    const ShapedAs rows[] = {
        {"size_change.ts", "", {{320, 240}, {160, 120}}},
        {"size_grow.ts", "", {{160, 120}, {320, 240}}},
        {"turn_90.mp4", "transpose=cclock", {{176, 320}}},
        {"turn_270.mp4", "transpose=clock", {{176, 320}}},
        {"mirror.mp4", "hflip", {{320, 176}}},
    };
    for (const ShapedAs& row : rows) ExpectDeliveredAsFfmpegShapesThem(row);
}

// PAL 16:9 (720x576, pixels of 64:45) reaches the host scaled to square pixels.
TEST(Host, NonSquarePixelsAreScaledAsFfmpegScalesThem)
{
    ExpectDeliveredAsFfmpegShapesThem(
        {"pal_wide.mpg", "scale=1024:576:flags=bicubic", {{1024, 576}}});
}

// ---- seeks ------------------------------------------------------------------------------

// Seconds into the media of a delivered picture (25 fps fixtures), or -100 for a picture
// that is not FFmpeg's.
double PictureTime(const std::vector<std::string>& reference, const std::string& md5)
{
    const int index = test::IndexOf(reference, md5);
    return index < 0 ? -100.0 : index / 25.0;
}

// Seeks to target and checks the picture shown afterwards (one picture under way at the
// SetPos may still go out first) and the position. The renderer holds its audio from the
// SetPos until the new position's pictures have started, as a player's pre-roll does.
// With via, a host scrubbing while paused seeks there first, and shows no picture of it.
void ExpectSeekLands(IMediaFile* instance, RecordingSink& sink, test::AudioPuller& audio,
                     const std::vector<std::string>& reference, int64_t target, bool paused,
                     int64_t via = -1)
{
    SCOPED_TRACE("to " + std::to_string(target) + (paused ? " while paused" : " while playing") +
                 (via >= 0 ? " by way of " + std::to_string(via) : ""));
    if (paused) {
        instance->Pause();
    }
    const size_t before = sink.PictureCount();
    audio.Hold();
    if (via >= 0) {
        EXPECT_EQ(instance->SetPos(via), 1);
    }
    EXPECT_EQ(instance->SetPos(target), 1);
    if (paused) {
        instance->Resume();
    }
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= before + 2; }, 20000));
    audio.Release();
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= before + 3; }, 20000));
    const double shown = PictureTime(reference, sink.Pictures()[before + 1].md5);
    EXPECT_LE(std::abs(shown - static_cast<double>(target)), 1.0) << "picture at " << shown;
    int64_t pos = -1;
    int64_t duration = -1;
    instance->GetPos(&pos, &duration);
    EXPECT_LE(std::abs(static_cast<double>(pos) - shown), 1.0) << "GetPos " << pos;
    EXPECT_GE(pos, target) << "sound from before the target was played";
}

class HostSeek : public testing::TestWithParam<const char*> {};

TEST_P(HostSeek, LandsNearTheTarget)
{
    const char* media = GetParam();
    const std::vector<std::string> reference = test::ReferenceMd5s(media);
    ASSERT_GE(reference.size(), 245u);
    RecordingSink sink;
    InstancePtr instance = Create(media, &sink);
    ASSERT_EQ(instance->Open(), 1);
    test::AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 3; }, 20000));
    EXPECT_EQ(test::IndexOf(reference, sink.Pictures()[0].md5), 0) << "the first picture";
    ExpectSeekLands(instance.get(), sink, audio, reference, 6, false);
    ExpectSeekLands(instance.get(), sink, audio, reference, 2, false);
    ExpectSeekLands(instance.get(), sink, audio, reference, 7, true);
    ExpectSeekLands(instance.get(), sink, audio, reference, 3, true);
    ExpectSeekLands(instance.get(), sink, audio, reference, 3, true, 6);
    audio.Stop();
}

// Positions outside the media: a seek before the start plays from the start, one past the
// end is at the end, and GetPos stays within 0 to the duration while open; a closed
// instance answers 0 and -1.
TEST_P(HostSeek, PositionsStayWithinTheMedia)
{
    RecordingSink sink;
    InstancePtr instance = Create(GetParam(), &sink);
    ASSERT_EQ(instance->Open(), 1);
    test::AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 3; }, 20000));
    int64_t pos = -1;
    int64_t duration = -1;
    for (int64_t target : {int64_t{-1}, int64_t{12}, INT64_MAX / 3, INT64_MIN, int64_t{4}}) {
        SCOPED_TRACE("SetPos(" + std::to_string(target) + ")");
        instance->SetPos(target);
        instance->GetPos(&pos, &duration);
        EXPECT_EQ(duration, 10);
        EXPECT_EQ(pos, std::clamp<int64_t>(target, 0, duration));
        for (int i = 0; i < 20; ++i) {
            std::this_thread::sleep_for(10ms);
            instance->GetPos(&pos, &duration);
            EXPECT_GE(pos, 0);
            EXPECT_LE(pos, duration);
        }
    }
    audio.Stop();
    instance->Close();
    instance->GetPos(&pos, &duration);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(duration, -1);
}

// One test per container, so that each stays well inside the test timeout.
INSTANTIATE_TEST_SUITE_P(EveryContainer, HostSeek,
                         testing::Values("seek_10s.mp4", "seek_10s.mkv", "seek_10s.avi",
                                         "seek_10s.ts", "seek_10s.mpg"),
                         [](const testing::TestParamInfo<const char*>& param) {
                             const std::string name = param.param;
                             return name.substr(name.find('.') + 1);
                         });

}  // namespace
