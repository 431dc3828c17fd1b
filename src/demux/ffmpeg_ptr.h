// Owning pointers for the FFmpeg objects the demuxer holds: one small deleter per type,
// so every early return releases what was taken.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace ffmpeg {

struct FormatContextDeleter {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameDeleter {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsDeleter {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};
struct SwrDeleter {
    void operator()(SwrContext* p) const { swr_free(&p); }
};
struct BufferDeleter {
    void operator()(uint8_t* p) const { av_free(p); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using BufferPtr = std::unique_ptr<uint8_t, BufferDeleter>;

// Scoped release of a packet's or frame's contents; the object itself is reused.
struct PacketUnref {
    void operator()(AVPacket* p) const { av_packet_unref(p); }
};
struct FrameUnref {
    void operator()(AVFrame* p) const { av_frame_unref(p); }
};
using PacketContents = std::unique_ptr<AVPacket, PacketUnref>;
using FrameContents = std::unique_ptr<AVFrame, FrameUnref>;

// A decoder context that is there and whose decoder opened.
inline bool IsOpen(const CodecContextPtr& codec) { return codec && avcodec_is_open(codec.get()); }

}  // namespace ffmpeg
