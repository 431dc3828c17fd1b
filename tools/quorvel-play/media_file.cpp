#include "media_file.h"

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "text.h"

namespace qplay {

Instance MakeInstance(const std::string& path, MediaFileInterface* events)
{
    const std::wstring wide = Utf8ToWide(path);
    Instance media(CreateInstance(wide.c_str(), events));
    if (!media) throw std::runtime_error(path + ": the library could not create an instance");
    return media;
}

std::string CheckPath(const std::string& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) return "no such file";
    if (std::filesystem::is_directory(status)) return "is a directory, not a media file";
    if (!std::filesystem::is_regular_file(status)) return "not a regular file";
    return {};
}

std::string CodecName(const char (&field)[32])
{
    return std::string(field, strnlen(field, sizeof field));
}

}  // namespace qplay
