// A host that leaves work for the process's exit, run as a child process by the
// reliability suite. It loads the library like any host, plays the file given, and
// returns from main while the library is still in use:
//   static  an instance owned by a static object, destroyed by that object's destructor,
//           which runs after the library's own statics are gone
//   leaked  an instance never destroyed, still playing as the process exits, with a
//           host thread still polling its position (every poll logs)
// Exit code 0 when the process ended cleanly.
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include "quorvel.h"

namespace {

// Its teardown may also take a while (a host flushing its own files, say), while the
// library is still in use by the host's other threads.
struct StaticHost {
    ~StaticHost()
    {
        if (instance != nullptr) DestroyInstance(instance);
        std::this_thread::sleep_for(linger);
    }
    IMediaFile* instance = nullptr;
    std::chrono::milliseconds linger{0};
};

// Constructed before main, so destroyed after everything the library builds on first use.
StaticHost g_host;

// The host's position display, polling for the rest of the process.
void PollPositionForever(IMediaFile* instance)
{
    for (;;) {
        int64_t position = 0;
        int64_t duration = 0;
        instance->GetPos(&position, &duration);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    const std::string path = argv[2];
    IMediaFile* instance = CreateInstance(std::wstring(path.begin(), path.end()).c_str(), nullptr);
    if (instance == nullptr) return 3;
    instance->SetLoop(1);
    if (instance->Open() != 1) return 4;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (std::strcmp(argv[1], "static") == 0) {
        g_host.instance = instance;
    } else if (std::strcmp(argv[1], "leaked") == 0) {
        std::thread(PollPositionForever, instance).detach();
        g_host.linger = std::chrono::milliseconds(200);
    } else {
        return 2;
    }
    return 0;
}
