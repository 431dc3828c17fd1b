#include "diag/log.h"

#include <cstdarg>
#include <cwchar>

#include "diag/instance_registry.h"

// One formatting pass into a zero-filled buffer stands in for a length count followed by
// a second pass: glibc's vswprintf writes as much as fits and returns -1 when the text
// is longer (leaving the last character unterminated) or a conversion fails, so the
// buffer itself tells whether any text came out.
void LogMessage(int level, const wchar_t* format, ...)
{
    if (static_cast<unsigned>(level) > 1u || format == nullptr)
        return;

    wchar_t text[LOG_BUFFER_CHARS] = {};
    va_list args;
    va_start(args, format);
    vswprintf(text, LOG_BUFFER_CHARS, format, args);
    va_end(args);
    text[LOG_BUFFER_CHARS - 1] = L'\0';  // a longer message is cut to LOG_BUFFER_CHARS - 1

    if (text[0] == L'\0')
        return;
    diag::DispatchLog(level, text);
}
