#include "playback/uncached_copy.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

// Every destination alignment against sizes around the streamed block length: the copy
// is exact and writes nothing before or after the destination.
TEST(CopyUncached, CopiesExactlyAtEveryAlignmentAndSize)
{
    constexpr size_t kGuard = 64;
    std::vector<uint8_t> source(5000);
    std::iota(source.begin(), source.end(), uint8_t{1});
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t size : {0u, 1u, 15u, 16u, 63u, 64u, 79u, 80u, 143u, 1000u, 4133u}) {
            std::vector<uint8_t> arena(kGuard + offset + size + kGuard, 0xAA);
            uint8_t* dst = arena.data() + kGuard + offset;
            playback::CopyUncached(dst, source.data() + 3, size);
            ASSERT_TRUE(std::equal(dst, dst + size, source.data() + 3))
                << "offset " << offset << " size " << size;
            ASSERT_TRUE(std::all_of(arena.begin(), arena.begin() + kGuard + offset,
                                    [](uint8_t b) { return b == 0xAA; }));
            ASSERT_TRUE(std::all_of(dst + size, arena.data() + arena.size(),
                                    [](uint8_t b) { return b == 0xAA; }));
        }
    }
}

}  // namespace
