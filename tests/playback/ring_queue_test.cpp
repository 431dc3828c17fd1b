#include "playback/ring_queue.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::vector<int> Contents(const playback::RingQueue<int>& queue)
{
    std::vector<int> values;
    queue.ForEach([&values](int value) { values.push_back(value); });
    return values;
}

// Growth while the ring has wrapped must keep the order: the entries behind the head
// come first.
TEST(RingQueue, KeepsOrderAcrossWrapAndGrowth)
{
    playback::RingQueue<int> queue;
    for (int i = 0; i < 12; ++i) queue.push_back(i);
    for (int i = 0; i < 9; ++i) queue.pop_front();
    for (int i = 12; i < 60; ++i) queue.push_back(i);
    ASSERT_EQ(queue.size(), 51u);
    EXPECT_EQ(queue.front(), 9);
    EXPECT_EQ(queue.back(), 59);
    std::vector<int> expected;
    for (int i = 9; i < 60; ++i) expected.push_back(i);
    EXPECT_EQ(Contents(queue), expected);
    for (int i = 9; i < 60; ++i) {
        ASSERT_EQ(queue.front(), i);
        queue.pop_front();
    }
    EXPECT_TRUE(queue.empty());
}

TEST(RingQueue, PoppedEntryIsReleasedAndSwapExchangesContents)
{
    auto shared = std::make_shared<int>(7);
    playback::RingQueue<std::shared_ptr<int>> queue;
    queue.push_back(shared);
    queue.pop_front();
    EXPECT_EQ(shared.use_count(), 1);  // the slot no longer holds it

    playback::RingQueue<std::shared_ptr<int>> other;
    queue.push_back(shared);
    queue.swap(other);
    EXPECT_TRUE(queue.empty());
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other.front(), shared);
}

}  // namespace
