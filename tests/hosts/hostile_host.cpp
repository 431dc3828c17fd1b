// A careful host run on one untrusted file, as a child process of the reliability suite so
// that its memory can be capped and measured and a hang cannot stall the suite: it probes
// the file with GetFileInfo, opens it, plays it with audio pulled every 20 ms, closes it
// and destroys the instance, then reports on standard output what it saw, a line each:
//   probe RESULT AUDIO_ONLY WIDTH HEIGHT
//   open RESULT
//   events OPEN_FAILED PICTURES MAX_WIDTH MAX_HEIGHT UNKNOWN
//   audio BYTES
//   threads BEFORE AFTER     (of this process, before CreateInstance and after Destroy)
//   log LEVEL TEXT           (one per log text)
// Usage: quorvel_hostile_host PATH PLAY_MS
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <dirent.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "quorvel.h"
#include "support/audio_puller.h"

namespace {

class Events final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile* /*sender*/, uint32_t event, uintptr_t param1,
                      uintptr_t /*param2*/, uintptr_t param3, uintptr_t /*param4*/) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (event == MEDIA_EVENT_VIDEO_FRAME) {
            const auto* frame = reinterpret_cast<const VideoFrameInfo*>(param1);
            ++pictures;
            maxWidth = std::max(maxWidth, frame->nWidth);
            maxHeight = std::max(maxHeight, frame->nHeight);
        } else if (event == MEDIA_EVENT_OPEN_FAILED) {
            ++openFailed;
        } else if (event == MEDIA_EVENT_LOG) {
            logs.emplace_back(static_cast<int>(param1), reinterpret_cast<const wchar_t*>(param3));
        } else {
            ++unknown;
        }
    }

    std::mutex mutex;
    int pictures = 0;
    int maxWidth = 0;
    int maxHeight = 0;
    int openFailed = 0;
    int unknown = 0;
    std::vector<std::pair<int, std::wstring>> logs;
};

int ThreadCount()
{
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.' ? 1 : 0;
        closedir(tasks);
    }
    return count;
}

// Log texts come from the file (names, codec ids); each is printed on one line.
std::string OneLine(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) out += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    const std::string path = argv[1];
    const auto playTime = std::chrono::milliseconds(std::atoi(argv[2]));
    // ThreadSanitizer starts a thread of its own at the first thread creation.
    std::thread([] {}).join();
    const int threadsBefore = ThreadCount();
    Events events;
    IMediaFile* media = CreateInstance(std::wstring(path.begin(), path.end()).c_str(), &events);
    if (media == nullptr) return 3;
    int32_t audioOnly = -1;
    MediaFileInfo info{};
    const int32_t probe = media->GetFileInfo(0, &audioOnly, &info);
    std::printf("probe %d %d %d %d\n", probe, audioOnly, info.nWidth, info.nHeight);
    const int32_t opened = media->Open();
    std::printf("open %d\n", opened);
    int64_t audioBytes = 0;
    if (opened == 1) {
        test::AudioPuller audio(media);
        std::this_thread::sleep_for(playTime);
        audio.Stop();
        audioBytes = audio.Bytes();
    }
    media->Close();
    DestroyInstance(media);
    std::printf("audio %lld\n", static_cast<long long>(audioBytes));
    std::printf("threads %d %d\n", threadsBefore, ThreadCount());
    std::lock_guard<std::mutex> guard(events.mutex);
    std::printf("events %d %d %d %d %d\n", events.openFailed, events.pictures, events.maxWidth,
                events.maxHeight, events.unknown);
    for (const auto& [level, text] : events.logs)
        std::printf("log %d %s\n", level, OneLine(text).c_str());
    return 0;
}
