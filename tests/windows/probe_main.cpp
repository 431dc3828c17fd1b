// quorvel-probe [--play] LIBRARY FILE...: one line per file with what GetFileInfo reports
// through the library's exported entry points, keyed by the file's name alone so that
// runs of the Windows DLL and the Linux library on the same fixtures compare line by
// line. With --play each file is also played to its end, pulling audio as a renderer
// does, and the line says whether pictures came and how many milliseconds of PCM. With
// QUORVEL_PROBE_LOGS set, the engine's log texts go to standard error.
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "quorvel_library.h"

namespace {

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Fixture names are ASCII; a byte-wise widening is exact for them.
std::wstring WidenAscii(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Codec(const char (&name)[32])
{
    const size_t length = strnlen(name, sizeof(name));
    return length == 0 ? "-" : std::string(name, length);
}

// Counts the pictures the engine's render-clock thread delivers.
class PictureCounter final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile*, uint32_t event, uintptr_t, uintptr_t, uintptr_t param3,
                      uintptr_t) override
    {
        if (event == MEDIA_EVENT_VIDEO_FRAME) ++m_pictures;
        if (event == MEDIA_EVENT_LOG && m_bLogs && param3 != 0)
            std::fprintf(stderr, "log: %ls\n", reinterpret_cast<const wchar_t*>(param3));
    }
    int Pictures() const { return m_pictures.load(); }

private:
    std::atomic<int> m_pictures{0};
    const bool m_bLogs = std::getenv("QUORVEL_PROBE_LOGS") != nullptr;
};

// Plays to the end: the fixtures are short, so the end is when the position stops moving
// and no PCM has come for half a second, or after a limit that no fixture reaches.
void Play(IMediaFile* instance, const PictureCounter& counter)
{
    constexpr auto kTick = std::chrono::milliseconds(20);
    constexpr int kIdleTicks = 25;
    constexpr int kLimitTicks = 1000;
    if (instance->Open() != 1) {
        std::printf(" open-failed");
        return;
    }
    std::vector<uint8_t> chunk(QUORVEL_MAX_AUDIO_CHUNK_BYTES);
    int64_t pcmBytes = 0;
    int64_t bytesPerSecond = 0;
    int idle = 0;
    int64_t lastPos = -1;
    for (int tick = 0; tick < kLimitTicks && idle < kIdleTicks; ++tick) {
        int32_t bytes = 0;
        int32_t rate = 0;
        int32_t channels = 0;
        const int32_t played =
            instance->OnRenderGetaudioFrame(chunk.data(), &bytes, &rate, &channels, 0, 0);
        int64_t pos = 0;
        int64_t duration = 0;
        instance->GetPos(&pos, &duration);
        idle = played > 0 || pos != lastPos ? 0 : idle + 1;
        lastPos = pos;
        if (played > 0) {
            pcmBytes += played;
            bytesPerSecond = int64_t(rate) * channels * 2;
        }
        std::this_thread::sleep_for(kTick);
    }
    instance->Close();
    std::printf(" pictures=%s pcm_ms=%" PRId64, counter.Pictures() > 0 ? "yes" : "no",
                bytesPerSecond > 0 ? pcmBytes * 1000 / bytesPerSecond : 0);
}

void Probe(const host::QuorvelLibrary& library, const std::string& path, bool play)
{
    const auto destroy = [&library](IMediaFile* instance) { library.Destroy(instance); };
    PictureCounter counter;
    const std::unique_ptr<IMediaFile, decltype(destroy)> instance(
        library.Create(WidenAscii(path).c_str(), &counter), destroy);
    MediaFileInfo info{};
    int32_t audioOnly = -1;
    if (!instance || instance->GetFileInfo(0, &audioOnly, &info) == 0) {
        std::printf("%s not-playable\n", BaseName(path).c_str());
        return;
    }
    std::printf("%s playable audio_only=%d %dx%d video=%s audio=%s size=%" PRId64,
                BaseName(path).c_str(), audioOnly, info.nWidth, info.nHeight,
                Codec(info.szVideoCodec).c_str(), Codec(info.szAudioCodec).c_str(),
                info.llFileSize);
    if (play) Play(instance.get(), counter);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    const bool play = argc > 1 && std::strcmp(argv[1], "--play") == 0;
    const int first = play ? 2 : 1;
    if (argc < first + 1) {
        std::fprintf(stderr, "usage: quorvel-probe [--play] LIBRARY FILE...\n");
        return 2;
    }
    const host::QuorvelLibrary library(argv[first]);
    if (!library.Loaded()) {
        std::fprintf(stderr, "quorvel-probe: %s: %s\n", argv[first], library.Error().c_str());
        return 1;
    }
    for (int i = first + 1; i < argc; ++i) Probe(library, argv[i], play);
    return 0;
}
