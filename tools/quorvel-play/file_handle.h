// A C stdio file owned by a unique_ptr, and an opener that names the file on failure.
#ifndef QUORVEL_PLAY_FILE_HANDLE_H
#define QUORVEL_PLAY_FILE_HANDLE_H

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace qplay {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens path for writing (binary, truncated). Throws std::runtime_error naming the file.
inline FileHandle OpenForWriting(const std::string& path)
{
    FileHandle file(std::fopen(path.c_str(), "wb"));
    if (!file) throw std::runtime_error(path + ": cannot open for writing");
    return file;
}

}  // namespace qplay

#endif
