// The main loop's pure decisions: when playback has played out, when scripted controls
// fire, what the status line says and where the window puts the picture.
#include <gtest/gtest.h>

#include "control_script.h"
#include "end_detector.h"
#include "sdl_window.h"
#include "status_line.h"

namespace qplay {
namespace {

PlaybackSample At(int64_t ms, int64_t pictures, int64_t chunks, int64_t pos = 0,
                  int64_t duration = 3)
{
    PlaybackSample s;
    s.now_ms = ms;
    s.pictures = pictures;
    s.chunks = chunks;
    s.position = pos;
    s.duration = duration;
    return s;
}

TEST(EndDetector, EndsAfterASecondWithoutPicturesOrAudio)
{
    EndDetector end(0);
    EXPECT_FALSE(end.PlayedOut(At(100, 1, 1)));
    EXPECT_FALSE(end.PlayedOut(At(1000, 1, 1)));
    EXPECT_FALSE(end.PlayedOut(At(1099, 1, 1)));
    EXPECT_TRUE(end.PlayedOut(At(1100, 1, 1)));
}

// The engine answers the duration once the last picture and sound are out.
TEST(EndDetector, AtTheDurationEndsAtOnce)
{
    EndDetector end(0);
    EXPECT_FALSE(end.PlayedOut(At(100, 5, 5, 2, 3)));
    EXPECT_TRUE(end.PlayedOut(At(200, 6, 6, 3, 3)));
}

TEST(EndDetector, UnknownDurationNeverEndsByPosition)
{
    EndDetector end(0);
    EXPECT_FALSE(end.PlayedOut(At(100, 5, 5, 3, 0)));
    EXPECT_FALSE(end.PlayedOut(At(500, 5, 5, 3, 0)));
}

TEST(EndDetector, PausedOrLoopingNeverEnds)
{
    EndDetector end(0);
    end.PlayedOut(At(100, 1, 1));
    PlaybackSample paused = At(5000, 1, 1, 3, 3);
    paused.paused = true;
    EXPECT_FALSE(end.PlayedOut(paused));
    PlaybackSample looping = At(9000, 1, 1, 3, 3);
    looping.looping = true;
    EXPECT_FALSE(end.PlayedOut(looping));
    EXPECT_FALSE(end.PlayedOut(At(9500, 1, 1)));  // quiet time counts from the last such tick
}

TEST(EndDetector, WaitsLongerBeforeTheFirstOutputAndAfterRestart)
{
    EndDetector end(0);
    EXPECT_FALSE(end.PlayedOut(At(4999, 0, 0)));
    EXPECT_TRUE(end.PlayedOut(At(5000, 0, 0)));
    EndDetector seeking(0);
    seeking.PlayedOut(At(100, 2, 2));
    seeking.Restart(900);
    EXPECT_FALSE(seeking.PlayedOut(At(1500, 2, 2)));
    EXPECT_TRUE(seeking.PlayedOut(At(1900, 2, 2)));
}

TEST(ControlScript, ActionsComeOnceInTimeOrder)
{
    ControlScript script({{2.0, 7}, {0.5, 1}}, {{1.0, 0.25}});
    EXPECT_TRUE(script.TakeDue(499).empty());
    auto due = script.TakeDue(1250);
    ASSERT_EQ(due.size(), 3u);
    EXPECT_EQ(due[0].kind, ScriptAction::Kind::Seek);
    EXPECT_EQ(due[0].seek_to, 1);
    EXPECT_EQ(due[1].kind, ScriptAction::Kind::Pause);
    EXPECT_EQ(due[1].at_ms, 1000);
    EXPECT_EQ(due[2].kind, ScriptAction::Kind::Resume);
    EXPECT_EQ(due[2].at_ms, 1250);
    EXPECT_TRUE(script.TakeDue(1999).empty());
    due = script.TakeDue(100000);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].seek_to, 7);
    EXPECT_TRUE(script.TakeDue(100000).empty());
}

TEST(StatusLine, FormatsClockAndFields)
{
    EXPECT_EQ(FormatClock(0), "00:00");
    EXPECT_EQ(FormatClock(75), "01:15");
    EXPECT_EQ(FormatClock(3725), "1:02:05");
    EXPECT_EQ(FormatClock(-1), "--:--");
    EXPECT_EQ(FormatStatus({1, 3, 25, 1.04, false, false}),
              "00:01 / 00:03  pictures 25  audio 1.0 s  playing");
    EXPECT_EQ(FormatStatus({2, 3, 50, 2.0, true, true}),
              "00:02 / 00:03  pictures 50  audio 2.0 s  paused  loop");
}

TEST(FitRect, KeepsTheAspectCentred)
{
    const SDL_Rect wide = FitRect(320, 240, 800, 300);
    EXPECT_EQ(wide.w, 400);
    EXPECT_EQ(wide.h, 300);
    EXPECT_EQ(wide.x, 200);
    EXPECT_EQ(wide.y, 0);
    const SDL_Rect tall = FitRect(320, 240, 320, 480);
    EXPECT_EQ(tall.w, 320);
    EXPECT_EQ(tall.h, 240);
    EXPECT_EQ(tall.y, 120);
}

}  // namespace
}  // namespace qplay
