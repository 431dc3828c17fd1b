// The headless audio renderer: its own thread pulls one 20 ms chunk per period against a
// steady_clock deadline advanced by 20 ms per pull (so work does not make it drift), and
// hands every non-empty chunk to the tap. A pull that gives nothing stands for 20 ms of
// silence played at the same pace.
// Threads: Start/Stop on the main thread; Run on the renderer thread. stop_ is the only
// shared state (atomic); buffer_ belongs to the renderer thread while it runs.
#ifndef QUORVEL_PLAY_PACED_AUDIO_RENDERER_H
#define QUORVEL_PLAY_PACED_AUDIO_RENDERER_H

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <quorvel.h>

#include "audio_output.h"

namespace qplay {

class AudioTap;

class PacedAudioRenderer : public AudioOutput {
public:
    static constexpr std::chrono::milliseconds PERIOD{20};

    PacedAudioRenderer(IMediaFile* media, AudioTap& tap);
    ~PacedAudioRenderer() override;

    void Start() override;
    void Stop() override;

private:
    void Run();

    IMediaFile* const media_;
    AudioTap& tap_;
    std::atomic<bool> stop_{false};
    std::vector<uint8_t> buffer_;
    std::thread thread_;
};

}  // namespace qplay

#endif
