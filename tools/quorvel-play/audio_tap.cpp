#include "audio_tap.h"

#include <string>

#include "event_log.h"
#include "wav_writer.h"

namespace qplay {

Chunk PullChunk(IMediaFile* media, std::vector<uint8_t>* buffer)
{
    buffer->resize(QUORVEL_MAX_AUDIO_CHUNK_BYTES);
    Chunk chunk;
    int32_t reported = 0;
    chunk.bytes =
        media->OnRenderGetaudioFrame(buffer->data(), &reported, &chunk.rate, &chunk.channels, 0, 0);
    if (chunk.bytes < 0 || chunk.bytes > QUORVEL_MAX_AUDIO_CHUNK_BYTES || chunk.rate <= 0 ||
        chunk.channels <= 0)
        chunk.bytes = 0;
    return chunk;
}

AudioTap::AudioTap(WavWriter* wav, EventLog* events) : wav_(wav), events_(events) {}

void AudioTap::OnChunk(const uint8_t* pcm, const Chunk& chunk)
{
    chunks_.fetch_add(1);
    const int64_t frames = chunk.bytes / (2 * chunk.channels);
    micros_.fetch_add(frames * 1000000 / chunk.rate);
    if (wav_ != nullptr) wav_->Write(pcm, chunk.bytes, chunk.rate, chunk.channels);
    if (events_ != nullptr) {
        events_->Write("\"event\":\"audio\",\"bytes\":" + std::to_string(chunk.bytes) +
                       ",\"rate\":" + std::to_string(chunk.rate) +
                       ",\"channels\":" + std::to_string(chunk.channels));
    }
}

}  // namespace qplay
