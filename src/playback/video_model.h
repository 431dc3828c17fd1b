// The render clock: one thread that sleeps 10 ms and calls its owner with the frame
// buffer, over and over. The clock knows nothing of time stamps; the owner decides on
// each call whether a picture is due.
//
// Threads: SetOwner, SetVideoSize, FreeBuffers, Start, Stop and IsRunning are called from
// the instance's control thread; SetVideoSize and FreeBuffers only while the clock is
// stopped. The tick loop runs on the clock thread (one step above normal priority) and
// reads m_pOwner, m_bStop and the buffer fields; the owner's callback may overwrite
// m_nWidth and m_nHeight through the pointers it is given. The buffer fields belong to
// the control thread while the clock is stopped and to the clock thread while it runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/stoppable_worker.h"

class VideoModelInterface {
public:
    virtual ~VideoModelInterface() = default;
    // Clock thread. pBuffer holds nBufferSize bytes (width x height x 3). pFlag and
    // pCount are reset by the clock before each call and not read after it. pWidth and
    // pHeight are in/out: the owner may store the size of the picture it delivered. The
    // result is ignored.
    virtual int OnRenderGetVideoFrame(uint8_t* pBuffer, int nBufferSize, bool* pFlag, int* pCount,
                                      int* pWidth, int* pHeight) = 0;
};

class CVideoModel : public platform::StoppableWorker {
public:
    static constexpr uint32_t CLOCK_TICK_MS = 10;

    CVideoModel() : StoppableWorker(platform::Priority::AboveNormal) {}
    // Releases the buffer; the owner stops the clock first.
    ~CVideoModel() override;

    void SetOwner(VideoModelInterface* owner) { m_pOwner.store(owner); }
    // Frees the old buffer, then allocates width x height x 3 bytes. A size whose buffer
    // cannot be had (beyond an int, or out of memory) is logged and gets an empty buffer.
    void SetVideoSize(int width, int height);
    void FreeBuffers();
    // 0 when the clock runs (now or already); -1 without a buffer or when the thread
    // cannot be created. Zero-fills the buffer when it starts a thread.
    int Start();
    // Always 0: bounded wait of WORKER_STOP_WAIT_MS, then forced end. A clock thread
    // that even the forced end leaves running is abandoned: its buffer is kept, and no
    // clock is started again.
    int Stop();

private:
    uint32_t Run() override;  // the tick loop
    bool AllocateFrameBuffer(int64_t bytes);  // zeroed; at least 1 byte

    struct FreeDeleter {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    // calloc'd: a fresh buffer is zero without touching its pages, so a picture that
    // fills half of it leaves the rest unresident.
    std::unique_ptr<uint8_t[], FreeDeleter> m_pFrameBuffer;
    bool m_bBufferUntouched = false;  // zero since SetVideoSize; no tick has had it
    int m_nFrameBufferSize = 0;  // bytes; 0 without a buffer
    int m_nWidth = 0;  // pixels, in/out of each call
    int m_nHeight = 0;  // pixels, in/out of each call
    std::atomic<VideoModelInterface*> m_pOwner{nullptr};
};
