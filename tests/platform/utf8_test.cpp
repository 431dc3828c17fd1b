#include "platform/utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(WideToUtf8Test, EncodesEveryLength)
{
    std::string out;
    ASSERT_TRUE(platform::WideToUtf8(L"a/\u0416\u4e2d\U0001F600.mp4", out));
    EXPECT_EQ(out, "a/\xD0\x96\xE4\xB8\xAD\xF0\x9F\x98\x80.mp4");  // Cyrillic, CJK, emoji

    ASSERT_TRUE(platform::WideToUtf8(L"", out));
    EXPECT_TRUE(out.empty());
}

TEST(WideToUtf8Test, RefusesCodePointsThatCannotBeEncoded)
{
    std::string out = "stale";
    std::wstring loneSurrogate = L"ab";
    loneSurrogate.insert(1, 1, static_cast<wchar_t>(0xD800));
    EXPECT_FALSE(platform::WideToUtf8(loneSurrogate, out));
    EXPECT_TRUE(out.empty());

    out = "stale";
    std::wstring lowFirst(1, static_cast<wchar_t>(0xDC00));
    EXPECT_FALSE(platform::WideToUtf8(lowFirst, out));
    EXPECT_TRUE(out.empty());

    if (sizeof(wchar_t) == 4) {
        out = "stale";
        std::wstring beyond = L"x";
        beyond += static_cast<wchar_t>(0x110000);
        EXPECT_FALSE(platform::WideToUtf8(beyond, out));
        EXPECT_TRUE(out.empty());
        // In UTF-32 a pair of surrogates is two lone surrogates, not one character.
        std::wstring pair{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
        EXPECT_FALSE(platform::WideToUtf8(pair, out));
    }
}

}  // namespace
