// Text conversions at the edges of the host: command-line bytes (UTF-8) to the library's
// wide paths, the library's wide log texts back to UTF-8, and JSON string quoting.
// Pure functions, safe on any thread.
#ifndef QUORVEL_PLAY_TEXT_H
#define QUORVEL_PLAY_TEXT_H

#include <string>

namespace qplay {

// Decodes UTF-8; a byte that does not start a valid sequence becomes U+FFFD.
std::wstring Utf8ToWide(const std::string& text);

// Encodes each wchar_t as one code point; values that are not Unicode scalar values
// (surrogates, above U+10FFFF) become U+FFFD.
std::string WideToUtf8(const wchar_t* text);

// The text as a quoted JSON string, with control characters escaped.
std::string JsonString(const std::string& text);

}  // namespace qplay

#endif
