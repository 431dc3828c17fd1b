#ifndef _WIN32

#include "platform/utf8.h"

namespace platform {
namespace {

constexpr char32_t UTF8_MAX_CODE_POINT = 0x10FFFF;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendUtf8(char32_t c, std::string& out)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Reads one code point at text[i] and moves i past it; false for a lone surrogate or a
// value beyond Unicode. A surrogate pair only joins where wchar_t is UTF-16.
bool NextCodePoint(const std::wstring& text, size_t& i, char32_t& c)
{
    c = static_cast<char32_t>(text[i++]);
    if (sizeof(wchar_t) == 2 && IsHighSurrogate(c) && i < text.size()) {
        const auto low = static_cast<char32_t>(text[i]);
        if (IsLowSurrogate(low)) {
            ++i;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            return true;
        }
    }
    return c <= UTF8_MAX_CODE_POINT && !IsHighSurrogate(c) && !IsLowSurrogate(c);
}

}  // namespace

bool WideToUtf8(const std::wstring& text, std::string& out)
{
    out.clear();
    size_t i = 0;
    while (i < text.size()) {
        char32_t c = 0;
        if (!NextCodePoint(text, i, c)) {
            out.clear();
            return false;
        }
        AppendUtf8(c, out);
    }
    return true;
}

}  // namespace platform

#endif  // _WIN32
