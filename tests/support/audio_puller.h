// A host's audio renderer for end-to-end runs: pulls one chunk every 20 ms of real time on
// its own thread until stopped, and counts what it was told to play.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "quorvel.h"

namespace test {

class AudioPuller {
public:
    explicit AudioPuller(IMediaFile* instance) : m_thread([this, instance] { Run(instance); }) {}
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
    int64_t Bytes() const { return m_llBytes.load(); }
    int SampleRate() const { return m_nSampleRate.load(); }
    int Channels() const { return m_nChannels.load(); }

private:
    void Run(IMediaFile* instance)
    {
        std::vector<uint8_t> chunk(QUORVEL_MAX_AUDIO_CHUNK_BYTES);
        while (!m_bStop.load()) {
            int32_t bytes = 0;
            int32_t rate = 0;
            int32_t channels = 0;
            const int32_t played =
                instance->OnRenderGetaudioFrame(chunk.data(), &bytes, &rate, &channels, 0, 0);
            if (played > 0) {
                m_llBytes.fetch_add(played);
                m_nSampleRate.store(rate);
                m_nChannels.store(channels);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    std::atomic<bool> m_bStop{false};
    std::atomic<int64_t> m_llBytes{0};
    std::atomic<int> m_nSampleRate{0};
    std::atomic<int> m_nChannels{0};
    std::thread m_thread;  // last: starts once the counters exist
};

}  // namespace test
