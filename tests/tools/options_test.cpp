#include "options.h"

#include <gtest/gtest.h>

namespace qplay {
namespace {

Options Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

TEST(Options, PlayOptionsInBothForms)
{
    const Options o =
        Parse({"play", "--loop", "--start", "3", "--for=2.5", "--seek-at", "1.5:7",
               "--pause-at=2:0.5", "--seek-at", "4:0", "--video-out", "v.y4m", "--audio-out=a.wav",
               "--events", "e.jsonl", "--window", "--log", "clip.mp4"});
    EXPECT_EQ(o.command, Command::Play);
    EXPECT_TRUE(o.loop && o.window && o.log);
    EXPECT_EQ(o.start, 3);
    EXPECT_DOUBLE_EQ(*o.play_for, 2.5);
    ASSERT_EQ(o.seeks.size(), 2u);
    EXPECT_DOUBLE_EQ(o.seeks[0].at, 1.5);
    EXPECT_EQ(o.seeks[0].to, 7);
    EXPECT_EQ(o.seeks[1].to, 0);
    ASSERT_EQ(o.pauses.size(), 1u);
    EXPECT_DOUBLE_EQ(o.pauses[0].length, 0.5);
    EXPECT_EQ(o.video_out, "v.y4m");
    EXPECT_EQ(o.audio_out, "a.wav");
    EXPECT_EQ(o.events_out, "e.jsonl");
    EXPECT_EQ(o.files, std::vector<std::string>{"clip.mp4"});
}

TEST(Options, ProbeTakesManyFilesAndDashDash)
{
    const Options o = Parse({"probe", "--json", "a.mp4", "--", "-odd.mp4"});
    EXPECT_EQ(o.command, Command::Probe);
    EXPECT_TRUE(o.json);
    EXPECT_EQ(o.files, (std::vector<std::string>{"a.mp4", "-odd.mp4"}));
}

TEST(Options, HelpNeedsNoFile) { EXPECT_EQ(Parse({"--help"}).command, Command::Help); }

// Each malformed command line names its problem in one line.
TEST(Options, MalformedCommandLinesAreRejected)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no command"},
        {{"show", "a.mp4"}, "unknown command: show"},
        {{"probe"}, "no file"},
        {{"play", "a.mp4", "b.mp4"}, "one file"},
        {{"play", "--bogus", "a.mp4"}, "unknown option for play: --bogus"},
        {{"probe", "--loop", "a.mp4"}, "unknown option for probe: --loop"},
        {{"play", "--seek-at", "5", "a.mp4"}, "--seek-at: expected T:VALUE"},
        {{"play", "--seek-at", "x:5", "a.mp4"}, "--seek-at: expected seconds"},
        {{"play", "--seek-at", "1:2.5", "a.mp4"}, "--seek-at: expected whole seconds"},
        {{"play", "--seek-at", "1:", "a.mp4"}, "--seek-at: expected T:VALUE"},
        {{"play", "--pause-at", "1:0", "a.mp4"}, "above 0"},
        {{"play", "--for", "-1", "a.mp4"}, "--for: expected seconds"},
        {{"play", "--for", "0", "a.mp4"}, "--for: expected seconds above 0"},
        {{"play", "--start", "nan", "a.mp4"}, "--start: expected whole seconds"},
        {{"play", "a.mp4", "--video-out"}, "--video-out needs a value"},
        {{"play", "--loop=1", "a.mp4"}, "--loop takes no value"},
    };
    for (const auto& [args, message] : cases) {
        try {
            Parse(args);
            ADD_FAILURE() << "accepted: " << (args.empty() ? "" : args.back());
        } catch (const UsageError& error) {
            const std::string what = error.what();
            EXPECT_NE(what.find(message), std::string::npos) << what;
            EXPECT_EQ(what.find('\n'), std::string::npos) << what;
        }
    }
}

}  // namespace
}  // namespace qplay
