#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "demux/demux_test_support.h"
#include "demux/ffmpeg_log.h"
#include "demux/ffmpeg_ptr.h"
#include "diag/instance_registry.h"
#include "quorvel.h"

namespace {

using test::MediaPath;
using test::WideMediaPath;

class DemuxerOpen : public ::testing::Test {
protected:
    MediaInfo Info(const std::string& name)
    {
        MediaInfo info{};
        EXPECT_EQ(demuxer.Init(WideMediaPath(name)), 0) << name;
        EXPECT_EQ(demuxer.GetMediaInfo(&info), 0);
        return info;
    }
    Demuxer demuxer;
};

TEST_F(DemuxerOpen, MediaAndFileInfoOfAnOrdinaryFile)
{
    MediaInfo info = Info("h264_aac.mp4");
    EXPECT_EQ(info.nWidth, 320);
    EXPECT_EQ(info.nHeight, 240);
    EXPECT_EQ(info.nFrameRate, 25);
    EXPECT_EQ(info.nSampleRate, 44100);
    EXPECT_EQ(info.nChannels, 2);
    EXPECT_EQ(info.nReserved, 0);
    EXPECT_EQ(info.llStartTime, 0);
    EXPECT_EQ(demuxer.GetDuration(), 3);
    EXPECT_FALSE(demuxer.IsAudioOnly());
    EXPECT_FALSE(demuxer.IsVideoOnly());
    MediaFileInfo file{};
    ASSERT_EQ(demuxer.GetFileInfo(&file), 0);
    EXPECT_STREQ(file.szVideoCodec, "h264");
    EXPECT_STREQ(file.szAudioCodec, "aac");
    EXPECT_GT(file.llFileSize, 0);
}

// ffprobe shows the cover as an mjpeg stream with r_frame_rate 90000/1, avg 0/0.
TEST_F(DemuxerOpen, CoverPictureMp3IsAudioOnly)
{
    MediaInfo info = Info("cover.mp3");
    EXPECT_TRUE(demuxer.IsAudioOnly());
    EXPECT_FALSE(demuxer.IsVideoOnly());
    EXPECT_EQ(info.nFrameRate, 0);
    EXPECT_DOUBLE_EQ(demuxer.GetFrameRate(), 0.0);  // a timer's rate is no frame rate
    EXPECT_EQ(info.nWidth, 160);
}

TEST_F(DemuxerOpen, StreamShapes)
{
    EXPECT_EQ(Info("ntsc.mp4").nFrameRate, 29);
    EXPECT_NEAR(demuxer.GetFrameRate(), 29.97, 0.001);
    EXPECT_TRUE(demuxer.IsVideoOnly());
    EXPECT_EQ(Info("ntsc.mp4").nSampleRate, 0);
    demuxer.UnInit();

    EXPECT_EQ(Info("start_time.ts").llStartTime, 11);  // 10 s offset + the muxer's delay
    demuxer.UnInit();
    EXPECT_EQ(Info("two_audio.mkv").nSampleRate, 48000);  // the last audio stream
    demuxer.UnInit();
    MediaInfo surround = Info("surround51.m4a");
    EXPECT_EQ(surround.nChannels, 6);
    EXPECT_TRUE(demuxer.IsAudioOnly());
}

TEST_F(DemuxerOpen, RefusedInputsLeaveItEmpty)
{
    for (const char* name : {"not_media.mp4", "truncated.mp4", "missing.mp4"}) {
        EXPECT_EQ(demuxer.Init(WideMediaPath(name)), -1) << name;
        MediaInfo info{};
        EXPECT_EQ(demuxer.GetMediaInfo(&info), -1);
        EXPECT_EQ(demuxer.GetDuration(), -1);
        EXPECT_FALSE(demuxer.IsAudioOnly());
        EXPECT_FALSE(demuxer.IsVideoOnly());
    }
    EXPECT_EQ(demuxer.Init(L""), -1);
    // Too long to hand over whole, even though a prefix would name a real file.
    EXPECT_EQ(demuxer.Init(WideMediaPath("h264_aac.mp4") + std::wstring(1024, L'x')), -1);
}

TEST_F(DemuxerOpen, UnInitReleasesAndRepeats)
{
    Info("h264_aac.mp4");
    EXPECT_EQ(demuxer.UnInit(), 0);
    EXPECT_EQ(demuxer.UnInit(), 0);
    EXPECT_EQ(demuxer.GetDuration(), -1);
    EXPECT_FALSE(demuxer.IsAudioOnly());
    MediaFileInfo file{};
    EXPECT_EQ(demuxer.GetFileInfo(&file), -1);
    demuxer.Seek(1);  // nothing open: nothing recorded, nothing crashes
    Info("pcm_s16.wav");
    EXPECT_TRUE(demuxer.IsAudioOnly());
}

// Runs a whole file through the loop on this thread and returns what the owner saw.
test::RecordingOwner Decode(const std::string& name, uint32_t* exitCode = nullptr,
                            void (*setup)(Demuxer&) = nullptr, bool lend = false)
{
    test::TestDemuxer demuxer;
    test::RecordingOwner owner;
    owner.lend = lend;
    EXPECT_EQ(demuxer.Init(WideMediaPath(name)), 0) << name;
    if (setup) setup(demuxer);
    demuxer.SetOwner(&owner);
    uint32_t code = demuxer.RunHere();
    if (exitCode) *exitCode = code;
    demuxer.UnInit();
    return owner;
}

void ExpectPicturesMatchFfmpeg(const std::string& name, int width, int height, bool lend = false)
{
    uint32_t code = 1;
    test::RecordingOwner owner = Decode(name, &code, nullptr, lend);
    if (lend) {
        EXPECT_EQ(owner.handedBackLent, static_cast<int>(owner.pictures.size()));
    }
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(owner.ends, 1);
    std::vector<std::vector<uint8_t>> reference = test::ReferencePictures(name, width, height);
    ASSERT_FALSE(reference.empty()) << name;
    ASSERT_EQ(owner.pictures.size(), reference.size()) << name;
    for (size_t i = 0; i < reference.size(); ++i) {
        const test::Picture& picture = owner.pictures[i];
        ASSERT_EQ(picture.nWidth, width);
        ASSERT_EQ(picture.nHeight, height);
        ASSERT_TRUE(picture.packed == reference[i]) << name << " picture " << i;
        if (i > 0) {
            EXPECT_GT(picture.dPts, owner.pictures[i - 1].dPts) << name << " " << i;
        }
    }
}

TEST(DemuxerDecode, PicturesEqualFfmpegsOwnDecode)
{
    ExpectPicturesMatchFfmpeg("h264_aac.mp4", 320, 240);  // B-frames: drained at the end
    ExpectPicturesMatchFfmpeg("mpeg4_mp3.avi", 320, 240);
    ExpectPicturesMatchFfmpeg("video_only.mp4", 320, 240);
    ExpectPicturesMatchFfmpeg("start_time.ts", 320, 240);
    ExpectPicturesMatchFfmpeg("yuv422.mkv", 320, 240);  // converted to 4:2:0
}

// An owner that lends buffers gets the same pictures, packed in its buffers, including
// those converted from another pixel format and those after a change of size.
TEST(DemuxerDecode, PicturesPackedIntoLentBuffersEqualFfmpegsOwnDecode)
{
    ExpectPicturesMatchFfmpeg("h264_aac.mp4", 320, 240, true);
    ExpectPicturesMatchFfmpeg("yuv422.mkv", 320, 240, true);
    ExpectPicturesMatchFfmpeg("yuv422_200x120.mkv", 200, 120, true);
    ExpectPicturesMatchFfmpeg("odd_321x241.mkv", 321, 241, true);
    test::RecordingOwner owner = Decode("size_change.ts", nullptr, nullptr, true);
    ASSERT_FALSE(owner.pictures.empty());
    EXPECT_EQ(owner.pictures.back().nWidth, 160);
    EXPECT_EQ(owner.handedBackLent, static_cast<int>(owner.pictures.size()));
}

// While the owner says pictures are late the decoder leaves out only pictures nothing
// refers to; while they lag, it hands none out and decodes nothing up to the next key
// picture (one a second). Every picture it still delivers is FFmpeg's, in order; once they
// are on time again it decodes every picture (after the packets already in the decoder).
TEST(DemuxerDecode, LatePicturesSkipOnlyWhatCanBeSkippedUntilOnTime)
{
    using Lateness = DemuxerInterface::Lateness;
    const std::vector<std::vector<uint8_t>> reference =
        test::ReferencePictures("h264_aac.mp4", 320, 240);
    for (Lateness late : {Lateness::Slow, Lateness::Lagging}) {
        SCOPED_TRACE(static_cast<int>(late));
        test::TestDemuxer demuxer;
        test::RecordingOwner owner;
        owner.lateness = [late](double pts) { return pts < 1.5 ? late : Lateness::OnTime; };
        ASSERT_EQ(demuxer.Init(WideMediaPath("h264_aac.mp4")), 0);
        demuxer.SetOwner(&owner);
        EXPECT_EQ(demuxer.RunHere(), 0u);
        demuxer.UnInit();
        ASSERT_LT(owner.pictures.size(), reference.size());
        size_t next = 0;  // reference pictures before it are matched or skipped
        int beforeOnTime = 0;
        for (const test::Picture& picture : owner.pictures) {
            const size_t expected = next;
            while (next < reference.size() && picture.packed != reference[next]) ++next;
            ASSERT_LT(next, reference.size()) << "a picture that is not FFmpeg's, or out of order";
            if (picture.dPts >= 2.5) {
                EXPECT_EQ(next, expected) << "skipped while on time";
            }
            beforeOnTime += picture.dPts < 2.0 ? 1 : 0;
            ++next;
        }
        EXPECT_EQ(next, reference.size());
        if (late == Lateness::Lagging) {
            // None lagging is handed out, and decoding goes on from the key picture at 2 s:
            // the ones between were not decoded.
            EXPECT_EQ(beforeOnTime, 0);
            EXPECT_EQ(owner.pictures.size(), 25u);
        }
    }
}

// An owner that wants its audio first gets the audio behind the pictures decoded ahead of
// them, and still the very pictures and PCM of an in-order decode: for a while (the start
// of a playback), and for ever (after the audio ended), where the pictures put aside must
// be decoded when the backlog fills up and at the end of the input.
TEST(DemuxerDecode, AudioWantedFirstComesAheadOfPicturesThatAllStillCome)
{
    const test::RecordingOwner inOrder = Decode("h264_aac.mp4");
    ASSERT_EQ(inOrder.pictures.size(), 75u);
    for (const double wanted : {1.0, 1e9}) {
        test::TestDemuxer demuxer;
        test::RecordingOwner owner;
        owner.audioFirst = [wanted](const test::RecordingOwner& o) {
            return o.AudioSeconds() < wanted;
        };
        double audioAtFirstPicture = -1.0;
        owner.afterPicture = [&audioAtFirstPicture](test::RecordingOwner& o) {
            if (o.pictures.size() == 1) audioAtFirstPicture = o.AudioSeconds();
        };
        ASSERT_EQ(demuxer.Init(WideMediaPath("h264_aac.mp4")), 0);
        demuxer.SetOwner(&owner);
        EXPECT_EQ(demuxer.RunHere(), 0u);
        demuxer.UnInit();
        EXPECT_GE(audioAtFirstPicture, std::min(wanted, 2.0)) << wanted;
        ASSERT_EQ(owner.pictures.size(), inOrder.pictures.size()) << wanted;
        for (size_t i = 0; i < inOrder.pictures.size(); ++i)
            ASSERT_TRUE(owner.pictures[i].packed == inOrder.pictures[i].packed)
                << wanted << " picture " << i;
        EXPECT_TRUE(owner.pcm == inOrder.pcm) << wanted;
    }
}

// The rounded-up tail of an odd-sized buffer is handed out too: it must be zero, not what
// the lender's buffer held before.
TEST(DemuxerDecode, TailOfAnOddSizedLentBufferIsZeroed)
{
    test::RecordingOwner odd = Decode("odd_321x241.mkv", nullptr, nullptr, true);
    const size_t packed = 321u * 241 + 2 * 160 * 120;
    ASSERT_GT(odd.lent.size(), packed);
    EXPECT_TRUE(
        std::all_of(odd.lent.begin() + packed, odd.lent.end(), [](uint8_t b) { return b == 0; }));
}

TEST(DemuxerDecode, OddWidthPacksChromaRowsRoundedDown)
{
    ExpectPicturesMatchFfmpeg("odd_321x241.mkv", 321, 241);
    test::RecordingOwner owner = Decode("odd_321x241.mkv");
    ASSERT_FALSE(owner.pictures.empty());
    EXPECT_EQ(owner.pictures[0].packed.size(), 321u * 241 + 2 * 160 * 120);
    EXPECT_GE(owner.pictures[0].nSize, static_cast<int>(owner.pictures[0].packed.size()));
}

TEST(DemuxerDecode, SizeChangeResizesThePicture)
{
    test::RecordingOwner owner = Decode("size_change.ts");
    ASSERT_FALSE(owner.pictures.empty());
    EXPECT_EQ(owner.pictures.front().nWidth, 320);
    EXPECT_EQ(owner.pictures.back().nWidth, 160);
    EXPECT_EQ(owner.pictures.back().nSize, 160 * 120 * 3 / 2);
}

TEST(DemuxerDecode, S16PcmIsHandedOutUnchanged)
{
    test::RecordingOwner owner = Decode("pcm_s16.wav");
    ASSERT_FALSE(owner.audio.empty());
    EXPECT_TRUE(owner.pcm == test::ReferencePcm("pcm_s16.wav"));
    for (const test::AudioBlock& block : owner.audio) {
        EXPECT_EQ(block.nSampleRate, 44100);
        EXPECT_EQ(block.nChannels, 2);
    }
    EXPECT_EQ(owner.waitLimits.front(), DEMUX_WAIT_AUDIO_ONLY);

    test::RecordingOwner withVideo = Decode("h264_pcm.mkv");
    EXPECT_TRUE(withVideo.pcm == test::ReferencePcm("h264_pcm.mkv"));
    EXPECT_EQ(withVideo.audio.front().nSampleRate, 48000);
}

TEST(DemuxerDecode, ForcedOutputFormats)
{
    test::RecordingOwner resampled =
        Decode("audio_22050.mp3", nullptr, [](Demuxer& d) { d.ForceSampleRate44100(); });
    ASSERT_FALSE(resampled.audio.empty());
    for (const test::AudioBlock& block : resampled.audio) EXPECT_EQ(block.nSampleRate, 44100);
    double seconds = resampled.pcm.size() / (44100.0 * 2 * 2);
    EXPECT_NEAR(seconds, 2.0, 0.15);

    test::RecordingOwner stereo =
        Decode("surround51.m4a", nullptr, [](Demuxer& d) { d.ForceStereoOutput(); });
    ASSERT_FALSE(stereo.audio.empty());
    for (const test::AudioBlock& block : stereo.audio) EXPECT_EQ(block.nChannels, 2);
    EXPECT_NEAR(stereo.pcm.size() / (48000.0 * 2 * 2), 2.0, 0.15);
}

TEST(DemuxerDecode, SecondAudioStreamIsDecoded)
{
    test::RecordingOwner owner = Decode("two_audio.mkv");
    ASSERT_FALSE(owner.audio.empty());
    EXPECT_EQ(owner.audio.front().nSampleRate, 48000);
    EXPECT_EQ(owner.pcm.size(), 48000u * 2 * 2);
}

TEST(DemuxerDecode, CoverPictureIsDecodedButNeverShown)
{
    test::RecordingOwner owner = Decode("cover.mp3");
    EXPECT_TRUE(owner.pictures.empty());
    EXPECT_FALSE(owner.audio.empty());
    EXPECT_NE(std::find(owner.waitLimits.begin(), owner.waitLimits.end(), DEMUX_WAIT_VIDEO),
              owner.waitLimits.end());
}

// FFmpeg's messages about the engine's contexts are the engine's log texts, also from a
// thread of FFmpeg's own (a decoder's frame thread), and so is any message logged on a
// thread while it works for the engine; a message about anything else (a host using
// FFmpeg itself) is left to FFmpeg's default handling. Below warnings, nothing is sent.
TEST(FfmpegLog, OnlyMessagesAboutTheEnginesWorkBecomeLogTexts)
{
    demux::RouteFfmpegLogs();
    test::RecordingOwner receiver;
    diag::RegisterInstance(&receiver);
    ffmpeg::CodecContextPtr engines(avcodec_alloc_context3(nullptr));
    engines->opaque = demux::EngineContextMark();
    ffmpeg::CodecContextPtr hosts(avcodec_alloc_context3(nullptr));
    std::thread([&] {
        av_log(engines.get(), AV_LOG_ERROR, "about the engine's %s", "work\n");
        av_log(engines.get(), AV_LOG_INFO, "chatter\n");
        av_log(hosts.get(), AV_LOG_ERROR, "about the host's own work\n");
        av_log(nullptr, AV_LOG_ERROR, "about nothing in particular\n");
    }).join();
    {
        const demux::EngineThreadScope engine;
        av_log(nullptr, AV_LOG_WARNING, "on the engine's thread, \x01 from a file\n");
    }
    diag::UnregisterInstance(&receiver);
    EXPECT_EQ(receiver.infos,
              (std::vector<std::wstring>{L"[NULL] about the engine's work",
                                         L"[ffmpeg] on the engine's thread, ? from a file"}));
}

}  // namespace
