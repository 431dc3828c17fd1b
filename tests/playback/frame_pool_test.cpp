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

    // A smaller request keeps the reused storage.
    EXPECT_EQ(pool.GetBuffer(100), firstStorage);
    EXPECT_EQ(pool.UsedCount(), 1u);
    EXPECT_EQ(pool.FreeCount(), 1u);
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
