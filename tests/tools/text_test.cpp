#include "text.h"

#include <gtest/gtest.h>

namespace qplay {
namespace {

TEST(Text, Utf8RoundTripsEveryLength)
{
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xAC.mp4";  // a é € 🎬
    const std::wstring wide = Utf8ToWide(text);
    EXPECT_EQ(wide, (std::wstring{L'a', L'\u00E9', L'\u20AC', static_cast<wchar_t>(0x1F3AC), L'.',
                                  L'm', L'p', L'4'}));
    EXPECT_EQ(WideToUtf8(wide.c_str()), text);
}

TEST(Text, MalformedUtf8BecomesReplacementCharacters)
{
    // stray continuation, truncated sequence, overlong '/', encoded surrogate
    const std::wstring wide = Utf8ToWide(
        "\x80x\xE2\x82"
        "y\xC0\xAF\xED\xA0\x80");
    EXPECT_EQ(wide, (std::wstring{L'\uFFFD', L'x', L'\uFFFD', L'y', L'\uFFFD', L'\uFFFD'}));
}

TEST(Text, WideValuesOutsideUnicodeBecomeReplacementCharacters)
{
    const wchar_t text[] = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), L'k', 0};
    EXPECT_EQ(WideToUtf8(text), "\xEF\xBF\xBD\xEF\xBF\xBDk");
}

TEST(Text, JsonStringEscapesQuotesBackslashesAndControls)
{
    EXPECT_EQ(JsonString("a\"b\\c\nd\x01"), "\"a\\\"b\\\\c\\nd\\u0001\"");
    EXPECT_EQ(JsonString("\xC3\xA9"), "\"\xC3\xA9\"");
}

}  // namespace
}  // namespace qplay
