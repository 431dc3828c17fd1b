// CQuorvel: one playback instance behind IMediaFile. It owns the Demuxer (decoder
// thread), the CVideoModel (render clock thread), the two frame queues and the picture
// pool, and it is registered for log delivery for its whole life.
//
// Threads
// - Host control thread: construction, destruction and the IMediaFile operations except
//   OnRenderGetaudioFrame. They take no instance-wide lock.
// - Host audio thread: OnRenderGetaudioFrame (audio_pull.cpp).
// - Render clock thread: OnRenderGetVideoFrame (video_delivery.cpp).
// - Decoder thread: the DemuxerInterface callbacks (frame_queues.cpp); OnDemuxEvent codes
//   2 and 3 come from whichever thread logged.
//
// Locks (in m_pCtx): m_csVideo, m_csAudio and m_csHeld; the members below are grouped by
// the lock that guards them or the thread that owns them. Every call into the host goes
// through m_events, with no lock held. See quorvel::PlaybackContext for the order.
//
// The per-playback values (clock, pacing, tick base, end of pass) are one record behind
// its own innermost lock (m_playback). Everything else that more than one thread touches
// is std::atomic: the flags, the media facts and the held picture's description.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "demux/demuxer_interface.h"
#include "instance/event_channel.h"
#include "instance/playback_context.h"
#include "instance/playback_record.h"
#include "platform/thread_annotations.h"
#include "playback/catch_up.h"
#include "playback/frame_pool.h"
#include "playback/frames.h"
#include "playback/ring_queue.h"
#include "playback/video_model.h"
#include "quorvel.h"

#if defined(_MSC_VER)
#error "The engine fills slot 0 with DeletingDestructor: build it with GCC or Clang"
#endif

struct CQuorvelTestAccess;

class CQuorvel : public IMediaFile, public VideoModelInterface, public DemuxerInterface {
public:
    CQuorvel(const wchar_t* path, MediaFileInterface* events);
    ~CQuorvel() override;
    CQuorvel(const CQuorvel&) = delete;
    CQuorvel& operator=(const CQuorvel&) = delete;

    // IMediaFile
    // Slot 0, where an MSVC host's delete lands: destroys as DestroyInstance does.
    void* DeletingDestructor(uint32_t flags) override;
    void SetLoop(int32_t loop) override;
    int32_t Open() override;
    int32_t IsOpen() override;
    void Close() override;
    void Pause() override;
    int32_t IsPaused() override;
    int32_t Resume() override;
    int32_t GetPos(int64_t* llCurPos, int64_t* llMaxPos) override;
    int32_t SetPos(int64_t pos) override;
    int32_t IsAudioOnly() override;
    int32_t OnRenderGetaudioFrame(uint8_t* pBuffer, int32_t* pnBytes, int32_t* pnSampleRate,
                                  int32_t* pnChannels, uint32_t nReserved1,
                                  uint32_t nReserved2) override;
    int32_t GetFileInfo(uint32_t reserved, int32_t* pbAudioOnly, MediaFileInfo* pInfo) override;

    // VideoModelInterface (render clock thread)
    int OnRenderGetVideoFrame(uint8_t* pBuffer, int nBufferSize, bool* pFlag, int* pCount,
                              int* pWidth, int* pHeight) override;

    // DemuxerInterface (decoder thread; log codes from any thread)
    uint8_t* LendPictureBuffer(int nSize) override;
    int OnVideoFrame(const uint8_t* pData, int nSize, int nWidth, int nHeight, int nFormat,
                     double dPts) override;
    int OnAudioFrame(const uint8_t* pData, int nSize, int nSampleRate, int nChannels,
                     double dPts) override;
    void OnDemuxEnd() override;
    bool CanAcceptFrame(double dPts, int nWaitLimit) override;
    void OnDemuxEvent(int nCode, intptr_t nParam, double dValue) override;
    bool AcceptAudioPts(double dPts) override;
    Lateness LatenessOf(double dPts) override;
    bool WantsAudioFirst() override;

private:
    friend struct CQuorvelTestAccess;

    // Instance lifecycle (instance/quorvel_instance.cpp)
    int32_t CheckFile();
    void Detach();
    void NotifyOpenFailed();

