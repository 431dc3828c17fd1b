#ifdef _WIN32

#include "platform/utf8.h"

#include <climits>

#include <windows.h>

namespace platform {

// WC_ERR_INVALID_CHARS makes a lone surrogate fail the conversion instead of becoming
// U+FFFD, which keeps the outcome the same as on other platforms: refused, not repaired.
bool WideToUtf8(const std::wstring& text, std::string& out)
{
    out.clear();
    if (text.empty()) return true;
    if (text.size() > static_cast<size_t>(INT_MAX)) return false;
    const int wideChars = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), wideChars,
                                          nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return false;
    std::string converted(static_cast<size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), wideChars, &converted[0],
                            bytes, nullptr, nullptr) != bytes)
        return false;
    out = std::move(converted);
    return true;
}

}  // namespace platform

#endif  // _WIN32
