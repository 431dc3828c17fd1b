// Wide (UTF-32 on Linux, UTF-16 on Windows) to UTF-8.
#pragma once

#include <string>

namespace platform {

// Converts text to UTF-8 into out. False, with out empty, when text holds a code point
// that cannot be encoded (a lone surrogate or a value above U+10FFFF): a path that was
// altered in conversion could name another file, so it is refused rather than repaired.
bool WideToUtf8(const std::wstring& text, std::string& out);

}  // namespace platform
