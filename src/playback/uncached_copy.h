// Copies a picture into a pool buffer without pulling the buffer into the cache.
//
// Any thread. A pool buffer is written once by the decoder thread and read once, much
// later, by the render clock thread; by then some sixty other pictures have passed
// through. Ordinary stores would first read each destination line from memory and then
// evict the decoder's reference pictures to hold it, so the copy writes past the cache.
// The stores are complete, and visible to the thread that takes the buffer through a
// queue lock, when the call returns.
#pragma once

#include <cstddef>
#include <cstdint>

namespace playback {

void CopyUncached(uint8_t* pDst, const uint8_t* pSrc, size_t nBytes);

}  // namespace playback
