#include "playback/frame_pool.h"

#include <gtest/gtest.h>

namespace {

TEST(FramePool, ReusesTheOldestFreeBufferFirst)
{
    FramePool pool;
    VideoFrame first{pool.GetBuffer(300), 300, 0, 0, 0, 0.0};
    VideoFrame second{pool.GetBuffer(300), 300, 0, 0, 0, 0.0};
    uint8_t* firstStorage = first.pData;
    pool.ReleaseBuffer(first);
    pool.ReleaseBuffer(second);
    EXPECT_EQ(first.pData, nullptr);
    EXPECT_EQ(pool.FreeCount(), 2u);

    EXPECT_EQ(pool.GetBuffer(300), firstStorage);
    EXPECT_EQ(pool.UsedCount(), 1u);
    EXPECT_EQ(pool.FreeCount(), 1u);
}

// A picture size that changes gives the buffers of the old size back, and so does Trim:
// a stream that grew once, or a closed file, does not keep its memory.
TEST(FramePool, FreeBuffersOfAnotherSizeAndTrimmedOnesAreFreed)
{
    FramePool pool;
    VideoFrame large{pool.GetBuffer(3000), 3000, 0, 0, 0, 0.0};
    VideoFrame kept{pool.GetBuffer(3000), 3000, 0, 0, 0, 0.0};
    pool.ReleaseBuffer(large);
    VideoFrame small{pool.GetBuffer(100), 100, 0, 0, 0, 0.0};
    EXPECT_EQ(pool.FreeCount(), 0u);
    EXPECT_EQ(pool.UsedCount(), 2u);
    pool.ReleaseBuffer(kept);  // lent at the old size: freed at the next request
    pool.ReleaseBuffer(small);
    EXPECT_NE(pool.GetBuffer(100), nullptr);
    EXPECT_EQ(pool.FreeCount(), 0u);
    EXPECT_EQ(pool.UsedCount(), 1u);
    VideoFrame spare{pool.GetBuffer(100), 100, 0, 0, 0, 0.0};
    pool.ReleaseBuffer(spare);
    pool.Trim();
    EXPECT_EQ(pool.FreeCount(), 0u);
    EXPECT_EQ(pool.UsedCount(), 1u);
}

TEST(FramePool, GrownBufferIsZeroFilledBeyondOldContent)
{
    FramePool pool;
    VideoFrame frame{pool.GetBuffer(4), 4, 0, 0, 0, 0.0};
    std::fill(frame.pData, frame.pData + 4, uint8_t{0xff});
    pool.ReleaseBuffer(frame);
    uint8_t* grown = pool.GetBuffer(64);
    ASSERT_NE(grown, nullptr);
    for (int i = 4; i < 64; ++i) {
        EXPECT_EQ(grown[i], 0) << i;
    }
}

TEST(FramePool, ForeignPointerAndBadSizesChangeNothing)
{
    FramePool pool;
    uint8_t foreign[8];
    VideoFrame stranger{foreign, 8, 0, 0, 0, 0.0};
    VideoFrame lent{pool.GetBuffer(8), 8, 0, 0, 0, 0.0};
    pool.ReleaseBuffer(stranger);
    EXPECT_EQ(stranger.pData, foreign);
    EXPECT_EQ(pool.UsedCount(), 1u);
    EXPECT_EQ(pool.FreeCount(), 0u);

    EXPECT_EQ(pool.GetBuffer(0), nullptr);
    EXPECT_EQ(pool.GetBuffer(-5), nullptr);
    EXPECT_EQ(pool.UsedCount(), 1u);
    pool.ReleaseBuffer(lent);
}

}  // namespace
