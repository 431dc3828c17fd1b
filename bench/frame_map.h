// Which picture the engine delivered: FFmpeg's own decode of the clip (a framemd5 file
// written by make_clips.sh) maps the md5 of each picture to its pts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

class FrameMap {
public:
    // Empty when the file cannot be read.
    static FrameMap Load(const std::string& path);

    bool Empty() const { return m_ptsByMd5.empty(); }
    size_t Size() const { return m_ptsByMd5.size(); }
    // Seconds; nothing for a picture FFmpeg did not produce.
    std::optional<double> PtsOf(const uint8_t* data, int size) const;

private:
    std::unordered_map<std::string, double> m_ptsByMd5;
};
