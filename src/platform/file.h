// A media file opened for reading by its path, as the engine opens every input: only a
// regular file is accepted. Devices, folders, sockets and pipes are refused as they are
// opened, without waiting for a writer (a pipe's open would block until one came).
//
// Threads: one thread at a time (the control thread while the decoder thread is stopped,
// the decoder thread while it runs).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class ReadOnlyFile {
public:
    enum class OpenError {
        None,
        Missing,  // no such file (or a folder on the way is missing)
        NotRegular,  // a folder, device, pipe or socket
        Unreadable,  // permissions, or any other failure of the system
    };

    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Null, with the reason in *error, when path names no regular file that can be read.
    static std::unique_ptr<ReadOnlyFile> Open(const std::wstring& path, OpenError* error);

    // Bytes read into buffer (at most size), 0 at the end of the file, -1 on an error.
    int32_t Read(uint8_t* buffer, int32_t size);
    // The new position (bytes), or -1. whence is SEEK_SET, SEEK_CUR or SEEK_END.
    int64_t Seek(int64_t offset, int whence);
    // Bytes, or -1 when the system cannot tell.
    int64_t Size();

private:
    struct Handle;
    explicit ReadOnlyFile(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> m_pHandle;
};

}  // namespace platform
