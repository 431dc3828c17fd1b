// Plays fixtures through quorvel.dll, loaded as a host loads it, and checks the pictures
// and PCM that come out against FFmpeg's decode of the same files (written beside the
// fixtures by the Windows test script). The DLL's FFmpeg is another build (other compiler,
// other assembly paths), so pictures and samples are compared with a small tolerance
// rather than bit for bit.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "quorvel_library.h"

namespace {

constexpr auto kPlayLimit = std::chrono::seconds(20);

std::string MediaFile(const std::string& name) { return QUORVEL_WIN_MEDIA_DIR "/" + name; }

std::vector<uint8_t> ReadReference(const std::string& name)
{
    std::ifstream in(QUORVEL_WIN_REFERENCE_DIR "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::wstring WidenAscii(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Records every picture and notes a failed open; the engine's threads call it.
class RecordingSink final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile*, uint32_t event, uintptr_t param1, uintptr_t, uintptr_t,
                      uintptr_t) override
    {
        if (event == MEDIA_EVENT_OPEN_FAILED) {
            m_bOpenFailed = true;
        } else if (event == MEDIA_EVENT_VIDEO_FRAME) {
            const auto* frame = reinterpret_cast<const VideoFrameInfo*>(param1);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pictures.emplace_back(frame->pData, frame->pData + frame->nSize);
            m_nWidth = frame->nWidth;
            m_nHeight = frame->nHeight;
        }
    }

    size_t PictureCount()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_pictures.size();
    }
    std::vector<std::vector<uint8_t>> Pictures()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_pictures;
    }
    int32_t Width()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nWidth;
    }
    int32_t Height()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nHeight;
    }
    bool OpenFailed() const { return m_bOpenFailed.load(); }

private:
    std::atomic<bool> m_bOpenFailed{false};
    std::mutex m_mutex;
    std::vector<std::vector<uint8_t>> m_pictures;  // guarded by m_mutex
    int32_t m_nWidth = 0;  // guarded by m_mutex
    int32_t m_nHeight = 0;  // guarded by m_mutex
};

// One instance of the DLL, closed and destroyed at the end of the scope.
class Playback {
public:
    Playback(const host::QuorvelLibrary& library, const std::wstring& path)
        : m_library(library), m_instance(library.Create(path.c_str(), &m_sink))
    {
    }
    ~Playback()
    {
        if (m_instance != nullptr) m_library.Destroy(m_instance);
    }
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    IMediaFile* operator->() const { return m_instance; }
    bool Created() const { return m_instance != nullptr; }
    RecordingSink& Sink() { return m_sink; }

    // Pulls audio as a renderer does, every 20 ms, until wanted bytes have come or the
    // time limit has passed; the pictures follow the clock this drives.
    std::vector<uint8_t> PullAudio(size_t wanted, int32_t& rate, int32_t& channels)
    {
        std::vector<uint8_t> pcm;
        std::vector<uint8_t> chunk(16384);
        const auto deadline = std::chrono::steady_clock::now() + kPlayLimit;
        while (pcm.size() < wanted && std::chrono::steady_clock::now() < deadline) {
            int32_t bytes = 0;
            const int32_t played =
                m_instance->OnRenderGetaudioFrame(chunk.data(), &bytes, &rate, &channels, 0, 0);
            if (played > 0) pcm.insert(pcm.end(), chunk.begin(), chunk.begin() + played);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return pcm;
    }

private:
    const host::QuorvelLibrary& m_library;
    RecordingSink m_sink;
    IMediaFile* m_instance;
};

double MeanAbsoluteDifference(const uint8_t* a, const uint8_t* b, size_t n)
{
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) sum += static_cast<uint64_t>(std::abs(int(a[i]) - int(b[i])));
    return n == 0 ? 0.0 : double(sum) / double(n);
}

int MaxSampleDifference(const std::vector<uint8_t>& pcm, const std::vector<uint8_t>& reference)
{
    int worst = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        const auto got = static_cast<int16_t>(pcm[i] | (pcm[i + 1] << 8));
        const auto want = static_cast<int16_t>(reference[i] | (reference[i + 1] << 8));
        worst = std::max(worst, std::abs(int(got) - int(want)));
    }
    return worst;
}

class DllPlayback : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_library = new host::QuorvelLibrary(QUORVEL_WIN_DLL); }
    static void TearDownTestSuite()
    {
        delete s_library;
        s_library = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_library->Loaded()) << s_library->Error(); }

    static host::QuorvelLibrary* s_library;
};

host::QuorvelLibrary* DllPlayback::s_library = nullptr;

struct PictureCase {
    const char* file;
    const char* reference;
    int32_t width;
    int32_t height;
    size_t count;  // pictures in the reference
    size_t pcmBytes;  // audio pulled while the pictures come, less than the file has
};

class DllPictures : public DllPlayback, public ::testing::WithParamInterface<PictureCase> {};

