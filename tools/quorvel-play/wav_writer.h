// Writes the played audio chunks (interleaved s16) as one RIFF/WAVE file. The format is
// fixed by the first chunk; the sizes in the header are written by Close.
//
// Threads: Write is called only on the host's audio thread (the paced renderer or the
// SDL audio callback); Close and Failed after that thread has stopped. No lock of its
// own; failed_ is atomic and Write never throws, as it runs on the audio thread.
#ifndef QUORVEL_PLAY_WAV_WRITER_H
#define QUORVEL_PLAY_WAV_WRITER_H

#include <atomic>
#include <cstdint>
#include <string>

#include "file_handle.h"

namespace qplay {

class WavWriter {
public:
    // Creates the file at once. Throws std::runtime_error when it cannot be written.
    explicit WavWriter(const std::string& path);
    ~WavWriter();

    // False (nothing written) when the chunk's format differs from the first chunk's, or
    // when writing failed (then Failed() and nothing more is written).
    bool Write(const uint8_t* pcm, int32_t bytes, int32_t rate, int32_t channels);
    bool Failed() const { return failed_.load(); }

    // Completes the header; a file that got no chunk is a valid empty 44100 Hz stereo file.
    void Close();

private:
    void WriteHeader();

    FileHandle file_;
    int32_t rate_ = 0;
    int32_t channels_ = 0;
    uint32_t data_bytes_ = 0;
    std::atomic<bool> failed_{false};
};

}  // namespace qplay

#endif
