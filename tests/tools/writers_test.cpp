// The y4m and wav writers, checked byte by byte in a temporary folder.
#include <gtest/gtest.h>

#include <numeric>

#include "e2e_support.h"
#include "wav_writer.h"
#include "y4m_writer.h"

namespace qplay {
namespace {

std::vector<uint8_t> Picture(int width, int height)
{
    std::vector<uint8_t> data(size_t(width) * height + 2 * size_t(width / 2) * (height / 2));
    std::iota(data.begin(), data.end(), uint8_t{0});
    return data;
}

uint32_t Le32(const std::string& s, size_t at)
{
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 |
           uint32_t(uint8_t(s[at + 2])) << 16 | uint32_t(uint8_t(s[at + 3])) << 24;
}

TEST(Y4mWriter, WritesHeaderAndFramesInOrder)
{
    e2e::TempDir dir;
    Y4mWriter writer(dir.File("v.y4m"));
    const auto a = Picture(4, 2);
    const auto b = Picture(4, 2);
    ASSERT_TRUE(writer.Write(a.data(), int32_t(a.size()), 4, 2));
    ASSERT_TRUE(writer.Write(b.data(), int32_t(b.size()), 4, 2));
    writer.Close();
    const std::string header = "YUV4MPEG2 W4 H2 F25:1 Ip A1:1 C420jpeg\n";
    const std::string frame = "FRAME\n" + std::string(a.begin(), a.end());
    EXPECT_EQ(e2e::ReadFile(dir.File("v.y4m")), header + frame + frame);
}

TEST(Y4mWriter, SizeChangeStartsNumberedFiles)
{
    e2e::TempDir dir;
    Y4mWriter writer(dir.File("out.y4m"));
    const auto big = Picture(4, 4);
    const auto small = Picture(2, 2);
    writer.Write(big.data(), int32_t(big.size()), 4, 4);
    writer.Write(small.data(), int32_t(small.size()), 2, 2);
    writer.Write(big.data(), int32_t(big.size()), 4, 4);
    writer.Close();
    EXPECT_EQ(writer.Files(), (std::vector<std::string>{dir.File("out.y4m"), dir.File("out-2.y4m"),
                                                        dir.File("out-3.y4m")}));
    EXPECT_EQ(e2e::ReadFile(dir.File("out-2.y4m")).rfind("YUV4MPEG2 W2 H2 ", 0), 0u);
    EXPECT_EQ(NumberedPath("a.b/clip", 2), "a.b/clip-2");
}

// A 3x3 picture packs 1x1 chroma planes; y4m wants 2x2, padded from the last column/row.
TEST(Y4mWriter, OddSizePadsChromaToTheRoundedUpSize)
{
    e2e::TempDir dir;
    Y4mWriter writer(dir.File("odd.y4m"));
    std::vector<uint8_t> data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 50, 60};
    ASSERT_TRUE(writer.Write(data.data(), int32_t(data.size()), 3, 3));
    writer.Close();
    const std::string text = e2e::ReadFile(dir.File("odd.y4m"));
    const std::string frame = text.substr(text.find("FRAME\n") + 6);
    EXPECT_EQ(frame, std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09"
                                 "\x32\x32\x32\x32"
                                 "\x3c\x3c\x3c\x3c"));
}

TEST(Y4mWriter, RejectsPicturesSmallerThanTheirSize)
{
    e2e::TempDir dir;
    Y4mWriter writer(dir.File("v.y4m"));
    const auto data = Picture(4, 4);
    EXPECT_FALSE(writer.Write(data.data(), int32_t(data.size()) - 1, 4, 4));
    EXPECT_FALSE(writer.Write(data.data(), int32_t(data.size()), 0, 4));
    EXPECT_TRUE(writer.Files().empty());
}

TEST(WavWriter, HeaderDescribesTheChunksWritten)
{
    e2e::TempDir dir;
    WavWriter writer(dir.File("a.wav"));
    const std::vector<uint8_t> chunk(1920, 7);
    ASSERT_TRUE(writer.Write(chunk.data(), int32_t(chunk.size()), 48000, 2));
    ASSERT_TRUE(writer.Write(chunk.data(), int32_t(chunk.size()), 48000, 2));
    EXPECT_FALSE(writer.Write(chunk.data(), int32_t(chunk.size()), 44100, 2));
    writer.Close();
    const std::string wav = e2e::ReadFile(dir.File("a.wav"));
    ASSERT_EQ(wav.size(), 44u + 3840u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(Le32(wav, 4), 36u + 3840u);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(Le32(wav, 24), 48000u);
    EXPECT_EQ(Le32(wav, 28), 48000u * 4);
    EXPECT_EQ(uint8_t(wav[22]), 2);  // channels
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(Le32(wav, 40), 3840u);
}

TEST(WavWriter, NoChunkGivesAValidEmptyFile)
{
    e2e::TempDir dir;
    {
        WavWriter writer(dir.File("a.wav"));
    }
    const std::string wav = e2e::ReadFile(dir.File("a.wav"));
    ASSERT_EQ(wav.size(), 44u);
    EXPECT_EQ(Le32(wav, 24), 44100u);
    EXPECT_EQ(Le32(wav, 40), 0u);
}

}  // namespace
}  // namespace qplay
