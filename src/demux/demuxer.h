// The Demuxer owns everything that touches an opened media file (format context, the
// chosen streams and their decoders, scaler, resampler, the buffers handed out) and runs
// the decoder thread that reads, decodes, converts and hands pictures and PCM to its
// owner.
//
// Threads: Init, UnInit, ForceStereoOutput and ForceSampleRate44100 run on the instance's
// control thread while the decoder thread is stopped. SetOwner, SetLoop, Seek and the
// queries may be called on the control thread while the decoder thread runs; IsVideoOnly
// and IsAudioOnly also from the render-clock and host audio threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "demux/demuxer_interface.h"
#include "demux/thread.h"

struct MediaFileInfo;

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

struct DecodeState;

class Demuxer : public Thread {
public:
    Demuxer();
    ~Demuxer() override;

    void SetOwner(DemuxerInterface* owner) { m_pOwner.store(owner); }
    void SetLoop(bool loop) { m_bLoop.store(loop); }

    // 0 when the file is open and decoding is prepared, -1 otherwise.
    int32_t Init(std::wstring fileName);
    // Releases everything Init opened; always 0.
    int32_t UnInit();

    // Both false when no input is open.
    bool IsVideoOnly() const;
    bool IsAudioOnly() const;
    double GetFrameRate() const;
    int32_t GetMediaInfo(MediaInfo* info) const;  // 0, or -1 when not inited
    int32_t GetFileInfo(MediaFileInfo* info) const;  // 0, or -1 when not inited
    // Whole seconds; -1 without an input, 0 when the input reports no duration.
    int32_t GetDuration() const;

    void ForceStereoOutput();
    void ForceSampleRate44100();

    // Records a seek request (whole seconds) for the decoder thread; the last one wins.
    void Seek(int64_t wantedPos, int64_t currentPos);

protected:
    uint32_t Run() override;

private:
    std::atomic<DemuxerInterface*> m_pOwner{nullptr};
    std::unique_ptr<DecodeState> av;
    bool m_bInited = false;
    std::atomic<bool> m_bLoop{false};
};
