#include "playback/frame_pool.h"

#include <cstring>
#include <new>

#include "platform/memory.h"

uint8_t* FramePool::GetBuffer(int nSize)
{
    if (nSize <= 0) {
        return nullptr;
    }
    platform::LockGuard guard(m_cs);
    if (m_freeBuffers.empty()) {
        try {
            m_usedBuffers.emplace_back();
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    } else {
        m_usedBuffers.splice(m_usedBuffers.end(), m_freeBuffers, m_freeBuffers.begin());
    }
    Buffer& buffer = m_usedBuffers.back();
    if (!Resize(buffer, static_cast<size_t>(nSize))) {
        m_usedBuffers.pop_back();
        return nullptr;
    }
    return buffer.pData.get();
}

// A buffer keeps its storage when it is large enough; bytes it did not hold before are
// cleared, since they may hold an earlier, larger picture.
bool FramePool::Resize(Buffer& buffer, size_t nSize)
{
    if (nSize > buffer.nCapacity) {
        buffer.pData.reset(static_cast<uint8_t*>(std::calloc(nSize, 1)));
        if (!buffer.pData) {
            return false;
        }
        buffer.nCapacity = nSize;
        platform::PrefaultForWriting(buffer.pData.get(), nSize);
    } else if (nSize > buffer.nSize) {
        std::memset(buffer.pData.get() + buffer.nSize, 0, nSize - buffer.nSize);
    }
    buffer.nSize = nSize;
    return true;
}

void FramePool::ReleaseBuffer(VideoFrame& frame)
{
    platform::LockGuard guard(m_cs);
    for (auto it = m_usedBuffers.begin(); it != m_usedBuffers.end(); ++it) {
        if (it->pData.get() == frame.pData) {
            m_freeBuffers.splice(m_freeBuffers.end(), m_usedBuffers, it);
            frame.pData = nullptr;
            return;
        }
    }
}

size_t FramePool::UsedCount()
{
    platform::LockGuard guard(m_cs);
    return m_usedBuffers.size();
}

size_t FramePool::FreeCount()
{
    platform::LockGuard guard(m_cs);
    return m_freeBuffers.size();
}
