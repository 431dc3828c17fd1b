// What the host-level tests share: instances owned the way a host owns them, FFmpeg's own
// decode of a fixture as the reference, and an audio renderer that keeps what it plays.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "instance/recording_sink.h"
#include "instance/test_host.h"
#include "quorvel.h"

namespace test {

struct InstanceDeleter {
    void operator()(IMediaFile* instance) const { DestroyInstance(instance); }
};
using InstancePtr = std::unique_ptr<IMediaFile, InstanceDeleter>;

inline InstancePtr Create(const std::string& media, MediaFileInterface* sink)
{
    return InstancePtr(CreateInstance(WideMediaPath(media).c_str(), sink));
}

// Output of the ffmpeg program run on a fixture with the given output options.
inline std::string FfmpegOutput(const std::string& media, const std::string& options)
{
    const std::string command = "ffmpeg -nostdin -v error -i '" + MediaPath(media) + "' " + options;
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    pclose(pipe);
    return output;
}

// FFmpeg's own decode of the file: one md5 per picture, in presentation order, each
// picture at its own size.
inline std::vector<std::string> ReferenceMd5s(const std::string& media)
{
    std::istringstream lines(FfmpegOutput(
        media, "-an -fps_mode passthrough -autoscale 0 -pix_fmt yuv420p -f framemd5 -"));
    std::vector<std::string> md5s;
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream field(line.substr(line.find_last_of(',') + 1));
        std::string md5;
        field >> md5;
        md5s.push_back(md5);
    }
    return md5s;
}

// FFmpeg's own decode of the file's audio as interleaved s16 at the engine's rate.
inline std::string ReferencePcm(const std::string& media, int rate, int channels)
{
    return FfmpegOutput(media, "-vn -ac " + std::to_string(channels) + " -ar " +
                                   std::to_string(rate) + " -f s16le -");
}

// Index of md5 in the reference, or -1.
inline int IndexOf(const std::vector<std::string>& reference, const std::string& md5)
{
    for (size_t i = 0; i < reference.size(); ++i) {
        if (reference[i] == md5) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// A host's audio renderer that keeps every chunk it was told to play, in order. Pulls
// every 20 ms of real time on its own thread until stopped.
class PcmRecorder {
public:
    explicit PcmRecorder(IMediaFile* instance) : m_thread([this, instance] { Run(instance); }) {}
    ~PcmRecorder() { Stop(); }
    PcmRecorder(const PcmRecorder&) = delete;
    PcmRecorder& operator=(const PcmRecorder&) = delete;

    void Stop()
    {
        m_bStop.store(true);
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
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
            int32_t bytes = 0;
            int32_t rate = 0;
            int32_t channels = 0;
            const int32_t played =
                instance->OnRenderGetaudioFrame(chunk.data(), &bytes, &rate, &channels, 0, 0);
            if (played > 0) {
                std::lock_guard<std::mutex> guard(m_mutex);
                m_chunks.emplace_back(reinterpret_cast<const char*>(chunk.data()),
                                      static_cast<size_t>(played));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    std::atomic<bool> m_bStop{false};
    std::mutex m_mutex;
    std::vector<std::string> m_chunks;  // guarded by m_mutex
    std::thread m_thread;  // last: starts once the state above exists
};

}  // namespace test
