// Playback control on the host's control thread: looping, pause, position and seeking.
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "diag/log.h"
#include "instance/quorvel_instance.h"

void CQuorvel::SetLoop(int32_t loop)
{
    m_pCtx->m_pVideoModel->SetOwner(this);
    m_pCtx->m_pDemuxer->SetOwner(this);
    m_pCtx->m_pDemuxer->SetLoop(loop != 0);
}

int32_t CQuorvel::IsOpen()
{
    return m_bOpened.load() ? 1 : 0;
}

// The picture is taken out of the queue into a local buffer first: the queue lock must
// not be held with m_csNotify, and the clock thread may be resending the old snapshot
// under m_csNotify while this runs. The snapshot is then replaced under that lock.
void CQuorvel::Pause()
{
    m_pCtx->m_pDemuxer->Pause();
    m_bPaused.store(true);
    const int capacity = m_nWidth.load() * m_nHeight.load() * 3;
    std::vector<uint8_t> picture;
    try {
        picture.resize(static_cast<size_t>(capacity > 0 ? capacity : 0));
    } catch (const std::bad_alloc&) {
        m_nSnapshotSize.store(0);
        return;
    }
    int width = m_nWidth.load();
    int height = m_nHeight.load();
    int format = m_nSnapshotFormat.load();
    double pts = 0.0;
    const int size = PopVideoFrame(picture.data(), capacity, &width, &height, &format, &pts);

    platform::LockGuard guard(m_pCtx->m_csNotify);
    // The buffer keeps the largest capacity any Pause asked for, so a picture of the
    // size known now always fits.
    if (m_pSnapshot == nullptr || m_nSnapshotCapacity < capacity) {
        m_pSnapshot = std::make_unique<uint8_t[]>(static_cast<size_t>(capacity));
        m_nSnapshotCapacity = capacity;
    }
    if (size > 0) {
        std::memcpy(m_pSnapshot.get(), picture.data(), static_cast<size_t>(size));
        m_nWidth.store(width);
        m_nHeight.store(height);
        m_nSnapshotFormat.store(format);
    }
    m_nSnapshotSize.store(size);
}

int32_t CQuorvel::IsPaused()
{
    return m_bPaused.load() ? 1 : 0;
}

int32_t CQuorvel::Resume()
{
    m_pCtx->m_pDemuxer->Resume();
    m_bPaused.store(false);
    m_bRebaseTicks.store(true);
    return 1;
}

namespace {

// Truncated toward zero, saturated at the ends of the int64 range (a host may seek to
// any int64, and the clock holds it as a double); NaN counts as 0.
int64_t SaturatedSeconds(double seconds)
{
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (std::isnan(seconds)) {
        return 0;
    }
    if (seconds >= kTwoTo63) {
        return std::numeric_limits<int64_t>::max();
    }
    if (seconds <= -kTwoTo63) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(seconds);
}

// value - positive, stopping at the lowest int64 instead of wrapping.
int64_t SaturatedMinus(int64_t value, int64_t positive)
{
    const int64_t lowest = std::numeric_limits<int64_t>::min();
    return value < lowest + positive ? lowest : value - positive;
}

}  // namespace

// The clock truncated toward zero, counted from the media's start time when it has one.
int64_t CQuorvel::CurrentPosition() const
{
    const int64_t clock = SaturatedSeconds(m_dLastPlayAVPTS.load());
    const int64_t startTime = m_llStartTime.load();
    return startTime > 0 ? SaturatedMinus(clock, startTime) : clock;
}

int32_t CQuorvel::GetPos(int64_t* llCurPos, int64_t* llMaxPos)
{
    if (llCurPos == nullptr || llMaxPos == nullptr) {
        return 0;
    }
    *llCurPos = CurrentPosition();
    *llMaxPos = static_cast<int64_t>(m_pCtx->m_pDemuxer->GetDuration());
    LogMessage(LOG_INFO, L"Quorvel::GetPos: llCurPos=%lld, llMaxPos=%lld",
               static_cast<long long>(*llCurPos), static_cast<long long>(*llMaxPos));
    return 1;
}

int32_t CQuorvel::SetPos(int64_t pos)
{
    FlushQueues();
    const int64_t currentPos = CurrentPosition();
    const int64_t startTime = m_llStartTime.load();
    m_dLastPlayAVPTS.store(startTime > 0
                               ? static_cast<double>(pos) + static_cast<double>(startTime)
                               : static_cast<double>(pos));
    m_pCtx->m_pDemuxer->Seek(pos, currentPos);
    RestartEndedDecoder();
    m_bRebaseTicks.store(true);
    m_lstvidep.store(0.0);
    return 1;
}

// With looping off the decoder thread ends with the input. A host that seeks after that
// expects playback from the new position, so the thread is started again to carry the
// seek out; it keeps the pause that Pause gave it.
void CQuorvel::RestartEndedDecoder()
{
    Demuxer& demuxer = *m_pCtx->m_pDemuxer;
    if (m_bOpened.load() && demuxer.HasEnded()) {
        demuxer.Restart();
    }
}

int32_t CQuorvel::IsAudioOnly()
{
    return m_pCtx->m_pDemuxer->IsAudioOnly() ? 1 : 0;
}
