#include "platform/event.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "support/wait_until.h"

namespace {

using platform::Event;
using test::WaitUntil;

TEST(EventTest, ManualResetLetsEveryWaiterThroughUntilReset)
{
    Event event(Event::Reset::Manual, false);
    std::atomic<int> passed{0};
    std::thread first([&] {
        event.Wait();
        ++passed;
    });
    std::thread second([&] {
        event.Wait();
        ++passed;
    });
    event.Set();
    first.join();
    second.join();
    EXPECT_EQ(passed.load(), 2);
    event.Wait();  // still open

    event.Reset();
    std::thread third([&] {
        event.Wait();
        ++passed;
    });
    // A waiter let through by mistake gets 100 ms to show it; a correct event never passes.
    EXPECT_FALSE(WaitUntil([&] { return passed.load() > 2; }, 100));
    event.Set();
    third.join();
    EXPECT_EQ(passed.load(), 3);
}

TEST(EventTest, AutoResetLetsOneWaiterThroughPerSet)
{
    Event event(Event::Reset::Auto, true);
    event.Wait();  // created open: passes once, and closes

    std::atomic<int> passed{0};
    std::thread first([&] {
        event.Wait();
        ++passed;
    });
    std::thread second([&] {
        event.Wait();
        ++passed;
    });
    event.Set();
    ASSERT_TRUE(WaitUntil([&] { return passed.load() >= 1; }));
    EXPECT_FALSE(WaitUntil([&] { return passed.load() > 1; }, 100));
    event.Set();
    first.join();
    second.join();
    EXPECT_EQ(passed.load(), 2);
}

}  // namespace
