#ifdef _WIN32

#include "platform/file.h"

#include <cstdio>

#include <windows.h>

#include "platform/utf8.h"

namespace platform {

struct ReadOnlyFile::Handle {
    HANDLE file = INVALID_HANDLE_VALUE;
};

namespace {

ReadOnlyFile::OpenError ErrorOf(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                   error == ERROR_INVALID_NAME
               ? ReadOnlyFile::OpenError::Missing
               : ReadOnlyFile::OpenError::Unreadable;
}

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

ReadOnlyFile::ReadOnlyFile(std::unique_ptr<Handle> handle) : m_pHandle(std::move(handle)) {}

ReadOnlyFile::~ReadOnlyFile() { CloseHandle(m_pHandle->file); }

// Sharing everything lets the host delete or replace the file while it plays, as on other
// systems. A folder does not open without FILE_FLAG_BACKUP_SEMANTICS; devices, consoles
// and pipes open but are not disk files.
std::unique_ptr<ReadOnlyFile> ReadOnlyFile::Open(const std::wstring& path, OpenError* error)
{
    // The path must convert to UTF-8 as on other systems: one with a lone surrogate is
    // refused rather than opened under a name the host did not mean.
    std::string utf8;
    if (!WideToUtf8(path, utf8) || utf8.empty()) {
        *error = OpenError::Missing;
        return nullptr;
    }
    HANDLE file = CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD reason = GetLastError();
        *error = IsFolder(path) ? OpenError::NotRegular : ErrorOf(reason);
        return nullptr;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        *error = OpenError::NotRegular;
        return nullptr;
    }
    auto handle = std::make_unique<Handle>();
    handle->file = file;
    *error = OpenError::None;
    return std::unique_ptr<ReadOnlyFile>(new ReadOnlyFile(std::move(handle)));
}

int32_t ReadOnlyFile::Read(uint8_t* buffer, int32_t size)
{
    DWORD got = 0;
    if (size < 0 || !ReadFile(m_pHandle->file, buffer, static_cast<DWORD>(size), &got, nullptr))
        return -1;
    return static_cast<int32_t>(got);
}

int64_t ReadOnlyFile::Seek(int64_t offset, int whence)
{
    const DWORD method = whence == SEEK_CUR   ? FILE_CURRENT
                         : whence == SEEK_END ? FILE_END
                                              : FILE_BEGIN;
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(m_pHandle->file, distance, &position, method)) return -1;
    return position.QuadPart;
}

int64_t ReadOnlyFile::Size()
{
    LARGE_INTEGER size{};
    return GetFileSizeEx(m_pHandle->file, &size) ? size.QuadPart : -1;
}

}  // namespace platform

#endif  // _WIN32
