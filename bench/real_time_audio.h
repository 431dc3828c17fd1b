// The audio renderer of the benchmark hosts: one 20 ms pull per 20 ms of wall time against
// a steady deadline, as a sound card takes it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "quorvel.h"

// Runs on the calling thread (the host's audio thread of that instance) until stop is set.
// onPull gets every pull's result: onPull(bytes, pcm, rate, channels), bytes 0 when the
// engine had nothing to play (the host plays 20 ms of silence then).
template <typename OnPull>
void PullAudioInRealTime(IMediaFile* media, const std::atomic<bool>& stop, OnPull&& onPull)
{
    std::vector<uint8_t> buffer(QUORVEL_MAX_AUDIO_CHUNK_BYTES);
    auto deadline = std::chrono::steady_clock::now();
    while (!stop.load()) {
        int32_t bytes = 0;
        int32_t rate = 0;
        int32_t channels = 0;
        const int32_t n =
            media->OnRenderGetaudioFrame(buffer.data(), &bytes, &rate, &channels, 0, 0);
        onPull(n, buffer.data(), rate, channels);
        deadline += std::chrono::milliseconds(20);
        std::this_thread::sleep_until(deadline);
    }
}
