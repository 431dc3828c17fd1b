// The engine's single log call. Any thread, any time (also with no instance alive).
// The text reaches the host as MEDIA_EVENT_LOG through the first registered instance.
// Formats are wide printf formats; wide-string arguments take %ls.
#pragma once

constexpr int LOG_ERROR = 0;  // failures
constexpr int LOG_INFO = 1;  // traces and notices

// Characters in a formatted message, terminator included; longer texts are cut to
// LOG_BUFFER_CHARS - 1 characters and still delivered.
constexpr int LOG_BUFFER_CHARS = 10240;

// Drops, without a trace, messages of any other level, a null format and a format that
// yields no text.
void LogMessage(int level, const wchar_t* format, ...);
