// Byte-mode seeks end to end: MPEG-TS and MPEG-PS seek by bytes, and the decoder reads
// seconds ahead of the picture the host sees. Real time, generated media: the picture
// shown after SetPos is identified by its md5 against FFmpeg's own decode.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>

#include "instance/recording_sink.h"
#include "instance/test_host.h"
#include "support/ffmpeg_output.h"

namespace {

using test::AudioPuller;
using test::RecordingSink;
using test::WaitUntil;

// FFmpeg's decode of the file's pictures: md5 to pts in seconds on the stream's own time
// line (-copyts keeps it), read from its framemd5 output.
std::map<std::string, double> ReferencePts(const std::string& media)
{
    std::istringstream lines(test::FfmpegOutput(
        media, "-an -fps_mode passthrough -pix_fmt yuv420p -f framemd5 -", "-copyts"));
    std::map<std::string, double> pts;
    double timeBase = 0.0;
    std::string text;
    while (std::getline(lines, text)) {
        const char* line = text.c_str();
        int num = 0;
        int den = 0;
        if (std::sscanf(line, "#tb 0: %d/%d", &num, &den) == 2) timeBase = double(num) / den;
        if (line[0] == '#') continue;
        std::istringstream fields(line);
        std::string stream, dts, when, duration, size, md5;
        std::getline(fields, stream, ',') && std::getline(fields, dts, ',') &&
            std::getline(fields, when, ',') && std::getline(fields, duration, ',') &&
            std::getline(fields, size, ',') && (fields >> md5);
        pts[md5] = std::stod(when) * timeBase;
    }
    return pts;
}

// Seeks forward, then back, while playing with audio pulled (held from the SetPos until
// the new position's pictures have started, as a player's pre-roll does). The fourth
// picture after each SetPos (the first ones may have left the queue before it) must stand
// within 1 s of the target, which is counted from the file's whole-second start time.
void SeekForwardThenBack(const std::string& media, double startSeconds)
{
    const std::map<std::string, double> reference = ReferencePts(media);
    ASSERT_GT(reference.size(), 200u) << media;
    RecordingSink sink;
    std::unique_ptr<IMediaFile, void (*)(IMediaFile*)> instance(
        CreateInstance(test::WideMediaPath(media).c_str(), &sink), DestroyInstance);
    ASSERT_EQ(instance->Open(), 1) << media;
    AudioPuller audio(instance.get());
    ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= 5; })) << media;
    for (int64_t target : {6, 2}) {
        const size_t before = sink.PictureCount();
        audio.Hold();
        ASSERT_EQ(instance->SetPos(target), 1);
        ASSERT_TRUE(WaitUntil([&] { return sink.PictureCount() >= before + 4; })) << media;
        audio.Release();
        const auto found = reference.find(sink.Pictures()[before + 3].md5);
        ASSERT_NE(found, reference.end()) << media << ": not one of FFmpeg's pictures";
        EXPECT_NEAR(found->second, startSeconds + static_cast<double>(target), 1.0)
            << media << ", SetPos(" << target << ")";
    }
    audio.Stop();
}

TEST(ByteSeek, ThePictureShownAfterSetPosIsNearTheTarget)
{
    SeekForwardThenBack("mpeg2_10s.ts", 1.0);  // starts at 1.4 s
    SeekForwardThenBack("mpeg2_10s.mpg", 0.0);  // starts at 0.5 s
}

}  // namespace
