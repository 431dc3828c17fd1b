// Test doubles for the demuxer: an owner that records what the decoder thread hands
// out, a Demuxer whose body can run on the test's own thread, and FFmpeg's own decode of
// a fixture (the ffmpeg program) to compare against.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "demux/byte_source.h"
#include "demux/demuxer.h"
#include "support/media_path.h"

namespace test {

struct Picture {
    std::vector<uint8_t> packed;  // Y, then U and V rows of width/2
    int nSize;
    int nWidth;
    int nHeight;
    double dPts;
};

struct AudioBlock {
    int nSize;
    int nSampleRate;
    int nChannels;
    double dPts;
};

// Every callback runs on the decoder thread; read the records after it has ended.
class RecordingOwner : public DemuxerInterface {
public:
    // With `lend` set, every picture is to be packed into a buffer of the owner's.
    uint8_t* LendPictureBuffer(int nSize) override;
    int OnVideoFrame(const uint8_t* pData, int nSize, int nWidth, int nHeight, int nFormat,
                     double dPts) override;
    int OnAudioFrame(const uint8_t* pData, int nSize, int nSampleRate, int nChannels,
                     double dPts) override;
    void OnDemuxEnd() override { ++ends; }
    bool CanAcceptFrame(double dPts, int nWaitLimit) override;
    void OnDemuxEvent(int nCode, intptr_t nParam, double dValue) override;
    bool AcceptAudioPts(double) override { return true; }
    Lateness LatenessOf(double dPts) override
    {
        return lateness ? lateness(dPts) : Lateness::OnTime;
    }
    bool WantsAudioFirst() override { return audioFirst && audioFirst(*this); }

    // Seconds of PCM handed out so far.
    double AudioSeconds() const;

    std::vector<Picture> pictures;
    std::vector<AudioBlock> audio;
    std::vector<uint8_t> pcm;  // every audio block, concatenated
    std::vector<int> waitLimits;  // of every CanAcceptFrame call
    std::vector<std::wstring> errors;  // LOG_ERROR texts, once registered for the log
    std::vector<std::wstring> infos;  // LOG_INFO texts, likewise
    int ends = 0;
    int endOfPassEvents = 0;
    int refusals = 0;
    bool lend = false;
    std::vector<uint8_t> lent;  // the buffer lent, sized as the decoder asked
    int handedBackLent = 0;  // pictures that came back in the lent buffer

    // Optional hooks; the defaults accept everything.
    std::function<bool(double, int)> canAccept;
    std::function<void(RecordingOwner&)> afterPicture;
    std::function<void(RecordingOwner&)> afterEndOfPass;
    std::function<Lateness(double)> lateness;
    std::function<bool(const RecordingOwner&)> audioFirst;
};

// Runs the body on the calling thread, so tests see its exit code.
class TestDemuxer : public Demuxer {
public:
    uint32_t RunHere()
    {
        m_bStop.store(false);
        return Run();
    }
    void RequestStop() { m_bStop.store(true); }
    bool StopRequested() const { return m_bStop.load(); }
    bool PauseRequested() const { return m_bPause.load(); }
    // Stop gives up on a body that does not end within a few milliseconds.
    void ShortenStopWaits()
    {
        m_dwStopWaitMs = 20;
        m_dwCancelGraceMs = 20;
    }
};

// A fixture's bytes served from memory, the way a test needs them: at most `pieceBytes` a
// read, with onRead called before each read (from the thread reading), and seeks refused
// while refuseSeeks is set.
class ScriptedSource : public demux::ByteSource {
public:
    explicit ScriptedSource(const std::string& name);
    int32_t Read(uint8_t* buffer, int32_t size) override;
    int64_t Seek(int64_t offset, int whence) override;
    int64_t Size() override { return static_cast<int64_t>(m_bytes.size()); }

    std::atomic<int> reads{0};
    std::atomic<int32_t> pieceBytes{1 << 20};
    std::atomic<bool> refuseSeeks{false};
    std::function<void()> onRead;

private:
    std::vector<uint8_t> m_bytes;
    int64_t m_position = 0;
};

// An opener for Demuxer::SetSourceOpener that serves the fixture through a new
// ScriptedSource each time, set up by configure; *watch points at the newest, which the
// demuxer owns (valid until its UnInit).
demux::SourceOpener ScriptedOpener(const std::string& name, ScriptedSource** watch,
                                   std::function<void(ScriptedSource&)> configure = {});

// ffmpeg's own pictures of the file's first video stream as yuv420p, each already packed
// like the demuxer packs them (chroma rows of width/2, height/2 rows).
std::vector<std::vector<uint8_t>> ReferencePictures(const std::string& name, int width, int height);
// ffmpeg's decode of the file's first audio stream as s16le, at its own rate and layout.
std::vector<uint8_t> ReferencePcm(const std::string& name);

}  // namespace test
