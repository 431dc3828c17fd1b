// Fuzzes the engine with the input as a media file: the probe (GetFileInfo), then a short
// playback through the real Demuxer, the queues, the render clock and the audio pull.
// Time is a fake that moves only when an engine thread sleeps, so back-pressure waits
// and clock ticks cost no real time; playback ends after a few seconds of that time.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/time_source.h"
#include "quorvel.h"

namespace {

constexpr uint32_t kPlaybackMs = 1000;  // fake time a playback may take
constexpr auto kRealTimeLimit = std::chrono::milliseconds(100);  // for inputs that stall
constexpr size_t kAudioBufferBytes = 16 << 20;  // 20 ms of any rate the decoders give

class SleepDrivenTime : public platform::TimeSource {
public:
    uint32_t TickCount() override { return m_tick.load(); }
    void SleepMs(uint32_t ms) override
    {
        m_tick.fetch_add(ms);
        std::this_thread::yield();
    }

private:
    std::atomic<uint32_t> m_tick{0};
};

// Checks what a host can check of every event, and nothing else.
class CheckingSink final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile* /*sender*/, uint32_t event, uintptr_t param1,
                      uintptr_t /*param2*/, uintptr_t param3, uintptr_t /*param4*/) override
    {
        if (event == MEDIA_EVENT_VIDEO_FRAME) {
            const auto* frame = reinterpret_cast<const VideoFrameInfo*>(param1);
            // Touch every byte handed over: a short buffer shows up under ASan.
            uint8_t sum = 0;
            for (int32_t i = 0; i < frame->nSize; ++i) sum ^= frame->pData[i];
            m_checksum ^= sum;
        } else if (event == MEDIA_EVENT_LOG) {
            const auto* text = reinterpret_cast<const wchar_t*>(param3);
            while (*text != L'\0') ++text;
        }
    }

private:
    uint8_t m_checksum = 0;
};

SleepDrivenTime* g_time = nullptr;
std::wstring g_path;
std::vector<uint8_t> g_audio(kAudioBufferBytes);

void RemoveInput()
{
    const std::string path(g_path.begin(), g_path.end());
    std::remove(path.c_str());
}

bool WriteInput(const uint8_t* data, size_t size)
{
    const std::string path(g_path.begin(), g_path.end());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

void Play(IMediaFile& media)
{
    if (media.Open() == 0) return;
    const uint32_t start = g_time->TickCount();
    const auto deadline = std::chrono::steady_clock::now() + kRealTimeLimit;
    bool seeked = false;
    while (g_time->TickCount() - start < kPlaybackMs &&
           std::chrono::steady_clock::now() < deadline) {
        int32_t bytes = 0;
        int32_t rate = 0;
        int32_t channels = 0;
        media.OnRenderGetaudioFrame(g_audio.data(), &bytes, &rate, &channels, 0, 0);
        if (!seeked && g_time->TickCount() - start >= kPlaybackMs / 2) {
            // Halfway: a seek to the middle of whatever duration the input claims.
            int64_t position = 0;
            int64_t duration = 0;
            media.GetPos(&position, &duration);
            media.SetPos(duration / 2);
            seeked = true;
        }
        std::this_thread::yield();
    }
    media.Close();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    // Installed once, before any engine thread exists, and kept for the whole run.
    static SleepDrivenTime time;
    static platform::ScopedTimeSource installed(time);
    g_time = &time;
    const std::string path = "/tmp/quorvel-media-fuzz-" + std::to_string(getpid());
    g_path.assign(path.begin(), path.end());
    std::atexit(RemoveInput);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!WriteInput(data, size)) return 0;
    CheckingSink sink;
    IMediaFile* media = CreateInstance(g_path.c_str(), &sink);
    if (media == nullptr) return 0;
    int32_t audioOnly = 0;
    MediaFileInfo info{};
    media->GetFileInfo(0, &audioOnly, &info);
    Play(*media);
    DestroyInstance(media);
    return 0;
}
