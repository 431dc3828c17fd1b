#include "platform/worker_thread.h"

#include <atomic>
#include <memory>

#include <gtest/gtest.h>

#include "platform/time_source.h"
#include "support/fake_time.h"
#include "support/wait_until.h"

namespace {

using platform::WorkerThread;

struct Gate {
    std::atomic<bool> bOpen{false};
    std::atomic<bool> bUnwound{false};
};

uint32_t ReturnSeven(void*) { return 7; }

uint32_t WaitForGate(void* param)
{
    auto* gate = static_cast<Gate*>(param);
    while (!gate->bOpen.load()) platform::Sleep(1);  // a cancellation point with the real clock
    return 1;
}

// Notes the forced unwind of its stack through a destructor.
uint32_t SleepUntilCancelled(void* param)
{
    struct UnwindWitness {
        Gate* gate;
        ~UnwindWitness() { gate->bUnwound = true; }
    } witness{static_cast<Gate*>(param)};
    while (!witness.gate->bOpen.load()) platform::Sleep(1);
    return 0;
}

TEST(WorkerThreadTest, JoinReapsAndKeepsExitCode)
{
    WorkerThread thread;
    ASSERT_TRUE(thread.Start(&ReturnSeven, nullptr));
    EXPECT_TRUE(thread.IsStarted());
    ASSERT_TRUE(thread.Join(test::kGenerousWait.count() * 1000));
    EXPECT_FALSE(thread.IsStarted());
    EXPECT_EQ(thread.ExitCode(), 7u);
    EXPECT_TRUE(thread.Join(0));  // nothing left to wait for
}

TEST(WorkerThreadTest, JoinTimesOutWhileTheBodyRuns)
{
    Gate gate;
    WorkerThread thread;
    ASSERT_TRUE(thread.Start(&WaitForGate, &gate));
    thread.SetPriority(platform::Priority::AboveNormal);  // a hint; must not disturb
    EXPECT_FALSE(thread.Join(1));
    EXPECT_TRUE(thread.IsStarted());
    gate.bOpen = true;
    ASSERT_TRUE(thread.Join(test::kGenerousWait.count() * 1000));
    EXPECT_EQ(thread.ExitCode(), 1u);
}

TEST(WorkerThreadTest, ForceEndCancelsAndUnwindsTheBody)
{
    Gate gate;
    WorkerThread thread;
    ASSERT_TRUE(thread.Start(&SleepUntilCancelled, &gate));
    const bool ended = thread.ForceEnd();
    EXPECT_FALSE(thread.IsStarted());
    EXPECT_EQ(thread.ExitCode(), 0xFFFFFFFFu);
#ifdef _WIN32
    // Abandoned, never terminated (it could be holding a lock): it sleeps on untouched
    // until let go, and must end before the gate does.
    EXPECT_FALSE(ended);
    EXPECT_FALSE(gate.bUnwound);
    gate.bOpen = true;
    EXPECT_TRUE(test::WaitUntil([&] { return gate.bUnwound.load(); }));
#else
    EXPECT_TRUE(ended);
    EXPECT_TRUE(gate.bUnwound);
#endif

    ASSERT_TRUE(thread.Start(&ReturnSeven, nullptr));  // reusable afterwards
    ASSERT_TRUE(thread.Join(test::kGenerousWait.count() * 1000));
    EXPECT_EQ(thread.ExitCode(), 7u);
}

// Spins without a cancellation point, so cancelling cannot end it.
uint32_t SpinUntilOpen(void* param)
{
    const std::unique_ptr<std::shared_ptr<Gate>> owned(static_cast<std::shared_ptr<Gate>*>(param));
    const std::shared_ptr<Gate> gate = *owned;
    gate->bUnwound = true;  // here "started"
    while (!gate->bOpen.load()) {
    }
    return 0;
}

TEST(WorkerThreadTest, ForceEndAbandonsABodyThatCannotBeCancelled)
{
    // Shared, as the abandoned body outlives this test's stack.
    auto gate = std::make_shared<Gate>();
    auto* param = new std::shared_ptr<Gate>(gate);
    WorkerThread thread;
    ASSERT_TRUE(thread.Start(&SpinUntilOpen, param));
    ASSERT_TRUE(test::WaitUntil([&] { return gate->bUnwound.load(); }));
    thread.ForceEnd();  // waits out the grace period
    EXPECT_FALSE(thread.IsStarted());
    EXPECT_EQ(thread.ExitCode(), 0xFFFFFFFFu);
    gate->bOpen = true;  // let the abandoned body finish on its own
}

TEST(TimeSourceTest, ScopedSourceIsInstalledAndRestored)
{
    platform::TimeSource& real = platform::Time();
    {
        test::FakeTimeSource fake(0xFFFFFFF0u);
        platform::ScopedTimeSource installed(fake);
        EXPECT_EQ(&platform::Time(), &fake);
        platform::Sleep(0x20);
        EXPECT_EQ(platform::GetTickCount(), 0x10u);  // wraps like the real tick
    }
    EXPECT_EQ(&platform::Time(), &real);
}

}  // namespace
