// The arithmetic of video delivery and the audio pull, free of threads and state so that
// each rule can be checked on its own.
#pragma once

#include <cstdint>

namespace playback {

// Pictures (and audio) that lag the clock by more than this are dropped undelivered.
constexpr double PACING_LAG_SKIP_SECONDS = 0.3;
// Pictures this far behind the clock are not decoded up to the next key picture: skipping
// only what nothing refers to has not caught up. Less would skip whole groups of pictures
// where a decoder with a little less time than it needs catches up by itself.
constexpr double PACING_SKIP_TO_KEY_SECONDS = 1.0;
// A picture goes out on the render clock's tick nearest to its time: at most half a tick
// (the clock ticks every 10 ms) before it.
constexpr double PACING_DUE_AHEAD_SECONDS = 0.005;
// Audio that does not follow the audio played before (the first of a pass, or after a gap
// in the file's sound) waits for its time: silence is played until it is at most half a
// chunk away.
constexpr double PACING_AUDIO_AHEAD_SECONDS = 0.01;
// Audio that follows what was played before within this is the same sound going on.
constexpr double PACING_CONTIGUOUS_SECONDS = 0.002;
// The host takes audio while its last pull is no older than this (ms); after that the
// clock runs on by itself and the audio it passes is dropped.
constexpr uint32_t PACING_PULL_GAP_MS = 250;
// Seconds of audio read ahead before the audio of a playback starts: about what the
// decoder falls behind while it finds out that it cannot keep up (see CatchUp). More
// delays the start of a file that decodes slower than real time by as much again.
constexpr double PACING_READ_AHEAD_SECONDS = 0.15;

// Bytes in 20 ms of interleaved s16 PCM, truncated at each division like the host expects.
int32_t AudioChunkBytes(int32_t sampleRate, int32_t channels);

// A format whose chunk fits QUORVEL_MAX_AUDIO_CHUNK_BYTES and is not empty. A hostile
// file may declare any rate or channel count; a chunk that big would overrun the host's
// buffer, and one of 0 bytes would never consume its block.
bool IsPlayableAudioFormat(int32_t sampleRate, int32_t channels);

}  // namespace playback
