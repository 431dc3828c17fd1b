#include "playback/video_model.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/time_source.h"
#include "support/fake_time.h"
#include "support/wait_until.h"

namespace {

using test::WaitUntil;

struct Call {
    uint8_t* pBuffer;
    int nBufferSize;
    bool bFlag;
    int nCount;
    int nWidth;
    int nHeight;
    bool bBufferZero;
    uint32_t dwTick;
    std::thread::id thread;
};

// The clock's owner: records every call, then scribbles on everything it may touch.
class RecordingOwner : public VideoModelInterface {
public:
    int OnRenderGetVideoFrame(uint8_t* pBuffer, int nBufferSize, bool* pFlag, int* pCount,
                              int* pWidth, int* pHeight) override
    {
        const bool bZero =
            std::all_of(pBuffer, pBuffer + nBufferSize, [](uint8_t b) { return b == 0; });
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back({pBuffer, nBufferSize, *pFlag, *pCount, *pWidth, *pHeight, bZero,
                           platform::GetTickCount(), std::this_thread::get_id()});
        std::fill_n(pBuffer, nBufferSize, uint8_t{0xAB});
        *pFlag = true;
        *pCount = 5;
        *pWidth = 8;
        *pHeight = 6;
        return 0;
    }

    std::vector<Call> Calls()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    bool WaitForCalls(size_t n)
    {
        return WaitUntil([&] { return Calls().size() >= n; });
    }

private:
    std::mutex m_mutex;
    std::vector<Call> m_calls;
};

class VideoModelTest : public ::testing::Test {
protected:
    ~VideoModelTest() override { m_clock.Stop(); }

    test::FakeTimeSource m_time;
    platform::ScopedTimeSource m_installed{m_time};
    RecordingOwner m_owner;
    CVideoModel m_clock;
};

TEST_F(VideoModelTest, StartNeedsABuffer)
{
    EXPECT_EQ(m_clock.Start(), -1);
    EXPECT_FALSE(m_clock.IsRunning());

    m_clock.SetVideoSize(4, 2);
    m_clock.FreeBuffers();
    EXPECT_EQ(m_clock.Start(), -1);
    EXPECT_FALSE(m_clock.IsRunning());
}

// A declared size whose buffer cannot be had (width x height x 3 beyond an int) neither
// throws nor allocates short, and the clock still runs: pictures do not go through its buffer.
TEST_F(VideoModelTest, AnImpossibleDeclaredSizeStillRunsTheClock)
{
    m_clock.SetOwner(&m_owner);
    EXPECT_NO_THROW(m_clock.SetVideoSize(30000, 30000));
    EXPECT_EQ(m_clock.Start(), 0);
    ASSERT_TRUE(m_owner.WaitForCalls(2));
    m_clock.Stop();
}

TEST_F(VideoModelTest, StartTwiceRunsOneClockThread)
{
    m_clock.SetOwner(&m_owner);
    m_clock.SetVideoSize(4, 2);
    EXPECT_EQ(m_clock.Start(), 0);
    EXPECT_EQ(m_clock.Start(), 0);
    ASSERT_TRUE(m_owner.WaitForCalls(5));
    EXPECT_EQ(m_clock.Stop(), 0);
    EXPECT_FALSE(m_clock.IsRunning());

    std::set<std::thread::id> threads;
    for (const Call& call : m_owner.Calls()) threads.insert(call.thread);
    EXPECT_EQ(threads.size(), 1u);
}

TEST_F(VideoModelTest, WithoutOwnerTicksAndCallsNothing)
{
    m_clock.SetVideoSize(4, 2);
    ASSERT_EQ(m_clock.Start(), 0);
    const uint32_t before = m_time.TickCount();
    ASSERT_TRUE(
        WaitUntil([&] { return m_time.TickCount() - before >= 10 * CVideoModel::CLOCK_TICK_MS; }));
    EXPECT_TRUE(m_clock.IsRunning());

    m_clock.SetOwner(&m_owner);  // linked while ticking: the next tick calls it
    EXPECT_TRUE(m_owner.WaitForCalls(1));
}

TEST_F(VideoModelTest, EachCallSeesResetFlagsAndTheOwnersSize)
{
    m_clock.SetOwner(&m_owner);
    m_clock.SetVideoSize(4, 2);
    ASSERT_EQ(m_clock.Start(), 0);
    ASSERT_TRUE(m_owner.WaitForCalls(3));
    m_clock.Stop();

    const std::vector<Call> calls = m_owner.Calls();
    EXPECT_EQ(calls[0].nWidth, 4);
    EXPECT_EQ(calls[0].nHeight, 2);
    EXPECT_TRUE(calls[0].bBufferZero);
    EXPECT_GE(calls[0].dwTick, CVideoModel::CLOCK_TICK_MS);  // a tick sleeps before it calls
    for (size_t i = 1; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].pBuffer, calls[0].pBuffer);
        EXPECT_EQ(calls[i].nBufferSize, 4 * 2 * 3);
        EXPECT_EQ(calls[i].nWidth, 8);
        EXPECT_EQ(calls[i].nHeight, 6);
        EXPECT_FALSE(calls[i].bFlag);
        EXPECT_EQ(calls[i].nCount, 0);
        EXPECT_GE(calls[i].dwTick - calls[i - 1].dwTick, CVideoModel::CLOCK_TICK_MS);
    }
}

TEST_F(VideoModelTest, RestartZeroFillsTheBufferAgain)
{
    m_clock.SetOwner(&m_owner);
    m_clock.SetVideoSize(4, 2);
    ASSERT_EQ(m_clock.Start(), 0);
    ASSERT_TRUE(m_owner.WaitForCalls(2));
    m_clock.Stop();
    const size_t firstRun = m_owner.Calls().size();
    EXPECT_FALSE(m_owner.Calls().back().bBufferZero);  // the owner filled it

    ASSERT_EQ(m_clock.Start(), 0);
    ASSERT_TRUE(m_owner.WaitForCalls(firstRun + 1));
    m_clock.Stop();
    EXPECT_TRUE(m_owner.Calls()[firstRun].bBufferZero);
}

}  // namespace
