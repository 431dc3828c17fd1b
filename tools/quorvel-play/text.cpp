#include "text.h"

#include <cstdint>
#include <cstdio>

namespace qplay {
namespace {

constexpr char32_t REPLACEMENT = 0xFFFD;

bool IsScalarValue(char32_t cp) { return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF); }

// Length of the sequence a lead byte announces and the bits it carries; 0 when invalid.
int SequenceLength(unsigned char lead, char32_t* bits)
{
    if (lead < 0x80) {
        *bits = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        *bits = lead & 0x1F;
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        *bits = lead & 0x0F;
        return 3;
    }
    if ((lead & 0xF8) == 0xF0) {
        *bits = lead & 0x07;
        return 4;
    }
    return 0;
}

// Decodes one code point at text[i]; advances i past what was consumed.
char32_t DecodeOne(const std::string& text, size_t* i)
{
    char32_t cp = 0;
    const int length = SequenceLength(static_cast<unsigned char>(text[*i]), &cp);
    ++*i;
    if (length == 0) return REPLACEMENT;
    for (int k = 1; k < length; ++k) {
        if (*i >= text.size() || (static_cast<unsigned char>(text[*i]) & 0xC0) != 0x80)
            return REPLACEMENT;
        cp = (cp << 6) | (static_cast<unsigned char>(text[*i]) & 0x3F);
        ++*i;
    }
    static const char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[length] || !IsScalarValue(cp)) return REPLACEMENT;
    return cp;
}

void AppendUtf8(char32_t cp, std::string* out)
{
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::wstring Utf8ToWide(const std::string& text)
{
    static_assert(sizeof(wchar_t) == 4, "wchar_t holds one code point on this platform");
    std::wstring out;
    for (size_t i = 0; i < text.size();) out.push_back(static_cast<wchar_t>(DecodeOne(text, &i)));
    return out;
}

std::string WideToUtf8(const wchar_t* text)
{
    std::string out;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        const auto cp = static_cast<char32_t>(static_cast<uint32_t>(*p));
        AppendUtf8(IsScalarValue(cp) ? cp : REPLACEMENT, &out);
    }
    return out;
}

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out.push_back(c);
            }
        }
    }
    return out + "\"";
}

}  // namespace qplay