    // One reset per playback event (instance/playback_resets.cpp), each listing every
    // per-playback value that the event starts afresh.
    void ResetForOpen();
    void ResetForClose();
    void ResetForPause();
    void ResetForResume();
    // A new generation at clock (seconds) that the decoder starts in; decoder stopped.
    void StartGeneration(double clock);
    // The end of the pass playing: the file has played out, or the next pass begins.
    void FinishPass(const quorvel::PlaybackValues& playing);
    // The next pass of a looping file, once playing has finished its pass; false when a
    // seek or another thread's restart came first.
    bool StartNextPass(const quorvel::PlaybackValues& playing);

    // Queue operations (instance/frame_queues.cpp)
    int PushVideoFrame(const uint8_t* pData, int nSize, int nWidth, int nHeight, int nFormat,
                       double dPts, const playback::PlaybackTag& tag);
    int PushAudioFrame(const uint8_t* pData, int nSize, int nSampleRate, int nChannels, double dPts,
                       const playback::PlaybackTag& tag);
    // The oldest queued picture of tag's pass, out of the queue; its pData stays lent from
    // the pool until the caller releases it. pData is null when none is at the front.
    VideoFrame TakeVideoFrame(const playback::PlaybackTag& tag);
    // The same, only when its pts is no later than dueBy (seconds).
    VideoFrame TakeVideoFrameDueBy(const playback::PlaybackTag& tag, double dueBy);
    // Starts the pass's clock at its earliest picture or sound queued; false when none is,
    // or the record plays another pass by now.
    bool StartClock(const quorvel::PlaybackValues& playing, uint32_t now);
    // 20 ms of PCM of the pass being played, and whether that pass's audio is all taken.
    struct AudioChunk {
        int nBytes = 0;  // the chunk size, or 0 when nothing was taken
        double dStart = 0.0;  // seconds: the chunk's first sample, media time line
        double dEnd = 0.0;  // seconds: where it ends
        bool bContiguous = false;  // it goes on from the audio handed out before
        bool bPassDone = false;  // no audio of the pass is left, nor will more come
    };
    AudioChunk PopAudioChunk(uint8_t* pDst, int* pnBytes, int* pnSampleRate, int* pnChannels,
                             const quorvel::PlaybackValues& playing, double clock);
    // Whether every picture (block) of the pass being played has been taken and the
    // decoder has gone on to the next pass.
    bool VideoPassDone(const quorvel::PlaybackValues& playing);
    bool AudioPassDone(const quorvel::PlaybackValues& playing);
    // Drops what is queued of passes before tag's; returns how many pictures were queued.
    size_t DropOlderThan(const playback::PlaybackTag& tag);
    double GetLastVideoPts();
    double GetLastAudioPts();
    void FlushQueues();
    playback::PlaybackTag DecodingTag() const;
    void ReturnLentPicture();
    // False when the picture could not be held for want of memory.
    bool HoldPicture(const VideoFrame& picture) REQUIRES(m_pCtx->m_csHeld);
    void HoldNextPicture();
    void ForwardLog(int nCode, intptr_t nParam);
    bool AudioHasRoom();
    bool VideoQueueFull();
    // Whether the pass's audio (and its pictures after the first) still waits for the
    // decoder to read ahead; notes in the record once it need not.
    bool AwaitsReadAhead(const quorvel::PlaybackValues& playing);
    // Whether the host's audio renderer is pulling, so that its next pull starts the
    // clock of a pass with the sound that plays then.
    bool PullStartsClock(uint32_t now) const;
    bool ReadAheadDone(const quorvel::PlaybackValues& playing);
    std::vector<uint8_t> TakeAudioStorage() REQUIRES(m_pCtx->m_csAudio);
    void PopAudioBlock() REQUIRES(m_pCtx->m_csAudio);
    void DropOlderPictures(const playback::PlaybackTag& tag) REQUIRES(m_pCtx->m_csVideo);
    void DropOlderBlocks(const playback::PlaybackTag& tag) REQUIRES(m_pCtx->m_csAudio);
    int32_t PassBytes(const playback::PlaybackTag& tag) REQUIRES(m_pCtx->m_csAudio);
    bool FrontIsOfPass(const playback::PlaybackTag& tag) REQUIRES(m_pCtx->m_csAudio);

