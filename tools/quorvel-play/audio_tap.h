// Everything the host does with a chunk it was told to play: counts it, appends it to the
// wav file and writes an event-log line. Also the one place that pulls a chunk.
// Threads: OnChunk runs on the host's audio thread only (the paced renderer or SDL's
// audio callback); the counters are atomic and read on the main thread.
#ifndef QUORVEL_PLAY_AUDIO_TAP_H
#define QUORVEL_PLAY_AUDIO_TAP_H

#include <atomic>
#include <cstdint>
#include <vector>

#include <quorvel.h>

namespace qplay {

class EventLog;
class WavWriter;

struct Chunk {
    int32_t bytes = 0;  // 0: nothing to play now
    int32_t rate = 0;  // Hz
    int32_t channels = 0;
};

// One OnRenderGetaudioFrame call into buffer (resized to QUORVEL_MAX_AUDIO_CHUNK_BYTES).
Chunk PullChunk(IMediaFile* media, std::vector<uint8_t>* buffer);

class AudioTap {
public:
    // Either pointer may be null.
    AudioTap(WavWriter* wav, EventLog* events);

    void OnChunk(const uint8_t* pcm, const Chunk& chunk);
    int64_t Chunks() const { return chunks_.load(); }
    double SecondsPlayed() const { return static_cast<double>(micros_.load()) / 1e6; }

private:
    WavWriter* const wav_;
    EventLog* const events_;
    std::atomic<int64_t> chunks_{0};
    std::atomic<int64_t> micros_{0};  // microseconds of audio played
};

}  // namespace qplay

#endif
