#include "sdl_audio_output.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace qplay {
namespace {

constexpr auto PREROLL_LIMIT = std::chrono::seconds(3);

Uint16 DeviceSamples(int rate)
{
    Uint16 samples = 256;
    while (samples < rate / 50 && samples < 8192) samples = static_cast<Uint16>(samples * 2);
    return samples;
}

}  // namespace

SdlAudioOutput::SdlAudioOutput(IMediaFile* media, AudioTap& tap) : media_(media), tap_(tap) {}

std::unique_ptr<SdlAudioOutput> SdlAudioOutput::Open(IMediaFile* media, AudioTap& tap,
                                                     std::string* error)
{
    std::unique_ptr<SdlAudioOutput> self(new SdlAudioOutput(media, tap));
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        *error = SDL_GetError();
        return nullptr;
    }
    self->subsystem_ = true;
    if (!self->Preroll()) {
        *error = "no audio came from the file";
        return nullptr;
    }
    SDL_AudioSpec want{};
    want.freq = self->chunk_.rate;
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(self->chunk_.channels);
    want.samples = DeviceSamples(self->chunk_.rate);
    want.callback = &SdlAudioOutput::Callback;
    want.userdata = self.get();
    SDL_AudioSpec have{};
    self->device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (self->device_ == 0) {
        *error = SDL_GetError();
        return nullptr;
    }
    return self;
}

SdlAudioOutput::~SdlAudioOutput()
{
    Stop();
    if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// Pulls at the 20 ms pace until the first chunk arrives; it is the first thing played.
bool SdlAudioOutput::Preroll()
{
    const auto start = std::chrono::steady_clock::now();
    auto deadline = start;
    while (deadline - start < PREROLL_LIMIT) {
        chunk_ = PullChunk(media_, &buffer_);
        if (chunk_.bytes > 0) {
            tap_.OnChunk(buffer_.data(), chunk_);
            return true;
        }
        deadline += std::chrono::milliseconds(20);
        std::this_thread::sleep_until(deadline);
    }
    return false;
}

void SdlAudioOutput::Start()
{
    if (device_ != 0) SDL_PauseAudioDevice(device_, 0);
}

void SdlAudioOutput::Stop()
{
    if (device_ != 0) SDL_CloseAudioDevice(device_);
    device_ = 0;
}

void SdlAudioOutput::Callback(void* self, Uint8* stream, int length)
{
    static_cast<SdlAudioOutput*>(self)->Fill(stream, length);
}

// Gives the device what is left of the current chunk and pulls more; when the file has
// nothing to play now, the rest of this period is silence.
void SdlAudioOutput::Fill(Uint8* stream, int length)
{
    while (length > 0) {
        if (offset_ >= chunk_.bytes) {
            chunk_ = PullChunk(media_, &buffer_);
            offset_ = 0;
            if (chunk_.bytes == 0) break;
            tap_.OnChunk(buffer_.data(), chunk_);
        }
        const int n = std::min(length, chunk_.bytes - offset_);
        std::memcpy(stream, buffer_.data() + offset_, static_cast<size_t>(n));
        stream += n;
        length -= n;
        offset_ += n;
    }
    std::memset(stream, 0, static_cast<size_t>(length));
}

}  // namespace qplay
