// A decoder context that cannot be allocated. This test program's own
// avcodec_alloc_context3 stands in front of FFmpeg's and, while asked to, fails the
// engine's calls; FFmpeg's own calls from its libraries always go through.
#include <gtest/gtest.h>

#include <atomic>
#include <dlfcn.h>

#include "demux/demux_test_support.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

std::atomic<bool> g_bFailEngineAllocations{false};

// Whether the caller's return address lies in this program (the engine is linked into
// it) rather than in one of FFmpeg's libraries.
bool CalledFromThisProgram(const void* returnAddress)
{
    Dl_info caller{};
    Dl_info self{};
    return dladdr(returnAddress, &caller) != 0 &&
           dladdr(reinterpret_cast<const void*>(&CalledFromThisProgram), &self) != 0 &&
           caller.dli_fbase == self.dli_fbase;
}

}  // namespace

extern "C" AVCodecContext* avcodec_alloc_context3(const AVCodec* codec)
{
    using Alloc = AVCodecContext* (*)(const AVCodec*);
    static const auto real = reinterpret_cast<Alloc>(dlsym(RTLD_NEXT, "avcodec_alloc_context3"));
    if (g_bFailEngineAllocations.load() && CalledFromThisProgram(__builtin_return_address(0)))
        return nullptr;
    return real(codec);
}

// Without a context neither stream can be decoded: the input has nothing to play and is
// refused, not read to its end for nothing.
TEST(DecoderContext, UnavailableForEitherStreamRefusesTheInput)
{
    test::TestDemuxer demuxer;
    g_bFailEngineAllocations.store(true);
    const int32_t opened = demuxer.Init(test::WideMediaPath("h264_aac.mp4"));
    g_bFailEngineAllocations.store(false);
    EXPECT_EQ(opened, -1);
    EXPECT_FALSE(demuxer.IsVideoOnly());
    EXPECT_FALSE(demuxer.IsAudioOnly());
    EXPECT_EQ(demuxer.Init(test::WideMediaPath("h264_aac.mp4")), 0);  // the next input opens
    demuxer.UnInit();
}
