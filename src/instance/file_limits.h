// The limits of a file the host may play, and the audio rates played as they are.
#pragma once

#include "demux/demuxer.h"

namespace quorvel {

// The file is playable when its picture size, frame rate and channel count lie within
// the limits; 0 and negative picture values mean "no video" and pass. A file without
// audio must have video (videoOnly).
bool IsWithinPlayableLimits(const MediaInfo& info, bool videoOnly);

// Audio-only files at any other rate are resampled to 44100 Hz.
bool IsNativeAudioOnlyRate(int sampleRate);

}  // namespace quorvel
