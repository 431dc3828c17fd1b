#include "playback/video_model.h"

#include <algorithm>
#include <limits>

#include "diag/log.h"
#include "platform/time_source.h"

// Stopping here is only a safety net: the owner stops the clock first, and then this
// does nothing. Without it a running clock would outlive the buffer it writes to.
// A clock thread that could not be ended may still write to the buffer: it is leaked.
CVideoModel::~CVideoModel()
{
    Stop();
    if (Abandoned()) static_cast<void>(m_pFrameBuffer.release());
}

// A header may declare any size, so the product is taken in 64 bits. A size of 0, or one
// whose buffer cannot be had, starts with an empty buffer: a bogus declared size must
// not keep the clock from running.
void CVideoModel::SetVideoSize(int width, int height)
{
    if (Abandoned()) return;
    FreeBuffers();
    m_nWidth = width;
    m_nHeight = height;
    int64_t bytes = std::max<int64_t>(int64_t{width} * height * 3, 0);
    if (bytes > std::numeric_limits<int>::max() || !AllocateFrameBuffer(bytes)) {
        LogMessage(LOG_ERROR, L"CVideoModel::SetVideoSize: no buffer for %dx%d", width, height);
        bytes = 0;
        if (!AllocateFrameBuffer(0)) return;
    }
    m_nFrameBufferSize = static_cast<int>(bytes);
    m_bBufferUntouched = true;
}

bool CVideoModel::AllocateFrameBuffer(int64_t bytes)
{
    const auto allocated = static_cast<size_t>(std::max<int64_t>(bytes, 1));
    m_pFrameBuffer.reset(static_cast<uint8_t*>(std::calloc(allocated, 1)));
    return m_pFrameBuffer != nullptr;
}

void CVideoModel::FreeBuffers()
{
    if (Abandoned()) return;  // the clock thread left running may still write to it
    m_pFrameBuffer.reset();
    m_nFrameBufferSize = 0;
}

int CVideoModel::Start()
{
    if (!m_pFrameBuffer) return -1;
    return StartWorker([this] {
        if (!m_bBufferUntouched) std::fill_n(m_pFrameBuffer.get(), m_nFrameBufferSize, uint8_t{0});
        m_bBufferUntouched = false;
    });
}

int CVideoModel::Stop()
{
    if (!StopWorker())
        LogMessage(LOG_ERROR,
                   L"CVideoModel::Stop: the clock thread did not end and is left "
                   L"running; its buffer is kept");
    return 0;
}

uint32_t CVideoModel::Run()
{
    while (!m_bStop.load()) {
        platform::Sleep(CLOCK_TICK_MS);
        VideoModelInterface* owner = m_pOwner.load();
        if (owner == nullptr) continue;
        bool bFlag = false;
        int nCount = 0;
        owner->OnRenderGetVideoFrame(m_pFrameBuffer.get(), m_nFrameBufferSize, &bFlag, &nCount,
                                     &m_nWidth, &m_nHeight);
    }
    return 0;
}
