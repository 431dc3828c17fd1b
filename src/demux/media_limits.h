// What the engine plays at most: the frame rates it believes, the largest picture and the
// audio formats it builds a resampler for. Pure values, any thread; the instance judges
// files by them too.
#pragma once

namespace demux {

// The rates a file may declare that pacing, the video clock and the queues take as they
// are; any other (negative, zero, a timer's 90000) counts as unknown.
constexpr double STREAM_MIN_FRAME_RATE = 1.0;  // frames per second
constexpr double STREAM_MAX_FRAME_RATE = 240.0;
inline bool IsPlausibleFrameRate(double rate)
{
    return rate >= STREAM_MIN_FRAME_RATE && rate <= STREAM_MAX_FRAME_RATE;
}

// Seconds of video the decoder reads ahead as packets: 2 s and 10 pictures (at 25 frames
// per second when the rate is unknown).
inline double ReadAheadSeconds(double frameRate)
{
    return 2.0 + 10.0 / (IsPlausibleFrameRate(frameRate) ? frameRate : 25.0);
}

// The largest picture the engine plays (pixels). A decoded picture beyond it is not shown,
// whatever the file declared when it was opened.
constexpr int STREAM_MAX_PICTURE_WIDTH = 1920;
constexpr int STREAM_MAX_PICTURE_HEIGHT = 1080;
inline bool IsPictureWithinLimits(int width, int height)
{
    return width <= STREAM_MAX_PICTURE_WIDTH && height <= STREAM_MAX_PICTURE_HEIGHT;
}

// The audio a resampler is built for: a hostile file may declare any rate or channel
// count, and a resampler for 2 GHz takes seconds and gigabytes to build.
constexpr int STREAM_MIN_SAMPLE_RATE = 1000;  // Hz
constexpr int STREAM_MAX_SAMPLE_RATE = 384000;
constexpr int STREAM_MAX_CHANNELS = 64;  // the resampler's own limit
inline bool IsPlayableAudioInput(int sampleRate, int channels)
{
    return sampleRate >= STREAM_MIN_SAMPLE_RATE && sampleRate <= STREAM_MAX_SAMPLE_RATE &&
           channels >= 1 && channels <= STREAM_MAX_CHANNELS;
}
// What a stream declares before decoding, where 0 is not known yet.
inline bool MayBePlayableAudio(int sampleRate, int channels)
{
    return IsPlayableAudioInput(sampleRate != 0 ? sampleRate : STREAM_MIN_SAMPLE_RATE,
                                channels != 0 ? channels : 1);
}

}  // namespace demux
