// Recycles picture buffers so that steady playback allocates nothing per picture.
//
// Threads: GetBuffer on the decoder thread; ReleaseBuffer on the render clock, control and
// host audio threads (through the queue operations), sometimes while the caller holds the
// video queue lock (that nesting, video lock then m_cs, is the only one allowed).
// m_cs guards both lists. A lent buffer is known by its data pointer. No buffer is freed
// before the pool is destroyed, so the lists together hold as many buffers as were ever
// lent at the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <vector>

#include "platform/lock.h"
#include "platform/thread_annotations.h"
#include "playback/frames.h"

class FramePool {
public:
    FramePool() = default;
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;

    // A buffer of exactly nSize bytes, reusing the oldest free one; null when memory runs
    // out or nSize is not positive (the pool is unchanged then).
    uint8_t* GetBuffer(int nSize);
    // Takes back the buffer frame.pData points to and nulls frame.pData. A pointer the
    // pool did not lend changes nothing.
    void ReleaseBuffer(VideoFrame& frame);

    size_t UsedCount();
    size_t FreeCount();

private:
    using Buffer = std::vector<uint8_t>;

    platform::RecursiveLock m_cs;
    // std::list lets buffers move between the lists by splicing, which cannot fail.
    std::list<Buffer> m_usedBuffers GUARDED_BY(m_cs);
    std::list<Buffer> m_freeBuffers GUARDED_BY(m_cs);
};
