#include "demux/thread.h"

#include <atomic>
#include <chrono>
#include <memory>

#include <gtest/gtest.h>

#include "platform/time_source.h"
#include "support/fake_time.h"
#include "support/wait_until.h"

namespace {

using test::WaitUntil;

// A body that polls the flags as the decoder does, counting its runs and reporting what
// it saw on its first poll.
class PollingThread : public Thread {
public:
    ~PollingThread() override { Stop(); }

    bool IsPauseRequested() const { return m_bPause.load(); }

    std::atomic<int> m_nRuns{0};
    std::atomic<bool> m_bSawPauseAtStart{false};
    std::atomic<bool> m_bPausedInBody{false};
    std::atomic<bool> m_bReturnNow{false};  // the body ends on its own
    std::atomic<bool> m_bIgnoreStop{false};  // the body never looks at m_bStop
    std::atomic<bool> m_bBodyEnded{false};

protected:
    uint32_t Run() override
    {
        ++m_nRuns;
        m_bSawPauseAtStart = m_bPause.load();
        while (!m_bReturnNow.load() && (m_bIgnoreStop.load() || !m_bStop.load())) {
            m_bPausedInBody = m_bPause.load();
            platform::Sleep(1);
        }
        m_bBodyEnded = true;
        return 42;
    }
};

class ThreadTest : public ::testing::Test {
protected:
    test::FakeTimeSource m_time;
    platform::ScopedTimeSource m_installed{m_time};
    PollingThread m_thread;  // after the time source: stopped before it goes
};

TEST_F(ThreadTest, StartTwiceRunsOneWorker)
{
    EXPECT_EQ(m_thread.Start(), 0);
    EXPECT_EQ(m_thread.Start(), 0);
    ASSERT_TRUE(WaitUntil([&] { return m_thread.m_nRuns.load() == 1; }));
    EXPECT_EQ(m_thread.Stop(), 0);
    EXPECT_EQ(m_thread.m_nRuns.load(), 1);
    EXPECT_EQ(m_thread.LastExitCode(), 42u);
}

TEST_F(ThreadTest, StopWithoutStartReturnsAtOnce)
{
    EXPECT_EQ(m_thread.Stop(), 0);
    EXPECT_EQ(m_thread.LastExitCode(), 0u);
}

TEST_F(ThreadTest, PauseBeforeStartIsClearedAndPauseResumeReachTheBody)
{
    m_thread.Pause();
    ASSERT_EQ(m_thread.Start(), 0);
    ASSERT_TRUE(WaitUntil([&] { return m_thread.m_nRuns.load() == 1; }));
    EXPECT_FALSE(m_thread.m_bSawPauseAtStart);

    m_thread.Pause();
    EXPECT_TRUE(WaitUntil([&] { return m_thread.m_bPausedInBody.load(); }));
    m_thread.Resume();
    EXPECT_TRUE(WaitUntil([&] { return !m_thread.m_bPausedInBody.load(); }));
    EXPECT_EQ(m_thread.Stop(), 0);
}

TEST_F(ThreadTest, FinishedBodyNeedsStopBeforeANewStart)
{
    m_thread.m_bReturnNow = true;
    ASSERT_EQ(m_thread.Start(), 0);
    ASSERT_TRUE(WaitUntil([&] { return m_thread.m_nRuns.load() == 1; }));

    EXPECT_EQ(m_thread.Start(), 0);  // still counts as running until stopped
    EXPECT_EQ(m_thread.Stop(), 0);
    EXPECT_EQ(m_thread.m_nRuns.load(), 1);
    EXPECT_EQ(m_thread.LastExitCode(), 42u);

    EXPECT_EQ(m_thread.Start(), 0);
    EXPECT_TRUE(WaitUntil([&] { return m_thread.m_nRuns.load() == 2; }));
    m_thread.Stop();
}

// Takes the real bounded wait: the worker here sleeps on the real clock, so it can be
// cancelled while the fake clock of the other tests plays no part.
TEST(ThreadStopTest, BodyIgnoringStopIsForcedToEndAndThreadIsReusable)
{
    // On the heap: an abandoned worker's object is leaked, as the engine leaks it.
    auto owned = std::make_unique<PollingThread>();
    PollingThread& thread = *owned;
    thread.m_bIgnoreStop = true;
    ASSERT_EQ(thread.Start(), 0);
    ASSERT_TRUE(WaitUntil([&] { return thread.m_nRuns.load() == 1; }));

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(thread.Stop(), 0);
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, std::chrono::milliseconds(platform::WORKER_STOP_WAIT_MS));
    EXPECT_EQ(thread.LastExitCode(), 0xFFFFFFFFu);
#ifdef _WIN32
    // Windows abandons a thread it cannot end (it may hold a lock), and an abandoned worker
    // is never started again. The body is let go, so that it no longer sleeps on the clock
    // that later tests replace.
    EXPECT_TRUE(thread.Abandoned());
    EXPECT_EQ(thread.Start(), -1);
    thread.m_bReturnNow = true;
    EXPECT_TRUE(WaitUntil([&] { return thread.m_bBodyEnded.load(); }));
    static_cast<void>(owned.release());
    return;
#endif

    thread.m_bIgnoreStop = false;
    EXPECT_EQ(thread.Start(), 0);
    EXPECT_TRUE(WaitUntil([&] { return thread.m_nRuns.load() == 2; }));
    EXPECT_EQ(thread.Stop(), 0);
    EXPECT_EQ(thread.LastExitCode(), 42u);
}

}  // namespace
