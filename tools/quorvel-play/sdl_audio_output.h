// SDL2 audio output: SDL's audio callback pulls OnRenderGetaudioFrame whenever the device
// wants more, so the device's own clock sets the pace. The device format comes from the
// first chunk, which Open pulls before the device exists and plays first.
// Threads: Open, Start, Stop on the main thread; Fill on SDL's audio thread only, which
// alone touches buffer_, chunk_ and offset_ once the device is open (Open writes them
// before the device thread starts). Stop closes the device, which waits for the callback.
#ifndef QUORVEL_PLAY_SDL_AUDIO_OUTPUT_H
#define QUORVEL_PLAY_SDL_AUDIO_OUTPUT_H

#include <SDL.h>

#include <memory>
#include <string>
#include <vector>

#include <quorvel.h>

#include "audio_output.h"
#include "audio_tap.h"

namespace qplay {

class SdlAudioOutput : public AudioOutput {
public:
    // Null (with *error set) when no first chunk comes within a few seconds or no audio
    // device can be opened.
    static std::unique_ptr<SdlAudioOutput> Open(IMediaFile* media, AudioTap& tap,
                                                std::string* error);
    ~SdlAudioOutput() override;

    void Start() override;
    void Stop() override;

private:
    SdlAudioOutput(IMediaFile* media, AudioTap& tap);
    bool Preroll();
    static void Callback(void* self, Uint8* stream, int length);
    void Fill(Uint8* stream, int length);

    IMediaFile* const media_;
    AudioTap& tap_;
    SDL_AudioDeviceID device_ = 0;
    bool subsystem_ = false;
    std::vector<uint8_t> buffer_;
    Chunk chunk_;
    int32_t offset_ = 0;  // bytes of chunk_ already given to the device
};

}  // namespace qplay

#endif
