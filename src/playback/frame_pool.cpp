#include "playback/frame_pool.h"

#include <new>

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
    try {
        m_usedBuffers.back().resize(static_cast<size_t>(nSize));
    } catch (const std::bad_alloc&) {
        m_usedBuffers.pop_back();
        return nullptr;
    }
    return m_usedBuffers.back().data();
}

void FramePool::ReleaseBuffer(VideoFrame& frame)
{
    platform::LockGuard guard(m_cs);
    for (auto it = m_usedBuffers.begin(); it != m_usedBuffers.end(); ++it) {
        if (it->data() == frame.pData) {
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
