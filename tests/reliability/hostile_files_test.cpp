// Hostile files, made at test time in a scratch folder: the probe and the open give the
// documented result with the documented event or log text, playing them crashes nothing,
// and Close and DestroyInstance return within the bounded wait.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "reliability/reliability_support.h"

namespace reliability {
namespace {

using namespace std::chrono_literals;

constexpr auto kPlayTime = 300ms;  // real time each playable file plays
constexpr auto kCloseBound = 8s;  // the stop wait (5 s) and some slack

// What the host saw of one probe.
struct Probe {
    int32_t result = -1;
    int openFailed = 0;
    size_t invalidFile = 0;
};

Probe ProbeFile(const std::wstring& path)
{
    CountingSink sink;
    InstancePtr media(CreateInstance(path.c_str(), &sink));
    Probe probe;
    int32_t audioOnly = -7;
    MediaFileInfo info{};
    info.nWidth = -7;
    probe.result = media->GetFileInfo(0, &audioOnly, &info);
    if (probe.result == 0) {
        // Neither output is written when the file is refused.
        EXPECT_EQ(audioOnly, -7);
        EXPECT_EQ(info.nWidth, -7);
    }
    probe.openFailed = sink.OpenFailed();
    probe.invalidFile = sink.CountLogs(L"invalid file");
    return probe;
}

// The file cannot be opened at all: 0 with MEDIA_EVENT_OPEN_FAILED, from the probe and
// from Open; the instance then counts as open until Close.
void ExpectOpenFails(const std::wstring& path)
{
    const Probe probe = ProbeFile(path);
    EXPECT_EQ(probe.result, 0);
    EXPECT_EQ(probe.openFailed, 1);
    EXPECT_EQ(probe.invalidFile, 0u);

    CountingSink sink;
    InstancePtr media(CreateInstance(path.c_str(), &sink));
    EXPECT_EQ(media->Open(), 0);
    EXPECT_EQ(sink.OpenFailed(), 1);
    EXPECT_EQ(media->IsOpen(), 1);
    media->Close();
    EXPECT_EQ(media->IsOpen(), 0);
    EXPECT_EQ(sink.Unknown(), 0);
}

// What the host got from one brief play.
struct Played {
    bool opened = false;
    int pictures = 0;
    int64_t audioBytes = 0;
    bool Something() const { return pictures > 0 || audioBytes > 0; }
};

// Opens, plays for a while with audio pulled, seeks, closes and destroys, each step
// bounded. A file expected to play is first given a generous bound to deliver something,
// so a loaded machine does not pass it off as silent.
Played PlayBriefly(const std::wstring& path, bool expectPlay = false)
{
    CountingSink sink;
    InstancePtr media(CreateInstance(path.c_str(), &sink));
    Played played;
    played.opened = media->Open() == 1;
    if (!played.opened) {
        media->Close();
        return played;
    }
    {
        test::AudioPuller audio(media.get());
        if (expectPlay) WaitFor([&] { return sink.Pictures() > 0 || audio.Bytes() > 0; }, 10s);
        std::this_thread::sleep_for(kPlayTime / 2);
        media->SetPos(1);
        std::this_thread::sleep_for(kPlayTime / 2);
        audio.Stop();
        played.audioBytes = audio.Bytes();
    }
    const auto start = std::chrono::steady_clock::now();
    media->Close();
    media.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, kCloseBound);
    EXPECT_EQ(sink.Unknown(), 0);
    played.pictures = sink.Pictures();
    return played;
}

// A damaged file's probe either passes or says why it did not; one that passes opens and
// plays what is there.
void ExpectDamagedFileAccountsForItself(const std::wstring& path)
{
    const Probe probe = ProbeFile(path);
    if (probe.result == 0) {
        EXPECT_EQ(probe.openFailed + static_cast<int>(probe.invalidFile), 1) << Utf8(path);
        PlayBriefly(path);
        return;
    }
    EXPECT_EQ(probe.result, 1);
    EXPECT_EQ(probe.openFailed, 0);
    const Played played = PlayBriefly(path, true);
    EXPECT_TRUE(played.opened) << Utf8(path);
    EXPECT_TRUE(played.Something()) << Utf8(path);
}

class HostileFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.Ok());
        m_nThreads = BaselineThreadCount();
    }
    void TearDown() override
    {
        EXPECT_TRUE(WaitFor([this] { return ThreadCount() <= m_nThreads; }, 5s))
            << ThreadCount() << " threads, " << m_nThreads << " before";
    }

    std::wstring Path(const std::string& name) const { return Wide(m_dir.File(name)); }

    ScratchDir m_dir;
    size_t m_nThreads = 0;
    Watchdog m_watchdog{"hostile file", kWatchdogLimit};
};

