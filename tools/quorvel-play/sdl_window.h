// The --window front end: an SDL2 window showing the latest picture (I420 texture,
// scaled to the window with its aspect kept) and the playback keys: space pause/resume,
// left/right seek -5/+5 s, up/down seek -30/+30 s, l loop on/off, q or Esc quit.
// Threads: OnPicture runs on the engine's render-clock thread and only copies the
// picture into pending_; everything SDL is done on the main thread in Pump.
// mutex_ guards pending_, pending_width_, pending_height_ and fresh_.
#ifndef QUORVEL_PLAY_SDL_WINDOW_H
#define QUORVEL_PLAY_SDL_WINDOW_H

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "front_end.h"
#include "video_sink.h"

namespace qplay {

class SdlWindow : public FrontEnd, public PictureConsumer {
public:
    // Null (with *error set) when no display can be opened.
    static std::unique_ptr<SdlWindow> Open(const std::string& title, std::string* error);
    ~SdlWindow() override;

    void OnPicture(const VideoFrameInfo& frame) override;
    void Pump(Controller& controller, int wait_ms) override;

private:
    SdlWindow() = default;
    void HandleKey(SDL_Keycode key, Controller& controller);
    void UploadPending();
    void Draw();

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int texture_width_ = 0;
    int texture_height_ = 0;

    std::mutex mutex_;
    std::vector<uint8_t> pending_;  // guarded by mutex_
    int32_t pending_width_ = 0;  // guarded by mutex_
    int32_t pending_height_ = 0;  // guarded by mutex_
    bool fresh_ = false;  // guarded by mutex_
    std::vector<uint8_t> shown_;  // main thread
};

// The largest rectangle of the picture's aspect centred in the output.
SDL_Rect FitRect(int picture_width, int picture_height, int output_width, int output_height);

}  // namespace qplay

#endif
