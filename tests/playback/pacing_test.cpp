#include "playback/pacing.h"
#include "playback/catch_up.h"
#include "playback/media_clock.h"

#include <gtest/gtest.h>

namespace {

TEST(Pacing, TwentyMillisecondChunks)
{
    EXPECT_EQ(playback::AudioChunkBytes(44100, 2), 3528);
    EXPECT_EQ(playback::AudioChunkBytes(48000, 2), 3840);
    EXPECT_EQ(playback::AudioChunkBytes(11025, 1), 440);
    EXPECT_EQ(playback::AudioChunkBytes(0, 2), 0);
}

// The clock stands until started, runs with the tick count (across its wrap), stands while
// paused and goes on from there.
TEST(MediaClock, RunsFromWhereItWasSetAndStandsWhilePaused)
{
    playback::MediaClock clock;
    clock.dAt = 30.0;
    EXPECT_EQ(clock.At(5000), 30.0);
    clock.Resume(5000);  // not started: a resume does not start it
    EXPECT_FALSE(clock.bRunning);
    const uint32_t start = 0xFFFFFFF0u;  // 16 ms before the wrap
    clock.Run(30.0, start);
    EXPECT_DOUBLE_EQ(clock.At(24), 30.04);
    clock.Stand(24);
    EXPECT_DOUBLE_EQ(clock.At(1000), 30.04);
    clock.Resume(1000);
    EXPECT_DOUBLE_EQ(clock.At(1010), 30.05);
}

}  // namespace

namespace catchup {

using playback::CATCH_UP_WINDOW_MS;
using playback::CatchUp;
using playback::PlaybackTag;

constexpr PlaybackTag PASS{1, 0};

// Where the decoder stands: pts in seconds, tick in ms.
struct Decoding {
    double pts;
    uint32_t tick;
};

// Pictures of 60 fps decoded for ms of the tick count at the given speed (media seconds
// per second), the queue full at every picture when queueFull is set; the last answer.
bool DecodeFor(CatchUp& catchUp, double speed, uint32_t ms, Decoding& at, bool queueFull = false,
               const PlaybackTag& tag = PASS)
{
    bool skip = false;
    const double step = 1.0 / 60.0;
    const auto period = static_cast<uint32_t>(step / speed * 1000.0);
    for (uint32_t spent = 0; spent < ms; spent += period) {
        if (queueFull) catchUp.NoteQueueFull();
        skip = catchUp.ShouldSkip(at.pts, at.tick, tag);
        at.pts += step;
        at.tick += period;
    }
    return skip;
}

// A decoder slower than real time skips once a window shows it, and goes on until the
// picture queue is full again; a fast one never does, nor one held back by a full queue.
TEST(CatchUp, SkipsOnlyWhileSlowUntilTheQueueIsFull)
{
    CatchUp catchUp;
    Decoding at{0.2, 5000};
    EXPECT_FALSE(DecodeFor(catchUp, 0.5, CATCH_UP_WINDOW_MS - 40, at));  // no whole window yet
    EXPECT_TRUE(DecodeFor(catchUp, 0.5, 80, at));
    // Skipping speeds it up: a window of faster decoding does not stop it, a full queue does.
    EXPECT_TRUE(DecodeFor(catchUp, 1.2, 2 * CATCH_UP_WINDOW_MS, at));
    catchUp.NoteQueueFull();
    EXPECT_FALSE(catchUp.ShouldSkip(at.pts, at.tick, PASS));
    EXPECT_FALSE(DecodeFor(catchUp, 1.0, 4 * CATCH_UP_WINDOW_MS, at, true));

    CatchUp fast;
    at = {0.0, 5000};
    EXPECT_FALSE(DecodeFor(fast, 3.0, 4 * CATCH_UP_WINDOW_MS, at));
    CatchUp held;  // decodes exactly as fast as pictures leave the full queue
    EXPECT_FALSE(DecodeFor(held, 0.98, 4 * CATCH_UP_WINDOW_MS, at, true));
}

// A window that spans a pause is not judged, and a new pass or position starts afresh.
TEST(CatchUp, PausesAndNewPositionsAreNotCountedAsSlowDecoding)
{
    CatchUp catchUp;
    Decoding at{1.0, 0};
    EXPECT_FALSE(catchUp.ShouldSkip(at.pts, at.tick, PASS));
    at.tick += 5000;  // paused
    EXPECT_FALSE(catchUp.ShouldSkip(at.pts + 0.02, at.tick, PASS));
    EXPECT_FALSE(DecodeFor(catchUp, 2.0, CATCH_UP_WINDOW_MS / 2, at));

    EXPECT_TRUE(DecodeFor(catchUp, 0.5, 3 * CATCH_UP_WINDOW_MS, at));
    EXPECT_FALSE(catchUp.ShouldSkip(0.0, at.tick, {1, 1}));
    EXPECT_FALSE(catchUp.ShouldSkip(0.0, at.tick + 100, {2, 0}));
}

}  // namespace catchup
