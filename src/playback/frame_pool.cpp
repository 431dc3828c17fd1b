#include "playback/frame_pool.h"

#include <new>

#include "platform/memory.h"

// Every free buffer holds exactly nSize bytes: those of another size were freed when the
// size changed, or as they came back.
uint8_t* FramePool::GetBuffer(int nSize)
{
    if (nSize <= 0) {
        return nullptr;
    }
    const auto size = static_cast<size_t>(nSize);
    platform::LockGuard guard(m_cs);
    if (size != m_nLastSize) {
        m_freeBuffers.clear();
        m_nLastSize = size;
    }
    if (!m_freeBuffers.empty()) {
        m_usedBuffers.splice(m_usedBuffers.end(), m_freeBuffers, m_freeBuffers.begin());
        return m_usedBuffers.back().pData.get();
    }
    Buffer buffer;
    buffer.pData.reset(static_cast<uint8_t*>(std::calloc(size, 1)));
    if (!buffer.pData) {
        return nullptr;
    }
    buffer.nSize = size;
    platform::PrefaultForWriting(buffer.pData.get(), size);
    try {
        m_usedBuffers.push_back(std::move(buffer));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return m_usedBuffers.back().pData.get();
}

// A buffer of another size than the one asked for last is freed rather than kept.
void FramePool::ReleaseBuffer(VideoFrame& frame)
{
    platform::LockGuard guard(m_cs);
    for (auto it = m_usedBuffers.begin(); it != m_usedBuffers.end(); ++it) {
        if (it->pData.get() == frame.pData) {
            if (it->nSize == m_nLastSize)
                m_freeBuffers.splice(m_freeBuffers.end(), m_usedBuffers, it);
            else
                m_usedBuffers.erase(it);
            frame.pData = nullptr;
            return;
        }
    }
}

void FramePool::Trim()
{
    platform::LockGuard guard(m_cs);
    m_freeBuffers.clear();
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
