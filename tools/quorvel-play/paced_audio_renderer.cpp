#include "paced_audio_renderer.h"

#include "audio_tap.h"

namespace qplay {

PacedAudioRenderer::PacedAudioRenderer(IMediaFile* media, AudioTap& tap) : media_(media), tap_(tap)
{
}

PacedAudioRenderer::~PacedAudioRenderer() { Stop(); }

void PacedAudioRenderer::Start()
{
    if (thread_.joinable()) return;
    stop_.store(false);
    thread_ = std::thread([this] { Run(); });
}

void PacedAudioRenderer::Stop()
{
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
}

void PacedAudioRenderer::Run()
{
    auto deadline = std::chrono::steady_clock::now();
    while (!stop_.load()) {
        const Chunk chunk = PullChunk(media_, &buffer_);
        if (chunk.bytes > 0) tap_.OnChunk(buffer_.data(), chunk);
        deadline += PERIOD;
        std::this_thread::sleep_until(deadline);
    }
}

}  // namespace qplay
