// The Demuxer owns everything that touches an opened media file (format context, the
// chosen streams and their decoders, scaler, resampler, the buffers handed out) and runs
// the decoder thread that reads, decodes, converts and hands pictures and PCM to its
// owner.
//
// Threads: Init, UnInit, ForceStereoOutput and ForceSampleRate44100 run on the instance's
// control thread while the decoder thread is stopped. SetOwner, SetLoop, Seek and the
// queries may be called on the control thread while the decoder thread runs; IsVideoOnly
// and IsAudioOnly also from the render-clock and host audio threads, even while UnInit
// runs: they, GetDuration and Seek answer from atomic facts that Init publishes and
// UnInit clears before it releases anything. The seek request is shared with the decoder
// thread through DecodeState's SeekRequest. Everything else in DecodeState belongs to
// the control thread while the decoder thread is stopped and to the decoder thread
// while it runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "demux/byte_source.h"
#include "demux/demuxer_interface.h"
#include "demux/picture_layout.h"
#include "demux/thread.h"
#include "demux/timeline.h"

struct MediaFileInfo;

// The longest an open (probe and stream analysis) may take before it gives up, ms.
constexpr uint32_t DEMUX_OPEN_DEADLINE_MS = 5000;

// What the instance needs to validate and set up playback.
struct MediaInfo {
    int32_t nWidth;  // pixels; 0 without video
    int32_t nHeight;  // pixels; 0 without video
    int32_t nFrameRate;  // whole frames per second; 0 when unknown or without video
    int32_t nSampleRate;  // Hz; 0 without audio
    int32_t nChannels;  // 0 without audio
    int32_t nReserved;  // always 0
    int64_t llStartTime;  // whole seconds, truncated toward zero
};

struct AVFrame;
struct AVPacket;

namespace demux {
struct DecodeState;
struct SeekTarget;

// What the decoder is decoding for: the owner's playback generation (given at the start
// and with each seek) and the pass of a looping file within it (0 after the start or a
// seek, one more at each rewind). The owner tags what it queues with it.
struct DecodeTag {
    uint64_t nGeneration = 0;
    uint32_t nPass = 0;
};
}  // namespace demux

class Demuxer : public Thread {
public:
    Demuxer();
    ~Demuxer() override;

    void SetOwner(DemuxerInterface* owner) { m_pOwner.store(owner); }
    // Control thread, decoder thread stopped: where Init reads the bytes of a path from
    // (local files by default; tests stand in other sources).
    void SetSourceOpener(demux::SourceOpener opener) { m_openSource = std::move(opener); }
    void SetLoop(bool loop) { m_bLoop.store(loop); }

    // 0 when the file is open and decoding is prepared, -1 otherwise. Only a regular
    // local file is opened, through the engine's own I/O; formats that open further inputs
    // (playlists, concatenations, image sequences) are refused. The open gives up after
    // DEMUX_OPEN_DEADLINE_MS.
    int32_t Init(std::wstring fileName);
    // Releases everything Init opened; always 0. With KeepFile::ForNextInit the file itself
    // stays open and the next Init reads it again instead of opening the path: a probe and
    // the open that follows it see the same file, whatever the path names by then.
    enum class KeepFile { No, ForNextInit };
    int32_t UnInit(KeepFile keep = KeepFile::No);

    // Both false when no input is open.
    bool IsVideoOnly() const;
    bool IsAudioOnly() const;
    double GetFrameRate() const;
    int32_t GetMediaInfo(MediaInfo* info) const;  // 0, or -1 when not inited
    // The picture size reported is the size delivered: scaled to square pixels and turned
    // upright (see PictureLayout); GetMediaInfo reports the size the stream codes.
    int32_t GetFileInfo(MediaFileInfo* info) const;  // 0, or -1 when not inited
    // Pixels of the pictures as delivered, from what the stream declares; 0 without video.
    void GetDeliveredSize(int32_t* width, int32_t* height) const;
    // Whole seconds; -1 without an input, 0 when the input reports no duration.
    int32_t GetDuration() const;

    void ForceStereoOutput();
    void ForceSampleRate44100();

    // Records a seek request (whole seconds on the media time line, which counts from the
    // input's start time) for the decoder thread; the last one wins, and what the decoder
    // hands out after carrying it out is tagged with generation. The decoder goes on exactly
    // at the target: what lies before it is decoded but not handed out. A request the input
    // refuses leaves playback going on from where the input stands. Returns the byte
    // position aimed at, or -1 for a time seek (or without an input).
    int64_t Seek(int64_t wantedPos, uint64_t generation = 0);

    // Control thread, decoder thread stopped: the generation the decoder starts in.
    void SetDecodeGeneration(uint64_t generation) { m_decodeTag = demux::DecodeTag{generation, 0}; }
    // Decoder thread (the owner's callbacks): what the data being handed out belongs to.
    const demux::DecodeTag& DecodingTag() const { return m_decodeTag; }

