// Owns one engine instance for the main thread: CreateInstance on construction,
// DestroyInstance on destruction. Also checks a path before the engine sees it, so that
// a missing file or a folder gets a plain message.
#ifndef QUORVEL_PLAY_MEDIA_FILE_H
#define QUORVEL_PLAY_MEDIA_FILE_H

#include <memory>
#include <string>

#include <quorvel.h>

namespace qplay {

struct InstanceDeleter {
    void operator()(IMediaFile* media) const { DestroyInstance(media); }
};
using Instance = std::unique_ptr<IMediaFile, InstanceDeleter>;

// Throws std::runtime_error when no instance can be had.
Instance MakeInstance(const std::string& path, MediaFileInterface* events);

// Empty when path names an existing regular file, else what is wrong with it.
std::string CheckPath(const std::string& path);

// The zero-filled, possibly unterminated codec name field as a string.
std::string CodecName(const char (&field)[32]);

}  // namespace qplay

#endif
