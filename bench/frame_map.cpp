#include "frame_map.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

extern "C" {
#include <libavutil/md5.h>
}

namespace {

std::string Md5Hex(const uint8_t* data, int size)
{
    uint8_t digest[16];
    av_md5_sum(digest, data, size);
    char hex[33];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    }
    return std::string(hex, 32);
}

// "#tb 0: 1/25" gives the time base of the pts column.
bool ParseTimeBase(const std::string& line, double* seconds)
{
    long num = 0;
    long den = 0;
    if (std::sscanf(line.c_str(), "#tb 0: %ld/%ld", &num, &den) != 2 || den == 0) {
        return false;
    }
    *seconds = static_cast<double>(num) / static_cast<double>(den);
    return true;
}

}  // namespace

FrameMap FrameMap::Load(const std::string& path)
{
    FrameMap map;
    std::ifstream in(path);
    double timeBase = 0.0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            ParseTimeBase(line, &timeBase);
            continue;
        }
        // stream, dts, pts, duration, size, hash
        std::vector<std::string> fields;
        std::stringstream row(line);
        std::string field;
        while (std::getline(row, field, ',')) {
            fields.push_back(field.substr(field.find_first_not_of(' ')));
        }
        if (fields.size() == 6 && fields[0] == "0") {
            map.m_ptsByMd5[fields[5]] = std::stod(fields[2]) * timeBase;
        }
    }
    return map;
}

std::optional<double> FrameMap::PtsOf(const uint8_t* data, int size) const
{
    auto it = m_ptsByMd5.find(Md5Hex(data, size));
    if (it == m_ptsByMd5.end()) {
        return std::nullopt;
    }
    return it->second;
}
