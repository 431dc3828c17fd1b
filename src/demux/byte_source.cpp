#include "demux/byte_source.h"

#include "platform/file.h"

namespace demux {

namespace {

class FileSource : public ByteSource {
public:
    explicit FileSource(std::unique_ptr<platform::ReadOnlyFile> file) : m_pFile(std::move(file)) {}
    int32_t Read(uint8_t* buffer, int32_t size) override { return m_pFile->Read(buffer, size); }
    int64_t Seek(int64_t offset, int whence) override { return m_pFile->Seek(offset, whence); }
    int64_t Size() override { return m_pFile->Size(); }

private:
    std::unique_ptr<platform::ReadOnlyFile> m_pFile;
};

const wchar_t* Reason(platform::ReadOnlyFile::OpenError error)
{
    switch (error) {
    case platform::ReadOnlyFile::OpenError::Missing: return L"no such file";
    case platform::ReadOnlyFile::OpenError::NotRegular:
        return L"not a regular file (a folder, device, pipe or socket)";
    default: return L"cannot be read";
    }
}

bool IsSchemeCharacter(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'+' || c == L'-' || c == L'.';
}

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::wstring& path, std::wstring* whyNot)
{
    platform::ReadOnlyFile::OpenError error = platform::ReadOnlyFile::OpenError::None;
    std::unique_ptr<platform::ReadOnlyFile> file = platform::ReadOnlyFile::Open(path, &error);
    if (!file) {
        *whyNot = Reason(error);
        return nullptr;
    }
    return std::make_unique<FileSource>(std::move(file));
}

// FFmpeg also takes options after the scheme, up to a colon ("subfile,,start,0,,:...").
bool LooksLikeUrl(const std::wstring& path)
{
    const bool letterFirst = !path.empty() && ((path[0] >= L'a' && path[0] <= L'z') ||
                                               (path[0] >= L'A' && path[0] <= L'Z'));
    if (!letterFirst) return false;
    size_t end = 1;
    while (end < path.size() && IsSchemeCharacter(path[end])) ++end;
    if (end < 2 || end == path.size()) return false;
    return path[end] == L':' || (path[end] == L',' && path.find(L':', end) != std::wstring::npos);
}

}  // namespace demux
