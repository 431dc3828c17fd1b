#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "demux/demux_test_support.h"
#include "diag/instance_registry.h"
#include "platform/time_source.h"
#include "support/fake_time.h"
#include "support/scratch_dir.h"
#include "support/wait_until.h"

namespace {

using test::WideMediaPath;

// The loop's 10 ms and 50 ms sleeps go to a fake clock, so waiting costs no real time.
class DecodeLoop : public ::testing::Test {
protected:
    void Open(const std::string& name)
    {
        ASSERT_EQ(demuxer.Init(WideMediaPath(name)), 0) << name;
        demuxer.SetOwner(&owner);
    }
    void TearDown() override { demuxer.UnInit(); }
    // Seeks to target once count pictures have been handed out.
    void SeekAfterPictures(size_t count, int64_t target)
    {
        owner.afterPicture = [this, count, target](test::RecordingOwner& o) {
            if (o.pictures.size() == count) demuxer.Seek(target);
        };
    }

    test::FakeTimeSource clock;
    platform::ScopedTimeSource installed{clock};
    test::TestDemuxer demuxer;
    test::RecordingOwner owner;
};

// The first picture after a seek is the target's: nothing of the old position comes (the
// tags keep stale pictures out), and nothing of the new one is lost.
TEST_F(DecodeLoop, FirstPictureAfterASeekIsHandedOut)
{
    Open("loop_1s.mp4");
    SeekAfterPictures(10, 0);
    EXPECT_EQ(demuxer.RunHere(), 0u);
    ASSERT_EQ(owner.pictures.size(), 10u + 25u);
    EXPECT_DOUBLE_EQ(owner.pictures[10].dPts, 0.0);
    EXPECT_EQ(owner.ends, 1);
}

// Video packets put aside for the audio behind them belong to the old position: a seek
// drops them (MPEG-4 with a key picture every 25 would show them).
TEST_F(DecodeLoop, SeekDropsTheVideoPacketsPutAsideForAudio)
{
    Open("seek_10s.avi");
    owner.audioFirst = [](const test::RecordingOwner&) { return true; };
    SeekAfterPictures(10, 0);
    EXPECT_EQ(demuxer.RunHere(), 0u);
    ASSERT_EQ(owner.pictures.size(), 10u + 250u);
    EXPECT_LT(owner.pictures[10].dPts, 0.1);
    for (size_t i = 11; i < owner.pictures.size(); ++i)
        ASSERT_GT(owner.pictures[i].dPts, owner.pictures[i - 1].dPts) << i;
}

// A picture without a time of its own right after a seek back is at the target, not
// where the input stood: stamped later, it would hold every picture behind it.
TEST_F(DecodeLoop, AnUnstampedPictureAfterASeekBackIsAtTheTarget)
{
    Open("sparse_pts.mpg");
    SeekAfterPictures(150, 2);
    EXPECT_EQ(demuxer.RunHere(), 0u);
    ASSERT_GT(owner.pictures.size(), 160u);
    EXPECT_NEAR(owner.pictures[150].dPts, 2.0, 0.05);
    for (size_t i = 151; i < owner.pictures.size(); ++i)
        ASSERT_GT(owner.pictures[i].dPts, owner.pictures[i - 1].dPts) << i;
}

// Where no byte seek lands near the target, playback goes on at the target from the
// landing before it, however far: not from a landing past the last key picture, which
// would show nothing more.
TEST_F(DecodeLoop, AByteSeekInAFileOfOneKeyPictureStillReachesTheTarget)
{
    Open("one_key.ts");
    SeekAfterPictures(190, 6);
    EXPECT_EQ(demuxer.RunHere(), 0u);
    ASSERT_GT(owner.pictures.size(), 190u + 40u);
    EXPECT_NEAR(owner.pictures[190].dPts, 6.0, 0.05);
}

// The packets put aside are decoded one a pass at the end of the input, so a stop asked
// meanwhile ends the body at once rather than after all of them.
TEST_F(DecodeLoop, StopWhileThePacketsPutAsideAreDecodedAtTheEnd)
{
    Open("loop_1s.mp4");  // 25 pictures, all put aside until the end of the input
    owner.audioFirst = [](const test::RecordingOwner&) { return true; };
    owner.afterPicture = [this](test::RecordingOwner& o) {
        if (o.pictures.size() == 3) demuxer.RequestStop();
    };
    EXPECT_EQ(demuxer.RunHere(), 0u);
    EXPECT_EQ(owner.pictures.size(), 3u);
    EXPECT_EQ(owner.ends, 1);
}

TEST_F(DecodeLoop, ThreeLoopedPassesThenStop)
{
    Open("loop_1s.mp4");
    demuxer.SetLoop(true);
    owner.afterEndOfPass = [this](test::RecordingOwner& o) {
        if (o.endOfPassEvents == 3) demuxer.RequestStop();
    };
    EXPECT_EQ(demuxer.RunHere(), 0u);
    EXPECT_EQ(owner.endOfPassEvents, 3);
    EXPECT_EQ(owner.ends, 1);
    // Every pass is the whole file, from its first picture to its last.
    ASSERT_EQ(owner.pictures.size(), 3u * 25u);
    for (size_t pass = 0; pass < 3; ++pass) {
        EXPECT_DOUBLE_EQ(owner.pictures[pass * 25].dPts, 0.0);
        EXPECT_DOUBLE_EQ(owner.pictures[pass * 25 + 24].dPts, 0.96);
    }
}

// MPEG-TS seeks by bytes, MP4 refuses byte seeks: each file must get its own mode.
TEST_F(DecodeLoop, TsThenMp4BothSeek)
{
    for (const char* name : {"start_time.ts", "h264_aac.mp4"}) {
        owner = test::RecordingOwner{};
        Open(name);
        SeekAfterPictures(5, 1);
        EXPECT_EQ(demuxer.RunHere(), 0u) << name;
        ASSERT_GT(owner.pictures.size(), 10u) << name;
        EXPECT_GT(owner.pictures[5].dPts, owner.pictures[4].dPts + 0.5) << name;
        EXPECT_EQ(owner.ends, 1) << name;
        demuxer.UnInit();
    }
}

// An owner that takes no picture: the video is read ahead as packets until the read-ahead
// is full, then the owner is asked every 10 ms, and a stop ends the body there.
TEST_F(DecodeLoop, StopWhileTheOwnerRefusesWhoIsAskedEvery10Ms)
{
    Open("h264_aac.mp4");
    std::vector<uint32_t> askedAt;
    owner.canAccept = [this, &askedAt](double, int waitLimit) {
        if (waitLimit != DEMUX_WAIT_VIDEO) return true;
        askedAt.push_back(clock.TickCount());
        if (clock.TickCount() >= 1000) demuxer.RequestStop();
        return false;
    };
    EXPECT_EQ(demuxer.RunHere(), 0u);
    EXPECT_TRUE(owner.pictures.empty());
    EXPECT_TRUE(demuxer.ReadAheadFull());
    ASSERT_GT(askedAt.size(), 50u);
    EXPECT_EQ(askedAt.back() - askedAt[askedAt.size() - 2], 10u);
    EXPECT_EQ(owner.ends, 1);
}

TEST_F(DecodeLoop, SeekWhileTheOwnerRefusesDropsThePacket)
{
    Open("loop_1s.mp4");
    owner.canAccept = [this](double, int) {
        if (owner.pictures.size() < 5 || owner.refusals > 0) return true;
        demuxer.Seek(0);
        return false;
    };
    EXPECT_EQ(demuxer.RunHere(), 0u);
    ASSERT_EQ(owner.pictures.size(), 5u + 25u);
    EXPECT_DOUBLE_EQ(owner.pictures[5].dPts, 0.0);
}

// The input is read through the engine's own I/O, which gives up at the open's deadline: a
// source that hands out a byte a read, each read taking 100 ms, is not read on for ever.
TEST_F(DecodeLoop, AnOpenThatTricklesGivesUpAtTheDeadline)
{
    int reads = 0;
    test::ScriptedSource* source = nullptr;
    demuxer.SetSourceOpener(
        test::ScriptedOpener("seek_10s.mkv", &source, [this, &reads](test::ScriptedSource& s) {
            s.pieceBytes = 1;
            s.onRead = [this, &reads] {
                ++reads;
                clock.Advance(100);
            };
        }));
    EXPECT_EQ(demuxer.Init(L"trickling.mkv"), -1);
    EXPECT_GT(reads, 0);
    EXPECT_LE(reads, static_cast<int>(DEMUX_OPEN_DEADLINE_MS / 100) + 2);
}

// A stop is seen before every read: a source that trickles (a share that has nearly stopped
// answering) is not read on once the stop is asked, and the body ends by itself.
TEST_F(DecodeLoop, StopIsSeenBeforeEveryReadOfASourceThatTrickles)
{
    test::ScriptedSource* source = nullptr;
    demuxer.SetSourceOpener(test::ScriptedOpener("seek_10s.mkv", &source));
    Open("trickling.mkv");
    int reads = 0;
    int readsAfterStop = 0;
    source->pieceBytes = 1;
    source->onRead = [&] {
        if (demuxer.StopRequested()) {
            ++readsAfterStop;
        } else if (++reads == 5000) {
            demuxer.RequestStop();
        }
    };
    EXPECT_EQ(demuxer.RunHere(), 0u);
    EXPECT_EQ(reads, 5000);
    EXPECT_EQ(readsAfterStop, 0);
    EXPECT_EQ(owner.ends, 1);
}

TEST_F(DecodeLoop, NotInitedFails) { EXPECT_EQ(demuxer.RunHere(), 0xFFFFFFFFu); }

// Steps beyond the int64 range land at the file's ends instead of wrapping around.
TEST_F(DecodeLoop, ExtremeByteSeeksLandAtTheEndsOfTheFile)
{
    Open("start_time.ts");
    demuxer.Seek(std::numeric_limits<int64_t>::max());
    EXPECT_EQ(demuxer.RunHere(), 0u);
    EXPECT_TRUE(owner.pictures.empty());
    demuxer.UnInit();

    owner = test::RecordingOwner{};
    Open("start_time.ts");
    demuxer.Seek(std::numeric_limits<int64_t>::min());
    EXPECT_EQ(demuxer.RunHere(), 0u);
    EXPECT_EQ(owner.pictures.size(), 50u);  // all of them, from the first
}

// Nothing is read after a seek that lands at the end, yet the input did move: looping
// goes on from the start.
TEST_F(DecodeLoop, SeekToTheEndStillLoops)
{
    Open("start_time.ts");
    demuxer.SetLoop(true);
    demuxer.Seek(1000);
    owner.afterEndOfPass = [this](test::RecordingOwner&) { demuxer.RequestStop(); };
    EXPECT_EQ(demuxer.RunHere(), 0u);
    EXPECT_EQ(owner.endOfPassEvents, 1);
    EXPECT_EQ(owner.ends, 1);
}

// A stop interrupts the input's I/O (the rewind of a TS reads to find its time stamps); a
// rewind that fails for that reason is the end that was asked for: OnDemuxEnd, exit code
// 0, nothing logged.
TEST_F(DecodeLoop, StopDuringTheRewindEndsNormally)
{
    diag::RegisterInstance(&owner);
    Open("start_time.ts");
    demuxer.SetLoop(true);
    owner.afterEndOfPass = [this](test::RecordingOwner&) { demuxer.RequestStop(); };
    EXPECT_EQ(demuxer.RunHere(), 0u);
    EXPECT_EQ(owner.ends, 1);
    EXPECT_TRUE(owner.errors.empty())
        << std::string(owner.errors[0].begin(), owner.errors[0].end());
    diag::UnregisterInstance(&owner);
}

// An owner the test thread may watch while the decoder thread runs.
class RefusingOwner : public test::RecordingOwner {
public:
    bool CanAcceptFrame(double, int) override
    {
        asked.fetch_add(1);
        return false;
    }
    void OnDemuxEnd() override { endCalls.fetch_add(1); }
    std::atomic<int> asked{0};
    std::atomic<int> endCalls{0};
};

TEST_F(DecodeLoop, StopOnTheRealThreadDuringBackPressure)
{
    RefusingOwner refusing;
    Open("h264_aac.mp4");
    demuxer.SetOwner(&refusing);
    ASSERT_EQ(demuxer.Start(), 0);
    EXPECT_TRUE(test::WaitUntil([&] { return refusing.asked.load() >= 3; }));
    EXPECT_EQ(demuxer.Stop(), 0);
    EXPECT_EQ(refusing.endCalls.load(), 1);
    EXPECT_TRUE(refusing.pictures.empty());
}

// A seek after the end starts the body again; a paused decoder must stay paused through
// that restart instead of decoding until the pause is applied again.
TEST_F(DecodeLoop, RestartAfterTheEndKeepsThePause)
{
    Open("loop_1s.mp4");
    ASSERT_EQ(demuxer.Start(), 0);
    ASSERT_TRUE(test::WaitUntil([&] { return demuxer.HasEnded(); }));
    const size_t played = owner.pictures.size();
    std::atomic<bool> previewed{false};
    owner.afterPicture = [&](test::RecordingOwner& o) { previewed = o.pictures.size() > played; };
    demuxer.Pause();
    demuxer.Seek(0);
    ASSERT_EQ(demuxer.Restart(), 0);
    EXPECT_TRUE(demuxer.PauseRequested());
    // A seek while paused goes as far as its first picture, which the host holds.
    ASSERT_TRUE(test::WaitUntil([&] { return previewed.load(); }));
    EXPECT_EQ(demuxer.Stop(), 0);
    EXPECT_EQ(owner.pictures.size(), played + 1);
}

}  // namespace

// A WAV header whose data chunk is empty: the input opens, and every pass reads nothing.
// Looping must end there instead of rewinding again and again at full speed.
TEST_F(DecodeLoop, LoopEndsWhenAPassReadsNothing)
{
    test::ScratchDir dir;
    ASSERT_TRUE(dir.Ok());
    const std::string path = dir.File("empty_data.wav");
    const uint8_t header[44] = {'R', 'I', 'F',  'F',  36,  0,   0,    0,    'W', 'A', 'V',
                                'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,   1,   0,
                                2,   0,   0x44, 0xAC, 0,   0,   0x10, 0xB1, 2,   0,   4,
                                0,   16,  0,    'd',  'a', 't', 'a',  0,    0,   0,   0};
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(header, 1, sizeof header, file);
    std::fclose(file);
    ASSERT_EQ(demuxer.Init(std::wstring(path.begin(), path.end())), 0);
    demuxer.SetOwner(&owner);
    demuxer.SetLoop(true);
    EXPECT_EQ(demuxer.RunHere(), 0u);
    EXPECT_EQ(owner.ends, 1);
    EXPECT_EQ(owner.endOfPassEvents, 0);
}
