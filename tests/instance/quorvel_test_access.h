// The tests' way into CQuorvel: its playback record and its internal queue operations.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "instance/quorvel_instance.h"

// One value of the playback record, read and written whole under the record's lock.
template <typename T>
class RecordField {
public:
    RecordField(quorvel::PlaybackRecord& record, T quorvel::PlaybackValues::*field)
        : m_record(record), m_field(field)
    {
    }
    T load() const { return m_record.Snapshot().*m_field; }
    void store(T value)
    {
        m_record.Update(
            [this, value](quorvel::PlaybackValues& values) { values.*m_field = value; });
    }
    operator T() const { return load(); }
    RecordField& operator=(T value)
    {
        store(value);
        return *this;
    }

private:
    quorvel::PlaybackRecord& m_record;
    T quorvel::PlaybackValues::*m_field;
};

struct CQuorvelTestAccess {
    explicit CQuorvelTestAccess(CQuorvel& instance) : q(instance) {}

    quorvel::PlaybackValues Record() { return q.m_playback.Snapshot(); }
    quorvel::PlaybackRecord& Playback() { return q.m_playback; }
    playback::PlaybackTag Playing() { return q.m_playback.Snapshot().tag; }
    // The playback clock: started and running from `now` at `at` seconds, or read at now.
    void RunClock(double at, uint32_t now)
    {
        q.m_playback.Update(
            [at, now](quorvel::PlaybackValues& values) { values.m_dLastPlayAVPTS.Run(at, now); });
    }
    double ClockAt(uint32_t now) { return q.m_playback.Snapshot().ClockAt(now); }
    playback::MediaClock ClockState() { return q.m_playback.Snapshot().m_dLastPlayAVPTS; }
    RecordField<double> LastPicturePts()
    {
        return {q.m_playback, &quorvel::PlaybackValues::m_lstvidep};
    }
    // The host took audio of the pass ending at `end` (seconds) at `now`.
    void HeardAudioUpTo(double end, uint32_t now)
    {
        q.m_playback.Update([end, now](quorvel::PlaybackValues& values) {
            values.bAudioHeard = true;
            values.dAudioEnd = end;
            values.dwLastPull = now;
        });
    }
    // As the decoder reports it: the pass being played (or the given later one) has been
    // read to its end.
    void EndPass(uint32_t pass) { q.m_playback.NoteEndOfPass({Playing().nGeneration, pass}); }
    void EndPass() { EndPass(Playing().nPass); }
    bool StartNextPass() { return q.StartNextPass(q.m_playback.Snapshot()); }
    playback::PlaybackTag Pass(uint32_t pass) { return {Playing().nGeneration, pass}; }
    std::atomic<bool>& AudioOnly() { return q.m_bAudioOnly; }
    std::atomic<bool>& Opened() { return q.m_bOpened; }
    std::atomic<int32_t>& FrameRate() { return q.m_nFrameRate; }
    std::atomic<int32_t>& Width() { return q.m_nWidth; }
    std::atomic<int32_t>& Height() { return q.m_nHeight; }
    std::atomic<int32_t>& SnapshotSize() { return q.m_nSnapshotSize; }
    FramePool& Pool() { return q.m_framePool; }
    Demuxer& Demux() { return *q.m_pCtx->m_pDemuxer; }

    int32_t SnapshotCapacity()
    {
        platform::LockGuard guard(q.m_pCtx->m_csHeld);
        return q.m_pSnapshot ? static_cast<int32_t>(q.m_pSnapshot->size()) : 0;
    }
    const uint8_t* SnapshotData()
    {
        platform::LockGuard guard(q.m_pCtx->m_csHeld);
        return q.m_pSnapshot ? q.m_pSnapshot->data() : nullptr;
    }
    int32_t AudioBytes()
    {
        platform::LockGuard guard(q.m_pCtx->m_csAudio);
        return q.m_nAudioBytes;
    }
    size_t VideoQueued()
    {
        platform::LockGuard guard(q.m_pCtx->m_csVideo);
        return q.m_videoQueue.size();
    }
    size_t AudioQueued()
    {
        platform::LockGuard guard(q.m_pCtx->m_csAudio);
        return q.m_audioQueue.size();
    }
    std::vector<double> AudioQueuePts()
    {
        platform::LockGuard guard(q.m_pCtx->m_csAudio);
        std::vector<double> pts;
        q.m_audioQueue.ForEach([&pts](const AudioFrame& block) { pts.push_back(block.dPts); });
        return pts;
    }
    std::vector<double> VideoQueuePts()
    {
        platform::LockGuard guard(q.m_pCtx->m_csVideo);
        std::vector<double> pts;
        q.m_videoQueue.ForEach([&pts](const VideoFrame& picture) { pts.push_back(picture.dPts); });
        return pts;
    }
    int32_t FrontAudioSize()
    {
        platform::LockGuard guard(q.m_pCtx->m_csAudio);
        return q.m_audioQueue.empty() ? 0 : q.m_audioQueue.front().nSize;
    }

    // A picture of size bytes, every byte `fill`, 160x120 YUV420P, of the pass played.
    int PushPicture(double pts, int size = 100, uint8_t fill = 0x5a)
    {
        return PushPictureOf(Playing(), pts, size, fill);
    }
    int PushPictureOf(const playback::PlaybackTag& tag, double pts, int size = 100,
                      uint8_t fill = 0x5a)
    {
        std::vector<uint8_t> bytes(static_cast<size_t>(size), fill);
        return q.PushVideoFrame(bytes.data(), size, 160, 120, 0, pts, tag);
    }
    // Silence at 44100 Hz stereo unless told otherwise, of the pass played.
    int PushAudio(double pts, int size, int rate = 44100, int channels = 2, uint8_t fill = 1)
    {
        return PushAudioOf(Playing(), pts, size, rate, channels, fill);
    }
    int PushAudioOf(const playback::PlaybackTag& tag, double pts, int size, int rate = 44100,
                    int channels = 2, uint8_t fill = 1)
    {
        std::vector<uint8_t> bytes(static_cast<size_t>(size), fill);
        return q.PushAudioFrame(bytes.data(), size, rate, channels, pts, tag);
    }
    // Takes the oldest picture as the render clock does and gives its buffer back to the
    // pool; with bytes, the picture's bytes are kept there first. 0 when none is queued.
    int PopVideo(double* pts, std::vector<uint8_t>* bytes = nullptr)
    {
        VideoFrame picture = q.TakeVideoFrame(Playing());
        if (picture.pData == nullptr) {
            return 0;
        }
        if (bytes != nullptr) {
            bytes->assign(picture.pData, picture.pData + picture.nSize);
        }
        *pts = picture.dPts;
        q.m_framePool.ReleaseBuffer(picture);
        return picture.nSize;
    }
    // A chunk as the pull takes it with the clock at clock (seconds): its first sample's
    // time in *start.
    int PopChunk(uint8_t* dst, double* start, double clock = 0.0)
    {
        int bytes = 0;
        int rate = 0;
        int channels = 0;
        const CQuorvel::AudioChunk chunk =
            q.PopAudioChunk(dst, &bytes, &rate, &channels, q.m_playback.Snapshot(), clock);
        *start = chunk.dStart;
        return chunk.nBytes;
    }
    size_t DropOlderThan(const playback::PlaybackTag& tag) { return q.DropOlderThan(tag); }
    void FlushQueues() { q.FlushQueues(); }

    CQuorvel& q;
};
