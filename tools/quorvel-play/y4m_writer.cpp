#include "y4m_writer.h"

#include <algorithm>

namespace qplay {

std::string NumberedPath(const std::string& path, size_t n)
{
    if (n <= 1) return path;
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    const bool has_extension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const auto cut = has_extension ? dot : path.size();
    return path.substr(0, cut) + "-" + std::to_string(n) + path.substr(cut);
}

Y4mWriter::Y4mWriter(std::string path) : path_(std::move(path)) {}

bool Y4mWriter::Write(const uint8_t* data, int32_t size, int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0) return false;
    const int64_t luma = int64_t{width} * height;
    const int64_t chroma = int64_t{width / 2} * (height / 2);
    if (failed_.load() || data == nullptr || size < luma + 2 * chroma) return false;
    if ((!file_ || width != width_ || height != height_) && !StartFile(width, height)) return false;
    std::fputs("FRAME\n", file_.get());
    std::fwrite(data, 1, static_cast<size_t>(luma), file_.get());
    WriteChroma(data + luma, width / 2, height / 2);
    WriteChroma(data + luma + chroma, width / 2, height / 2);
    if (std::ferror(file_.get())) failed_.store(true);
    return !failed_.load();
}

void Y4mWriter::Close() { file_.reset(); }

bool Y4mWriter::StartFile(int32_t width, int32_t height)
{
    files_.push_back(NumberedPath(path_, files_.size() + 1));
    file_.reset(std::fopen(files_.back().c_str(), "wb"));
    if (!file_) {
        failed_.store(true);
        return false;
    }
    width_ = width;
    height_ = height;
    std::fprintf(file_.get(), "YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C420jpeg\n", width, height);
    return true;
}

// Writes a width x height plane padded to the rounded-up chroma size of the picture.
void Y4mWriter::WriteChroma(const uint8_t* plane, int32_t width, int32_t height)
{
    const int32_t out_width = (width_ + 1) / 2;
    const int32_t out_height = (height_ + 1) / 2;
    row_.assign(static_cast<size_t>(out_width), 128);
    for (int32_t y = 0; y < out_height; ++y) {
        const int32_t source_row = y < height ? y : height - 1;
        if (source_row >= 0 && width > 0) {
            const uint8_t* src = plane + int64_t{source_row} * width;
            std::copy(src, src + width, row_.begin());
            std::fill(row_.begin() + width, row_.end(), src[width - 1]);
        }
        std::fwrite(row_.data(), 1, row_.size(), file_.get());
    }
}

}  // namespace qplay
