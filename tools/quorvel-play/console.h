// Standard error as the host's console: the library's log texts (with --log) and the live
// status line share it. The status line is drawn only when standard error is a terminal,
// in place; a log text first clears it, and the next Status call redraws it.
// Any thread may call PrintLog (engine threads deliver log events); Status and Finish are
// called on the main thread. mutex_ guards status_shown_ and every write.
#ifndef QUORVEL_PLAY_CONSOLE_H
#define QUORVEL_PLAY_CONSOLE_H

#include <mutex>
#include <string>

namespace qplay {

class Console {
public:
    explicit Console(bool is_terminal);

    bool IsTerminal() const { return is_terminal_; }
    void PrintLog(int level, const std::string& text);
    // Redraws the status line (nothing without a terminal).
    void Status(const std::string& text);
    // Ends the status line so that what follows starts on a fresh line.
    void Finish();

private:
    const bool is_terminal_;
    std::mutex mutex_;
    bool status_shown_ = false;  // guarded by mutex_
};

}  // namespace qplay

#endif