    // Video delivery (instance/video_delivery.cpp)
    // The render clock's width and height (pixels), which a taken picture overwrites.
    struct ClockSize {
        int* pWidth;
        int* pHeight;
    };
    int ResendSnapshot();
    void SkipLaggingPictures(uint32_t now);
    void FinishVideoPass(const quorvel::PlaybackValues& playing, uint32_t now);
    int StartWithPicture(const quorvel::PlaybackValues& playing, const ClockSize& size,
                         uint32_t now);
    int DeliverDuePicture(const quorvel::PlaybackValues& playing, const ClockSize& size,
                          uint32_t now);
    int DeliverPicture(const quorvel::PlaybackValues& playing, const ClockSize& size, double dueBy,
                       bool followsAudio);
    void SendPicture(int nFormat, uint8_t* pData, int nSize, int nWidth, int nHeight);
    void SendPicture(const VideoFrame& picture);

    // Audio pull (instance/audio_pull.cpp)
    int FinishAudioPull(const quorvel::PlaybackValues& playing, const AudioChunk& chunk,
                        uint32_t now);
    void FinishAudioPass(const quorvel::PlaybackValues& playing);

    // Control (instance/control.cpp)
    int64_t CurrentPosition() const;
    // Whole seconds; -1 without media (closed, or the file did not open).
    int64_t MediaDuration() const;
    void RestartEndedDecoder();

    // Fixed at construction; any thread.
    std::unique_ptr<quorvel::PlaybackContext> m_pCtx;
    const std::wstring m_strFile;

    // Every call into the host's object (any thread; see EventChannel).
    quorvel::EventChannel m_events;

    // Guarded by m_csHeld: the picture held while paused (written by Pause, resent by the
    // render clock thread). The clock thread sends it holding a reference and no lock, so
    // a Pause meanwhile writes into a new buffer; otherwise the buffer is reused, and
    // grown only for a larger picture.
    std::shared_ptr<std::vector<uint8_t>> m_pSnapshot GUARDED_BY(m_pCtx->m_csHeld);

    // Guarded by m_csVideo: the video queue.
    playback::RingQueue<VideoFrame> m_videoQueue GUARDED_BY(m_pCtx->m_csVideo);

    // Guarded by m_csAudio: the audio queue, its byte count, and the storage of blocks
    // already played, handed to the next blocks queued.
    playback::RingQueue<AudioFrame> m_audioQueue GUARDED_BY(m_pCtx->m_csAudio);
    int32_t m_nAudioBytes GUARDED_BY(m_pCtx->m_csAudio) = 0;
    std::vector<std::vector<uint8_t>> m_audioSpare GUARDED_BY(m_pCtx->m_csAudio);

    // Behind its own lock (taken after m_csVideo when both are held).
    FramePool m_framePool;

    // Decoder thread only (LatenessOf, CanAcceptFrame): whether decoding keeps up with
    // the clock.
    playback::CatchUp m_catchUp;

    // Control thread only (FlushQueues): the pictures taken out by the last flush.
    // Swapping this emptied ring into the queue gives the queue back its slots, so a
    // seek does not make it grow again from nothing.
    playback::RingQueue<VideoFrame> m_flushedPictures;

    // Decoder thread only (Close returns it once the decoder thread has stopped): the
    // pool buffer lent to the decoder for the next picture; null pData when none.
    VideoFrame m_lentPicture{};

    // Atomic, written by the control thread (Open, Close, Pause, Resume), read by every
    // thread. The media facts are set by Open before either worker starts.
    std::atomic<bool> m_bOpened{false};
    std::atomic<bool> m_bPaused{false};
    std::atomic<int32_t> m_nFrameRate{0};  // frames per second; 0 when unknown or implausible
    std::atomic<bool> m_bAudioOnly{false};
    // The held picture's description: written by Open and by Pause (under m_csHeld),
    // read by the render clock thread.
    std::atomic<int32_t> m_nWidth{0};  // pixels
    std::atomic<int32_t> m_nHeight{0};  // pixels
    std::atomic<int32_t> m_nSnapshotFormat{0};  // libavutil pixel format
    std::atomic<int32_t> m_nSnapshotSize{0};  // bytes; 0 = no picture held
    // Set by a SetPos while paused, cleared by the render clock thread once it holds the
    // new position's first picture.
    std::atomic<bool> m_bHoldNextPicture{false};

    // The playback clock and everything that is per playback, replaced whole by Open,
    // Close, SetPos and the start of a looped pass (see PlaybackRecord).
    quorvel::PlaybackRecord m_playback;

    // Atomic, decoder thread (reset by Open): a block came in a format that cannot play.
    std::atomic<bool> m_bAudioRefused{false};
    // Atomic, written by the host's audio thread on every pull, read by the render clock
    // thread: tick count (ms) of the latest pull, whatever it took; -1 before any.
    std::atomic<int64_t> m_llLastPullCall{-1};
};
