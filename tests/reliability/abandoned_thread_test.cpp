// The forced end of a decoder thread that ignores cancellation (POSIX: the thread is
// abandoned, still running).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <string>
#include <vector>

#include "demux/demux_test_support.h"
#include "diag/instance_registry.h"
#include "playback/video_model.h"
#include "support/wait_until.h"

namespace {

// Where a worker's body blocks, with cancellation turned off for good, until released:
// a body that a forced end cannot end.
class StuckGate {
public:
    void Block()
    {
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_bStuck = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_bReleased; });
    }
    void WaitUntilStuck()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_bStuck; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bReleased = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_bStuck = false;
    bool m_bReleased = false;
};

// Once asked for room, the decoder's body is stuck at the gate.
class StuckOwner : public test::RecordingOwner {
public:
    bool CanAcceptFrame(double, int) override
    {
        gate.Block();
        return false;
    }
    void OnDemuxEnd() override { m_bEnded.store(true); }
    void OnDemuxEvent(int nCode, intptr_t nParam, double) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (nCode == DEMUX_EVENT_LOG_ERROR)
            m_errors.emplace_back(reinterpret_cast<const wchar_t*>(nParam));
    }
    size_t ErrorCount()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_errors.size();
    }
    StuckGate gate;
    std::atomic<bool> m_bEnded{false};

private:
    std::mutex m_mutex;
    std::vector<std::wstring> m_errors;
};

// The clock's body is stuck at the gate in its first tick; released, it writes the whole
// buffer it was given, which a sanitizer would catch if it had been freed.
class StuckClockOwner : public VideoModelInterface {
public:
    int OnRenderGetVideoFrame(uint8_t* pBuffer, int nBufferSize, bool*, int*, int*, int*) override
    {
        gate.Block();
        std::fill_n(pBuffer, nBufferSize, uint8_t{0xCD});
        m_bWrote.store(true);
        return 0;
    }
    StuckGate gate;
    std::atomic<bool> m_bWrote{false};
};

}  // namespace

// A decoder thread that Stop cannot end is left running, and everything it uses stays:
// UnInit releases nothing, no new input or worker takes its place, and once the body
// gets going again it ends normally on its intact state.
TEST(AbandonedDecoder, KeepsWhatItsBodyUses)
{
    // Reachable for good: the abandoned body may outlive this test.
    static auto* const owner = new StuckOwner;
    static auto* const demuxer = new test::TestDemuxer;
    diag::RegisterInstance(owner);
    ASSERT_EQ(demuxer->Init(test::WideMediaPath("h264_aac.mp4")), 0);
    demuxer->SetOwner(owner);
    demuxer->ShortenStopWaits();
    ASSERT_EQ(demuxer->Start(), 0);
    owner->gate.WaitUntilStuck();
    EXPECT_EQ(demuxer->Stop(), 0);
    EXPECT_TRUE(demuxer->Abandoned());
    EXPECT_EQ(owner->ErrorCount(), 1u);
    diag::UnregisterInstance(owner);

    demuxer->UnInit();
    MediaInfo info{};
    EXPECT_EQ(demuxer->GetMediaInfo(&info), 0);
    EXPECT_EQ(demuxer->Init(test::WideMediaPath("loop_1s.mp4")), -1);
    EXPECT_EQ(demuxer->Start(), -1);
    owner->gate.Release();
    EXPECT_TRUE(test::WaitUntil([] { return owner->m_bEnded.load(); }));
}

// A clock thread that Stop cannot end (after the full 5 s wait and the grace) is left
// running with its buffer: the buffer is neither freed nor replaced, and no second clock
// thread starts on it.
TEST(AbandonedClock, KeepsItsBuffer)
{
    // Reachable for good: the abandoned body may outlive this test.
    static auto* const owner = new StuckClockOwner;
    static auto* const clock = new CVideoModel;
    clock->SetOwner(owner);
    clock->SetVideoSize(16, 16);
    ASSERT_EQ(clock->Start(), 0);
    owner->gate.WaitUntilStuck();
    EXPECT_EQ(clock->Stop(), 0);
    EXPECT_TRUE(clock->Abandoned());
    clock->FreeBuffers();
    clock->SetVideoSize(32, 32);
    EXPECT_EQ(clock->Start(), -1);
    owner->gate.Release();
    EXPECT_TRUE(test::WaitUntil([] { return owner->m_bWrote.load(); }));
}
