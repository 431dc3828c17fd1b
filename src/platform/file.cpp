#ifndef _WIN32

#include "platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/utf8.h"

namespace platform {

struct ReadOnlyFile::Handle {
    int fd = -1;
};

namespace {

// A socket cannot be opened at all (ENXIO); a folder or a device opens and is refused
// once its kind is known.
ReadOnlyFile::OpenError ErrorOf(int error)
{
    if (error == ENOENT || error == ENOTDIR) return ReadOnlyFile::OpenError::Missing;
    if (error == ENXIO || error == ENODEV) return ReadOnlyFile::OpenError::NotRegular;
    return ReadOnlyFile::OpenError::Unreadable;
}

}  // namespace

ReadOnlyFile::ReadOnlyFile(std::unique_ptr<Handle> handle) : m_pHandle(std::move(handle)) {}

ReadOnlyFile::~ReadOnlyFile() { close(m_pHandle->fd); }

// O_NONBLOCK keeps the open of a pipe without a writer from waiting; it is taken off again
// once the file is known to be a regular one, whose reads it does not change anyway.
std::unique_ptr<ReadOnlyFile> ReadOnlyFile::Open(const std::wstring& path, OpenError* error)
{
    std::string utf8;
    if (!WideToUtf8(path, utf8) || utf8.empty()) {
        *error = OpenError::Missing;
        return nullptr;
    }
    const int fd = open(utf8.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = ErrorOf(errno);
        return nullptr;
    }
    auto handle = std::make_unique<Handle>();
    handle->fd = fd;
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *error = OpenError::NotRegular;
        close(fd);
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    *error = OpenError::None;
    return std::unique_ptr<ReadOnlyFile>(new ReadOnlyFile(std::move(handle)));
}

int32_t ReadOnlyFile::Read(uint8_t* buffer, int32_t size)
{
    ssize_t got = 0;
    do {
        got = read(m_pHandle->fd, buffer, static_cast<size_t>(size));
    } while (got < 0 && errno == EINTR);
    return got < 0 ? -1 : static_cast<int32_t>(got);
}

int64_t ReadOnlyFile::Seek(int64_t offset, int whence)
{
    const off_t position = lseek(m_pHandle->fd, static_cast<off_t>(offset), whence);
    return position < 0 ? -1 : static_cast<int64_t>(position);
}

int64_t ReadOnlyFile::Size()
{
    struct stat status {};
    return fstat(m_pHandle->fd, &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
}

}  // namespace platform

#endif  // _WIN32
