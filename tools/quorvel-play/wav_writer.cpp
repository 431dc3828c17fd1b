#include "wav_writer.h"

namespace qplay {
namespace {

constexpr uint32_t HEADER_BYTES = 44;

void PutLe(std::FILE* file, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((value >> (8 * i)) & 0xFF), file);
}

}  // namespace

WavWriter::WavWriter(const std::string& path) : file_(OpenForWriting(path)) { WriteHeader(); }

WavWriter::~WavWriter() { Close(); }

bool WavWriter::Write(const uint8_t* pcm, int32_t bytes, int32_t rate, int32_t channels)
{
    if (!file_ || failed_.load() || bytes <= 0) return false;
    if (rate_ == 0) {
        rate_ = rate;
        channels_ = channels;
    }
    if (rate != rate_ || channels != channels_) return false;
    std::fwrite(pcm, 1, static_cast<size_t>(bytes), file_.get());
    data_bytes_ += static_cast<uint32_t>(bytes);
    if (std::ferror(file_.get())) failed_.store(true);
    return !failed_.load();
}

void WavWriter::Close()
{
    if (!file_) return;
    std::fseek(file_.get(), 0, SEEK_SET);
    WriteHeader();
    file_.reset();
}

void WavWriter::WriteHeader()
{
    const uint32_t rate = rate_ > 0 ? static_cast<uint32_t>(rate_) : 44100;
    const uint32_t channels = channels_ > 0 ? static_cast<uint32_t>(channels_) : 2;
    std::FILE* f = file_.get();
    std::fputs("RIFF", f);
    PutLe(f, HEADER_BYTES - 8 + data_bytes_, 4);
    std::fputs("WAVEfmt ", f);
    PutLe(f, 16, 4);  // fmt chunk size
    PutLe(f, 1, 2);  // PCM
    PutLe(f, channels, 2);
    PutLe(f, rate, 4);
    PutLe(f, rate * channels * 2, 4);  // bytes per second
    PutLe(f, channels * 2, 2);  // block align
    PutLe(f, 16, 2);  // bits per sample
    std::fputs("data", f);
    PutLe(f, data_bytes_, 4);
}

}  // namespace qplay