    // The body ran out of input with looping off and has ended, or is ending, without a
    // seek to carry out. A seek recorded before this answers true is carried out by the
    // body instead; after it answers true, only a restart of the thread carries it out.
    bool HasEnded() const { return m_bEnded.load(); }
    // The decoder may still hand out data without being started again: it has been
    // started, not stopped, and its body has neither ended nor failed.
    bool ReadsOn() const { return IsRunning() && !m_bEnded.load() && !m_bFailed.load(); }
    // The packets read ahead fill their bounds: the decoder reads nothing more until
    // pictures leave the queue. Any thread.
    bool ReadAheadFull() const { return m_bReadAheadFull.load(); }
    // Control thread: starts the body again after it has ended (see Thread::Start),
    // paused when it was.
    int Restart();

protected:
    uint32_t Run() override;

private:
    // What a step of the decode loop leads to.
    enum class Flow {
        Continue,  // go on with the next packet
        NextPass,  // drop what is in hand and go to the top of the pass (seek pending)
        End,  // stop requested or input done: OnDemuxEnd, exit code 0
        Fail,  // exit code -1, no OnDemuxEnd
    };

    bool OpenInput(const std::wstring& fileName, const std::string& utf8Name);
    bool OpenSource(const std::wstring& fileName);
    void ChooseStreams();
    void OpenVideo();
    void OpenAudio();
    bool KeepDecodableStreams();
    bool StreamsSayAudioOnly() const;
    void PublishFacts();
    void ClearFacts();
    static int InterruptRequested(void* demuxer);
    bool OpenOverdue() const;

    // Run's result when the body fails.
    uint32_t Failure();
    bool AllocateDecodeObjects();
    bool EndsWithNothingPending();
    Flow Pass();
    Flow WaitForRoom(double pts, int waitLimit);
    bool AudioWantedFirst() const;
    bool PictureRoom() const;
    Flow ReadVideoPacket(AVPacket* packet);
    Flow BackloggedVideoPacket();
    Flow VideoPacket(const AVPacket& packet);
    Flow ReceivePictures();
    bool HandlePicture(const AVFrame& picture);
    void RefusePicture(const AVFrame& picture);
    const uint8_t* PackPicture(const AVFrame& picture, DemuxerInterface* lender);
    demux::PictureLayout LayoutOf(int width, int height, AVRational pictureAspect) const;
    demux::PictureLayout DeclaredLayout() const;  // of the size the video stream declares
    Flow AudioPacket(const AVPacket& packet);
    Flow ReceiveAudio();
    Flow EndOfInput();
    Flow Drain();
    Flow StoppedOr(Flow failure) const;
    bool PlacePacket(AVPacket* packet);
    void CarryOutSeek();
    int SeekByTime(const demux::SeekTarget& target);
    // Where a byte seek may go on from: the bytes, and how far the time line is moved there.
    struct ByteLanding {
        int64_t llAim = -1;
        double dMove = 0.0;  // seconds
    };
    int SeekByBytes(const demux::SeekTarget& target);
    int GoOnFrom(const demux::Timeline& start, const ByteLanding& landing);
    int SeekToByte(int64_t position);
    bool FindLanding(const demux::SeekTarget& target, int64_t aim, demux::Timeline::Point* landed,
                     double* move);
    int64_t NextAim(const demux::Timeline::Point& previous, const demux::Timeline::Point& landed,
                    double targetTime) const;
    double BytesPerSecond() const;
    bool Rewind();
    int SeekToStart();
    void FlushDecoders();

    // Control thread while the decoder thread is stopped, decoder thread while it runs
    // (see DecodeState for its shared parts). m_bInited is written by Init and UnInit
    // only, with the decoder thread stopped.
    std::unique_ptr<demux::DecodeState> av;
    bool m_bInited = false;
    // Set at construction (the instance's creation), from the environment and the cores.
    const int m_nVideoThreads;
    demux::SourceOpener m_openSource = demux::OpenFileSource;
    std::unique_ptr<demux::ByteSource> m_pKeptSource;  // see UnInit

    // Atomic, written by the control thread, read by the decoder thread.
    std::atomic<DemuxerInterface*> m_pOwner{nullptr};
    std::atomic<bool> m_bLoop{false};

    // Atomic, facts about the open input: written by Init and UnInit on the control
    // thread, readable from any thread.
    std::atomic<bool> m_bHasInput{false};
    std::atomic<bool> m_bVideoOnlyInput{false};
    std::atomic<bool> m_bAudioOnlyInput{false};
    std::atomic<int64_t> m_llDurationUs{0};  // AV_NOPTS_VALUE when unknown
    std::atomic<int64_t> m_llBitRate{0};  // bits/s, 0 when unknown
    std::atomic<int64_t> m_llFileSize{-1};  // bytes, negative when unknown
    std::atomic<int64_t> m_llStartTimeUs{0};  // microseconds: where the media time line begins
    std::atomic<bool> m_bSeekByBytes{false};  // decided per input by its format
    // Atomic, written by the decoder thread (and by Init, Restart), read by any thread.
    std::atomic<bool> m_bDecoding{false};  // Run is executing; lets a stop interrupt I/O
    std::atomic<bool> m_bEnded{false};  // see HasEnded
    std::atomic<bool> m_bFailed{false};  // the body returned a failure
    std::atomic<bool> m_bReadAheadFull{false};  // see ReadAheadFull
    // Atomic, written by Init on the control thread, read by the interrupt callback: an
    // open under way and when it began (ms, tick count).
    std::atomic<bool> m_bOpening{false};
    std::atomic<uint32_t> m_dwOpenStart{0};
    // Decoder thread: no packet read since Init or the last rewind, and no seek carried
    // out since. Kept across a restart, so that a restarted body rewinds a file it has
    // read to the end when looping is on.
    bool m_bEmptyPass = true;
    // Decoder thread (control thread while it is stopped): see DecodingTag.
    demux::DecodeTag m_decodeTag;
};
