// quorvel-play probe run as a subprocess, checked against ffprobe.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace e2e {
namespace {

// ffprobe's first stream of a type as key=value pairs ("codec_name" -> "h264").
std::map<std::string, std::string> FfprobeStream(const std::string& path, const std::string& type)
{
    const std::string text = Shell("ffprobe -v error -select_streams " + type +
                                   ":0 -show_entries stream=codec_name,width,height "
                                   "-of default=nw=1 '" +
                                   path + "'");
    std::map<std::string, std::string> fields;
    for (const std::string& line : Lines(text)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}

std::string FfprobeSize(const std::string& path)
{
    const std::string text =
        Shell("ffprobe -v error -show_entries format=size -of default=nw=1:nk=1 '" + path + "'");
    return text.substr(0, text.find('\n'));
}

// The engine reports the decoder's short name, ffprobe the codec's; they differ only
// where FFmpeg's preferred decoder has its own name.
std::string DecoderName(const std::string& codec) { return codec == "mp3" ? "mp3float" : codec; }

TEST(ProbeE2e, JsonFieldsEqualFfprobe)
{
    const std::vector<std::string> files = {"h264_aac.mp4",   "h264_pcm.mkv", "mpeg4_mp3.avi",
                                            "video_only.mp4", "pcm_s16.wav",  "cover.mp3",
                                            "audio_22050.mp3"};
    std::vector<std::string> args{"probe", "--json"};
    for (const std::string& f : files) args.push_back(Media(f));
    const RunResult run = RunPlay(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), files.size()) << run.out;
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        auto json = ParseFlatJson(lines[i]);
        const auto video = FfprobeStream(Media(files[i]), "v");
        const auto audio = FfprobeStream(Media(files[i]), "a");
        EXPECT_EQ(json["file"], Media(files[i]));
        EXPECT_EQ(json["playable"], "true");
        EXPECT_EQ(json["error"], "null");
        EXPECT_EQ(json["width"], video.count("width") ? video.at("width") : "0");
        EXPECT_EQ(json["height"], video.count("height") ? video.at("height") : "0");
        EXPECT_EQ(json["video_codec"],
                  video.count("codec_name") ? DecoderName(video.at("codec_name")) : "");
        EXPECT_EQ(json["audio_codec"],
                  audio.count("codec_name") ? DecoderName(audio.at("codec_name")) : "");
        EXPECT_EQ(json["size"], FfprobeSize(Media(files[i])));
        const bool audio_only = video.empty() || files[i] == "cover.mp3";
        EXPECT_EQ(json["audio_only"], audio_only ? "true" : "false");
    }
}

TEST(ProbeE2e, UnplayableFilesGiveOneErrorLineAndStatusOne)
{
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {dir.File("missing.mp4"), "no such file"},
        {dir.File(""), "is a directory"},
        {Media("not_media.mp4"), "cannot be opened as media"},
        {Media("surround51.m4a"), "not playable: outside the playable limits"},
    };
    for (const auto& [path, message] : cases) {
        SCOPED_TRACE(path);
        const RunResult run = RunPlay({"probe", "--json", Media("h264_aac.mp4"), path}, {}, 30);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("quorvel-play: " + path + ": " + message), std::string::npos)
            << run.err;
        const auto lines = Lines(run.out);
        ASSERT_EQ(lines.size(), 2u) << run.out;
        EXPECT_EQ(ParseFlatJson(lines[0])["playable"], "true");
        auto failed = ParseFlatJson(lines[1]);
        EXPECT_EQ(failed["playable"], "false");
        EXPECT_NE(failed["error"].find(message), std::string::npos);
        EXPECT_EQ(failed["width"], "null");
    }
}

// FFmpeg's own messages (about a damaged file here) are log texts like the engine's: on
// standard error only with --log, and never without it.
TEST(ProbeE2e, LogPrintsTheLibraryLogTextsWithTheirLevel)
{
    const RunResult quiet = RunPlay({"probe", Media("surround51.m4a")});
    EXPECT_EQ(quiet.err.find("[info] invalid file"), std::string::npos) << quiet.err;
    const RunResult logged = RunPlay({"probe", "--log", Media("surround51.m4a")});
    EXPECT_EQ(logged.status, 1);
    EXPECT_NE(logged.err.find("[info] invalid file"), std::string::npos) << logged.err;

    const std::vector<std::string> damaged = {Media("truncated.mp4"), Media("grows_to_8192.ts"),
                                              Media("size_change.ts")};
    std::vector<std::string> args{"probe"};
    args.insert(args.end(), damaged.begin(), damaged.end());
    const RunResult silent = RunPlay(args);
    EXPECT_EQ(silent.err, "quorvel-play: " + damaged[0] + ": cannot be opened as media\n");
    args.insert(args.begin() + 1, "--log");
    const RunResult told = RunPlay(args);
    EXPECT_NE(told.err.find("[info] [mov,mp4,m4a,3gp,3g2,mj2] moov atom not found"),
              std::string::npos)
        << told.err;
}

TEST(ProbeE2e, UsageErrorsExitWithTwo)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"probe"}, {"probe", "--frobnicate", "x.mp4"}, {"what"}}) {
        const RunResult run = RunPlay(args);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find("usage:"), std::string::npos);
    }
}

}  // namespace
}  // namespace e2e
