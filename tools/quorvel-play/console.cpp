#include "console.h"

#include <cstdio>

namespace qplay {

Console::Console(bool is_terminal) : is_terminal_(is_terminal) {}

void Console::PrintLog(int level, const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (status_shown_) std::fputs("\r\033[K", stderr);
    status_shown_ = false;
    std::fprintf(stderr, "[%s] %s\n", level == 0 ? "error" : "info", text.c_str());
}

void Console::Status(const std::string& text)
{
    if (!is_terminal_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
    status_shown_ = true;
}

void Console::Finish()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (status_shown_) std::fputs("\n", stderr);
    status_shown_ = false;
}

}  // namespace qplay
