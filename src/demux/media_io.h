// The I/O context FFmpeg reads an input through: the engine's own, on a ByteSource, so
// that FFmpeg never opens a path, URL or protocol itself. Every read and seek first asks
// the interrupt callback, so a stop or a deadline ends one that is about to begin.
//
// Threads: whichever thread uses the format context it belongs to (the control thread
// while the input opens, then the decoder thread).
#pragma once

#include <memory>

#include "demux/byte_source.h"
#include "demux/ffmpeg_ptr.h"

namespace demux {

class MediaIo {
public:
    // Null when memory runs out.
    static std::unique_ptr<MediaIo> Create(std::unique_ptr<ByteSource> source,
                                           AVIOInterruptCB interrupt);
    ~MediaIo();
    MediaIo(const MediaIo&) = delete;
    MediaIo& operator=(const MediaIo&) = delete;

    AVIOContext* Context() const { return m_pContext; }
    // The source, for another I/O context; this one reads nothing more.
    std::unique_ptr<ByteSource> TakeSource();
    // Seeks the source refused so far: a byte seek's refusal does not always reach the
    // caller of the library.
    uint64_t RefusedSeeks() const { return m_nRefusedSeeks; }

private:
    MediaIo(std::unique_ptr<ByteSource> source, AVIOInterruptCB interrupt);
    static int Read(void* io, uint8_t* buffer, int size);
    static int64_t Seek(void* io, int64_t offset, int whence);
    bool Interrupted() const;

    std::unique_ptr<ByteSource> m_pSource;
    AVIOInterruptCB m_interrupt;
    AVIOContext* m_pContext = nullptr;  // owned, with its buffer
    uint64_t m_nRefusedSeeks = 0;
};

}  // namespace demux
