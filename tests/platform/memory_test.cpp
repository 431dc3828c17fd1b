#include "platform/memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

namespace {

// The advice touches only whole pages inside the range, and never what they hold: an
// unaligned range, one smaller than a page and an empty one keep every byte around them.
TEST(Memory, PrefaultKeepsTheBytesInAndAroundTheRange)
{
    std::vector<uint8_t> bytes(3 * 4096 + 100);
    std::iota(bytes.begin(), bytes.end(), uint8_t{1});
    const std::vector<uint8_t> before = bytes;
    platform::PrefaultForWriting(bytes.data() + 7, bytes.size() - 20);
    platform::PrefaultForWriting(bytes.data() + 11, 100);
    platform::PrefaultForWriting(bytes.data(), 0);
    EXPECT_EQ(bytes, before);
}

}  // namespace
