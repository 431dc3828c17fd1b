// Writes delivered I420 pictures as YUV4MPEG2. A y4m stream has one picture size, so
// when the size changes the writer closes the current file and starts the next one,
// numbered: out.y4m, out-2.y4m, out-3.y4m, ... The frame rate field is nominal (25 fps):
// pictures are written in delivery order, one per delivery.
//
// Threads: Write is called only from the video sink, i.e. on the engine's render-clock
// thread under its notification lock; Close and Failed after the instance is closed. No
// lock of its own; failed_ is atomic because Write must never throw into the engine.
#ifndef QUORVEL_PLAY_Y4M_WRITER_H
#define QUORVEL_PLAY_Y4M_WRITER_H

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "file_handle.h"

namespace qplay {

class Y4mWriter {
public:
    // Nothing is created until the first picture.
    explicit Y4mWriter(std::string path);

    // data: Y, then U, then V, chroma planes of (width/2) x (height/2), rows without
    // gaps. An odd size has its chroma padded by repeating the last column and row, as
    // y4m rounds chroma up. False when size is too small for the picture (nothing
    // written) or a file cannot be written (then Failed() and nothing more is written).
    bool Write(const uint8_t* data, int32_t size, int32_t width, int32_t height);

    void Close();
    bool Failed() const { return failed_.load(); }

    // The files written so far, in order.
    const std::vector<std::string>& Files() const { return files_; }

private:
    bool StartFile(int32_t width, int32_t height);
    void WriteChroma(const uint8_t* plane, int32_t width, int32_t height);

    const std::string path_;
    FileHandle file_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    std::vector<std::string> files_;
    std::vector<uint8_t> row_;
    std::atomic<bool> failed_{false};
};

// The name of the n-th file (1-based) of a size-changing stream.
std::string NumberedPath(const std::string& path, size_t n);

}  // namespace qplay

#endif
