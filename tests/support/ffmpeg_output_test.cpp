// The ffmpeg program's outputs reach the Windows suite as files kept by a Linux run: the
// names must come out the same on both (and at either pointer size), and what one side
// keeps the other must read back whole.
#include "support/ffmpeg_output.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "support/scratch_dir.h"

namespace {

using test::FfmpegOutput;
using test::FfmpegOutputName;

// Points QUORVEL_FFMPEG_OUTPUT_DIR at a folder for one test and puts the old value back,
// so the suite's own setting survives.
class ScopedOutputDir {
public:
    explicit ScopedOutputDir(const std::string& dir)
    {
        if (const char* old = std::getenv(kName)) m_old = old;
        Set(dir);
    }
    ~ScopedOutputDir() { Set(m_old.value_or("")); }
    ScopedOutputDir(const ScopedOutputDir&) = delete;
    ScopedOutputDir& operator=(const ScopedOutputDir&) = delete;

private:
    static constexpr const char* kName = "QUORVEL_FFMPEG_OUTPUT_DIR";
    static void Set(const std::string& value)
    {
#ifdef _WIN32
        _putenv_s(kName, value.c_str());
#else
        setenv(kName, value.c_str(), 1);
#endif
    }
    std::optional<std::string> m_old;
};

TEST(FfmpegOutputName, IsTheFixtureAndOneHashOfBothOptionLists)
{
    // Pinned: a Linux run names the file, a 32-bit or 64-bit Windows run looks for it.
    EXPECT_EQ(FfmpegOutputName("pcm_s16.wav", "-map 0:a:0 -f s16le -", ""),
              "pcm_s16.wav-7dc8d1b7082a8477");
    // A plain file name on either system: no folders, nothing but ASCII.
    const std::string name = FfmpegOutputName("formats/ünicöde 1.wav", "-", "");
    EXPECT_EQ(name.substr(0, name.rfind('-')), "formats___nic__de_1.wav");
    // An option moved to the other side of -i is another command.
    EXPECT_NE(FfmpegOutputName("a.mkv", "-copyts -f framemd5 -", ""),
              FfmpegOutputName("a.mkv", "-f framemd5 -", "-copyts"));
    EXPECT_NE(FfmpegOutputName("a.mkv", "-f s16le -", ""),
              FfmpegOutputName("a.mkv", "-f s16be -", ""));
}

#ifdef _WIN32

TEST(FfmpegOutput, IsReadFromTheFileALinuxRunKept)
{
    test::ScratchDir dir;
    ASSERT_TRUE(dir.Ok());
    ScopedOutputDir scoped(dir.Path());
    const std::string kept("\x00\x01\r\n\x1a\xff", 6);  // bytes a text-mode read would change
    std::ofstream(dir.File(FfmpegOutputName("pcm_s16.wav", "-f s16le -", "")), std::ios::binary)
        << kept;
    EXPECT_EQ(FfmpegOutput("pcm_s16.wav", "-f s16le -"), kept);
    EXPECT_NONFATAL_FAILURE(FfmpegOutput("pcm_s16.wav", "-f s16be -"),
                            "no recorded output of the ffmpeg program for pcm_s16.wav");
}

#else

std::string Contents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(FfmpegOutput, IsKeptWholeUnderItsNameWhenAFolderIsGiven)
{
    test::ScratchDir dir;
    ASSERT_TRUE(dir.Ok());
    ScopedOutputDir scoped(dir.File("outputs"));
    const std::string options = "-map 0:a:0 -f s16le -";
    const std::string output = FfmpegOutput("pcm_s16.wav", options);
    EXPECT_GT(output.size(), 44100u);
    EXPECT_EQ(Contents(dir.File("outputs/" + FfmpegOutputName("pcm_s16.wav", options, ""))),
              output);
}

#endif

}  // namespace
