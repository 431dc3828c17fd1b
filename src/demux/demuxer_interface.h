// What the decoder thread calls on its owner (the playback instance). Every call comes
// from the decoder thread, except OnDemuxEvent codes 2 and 3, which the log dispatch makes
// from whichever thread logged. Buffers passed in are valid only during the call.
#pragma once

#include <cstdint>

#include "diag/log_receiver.h"

// OnDemuxEvent codes, besides the two log codes.
constexpr int DEMUX_EVENT_END_OF_PASS = 4;  // end of input while looping, before the rewind

// Back-pressure limits the decoder passes to CanAcceptFrame.
constexpr int DEMUX_WAIT_VIDEO = 5000;  // a video packet
constexpr int DEMUX_WAIT_AUDIO_ONLY = 7000;  // an audio packet of an audio-only file
constexpr int DEMUX_WAIT_AUDIO = 6000;  // an audio packet of a file with video

class DemuxerInterface : public diag::LogReceiver {
public:
    // Asked before each picture is packed: a buffer of nSize bytes that the decoder packs
    // the picture into and then passes to OnVideoFrame, so that the owner can keep it
    // without copying. Null (the default) makes the decoder pack into its own buffer. The
    // buffer stays the owner's; the decoder writes it only before that OnVideoFrame call,
    // and makes no call for a picture it withholds (the first after a flush) or that a
    // seek overtook.
    virtual uint8_t* LendPictureBuffer(int /*nSize*/) { return nullptr; }
    // A packed YUV 4:2:0 picture; nSize is the decoder's picture-buffer size; dPts is its
    // time in seconds on the media time line, which counts from the media's start.
    virtual int OnVideoFrame(const uint8_t* pData, int nSize, int nWidth, int nHeight, int nFormat,
                             double dPts) = 0;
    // A block of interleaved signed 16-bit PCM; dPts is the time of its first sample.
    virtual int OnAudioFrame(const uint8_t* pData, int nSize, int nSampleRate, int nChannels,
                             double dPts) = 0;
    // The decoder thread's body is ending normally (stop, or end of input without loop).
    virtual void OnDemuxEnd() = 0;
    // Asked before a packet is decoded; false makes the decoder wait 10 ms and ask again
    // (a video packet is put aside meanwhile, until the read-ahead is full).
    virtual bool CanAcceptFrame(double dPts, int nWaitLimit) = 0;
    // The end of a pass, or a log delivery (see diag::LogReceiver).
    void OnDemuxEvent(int nCode, intptr_t nParam, double dValue) override = 0;
    // Asked for every audio packet of a file with video; false drops it undecoded.
    virtual bool AcceptAudioPts(double dPts) = 0;
    // How late a picture just decoded is for the playback clock.
    enum class Lateness {
        OnTime,
        // Decoding does not keep up: the decoder skips the pictures that no other picture
        // refers to, so that it catches up instead of holding back the audio read behind
        // the video.
        Slow,
        // The render clock would drop such a picture unseen: it is not handed out, and the
        // decoder skips to the next key picture (see demux::SkipToKey).
        Lagging,
    };
    // Asked after each picture is decoded, with its pts; decides for the packets sent from
    // then on. The default is never late.
    virtual Lateness LatenessOf(double /*dPts*/) { return Lateness::OnTime; }
    // Asked as a video packet is read, and before one read ahead is decoded: true while
    // the audio queued runs short, so that the decoder reads on to the audio behind the
    // pictures (keeping a bounded number of video packets aside) before it decodes them.
    // The default decodes in read order.
    virtual bool WantsAudioFirst() { return false; }
};
