// The arithmetic of video delivery and the audio pull, free of threads and state so that
// each rule can be checked on its own.
#pragma once

#include <cstdint>

namespace playback {

// Pictures that lag the clock by more than this are taken and dropped undelivered.
constexpr double PACING_LAG_SKIP_SECONDS = 0.3;
// An audio chunk further than this from the clock is discarded (a jump, not playback).
constexpr double PACING_AUDIO_JUMP_SECONDS = 10.0;
// Seconds of audio read ahead before the audio of a playback starts: about what the
// decoder falls behind while it finds out that it cannot keep up (see CatchUp). More
// delays the start of a file that decodes slower than real time by as much again.
constexpr double PACING_READ_AHEAD_SECONDS = 0.15;
// The pts that stands for "no end of the pass seen yet".
constexpr double PACING_NO_END = 9223372036854775808.0;

// Bytes in 20 ms of interleaved s16 PCM, truncated at each division like the host expects.
int32_t AudioChunkBytes(int32_t sampleRate, int32_t channels);

// A format whose chunk fits QUORVEL_MAX_AUDIO_CHUNK_BYTES and is not empty. A hostile
// file may declare any rate or channel count; a chunk that big would overrun the host's
// buffer, and one of 0 bytes would never consume its block.
bool IsPlayableAudioFormat(int32_t sampleRate, int32_t channels);

// Tick pacing: picture number frameCount of the time base taken at startTick is due
// frameCount / frameRate seconds after it. The tick difference is unsigned, so a wrap of
// the tick count between the two is harmless. A frame rate of 0 is never due (the
// quotient would be infinite).
bool IsTickPictureDue(uint32_t frameCount, int32_t frameRate, uint32_t startTick, uint32_t nowTick);

}  // namespace playback