TEST_P(DllPictures, PicturesAreTheDecodedOnesInOrder)
{
    const PictureCase& c = GetParam();
    const std::vector<uint8_t> reference = ReadReference(c.reference);
    const size_t pictureBytes = size_t(c.width) * c.height * 3 / 2;
    ASSERT_EQ(reference.size(), c.count * pictureBytes);

    Playback play(*s_library, WidenAscii(MediaFile(c.file)));
    ASSERT_TRUE(play.Created());
    ASSERT_EQ(play->Open(), 1);
    int32_t rate = 0;
    int32_t channels = 0;
    play.PullAudio(c.pcmBytes, rate, channels);
    play->Close();

    const auto pictures = play.Sink().Pictures();
    EXPECT_EQ(play.Sink().Width(), c.width);
    EXPECT_EQ(play.Sink().Height(), c.height);
    ASSERT_GE(pictures.size(), 10u);
    size_t next = 0;  // a picture may repeat, never go back
    size_t distinct = 0;
    for (size_t p = 0; p < pictures.size(); ++p) {
        ASSERT_EQ(pictures[p].size(), pictureBytes) << "picture " << p;
        size_t match = next;
        while (match < c.count &&
               MeanAbsoluteDifference(pictures[p].data(), &reference[match * pictureBytes],
                                      pictureBytes) > 1.0)
            ++match;
        ASSERT_LT(match, c.count) << "picture " << p << " matches no decoded picture at or after "
                                  << next;
        distinct += match != next || p == 0 ? 1 : 0;
        next = match;
    }
    EXPECT_GE(distinct, 10u);
}

// H.264, and AV1 through dav1d: 8-bit, and 10-bit reduced to 8 bits by the engine.
INSTANTIATE_TEST_SUITE_P(
    Fixtures, DllPictures,
    ::testing::Values(PictureCase{"h264_aac.mp4", "h264_aac.yuv", 320, 240, 75, 44100 * 4 * 3 / 2},
                      PictureCase{"formats/av1_aac.mp4", "av1_aac.yuv", 160, 120, 25,
                                  48000 * 4 * 3 / 4},
                      PictureCase{"formats/av1_10bit_flac.mkv", "av1_10bit_flac.yuv", 160, 120, 25,
                                  48000 * 4 * 3 / 4}));

struct PcmCase {
    const char* file;
    const char* reference;
    int32_t rate;
    int maxDifference;  // s16 steps: 0 for PCM in the file, a little for lossy codecs
};

class DllPcm : public DllPlayback, public ::testing::WithParamInterface<PcmCase> {};

TEST_P(DllPcm, PcmIsTheDecodedAudioFromTheStart)
{
    const PcmCase& c = GetParam();
    const std::vector<uint8_t> reference = ReadReference(c.reference);
    ASSERT_GT(reference.size(), size_t(c.rate) * 4);

    Playback play(*s_library, WidenAscii(MediaFile(c.file)));
    ASSERT_TRUE(play.Created());
    ASSERT_EQ(play->Open(), 1);
    int32_t rate = 0;
    int32_t channels = 0;
    std::vector<uint8_t> pcm = play.PullAudio(size_t(c.rate) * 4, rate, channels);  // 1 s
    play->Close();

    EXPECT_EQ(rate, c.rate);
    EXPECT_EQ(channels, 2);
    ASSERT_GE(pcm.size(), size_t(c.rate) * 4);
    pcm.resize(size_t(c.rate) * 4);
    EXPECT_LE(MaxSampleDifference(pcm, reference), c.maxDifference);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DllPcm,
                         ::testing::Values(PcmCase{"pcm_s16.wav", "pcm_s16.s16", 44100, 0},
                                           PcmCase{"h264_aac.mp4", "h264_aac.s16", 44100, 2}));

// The path reaches FFmpeg as UTF-8 converted from UTF-16, a surrogate pair included.
TEST_F(DllPlayback, OpensAPathOutsideTheAnsiCodePage)
{
    const std::wstring path =
        WidenAscii(QUORVEL_WIN_MEDIA_DIR "/") + L"\u00fcnic\u00f6de_\U0001F3B5.wav";
    Playback play(*s_library, path);
    int32_t audioOnly = 0;
    MediaFileInfo info{};
    ASSERT_EQ(play->GetFileInfo(0, &audioOnly, &info), 1);
    EXPECT_EQ(audioOnly, 1);
    EXPECT_STREQ(info.szAudioCodec, "pcm_s16le");
    EXPECT_FALSE(play.Sink().OpenFailed());
}

TEST_F(DllPlayback, LoneSurrogateInThePathFailsTheOpen)
{
    std::wstring path = WidenAscii(MediaFile("pcm_s16.wav"));
    path.insert(path.size() - 4, 1, static_cast<wchar_t>(0xD800));
    Playback play(*s_library, path);
    EXPECT_EQ(play->Open(), 0);
    EXPECT_TRUE(play.Sink().OpenFailed());
    play->Close();
}

TEST_F(DllPlayback, PlayableLimitsHoldThroughTheDll)
{
    for (const char* name : {"limit_w99.nut", "limit_w100.nut", "limit_h1081.nut"}) {
        Playback play(*s_library, WidenAscii(MediaFile(name)));
        int32_t audioOnly = 0;
        MediaFileInfo info{};
        EXPECT_EQ(play->GetFileInfo(0, &audioOnly, &info), std::string(name) == "limit_w100.nut")
            << name;
    }
}

}  // namespace
