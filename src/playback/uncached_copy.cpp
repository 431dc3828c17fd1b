#include "playback/uncached_copy.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace playback {

#if defined(__SSE2__)

void CopyUncached(uint8_t* pDst, const uint8_t* pSrc, size_t nBytes)
{
    constexpr size_t kLine = 64;
    const size_t misalignment = reinterpret_cast<uintptr_t>(pDst) % sizeof(__m128i);
    const size_t head = misalignment == 0 ? 0 : sizeof(__m128i) - misalignment;
    if (nBytes < head + kLine) {
        std::memcpy(pDst, pSrc, nBytes);
        return;
    }
    std::memcpy(pDst, pSrc, head);
    size_t done = head;
    for (; done + kLine <= nBytes; done += kLine) {
        const auto* src = reinterpret_cast<const __m128i*>(pSrc + done);
        auto* dst = reinterpret_cast<__m128i*>(pDst + done);
        const __m128i a = _mm_loadu_si128(src);
        const __m128i b = _mm_loadu_si128(src + 1);
        const __m128i c = _mm_loadu_si128(src + 2);
        const __m128i d = _mm_loadu_si128(src + 3);
        _mm_stream_si128(dst, a);
        _mm_stream_si128(dst + 1, b);
        _mm_stream_si128(dst + 2, c);
        _mm_stream_si128(dst + 3, d);
    }
    std::memcpy(pDst + done, pSrc + done, nBytes - done);
    // Streaming stores are weakly ordered; the fence puts them before the queue push.
    _mm_sfence();
}

#else

void CopyUncached(uint8_t* pDst, const uint8_t* pSrc, size_t nBytes)
{
    std::memcpy(pDst, pSrc, nBytes);
}

#endif

}  // namespace playback
