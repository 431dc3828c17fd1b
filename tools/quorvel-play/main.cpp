// quorvel-play: a host program for libquorvel. It uses the library only through
// <quorvel.h> and the two exported functions.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "console.h"
#include "options.h"
#include "play.h"
#include "probe.h"

namespace {

extern "C" void OnInterrupt(int) { qplay::g_interrupted.store(true); }

void InstallInterruptHandler()
{
    static_assert(std::atomic<bool>::is_always_lock_free,
                  "the signal handler stores a lock-free flag");
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    qplay::Options options;
    try {
        options = qplay::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const qplay::UsageError& error) {
        std::fprintf(stderr, "quorvel-play: %s\n%s", error.what(), qplay::UsageText());
        return 2;
    }
    qplay::Console console(isatty(STDERR_FILENO) != 0);
    try {
        switch (options.command) {
        case qplay::Command::Help: std::fputs(qplay::UsageText(), stdout); return 0;
        case qplay::Command::Probe: return qplay::RunProbe(options, console);
        case qplay::Command::Play:
            InstallInterruptHandler();
            return qplay::RunPlay(options, console);
        }
    } catch (const std::exception& error) {
        console.Finish();
        std::fprintf(stderr, "quorvel-play: %s\n", error.what());
    }
    return 1;
}
