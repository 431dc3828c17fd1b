// quorvel-play play run as a subprocess: its pictures and sound against FFmpeg's decode,
// scripted controls, looping, interrupts, the SDL path and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "e2e_support.h"

namespace e2e {
namespace {

using Event = std::map<std::string, std::string>;

std::vector<Event> ReadEvents(const std::string& path)
{
    std::vector<Event> events;
    for (const std::string& line : Lines(ReadFile(path))) events.push_back(ParseFlatJson(line));
    return events;
}

std::vector<Event> OfKind(const std::vector<Event>& events, const std::string& kind)
{
    std::vector<Event> found;
    std::copy_if(events.begin(), events.end(), std::back_inserter(found),
                 [&](const Event& e) { return e.at("event") == kind; });
    return found;
}

std::vector<std::string> Hashes(const std::vector<FrameHash>& frames)
{
    std::vector<std::string> hashes;
    for (const FrameHash& f : frames) hashes.push_back(f.md5);
    return hashes;
}

// The presentation time of the source picture with this hash; NAN when there is none.
double PtsOf(const std::vector<FrameHash>& source, const std::string& md5)
{
    for (const FrameHash& f : source)
        if (f.md5 == md5) return f.pts;
    return NAN;
}

TEST(PlayE2e, DeliversEveryPictureOfTheFileInAboutRealTime)
{
    TempDir dir;
    const RunResult run = RunPlay({"play", Media("h264_aac.mp4"), "--video-out", dir.File("v.y4m"),
                                   "--events", dir.File("e.jsonl")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("end of file"), std::string::npos) << run.out;
    EXPECT_GE(run.seconds, 2.5);  // paced by the audio, not decoded flat out
    EXPECT_LE(run.seconds, 12.0);
    EXPECT_EQ(Hashes(FfmpegFrameHashes(dir.File("v.y4m"))),
              Hashes(FfmpegFrameHashes(Media("h264_aac.mp4"))));
    const auto frames = OfKind(ReadEvents(dir.File("e.jsonl")), "video_frame");
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames[0].at("width"), "320");
    EXPECT_EQ(frames[0].at("height"), "240");
    EXPECT_EQ(frames[0].at("size"), std::to_string(320 * 240 * 3 / 2));
}

TEST(PlayE2e, PlayedAudioEqualsTheS16SourceAndPicturesMatch)
{
    TempDir dir;
    const RunResult run =
        RunPlay({"play", Media("h264_pcm.mkv"), "--video-out", dir.File("v.y4m"), "--audio-out",
                 dir.File("a.wav"), "--events", dir.File("e.jsonl")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(FfmpegPcm(dir.File("a.wav")), FfmpegPcm(Media("h264_pcm.mkv")));
    EXPECT_EQ(Hashes(FfmpegFrameHashes(dir.File("v.y4m"))),
              Hashes(FfmpegFrameHashes(Media("h264_pcm.mkv"))));
    const auto chunks = OfKind(ReadEvents(dir.File("e.jsonl")), "audio");
    ASSERT_FALSE(chunks.empty());
    EXPECT_EQ(chunks[0].at("rate"), "48000");
    EXPECT_EQ(chunks[0].at("channels"), "2");
    EXPECT_EQ(chunks[0].at("bytes"), std::to_string(48000 / 50 * 4));
}

TEST(PlayE2e, AudioOnlyFilePlaysItsPcmOut)
{
    TempDir dir;
    const RunResult run = RunPlay({"play", Media("pcm_s16.wav"), "--audio-out", dir.File("a.wav")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_GE(run.seconds, 1.5);
    EXPECT_EQ(FfmpegPcm(dir.File("a.wav")), FfmpegPcm(Media("pcm_s16.wav")));
    EXPECT_NE(run.out.find("0 pictures, 2.00 s of audio"), std::string::npos) << run.out;
}

// The first picture shown a little after the seek comes from within a second of the target.
TEST(PlayE2e, ScriptedSeekLandsNearItsTarget)
{
    TempDir dir;
    const RunResult run =
        RunPlay({"play", Media("seek_10s.mp4"), "--seek-at", "0.5:5", "--for", "2", "--video-out",
                 dir.File("v.y4m"), "--events", dir.File("e.jsonl")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto events = ReadEvents(dir.File("e.jsonl"));
    const auto seeks = OfKind(events, "seek");
    ASSERT_EQ(seeks.size(), 1u);
    const long seek_ms = std::stol(seeks[0].at("t"));
    const auto frames = OfKind(events, "video_frame");
    const auto after = std::find_if(frames.begin(), frames.end(), [&](const Event& f) {
        return std::stol(f.at("t")) >= seek_ms + 150;
    });
    ASSERT_NE(after, frames.end());
    const auto shown = Hashes(FfmpegFrameHashes(dir.File("v.y4m")));
    const size_t index = std::stoul(after->at("index"));
    ASSERT_LT(index, shown.size());
    const double pts = PtsOf(FfmpegFrameHashes(Media("seek_10s.mp4")), shown[index]);
    ASSERT_FALSE(std::isnan(pts));
    EXPECT_NEAR(pts, 5.0, 1.0);
}

TEST(PlayE2e, StartOptionSeeksBeforePlaying)
{
    TempDir dir;
    const RunResult run =
        RunPlay({"play", Media("h264_aac.mp4"), "--start", "2", "--video-out", dir.File("v.y4m")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto shown = Hashes(FfmpegFrameHashes(dir.File("v.y4m")));
    ASSERT_FALSE(shown.empty());
    const double pts = PtsOf(FfmpegFrameHashes(Media("h264_aac.mp4")), shown.back());
    EXPECT_NEAR(pts, 2.96, 0.1);
    EXPECT_LT(shown.size(), 75u - 25u);
}

// Every return of the shown pictures to an earlier part of the file is a restart.
TEST(PlayE2e, LoopedPlayRestartsFromTheBeginning)
{
    TempDir dir;
    const RunResult run =
        RunPlay({"play", Media("loop_2s.mp4"), "--loop", "--for", "5", "--video-out",
                 dir.File("v.y4m"), "--events", dir.File("e.jsonl")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("time limit"), std::string::npos) << run.out;
    const auto source = FfmpegFrameHashes(Media("loop_2s.mp4"));
    const auto shown = Hashes(FfmpegFrameHashes(dir.File("v.y4m")));
    EXPECT_GT(shown.size(), source.size() + 10);
    int restarts = 0;
    double previous = 0;
    for (const std::string& md5 : shown) {
        const double pts = PtsOf(source, md5);
        ASSERT_FALSE(std::isnan(pts)) << "a picture that is not in the file";
        if (pts < previous - 1.0) ++restarts;
        previous = pts;
    }
    EXPECT_GE(restarts, 1);
    long last_pos = 0;
    bool went_back = false;
    for (const Event& p : OfKind(ReadEvents(dir.File("e.jsonl")), "position")) {
        const long pos = std::stol(p.at("pos"));
        went_back = went_back || pos < last_pos;
        last_pos = pos;
    }
    EXPECT_TRUE(went_back);
}

TEST(PlayE2e, PauseHoldsTheAudioForItsLength)
{
    TempDir dir;
    const RunResult run =
        RunPlay({"play", Media("h264_pcm.mkv"), "--pause-at", "0.5:1", "--audio-out",
                 dir.File("a.wav"), "--events", dir.File("e.jsonl")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_GE(run.seconds, 2.8);
    const auto events = ReadEvents(dir.File("e.jsonl"));
    const long paused = std::stol(OfKind(events, "pause").at(0).at("t"));
    const long resumed = std::stol(OfKind(events, "resume").at(0).at("t"));
    EXPECT_GE(resumed - paused, 900);
    for (const Event& chunk : OfKind(events, "audio")) {
        const long t = std::stol(chunk.at("t"));
        EXPECT_FALSE(t > paused + 100 && t < resumed) << "chunk at " << t;
    }
    EXPECT_EQ(FfmpegPcm(dir.File("a.wav")), FfmpegPcm(Media("h264_pcm.mkv")));
}

TEST(PlayE2e, InterruptClosesCleanlyWithCompleteFiles)
{
    TempDir dir;
    const RunResult run = RunPlay({"play", Media("h264_pcm.mkv"), "--loop", "--audio-out",
                                   dir.File("a.wav"), "--video-out", dir.File("v.y4m")},
                                  {}, 30, 1.0);
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_LT(run.seconds, 10);
    EXPECT_NE(run.out.find("interrupted"), std::string::npos) << run.out;
    const std::string wav = ReadFile(dir.File("a.wav"));
    ASSERT_GT(wav.size(), 44u);
    const uint32_t data_bytes = uint32_t(uint8_t(wav[40])) | uint32_t(uint8_t(wav[41])) << 8 |
                                uint32_t(uint8_t(wav[42])) << 16 | uint32_t(uint8_t(wav[43])) << 24;
    EXPECT_EQ(data_bytes, wav.size() - 44);
    EXPECT_FALSE(FfmpegFrameHashes(dir.File("v.y4m")).empty());
}

TEST(PlayE2e, SizeChangeStartsANumberedSecondFile)
{
    TempDir dir;
    const RunResult run =
        RunPlay({"play", Media("size_change.ts"), "--video-out", dir.File("v.y4m")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(dir.File("v.y4m")).rfind("YUV4MPEG2 W320 H240 ", 0), 0u);
    EXPECT_EQ(ReadFile(dir.File("v-2.y4m")).rfind("YUV4MPEG2 W160 H120 ", 0), 0u);
    EXPECT_NE(run.out.find("v-2.y4m"), std::string::npos) << run.out;
}

TEST(PlayE2e, WindowRunsWithSdlDummyDrivers)
{
    TempDir dir;
    const RunResult run = RunPlay(
        {"play", "--window", Media("h264_aac.mp4"), "--for", "2", "--events", dir.File("e.jsonl")},
        {{"SDL_VIDEODRIVER", "dummy"}, {"SDL_AUDIODRIVER", "dummy"}});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("headless"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("paced silently"), std::string::npos) << run.err;
    const auto events = ReadEvents(dir.File("e.jsonl"));
    EXPECT_GT(OfKind(events, "video_frame").size(), 10u);
    EXPECT_GT(OfKind(events, "audio").size(), 20u);
}

TEST(PlayE2e, WindowFallsBackToHeadlessWithoutADisplay)
{
    TempDir dir;
    const RunResult run =
        RunPlay({"play", "--window", Media("h264_aac.mp4"), "--for", "1.5", "--events",
                 dir.File("e.jsonl")},
                {{"SDL_VIDEODRIVER", "none-such"}, {"SDL_AUDIODRIVER", "none-such"}});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("no display"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("playing headless"), std::string::npos) << run.err;
    EXPECT_GT(OfKind(ReadEvents(dir.File("e.jsonl")), "video_frame").size(), 5u);
}

TEST(PlayE2e, BadInputGivesOneErrorLineWithoutHanging)
{
    TempDir dir;
    const std::vector<std::tuple<std::vector<std::string>, int, std::string>> cases = {
        {{"play", dir.File("missing.mp4")}, 1, "no such file"},
        {{"play", dir.File("")}, 1, "is a directory"},
        {{"play", Media("not_media.mp4")}, 1, "cannot be opened as media"},
        {{"play", "--speed", "2", Media("h264_aac.mp4")}, 2, "unknown option for play: --speed"},
        {{"play", "--seek-at", "1-2", Media("h264_aac.mp4")}, 2, "--seek-at: expected T:VALUE"},
        {{"play", "--events", dir.File("no/such/dir.jsonl"), Media("h264_aac.mp4")},
         1,
         "cannot open for writing"},
        {{"play", "--for", "1", "--video-out", "/dev/full", Media("h264_aac.mp4")},
         1,
         "writing the pictures to /dev/full failed"},
    };
    for (const auto& [args, status, message] : cases) {
        SCOPED_TRACE(message);
        const RunResult run = RunPlay(args, {}, 30);
        EXPECT_EQ(run.status, status) << run.err;
        EXPECT_NE(run.err.find("quorvel-play: "), std::string::npos);
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace e2e
