// The limits of a file the host may play, and the audio rates played as they are.
#pragma once

#include "demux/demuxer.h"

namespace quorvel {

// What a file plays as: an audio-only file may carry a cover picture, which is never shown.
enum class PlayedStreams { AudioAndVideo, VideoOnly, AudioOnly };

// The file is playable when its picture size, frame rate and channel count lie within
// the limits; 0 and negative picture values mean "no video" and pass, and so does the
// cover picture of an audio-only file, whatever its size. A file without audio must have
// video (VideoOnly).
bool IsWithinPlayableLimits(const MediaInfo& info, PlayedStreams streams);

// Audio-only files at any other rate are resampled to 44100 Hz.
bool IsNativeAudioOnlyRate(int sampleRate);

}  // namespace quorvel
