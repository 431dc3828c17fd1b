#include "demux/demux_test_support.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "support/ffmpeg_output.h"

namespace test {

namespace {

// FFmpeg's decode of the fixture, as bytes.
std::vector<uint8_t> FfmpegBytes(const std::string& name, const std::string& args)
{
    const std::string output = FfmpegOutput(name, args + " -");
    return std::vector<uint8_t>(output.begin(), output.end());
}

// Copies the first `width` bytes of `rows` rows from a plane `stride` bytes wide.
void AppendRows(std::vector<uint8_t>& out, const uint8_t* plane, int stride, int width, int rows)
{
    for (int r = 0; r < rows; ++r)
        out.insert(out.end(), plane + r * stride, plane + r * stride + width);
}

}  // namespace

ScriptedSource::ScriptedSource(const std::string& name)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(MediaPath(name).c_str(), "rb"), fclose);
    if (!file) return;
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), file.get())) > 0)
        m_bytes.insert(m_bytes.end(), chunk, chunk + n);
}

int32_t ScriptedSource::Read(uint8_t* buffer, int32_t size)
{
    ++reads;
    if (onRead) onRead();
    const int64_t left = static_cast<int64_t>(m_bytes.size()) - m_position;
    const auto n = static_cast<int32_t>(std::min<int64_t>({size, pieceBytes.load(), left}));
    std::copy_n(m_bytes.begin() + m_position, n, buffer);
    m_position += n;
    return n;
}

int64_t ScriptedSource::Seek(int64_t offset, int whence)
{
    if (refuseSeeks.load()) return -1;
    const int64_t base = whence == SEEK_CUR ? m_position : whence == SEEK_END ? Size() : 0;
    if (base + offset < 0) return -1;
    m_position = std::min(base + offset, Size());
    return m_position;
}

demux::SourceOpener ScriptedOpener(const std::string& name, ScriptedSource** watch,
                                   std::function<void(ScriptedSource&)> configure)
{
    return [name, watch, configure](const std::wstring&,
                                    std::wstring* whyNot) -> std::unique_ptr<demux::ByteSource> {
        auto source = std::make_unique<ScriptedSource>(name);
        if (source->Size() == 0) {
            *whyNot = L"no such fixture";
            return nullptr;
        }
        if (configure) configure(*source);
        *watch = source.get();
        return source;
    };
}

uint8_t* RecordingOwner::LendPictureBuffer(int nSize)
{
    if (!lend) return nullptr;
    lent.assign(static_cast<size_t>(nSize), 0xcd);
    return lent.data();
}

int RecordingOwner::OnVideoFrame(const uint8_t* pData, int nSize, int nWidth, int nHeight, int,
                                 double dPts)
{
    if (lend && pData == lent.data() && static_cast<size_t>(nSize) == lent.size()) ++handedBackLent;
    size_t packed = static_cast<size_t>(nWidth) * nHeight + 2 * (nWidth / 2) * (nHeight / 2);
    pictures.push_back({std::vector<uint8_t>(pData, pData + packed), nSize, nWidth, nHeight, dPts});
    if (afterPicture) afterPicture(*this);
    return 0;
}

int RecordingOwner::OnAudioFrame(const uint8_t* pData, int nSize, int nSampleRate, int nChannels,
                                 double dPts)
{
    audio.push_back({nSize, nSampleRate, nChannels, dPts});
    pcm.insert(pcm.end(), pData, pData + nSize);
    return 0;
}

double RecordingOwner::AudioSeconds() const
{
    double seconds = 0.0;
    for (const AudioBlock& block : audio)
        seconds += block.nSize / (2.0 * block.nSampleRate * block.nChannels);
    return seconds;
}

bool RecordingOwner::CanAcceptFrame(double dPts, int nWaitLimit)
{
    waitLimits.push_back(nWaitLimit);
    bool accept = !canAccept || canAccept(dPts, nWaitLimit);
    if (!accept) ++refusals;
    return accept;
}

void RecordingOwner::OnDemuxEvent(int nCode, intptr_t nParam, double)
{
    if (nCode == DEMUX_EVENT_LOG_ERROR)
        errors.emplace_back(reinterpret_cast<const wchar_t*>(nParam));
    if (nCode == DEMUX_EVENT_LOG_INFO) infos.emplace_back(reinterpret_cast<const wchar_t*>(nParam));
    if (nCode != DEMUX_EVENT_END_OF_PASS) return;
    ++endOfPassEvents;
    if (afterEndOfPass) afterEndOfPass(*this);
}

std::vector<std::vector<uint8_t>> ReferencePictures(const std::string& name, int width, int height)
{
    std::vector<uint8_t> raw =
        FfmpegBytes(name, "-map 0:v:0 -fps_mode passthrough -f rawvideo -pix_fmt yuv420p");
    int chromaStride = (width + 1) / 2;
    int chromaRows = (height + 1) / 2;
    size_t frameBytes = static_cast<size_t>(width) * height + 2 * chromaStride * chromaRows;
    std::vector<std::vector<uint8_t>> pictures;
    for (size_t at = 0; at + frameBytes <= raw.size(); at += frameBytes) {
        const uint8_t* y = raw.data() + at;
        const uint8_t* u = y + width * height;
        const uint8_t* v = u + chromaStride * chromaRows;
        std::vector<uint8_t> packed;
        AppendRows(packed, y, width, width, height);
        AppendRows(packed, u, chromaStride, width / 2, height / 2);
        AppendRows(packed, v, chromaStride, width / 2, height / 2);
        pictures.push_back(std::move(packed));
    }
    return pictures;
}

std::vector<uint8_t> ReferencePcm(const std::string& name)
{
    return FfmpegBytes(name, "-map 0:a:0 -f s16le -acodec pcm_s16le");
}

}  // namespace test
