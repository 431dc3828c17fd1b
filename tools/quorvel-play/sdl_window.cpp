#include "sdl_window.h"

#include <algorithm>

#include "controller.h"

namespace qplay {

SDL_Rect FitRect(int picture_width, int picture_height, int output_width, int output_height)
{
    if (picture_width <= 0 || picture_height <= 0) return {0, 0, output_width, output_height};
    const int64_t scaled_width = int64_t{output_height} * picture_width / picture_height;
    SDL_Rect rect{0, 0, output_width, output_height};
    if (scaled_width <= output_width) {
        rect.w = static_cast<int>(scaled_width);
        rect.x = (output_width - rect.w) / 2;
    } else {
        rect.h = static_cast<int>(int64_t{output_width} * picture_height / picture_width);
        rect.y = (output_height - rect.h) / 2;
    }
    return rect;
}

std::unique_ptr<SdlWindow> SdlWindow::Open(const std::string& title, std::string* error)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        *error = SDL_GetError();
        return nullptr;
    }
    std::unique_ptr<SdlWindow> self(new SdlWindow());
    self->window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED,
                                     SDL_WINDOWPOS_UNDEFINED, 640, 480, SDL_WINDOW_RESIZABLE);
    if (self->window_ != nullptr) self->renderer_ = SDL_CreateRenderer(self->window_, -1, 0);
    if (self->renderer_ == nullptr) {
        *error = SDL_GetError();
        return nullptr;
    }
    return self;
}

SdlWindow::~SdlWindow()
{
    if (texture_ != nullptr) SDL_DestroyTexture(texture_);
    if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void SdlWindow::OnPicture(const VideoFrameInfo& frame)
{
    if (frame.pData == nullptr || frame.nSize <= 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.assign(frame.pData, frame.pData + frame.nSize);
    pending_width_ = frame.nWidth;
    pending_height_ = frame.nHeight;
    fresh_ = true;
}

void SdlWindow::Pump(Controller& controller, int wait_ms)
{
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, wait_ms) != 0) {
        do {
            if (event.type == SDL_QUIT) controller.Quit();
            if (event.type == SDL_KEYDOWN) HandleKey(event.key.keysym.sym, controller);
        } while (SDL_PollEvent(&event) != 0);
    }
    UploadPending();
    Draw();
}

void SdlWindow::HandleKey(SDL_Keycode key, Controller& controller)
{
    switch (key) {
    case SDLK_SPACE: controller.TogglePause(); break;
    case SDLK_LEFT: controller.SeekBy(-5); break;
    case SDLK_RIGHT: controller.SeekBy(5); break;
    case SDLK_UP: controller.SeekBy(-30); break;
    case SDLK_DOWN: controller.SeekBy(30); break;
    case SDLK_l: controller.ToggleLoop(); break;
    case SDLK_q:
    case SDLK_ESCAPE: controller.Quit(); break;
    default: break;
    }
}

// Takes the latest picture into a texture. Odd sizes are cropped to even ones, whose
// chroma planes match the packed layout exactly.
void SdlWindow::UploadPending()
{
    int32_t width = 0;
    int32_t height = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!fresh_) return;
        fresh_ = false;
        shown_.swap(pending_);
        width = pending_width_;
        height = pending_height_;
    }
    const int even_width = width & ~1;
    const int even_height = height & ~1;
    const int64_t luma = int64_t{width} * height;
    const int64_t chroma = int64_t{width / 2} * (height / 2);
    if (even_width <= 0 || even_height <= 0 ||
        static_cast<int64_t>(shown_.size()) < luma + 2 * chroma)
        return;
    if (texture_ == nullptr || texture_width_ != even_width || texture_height_ != even_height) {
        if (texture_ != nullptr) SDL_DestroyTexture(texture_);
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_IYUV, SDL_TEXTUREACCESS_STREAMING,
                                     even_width, even_height);
        texture_width_ = even_width;
        texture_height_ = even_height;
    }
    if (texture_ == nullptr) return;
    const uint8_t* y = shown_.data();
    SDL_UpdateYUVTexture(texture_, nullptr, y, width, y + luma, width / 2, y + luma + chroma,
                         width / 2);
}

void SdlWindow::Draw()
{
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    if (texture_ != nullptr) {
        int output_width = 0;
        int output_height = 0;
        SDL_GetRendererOutputSize(renderer_, &output_width, &output_height);
        const SDL_Rect target =
            FitRect(texture_width_, texture_height_, output_width, output_height);
        SDL_RenderCopy(renderer_, texture_, nullptr, &target);
    }
    SDL_RenderPresent(renderer_);
}

}  // namespace qplay
