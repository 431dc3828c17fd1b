// Takes every MEDIA_EVENT_VIDEO_FRAME picture: counts it, writes it to the y4m file and
// the event log, and hands it to the screen when there is one.
// Threads: OnPicture runs on the engine's render-clock thread (never overlapping, under
// the engine's notification lock); Pictures() on any thread (atomic counter).
#ifndef QUORVEL_PLAY_VIDEO_SINK_H
#define QUORVEL_PLAY_VIDEO_SINK_H

#include <atomic>
#include <cstdint>

#include <quorvel.h>

namespace qplay {

class EventLog;
class Y4mWriter;

// Whatever shows pictures (the SDL window). OnPicture must copy what it keeps.
class PictureConsumer {
public:
    virtual ~PictureConsumer() = default;
    virtual void OnPicture(const VideoFrameInfo& frame) = 0;
};

class VideoSink {
public:
    // Each pointer may be null.
    VideoSink(Y4mWriter* y4m, EventLog* events, PictureConsumer* screen);

    void OnPicture(const VideoFrameInfo& frame);
    void SetScreen(PictureConsumer* screen) { screen_.store(screen); }
    int64_t Pictures() const { return pictures_.load(); }

private:
    Y4mWriter* const y4m_;
    EventLog* const events_;
    std::atomic<PictureConsumer*> screen_;
    std::atomic<int64_t> pictures_{0};
};

}  // namespace qplay

#endif
