// Recycles picture buffers so that steady playback allocates nothing per picture.
//
// Threads: GetBuffer on the decoder thread; ReleaseBuffer on the render clock, control and
// host audio threads (through the queue operations), sometimes while the caller holds the
// video queue lock (that nesting, video lock then m_cs, is the only one allowed).
// m_cs guards both lists. A lent buffer is known by its data pointer. Free buffers are
// kept for the next pictures of the same size; when the size asked for changes, those of
// another size are freed, and Trim frees them all, so a picture size that grows once, or
// a file played before, does not keep its memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <list>
#include <memory>

#include "platform/lock.h"
#include "platform/thread_annotations.h"
#include "playback/frames.h"

namespace quorvel {
struct PlaybackContext;
}

class FramePool {
public:
    FramePool() = default;
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;

    // A buffer of exactly nSize bytes, reusing the oldest free one; a new one is zero. Null
    // when memory runs out or nSize is not positive (the pool is unchanged then).
    uint8_t* GetBuffer(int nSize);
    // Takes back the buffer frame.pData points to and nulls frame.pData. A pointer the
    // pool did not lend changes nothing.
    void ReleaseBuffer(VideoFrame& frame);
    // Frees every buffer not lent out.
    void Trim();

    size_t UsedCount();
    size_t FreeCount();

private:
    // The instance's lock record names m_cs in its lock order (its video lock first).
    friend struct quorvel::PlaybackContext;

    struct FreeStorage {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    // Storage comes from calloc, whose fresh pages are zero without being written: a
    // zero-filled vector would write every page of every new buffer once more, which
    // showed as a tenth of the decoder thread while the queue fills. The pages are then
    // made resident in one call rather than faulted in one by one by the packer.
    struct Buffer {
        std::unique_ptr<uint8_t[], FreeStorage> pData;
        size_t nSize = 0;  // bytes
    };

    platform::RecursiveLock m_cs;
    // Guarded by m_cs. std::list lets buffers move between the lists by splicing, which
    // cannot fail.
    std::list<Buffer> m_usedBuffers GUARDED_BY(m_cs);
    std::list<Buffer> m_freeBuffers GUARDED_BY(m_cs);
    size_t m_nLastSize GUARDED_BY(m_cs) = 0;  // bytes, of the last buffer asked for
};
