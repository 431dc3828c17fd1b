#include "diag/log.h"

#include <cstdarg>
#include <cwchar>

#ifdef _WIN32
#include <cstdio>
#include <vector>
#endif

#include "diag/instance_registry.h"

#ifdef _WIN32

// The C runtime counts the text first (_vscwprintf; negative when a conversion fails),
// then formats it in full; a text longer than the buffer is formatted into a scratch
// buffer of its own length and cut there.
void LogMessage(int level, const wchar_t* format, ...)
{
    if (static_cast<unsigned>(level) > 1u || format == nullptr) return;

    va_list args;
    va_start(args, format);
    va_list counted;
    va_copy(counted, args);
    const int length = _vscwprintf(format, counted);
    va_end(counted);
    if (length <= 0) {
        va_end(args);
        return;
    }
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    _vswprintf(text.data(), format, args);
    va_end(args);
    if (length >= LOG_BUFFER_CHARS)
        text[LOG_BUFFER_CHARS - 1] = L'\0';  // a longer message is cut to LOG_BUFFER_CHARS - 1

    diag::DispatchLog(level, text.data());
}

#else

// One formatting pass into a zero-filled buffer stands in for a length count followed by
// a second pass: glibc's vswprintf writes as much as fits and returns -1 when the text
// is longer (leaving the last character unterminated) or a conversion fails, so the
// buffer itself tells whether any text came out.
void LogMessage(int level, const wchar_t* format, ...)
{
    if (static_cast<unsigned>(level) > 1u || format == nullptr) return;

    wchar_t text[LOG_BUFFER_CHARS] = {};
    va_list args;
    va_start(args, format);
    vswprintf(text, LOG_BUFFER_CHARS, format, args);
    va_end(args);
    text[LOG_BUFFER_CHARS - 1] = L'\0';  // a longer message is cut to LOG_BUFFER_CHARS - 1

    if (text[0] == L'\0') return;
    diag::DispatchLog(level, text);
}

#endif  // _WIN32