TEST_F(HostileFiles, NothingToReadFailsToOpen)
{
    WriteBytes(m_dir.File("empty.mp4"), {});
    ExpectOpenFails(Path("empty.mp4"));

    ASSERT_EQ(mkdir(m_dir.File("folder.mkv").c_str(), 0755), 0);
    ExpectOpenFails(Path("folder.mkv"));

    WriteText(m_dir.File("notes.mp4"), "This is a text file with a movie's name.\n");
    ExpectOpenFails(Path("notes.mp4"));

    ExpectOpenFails(Path("missing.mp4"));
}

// Permissions do not stop root, and CI runs as root: there the probe runs in a child
// process that gives up root first. Where that is not allowed either, the case is skipped.
TEST_F(HostileFiles, UnreadableFileFailsToOpen)
{
    const std::string file = m_dir.File("locked.mp4");
    std::filesystem::copy_file(test::MediaPath("h264_aac.mp4"), file);
    ASSERT_EQ(chmod(file.c_str(), 0), 0);
    if (geteuid() != 0) {
        ExpectOpenFails(Wide(file));
        return;
    }
    ASSERT_EQ(chmod(m_dir.Path().c_str(), 0755), 0);  // the unprivileged child must reach it
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(77);
        const Probe probe = ProbeFile(Wide(file));
        _exit(probe.result == 0 && probe.openFailed == 1 && probe.invalidFile == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "running as root and cannot give root up";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "an unreadable file was not refused";
}

TEST_F(HostileFiles, TruncatedFilesNeverCrash)
{
    int tried = 0;
    for (const char* name :
         {"h264_aac.mp4", "h264_pcm.mkv", "mpeg4_mp3.avi", "start_time.ts", "pcm_s16.wav"}) {
        const std::vector<uint8_t> whole = ReadBytes(test::MediaPath(name));
        ASSERT_FALSE(whole.empty()) << name;
        for (int percent : {10, 50, 90}) {
            const std::string cut = std::to_string(percent) + "_" + name;
            WriteBytes(
                m_dir.File(cut),
                std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() * percent / 100));
            ExpectDamagedFileAccountsForItself(Path(cut));
            ++tried;
        }
    }
    EXPECT_EQ(tried, 15);
}

TEST_F(HostileFiles, OverwrittenMiddlesNeverCrash)
{
    std::mt19937 random(20240607);  // fixed: a failure names a reproducible file
    for (const char* name : {"h264_aac.mp4", "h264_pcm.mkv", "mpeg4_mp3.avi", "start_time.ts",
                             "yuv422.mkv", "cover.mp3"}) {
        const std::vector<uint8_t> whole = ReadBytes(test::MediaPath(name));
        ASSERT_GT(whole.size(), 1000u) << name;
        for (int variant = 0; variant < 2; ++variant) {
            std::vector<uint8_t> bytes = whole;
            const size_t middle = bytes.size() / 4 + random() % (bytes.size() / 2);
            const size_t length = std::min<size_t>(64 + random() % 4096, bytes.size() - middle);
            for (size_t i = middle; i < middle + length; ++i)
                bytes[i] = static_cast<uint8_t>(random());
            const std::string damaged = std::to_string(variant) + "_" + name;
            WriteBytes(m_dir.File(damaged), bytes);
            ExpectDamagedFileAccountsForItself(Path(damaged));
        }
    }
}

// Y4M headers are plain text, so declared sizes can be anything.
TEST_F(HostileFiles, HugeDeclaredPictureIsRefusedByTheProbe)
{
    const std::string frame = "FRAME\n" + std::string(4096, '\x80');
    // Accepted by the library, far above the playable limits.
    WriteText(m_dir.File("huge.y4m"), "YUV4MPEG2 W7680 H4320 F25:1 C420jpeg\n" + frame);
    const Probe huge = ProbeFile(Path("huge.y4m"));
    EXPECT_EQ(huge.result, 0);
    EXPECT_EQ(huge.invalidFile, 1u);
    EXPECT_EQ(huge.openFailed, 0);
    PlayBriefly(Path("huge.y4m"));

    // Beyond what the library itself accepts.
    WriteText(m_dir.File("absurd.y4m"), "YUV4MPEG2 W2000000000 H2000000000 F25:1\n" + frame);
    const Probe absurd = ProbeFile(Path("absurd.y4m"));
    EXPECT_EQ(absurd.result, 0);
    EXPECT_EQ(absurd.openFailed + static_cast<int>(absurd.invalidFile), 1);
    PlayBriefly(Path("absurd.y4m"));
}

