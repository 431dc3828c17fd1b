// The smallest useful Quorvel host: plays FILE for up to SECONDS (default 2), counting
// the pictures pushed to it and pulling 20 ms of audio at a time on its own thread.
// Exits 0 when something was played.
#include <quorvel.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// Events arrive on the engine's threads, one at a time: copy what you need and return.
// Never call Close, CreateInstance or DestroyInstance from here.
class Events final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile*, uint32_t event, uintptr_t param1, uintptr_t, uintptr_t,
                      uintptr_t) override
    {
        if (event == MEDIA_EVENT_VIDEO_FRAME) {
            const auto* frame = reinterpret_cast<const VideoFrameInfo*>(param1);
            width = frame->nWidth;
            pictures.fetch_add(1);
        } else if (event == MEDIA_EVENT_OPEN_FAILED) {
            failed = true;
        }
    }
    std::atomic<int> pictures{0};
    std::atomic<int> width{0};
    std::atomic<bool> failed{false};
};

std::wstring Widen(const char* text)
{
    std::wstring wide;
    for (const char* p = text; *p != '\0'; ++p) wide.push_back(static_cast<unsigned char>(*p));
    return wide;  // enough for ASCII paths; a real host decodes UTF-8
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: minimal-host FILE [SECONDS]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 2.0;
    Events events;
    IMediaFile* media = CreateInstance(Widen(argv[1]).c_str(), &events);
    if (media == nullptr || media->Open() == 0) {
        std::fprintf(stderr, "minimal-host: cannot open %s\n", argv[1]);
        DestroyInstance(media);
        return 1;
    }
    // The audio renderer: one pull per 20 ms on a steady deadline.
    std::atomic<bool> stop{false};
    std::atomic<long> audio_bytes{0};
    std::thread audio([&] {
        std::vector<uint8_t> buffer(QUORVEL_MAX_AUDIO_CHUNK_BYTES);
        auto deadline = std::chrono::steady_clock::now();
        while (!stop) {
            int32_t bytes = 0, rate = 0, channels = 0;
            audio_bytes +=
                media->OnRenderGetaudioFrame(buffer.data(), &bytes, &rate, &channels, 0, 0);
            deadline += std::chrono::milliseconds(20);
            std::this_thread::sleep_until(deadline);
        }
    });
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    audio.join();  // no more pulls before the instance goes away
    int64_t pos = 0, duration = 0;
    media->GetPos(&pos, &duration);
    DestroyInstance(media);  // closes it
    std::printf("%d pictures (width %d), %ld bytes of audio, position %lld of %lld s\n",
                events.pictures.load(), events.width.load(), audio_bytes.load(),
                static_cast<long long>(pos), static_cast<long long>(duration));
    return events.pictures > 0 || audio_bytes > 0 ? 0 : 1;
}
