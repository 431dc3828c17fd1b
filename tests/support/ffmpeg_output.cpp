#include "support/ffmpeg_output.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/media_path.h"

namespace test {

namespace {

const char* OutputDir()
{
    const char* dir = std::getenv("QUORVEL_FFMPEG_OUTPUT_DIR");
    return dir != nullptr && *dir != '\0' ? dir : nullptr;
}

#ifdef _WIN32

std::string Recorded(const std::string& media, const std::string& name)
{
    const char* dir = OutputDir();
    std::ifstream file;
    if (dir != nullptr) file.open(std::string(dir) + "/" + name, std::ios::binary);
    if (!file) {
        ADD_FAILURE() << "no recorded output of the ffmpeg program for " << media << " (" << name
                      << "): a Linux run of the suite with QUORVEL_FFMPEG_OUTPUT_DIR set makes it";
        return {};
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

#else

std::string Run(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    pclose(pipe);
    return output;
}

// Written aside and renamed, so a reader never sees half an output.
void Record(const std::string& name, const std::string& output)
{
    const char* dir = OutputDir();
    if (dir == nullptr) return;
    std::filesystem::create_directories(dir);
    const std::string path = std::string(dir) + "/" + name;
    const std::string part = path + ".part";
    std::ofstream(part, std::ios::binary).write(output.data(), std::streamsize(output.size()));
    std::filesystem::rename(part, path);
}

#endif

}  // namespace

std::string FfmpegOutputName(const std::string& media, const std::string& outputOptions,
                             const std::string& inputOptions)
{
    // FNV-1a: the same on every platform and pointer size, unlike std::hash.
    uint64_t hash = 14695981039346656037ull;
    for (const std::string& part : {media, inputOptions, outputOptions}) {
        for (unsigned char c : part + '\n') hash = (hash ^ c) * 1099511628211ull;
    }
    std::string name;
    for (char c : media) name += std::isalnum(static_cast<unsigned char>(c)) || c == '.' ? c : '_';
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return name + "-" + hex;
}

std::string FfmpegOutput(const std::string& media, const std::string& outputOptions,
                         const std::string& inputOptions)
{
    const std::string name = FfmpegOutputName(media, outputOptions, inputOptions);
#ifdef _WIN32
    return Recorded(media, name);
#else
    const std::string output = Run("ffmpeg -nostdin -v error " + inputOptions + " -i '" +
                                   MediaPath(media) + "' " + outputOptions);
    Record(name, output);
    return output;
#endif
}

}  // namespace test
