// A host's audio renderer for end-to-end runs: pulls one chunk every 20 ms of real time on
// its own thread until stopped (or, like a renderer with a larger buffer, a burst of them
// at once every burst x 20 ms), and keeps every chunk it was told to play, in order. Like
// a player's pre-roll after a seek, it can be held (it pulls nothing) until the host has
// seen the new position's first pictures, so that what a test checks does not depend on
// how fast a loaded machine decodes.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "quorvel.h"

namespace test {

class AudioPuller {
public:
    explicit AudioPuller(IMediaFile* instance, bool held = false, int burst = 1)
        : m_bHeld(held), m_nBurst(burst), m_thread([this, instance] { Run(instance); })
    {
    }
    ~AudioPuller() { Stop(); }
    AudioPuller(const AudioPuller&) = delete;
    AudioPuller& operator=(const AudioPuller&) = delete;

    void Stop()
    {
        m_bStop.store(true);
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    void Hold() { m_bHeld.store(true); }
    void Release() { m_bHeld.store(false); }
    int64_t Bytes() const { return m_llBytes.load(); }
    // Seconds of audio taken so far (0 before the first chunk).
    double Seconds() const
    {
        const int bytesPerSecond = m_nSampleRate.load() * m_nChannels.load() * 2;
        return bytesPerSecond == 0 ? 0.0 : static_cast<double>(Bytes()) / bytesPerSecond;
    }
    int SampleRate() const { return m_nSampleRate.load(); }
    int Channels() const { return m_nChannels.load(); }
    std::vector<std::string> Chunks()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_chunks;
    }
    size_t ChunkCount()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_chunks.size();
    }

private:
    void Run(IMediaFile* instance)
    {
        std::vector<uint8_t> chunk(QUORVEL_MAX_AUDIO_CHUNK_BYTES);
        while (!m_bStop.load()) {
            if (m_bHeld.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            for (int i = 0; i < m_nBurst; ++i) {
                int32_t bytes = 0;
                int32_t rate = 0;
                int32_t channels = 0;
                const int32_t played =
                    instance->OnRenderGetaudioFrame(chunk.data(), &bytes, &rate, &channels, 0, 0);
                if (played > 0) {
                    Keep(chunk.data(), played, rate, channels);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20 * m_nBurst));
        }
    }
    void Keep(const uint8_t* data, int32_t played, int32_t rate, int32_t channels)
    {
        m_nSampleRate.store(rate);
        m_nChannels.store(channels);
        std::lock_guard<std::mutex> guard(m_mutex);
        m_chunks.emplace_back(reinterpret_cast<const char*>(data), static_cast<size_t>(played));
        m_llBytes.fetch_add(played);
    }

    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bHeld;
    const int m_nBurst;
    std::atomic<int64_t> m_llBytes{0};
    std::atomic<int> m_nSampleRate{0};
    std::atomic<int> m_nChannels{0};
    std::mutex m_mutex;
    std::vector<std::string> m_chunks;  // guarded by m_mutex
    std::thread m_thread;  // last: starts once the state above exists
};

}  // namespace test
