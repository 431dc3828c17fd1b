// The forced end of a decoder thread that ignores cancellation (POSIX: the thread is
// abandoned, still running).
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <string>
#include <vector>

#include "demux/demux_test_support.h"
#include "diag/instance_registry.h"
#include "support/wait_until.h"

namespace {

// Once asked for room, blocks with cancellation turned off for good until released: a
// body that a forced end cannot end.
class StuckOwner : public test::RecordingOwner {
public:
    bool CanAcceptFrame(double, int) override
    {
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_bStuck = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_bReleased; });
        return false;
    }
    void OnDemuxEnd() override { m_bEnded.store(true); }
    void OnDemuxEvent(int nCode, intptr_t nParam, double) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (nCode == DEMUX_EVENT_LOG_ERROR) m_errors.emplace_back(reinterpret_cast<const wchar_t*>(nParam));
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
    size_t ErrorCount()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_errors.size();
    }
    std::atomic<bool> m_bEnded{false};

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_bStuck = false;
    bool m_bReleased = false;
    std::vector<std::wstring> m_errors;
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
    owner->WaitUntilStuck();
    EXPECT_EQ(demuxer->Stop(), 0);
    EXPECT_TRUE(demuxer->Abandoned());
    EXPECT_EQ(owner->ErrorCount(), 1u);
    diag::UnregisterInstance(owner);

    demuxer->UnInit();
    MediaInfo info{};
    EXPECT_EQ(demuxer->GetMediaInfo(&info), 0);
    EXPECT_EQ(demuxer->Init(test::WideMediaPath("loop_1s.mp4")), -1);
    EXPECT_EQ(demuxer->Start(), -1);
    owner->Release();
    EXPECT_TRUE(test::WaitUntil([] { return owner->m_bEnded.load(); }));
}
