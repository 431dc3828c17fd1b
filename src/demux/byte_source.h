// The bytes of an input as the demuxer reads them. The engine reads local files only
// (FileSource); tests stand in sources that stall or refuse to seek.
//
// Threads: one at a time (the control thread while it opens, then the decoder thread).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {
class ReadOnlyFile;
}

namespace demux {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Bytes read (at most size), 0 at the end, -1 on an error.
    virtual int32_t Read(uint8_t* buffer, int32_t size) = 0;
    // The new position (bytes) or -1; whence is SEEK_SET, SEEK_CUR or SEEK_END.
    virtual int64_t Seek(int64_t offset, int whence) = 0;
    // Bytes, or -1 when unknown.
    virtual int64_t Size() = 0;
};

// Opens the source a path names; null, with why it cannot be read (a log text), when none.
using SourceOpener =
    std::function<std::unique_ptr<ByteSource>(const std::wstring& path, std::wstring* whyNot)>;

// The regular file at path; folders, devices, pipes and sockets are refused.
std::unique_ptr<ByteSource> OpenFileSource(const std::wstring& path, std::wstring* whyNot);

// Whether path has the form of a URL or of FFmpeg's stream names (http:, pipe:, concat:,
// file:, ...): a scheme of two characters or more before a colon. A drive letter (C:) is
// one character.
bool LooksLikeUrl(const std::wstring& path);

}  // namespace demux