// A WAV with an empty data chunk and a Y4M header without a frame.
TEST_F(HostileFiles, ZeroLengthStreamsPlayNothing)
{
    const uint8_t wav[] = {'R', 'I', 'F',  'F',  36,  0,   0,    0,    'W', 'A', 'V',
                           'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,   1,   0,
                           2,   0,   0x44, 0xAC, 0,   0,   0x10, 0xB1, 2,   0,   4,
                           0,   16,  0,    'd',  'a', 't', 'a',  0,    0,   0,   0};
    WriteBytes(m_dir.File("silent.wav"), std::vector<uint8_t>(std::begin(wav), std::end(wav)));
    WriteText(m_dir.File("still.y4m"), "YUV4MPEG2 W320 H240 F25:1 C420jpeg\n");
    for (const char* name : {"silent.wav", "still.y4m"}) {
        const Probe probe = ProbeFile(Path(name));
        EXPECT_EQ(probe.openFailed + static_cast<int>(probe.invalidFile), probe.result == 0 ? 1 : 0)
            << name;
        const Played played = PlayBriefly(Path(name));
        EXPECT_TRUE(played.opened) << name;
        EXPECT_EQ(played.pictures, 0) << name;
        EXPECT_EQ(played.audioBytes, 0) << name;
    }
}

TEST_F(HostileFiles, NonAsciiPathsOpenAndPlay)
{
    const std::wstring folder = Path("") + L"Кириллица 中文字幕 😀";
    ASSERT_TRUE(std::filesystem::create_directory(Utf8(folder)));
    const std::wstring file = folder + L"/видео 動画 🎬.mp4";
    std::filesystem::copy_file(test::MediaPath("h264_aac.mp4"), Utf8(file));
    const Probe probe = ProbeFile(file);
    EXPECT_EQ(probe.result, 1);
    EXPECT_GT(PlayBriefly(file, true).pictures, 0);
}

// A path that has no UTF-8 form is refused as a file that cannot be opened, even when a
// file of a similar name exists.
TEST_F(HostileFiles, PathsWithoutUtf8FormAreRefused)
{
    std::filesystem::copy_file(test::MediaPath("h264_aac.mp4"), m_dir.File("a.mp4"));
    ExpectOpenFails(Path("") +
                    L"\xD800"
                    L"a.mp4");  // lone high surrogate
    ExpectOpenFails(Path("") + L"a\xDFFF.mp4");  // lone low surrogate
    ExpectOpenFails(Path("") + static_cast<wchar_t>(0x110000) + L"a.mp4");  // beyond Unicode
}

// Names are handed to the library as UTF-8 of at most 1023 bytes; a longer one is refused
// rather than shortened (a shortened name could open another file).
TEST_F(HostileFiles, NameOf1023BytesOpensAndLongerIsRefused)
{
    // Two-byte letters make up most of the length, through folders of 200 bytes; the
    // file name itself stays within the 255 bytes a folder entry may have.
    std::wstring base = Path("");
    const std::wstring segment(100, L'ж');
    constexpr size_t kMaxEntry = 250;
    while (1023 - Utf8(base).size() - 4 > kMaxEntry) {
        base += segment + L"/";
        ASSERT_TRUE(std::filesystem::create_directory(Utf8(base)));
    }
    const size_t room = 1023 - Utf8(base).size() - 4;  // the name without ".mp4"
    const std::wstring name1023 = base + std::wstring(room, L'a') + L".mp4";
    const std::wstring name1024 = base + std::wstring(room + 1, L'a') + L".mp4";
    ASSERT_EQ(Utf8(name1023).size(), 1023u);
    ASSERT_EQ(Utf8(name1024).size(), 1024u);
    std::filesystem::copy_file(test::MediaPath("h264_aac.mp4"), Utf8(name1023));
    std::filesystem::copy_file(test::MediaPath("h264_aac.mp4"), Utf8(name1024));

    EXPECT_EQ(ProbeFile(name1023).result, 1);
    EXPECT_GT(PlayBriefly(name1023, true).pictures, 0);
    ExpectOpenFails(name1024);
}

// The engine reads through its own descriptor: a file unlinked or overwritten under it
// plays on from what it reads, and closes within the bound.
TEST_F(HostileFiles, FileDeletedOrReplacedWhilePlaying)
{
    const std::vector<uint8_t> other = ReadBytes(test::MediaPath("mpeg4_mp3.avi"));
    for (bool replace : {false, true}) {
        const std::string file = m_dir.File(replace ? "replaced.mkv" : "deleted.mkv");
        std::filesystem::copy_file(test::MediaPath("h264_pcm.mkv"), file);
        CountingSink sink;
        InstancePtr media(CreateInstance(Wide(file).c_str(), &sink));
        ASSERT_EQ(media->Open(), 1);
        test::AudioPuller audio(media.get());
        ASSERT_TRUE(WaitFor([&] { return sink.Pictures() > 0; }, 10s));
        if (replace) {
            WriteBytes(file, other);  // in place: same inode, new bytes
        } else {
            ASSERT_EQ(unlink(file.c_str()), 0);
        }
        media->SetPos(1);  // makes the decoder read where the old bytes were
        std::this_thread::sleep_for(kPlayTime);
        audio.Stop();
        const auto start = std::chrono::steady_clock::now();
        media.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, kCloseBound);
        EXPECT_EQ(sink.Unknown(), 0);
    }
}

}  // namespace
}  // namespace reliability
