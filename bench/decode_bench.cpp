// Decode throughput of the Demuxer alone: its decoder thread runs through the clip with
// an owner that accepts everything at once and keeps nothing.
//
//   quorvel-bench-decode CLIP
//   quorvel-bench-decode CLIP --real-time
//
// With --real-time the owner takes pictures only as fast as playback would: it refuses
// a video packet while more pictures than the engine queues (a quarter of a second, 4 to
// 8) beyond what the clip's frame rate has played so far were handed over, so the decoder
// thread waits for room as it does in the engine.
//
// Prints "key value" lines: pictures, audio blocks, and the CPU seconds and wall time of
// the decoder thread's run (Init excluded).
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "demux/demuxer.h"

namespace {

class AcceptEverything : public DemuxerInterface {
public:
    AcceptEverything(bool realTime, double frameRate)
        : m_realTime(realTime),
          m_frameRate(frameRate),
          m_queuedPictures(std::clamp(static_cast<int>(frameRate) / 4, 4, 8) + 1)
    {
    }

    int OnVideoFrame(const uint8_t*, int nSize, int, int, int, double) override
    {
        ++pictures;
        return nSize;
    }
    int OnAudioFrame(const uint8_t*, int nSize, int, int, double) override
    {
        ++audioBlocks;
        return nSize;
    }
    void OnDemuxEnd() override { ended.store(true); }
    bool CanAcceptFrame(double, int) override
    {
        if (!m_realTime) return true;
        if (!m_start) m_start = std::chrono::steady_clock::now();
        const double played =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - *m_start).count();
        return pictures < m_queuedPictures + played * m_frameRate;
    }
    void OnDemuxEvent(int, intptr_t, double) override {}
    bool AcceptAudioPts(double) override { return true; }

    int pictures = 0;  // decoder thread; read after it ended
    int audioBlocks = 0;
    std::atomic<bool> ended{false};

private:
    const bool m_realTime;
    const double m_frameRate;
    const int m_queuedPictures;  // the engine's picture queue at this rate, and one more
    std::optional<std::chrono::steady_clock::time_point> m_start;  // decoder thread
};

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool realTime = argc == 3 && std::string(argv[2]) == "--real-time";
    if (argc != 2 && !realTime) {
        std::fprintf(stderr, "usage: quorvel-bench-decode CLIP [--real-time]\n");
        return 2;
    }
    const std::string clip = argv[1];
    Demuxer demuxer;
    if (demuxer.Init(std::wstring(clip.begin(), clip.end())) != 0) {
        std::fprintf(stderr, "quorvel-bench-decode: cannot open %s\n", clip.c_str());
        return 1;
    }
    AcceptEverything owner(realTime, demuxer.GetFrameRate());
    demuxer.SetOwner(&owner);
    const double cpuBefore = CpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    demuxer.Start();
    while (!owner.ended.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double cpu = CpuSeconds() - cpuBefore;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    demuxer.Stop();
    demuxer.UnInit();
    std::printf("pictures %d\n", owner.pictures);
    std::printf("audio_blocks %d\n", owner.audioBlocks);
    std::printf("decode_cpu_seconds %.3f\n", cpu);
    std::printf("decode_wall_seconds %.3f\n", wall);
    return 0;
}
