// Teardown while the process exits: a host whose static object destroys its instance, and
// an instance leaked while it plays. Each runs in a host process of its own, started
// fresh so that its statics are built in a real host's order.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>

#include "reliability/reliability_support.h"

extern char** environ;

namespace reliability {
namespace {

using namespace std::chrono_literals;

// The leaked instance is a leak by design, so LeakSanitizer is told to look away. glibc's
// allocator fills freed memory, so that a use after free goes wrong at once rather than
// by the luck of the heap's layout.
std::vector<std::string> ChildEnvironment()
{
    std::vector<std::string> env;
    std::string asanOptions = "ASAN_OPTIONS=detect_leaks=0";
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "ASAN_OPTIONS=", 13) == 0)
            asanOptions = std::string(*entry) + ":detect_leaks=0";
        else if (std::strncmp(*entry, "GLIBC_TUNABLES=", 15) != 0)
            env.emplace_back(*entry);
    }
    env.push_back(asanOptions);
    env.emplace_back("GLIBC_TUNABLES=glibc.malloc.perturb=165");
    return env;
}

// The host's exit status, or -1 when it did not exit normally within the bound (it is
// then killed).
int RunHost(const char* mode, const std::string& media)
{
    std::vector<std::string> env = ChildEnvironment();
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = QUORVEL_EXIT_TIME_HOST;
    std::string modeArg = mode;
    std::string mediaArg = test::MediaPath(media);
    char* argv[] = {program.data(), modeArg.data(), mediaArg.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
    int status = 0;
    const bool ended = WaitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, 60s);
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ExitTime, StaticHostObjectDestroysItsInstanceAfterTheLibrarysStatics)
{
    EXPECT_EQ(RunHost("static", "video_only.mp4"), 0);
}

TEST(ExitTime, LeakedInstanceStillPlayingAndLoggingAtExit)
{
    EXPECT_EQ(RunHost("leaked", "video_only.mp4"), 0);
}

}  // namespace
}  // namespace reliability
