// Everything the Demuxer holds for one opened input. Init fills it and UnInit releases it
// on the control thread while the decoder thread is stopped; in between only the decoder
// thread changes it, except the seek request, which the control thread's Seek posts (it is
// behind its own lock).
#pragma once

#include <cstdint>
#include <limits>

#include "demux/audio_converter.h"
#include "demux/ffmpeg_ptr.h"
#include "demux/media_io.h"
#include "demux/packet_backlog.h"
#include "demux/picture_packer.h"
#include "demux/seek_request.h"
#include "demux/skip_to_key.h"
#include "demux/timeline.h"

namespace demux {

struct DecodeState {
    // Releases every FFmpeg object and clears the per-file values. The audio output
    // format stays: the next Init sets it again.
    void Release();

    // Decoder thread while it runs (control thread while it is stopped). The I/O outlives
    // the format context that reads through it.
    std::unique_ptr<MediaIo> m_pIo;
    ffmpeg::FormatContextPtr context;
    AVStream* m_pVideoStream = nullptr;  // owned by context
    AVStream* m_pAudioStream = nullptr;
    int32_t m_nVideoIndex = -1;
    int32_t m_nAudioIndex = -1;
    ffmpeg::CodecContextPtr m_pVideoCodec;  // allocated even when no decoder could open
    ffmpeg::CodecContextPtr m_pAudioCodec;
    ffmpeg::PacketPtr m_pPacket;
    ffmpeg::FramePtr m_pVideoFrame;
    ffmpeg::FramePtr m_pAudioFrame;
    PacketBacklog m_videoBacklog;  // the read-ahead; emptied by every flush of the decoders
    PicturePacker m_picture;
    AudioConverter m_audio;
    Timeline m_timeline;
    double m_dAudioPts = 0.0;  // seconds, of the audio packet being decoded
    double m_dAudioClock = 0.0;  // seconds, predicted time of the next audio frame
    double m_dVideoClock = 0.0;  // seconds, predicted time of the next picture
    // Seconds: where a seek asked playback to go on. Pictures and audio before it are
    // decoded (a key picture may lie seconds earlier) but not handed out; -infinity when
    // the pass starts wherever the input does.
    double m_dPassStart = -std::numeric_limits<double>::infinity();
    bool m_bAudioOnly = false;
    // A seek carried out while paused: decoding goes on until its first picture is out.
    bool m_bPausedSeek = false;
    SkipToKey m_skipToKey;
    Orientation m_turn;  // what the video stream's display matrix asks for
    bool m_bVideoBeyondLimits = false;  // the stream declares pictures too large to decode
    int m_nRefusedWidth = 0;  // pixels: the last picture size refused, logged once
    int m_nRefusedHeight = 0;

    // Shared with the control thread's Seek (behind its own lock): the request, and where
    // the decoder has read to.
    SeekRequest m_seek;
};

}  // namespace demux
