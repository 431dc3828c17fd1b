#include "demux/media_io.h"

#include <cstdio>

namespace demux {

namespace {

constexpr int IO_BUFFER_BYTES = 64 * 1024;

}  // namespace

MediaIo::MediaIo(std::unique_ptr<ByteSource> source, AVIOInterruptCB interrupt)
    : m_pSource(std::move(source)), m_interrupt(interrupt)
{
}

std::unique_ptr<MediaIo> MediaIo::Create(std::unique_ptr<ByteSource> source,
                                         AVIOInterruptCB interrupt)
{
    std::unique_ptr<MediaIo> io(new MediaIo(std::move(source), interrupt));
    auto* buffer = static_cast<uint8_t*>(av_malloc(IO_BUFFER_BYTES));
    if (!buffer) return nullptr;
    io->m_pContext = avio_alloc_context(buffer, IO_BUFFER_BYTES, 0, io.get(), &MediaIo::Read,
                                        nullptr, &MediaIo::Seek);
    if (!io->m_pContext) {
        av_free(buffer);
        return nullptr;
    }
    return io;
}

// The context may have replaced its buffer with one of its own.
MediaIo::~MediaIo()
{
    if (!m_pContext) return;
    av_freep(&m_pContext->buffer);
    avio_context_free(&m_pContext);
}

std::unique_ptr<ByteSource> MediaIo::TakeSource() { return std::move(m_pSource); }

bool MediaIo::Interrupted() const
{
    return m_interrupt.callback && m_interrupt.callback(m_interrupt.opaque) != 0;
}

int MediaIo::Read(void* io, uint8_t* buffer, int size)
{
    auto* self = static_cast<MediaIo*>(io);
    if (self->Interrupted()) return AVERROR_EXIT;
    if (!self->m_pSource) return AVERROR_EOF;
    const int32_t got = self->m_pSource->Read(buffer, size);
    if (got < 0) return AVERROR(EIO);
    return got == 0 ? AVERROR_EOF : got;
}

int64_t MediaIo::Seek(void* io, int64_t offset, int whence)
{
    auto* self = static_cast<MediaIo*>(io);
    if (self->Interrupted()) return AVERROR_EXIT;
    if (!self->m_pSource) return AVERROR(EIO);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) {
        const int64_t size = self->m_pSource->Size();
        return size >= 0 ? size : AVERROR(ENOSYS);
    }
    const int64_t position = self->m_pSource->Seek(offset, whence);
    if (position >= 0) return position;
    ++self->m_nRefusedSeeks;
    return AVERROR(EIO);
}

}  // namespace demux
