// The host's MediaFileInterface: routes pictures to the video sink, log texts to the
// console (with --log) and the event log, and remembers what probing needs to know.
// Threads: OnMediaEvent runs on the engine's threads, one call at a time per instance
// (the engine's notification lock); it only copies and counts, never calls the engine.
// The flags are atomic and read on the main thread.
#ifndef QUORVEL_PLAY_HOST_EVENTS_H
#define QUORVEL_PLAY_HOST_EVENTS_H

#include <atomic>

#include <quorvel.h>

namespace qplay {

class Console;
class EventLog;
class VideoSink;

class HostEvents final : public MediaFileInterface {
public:
    // Each pointer may be null: console only when log texts are to be printed.
    HostEvents(Console* console, EventLog* events, VideoSink* video);

    void OnMediaEvent(IMediaFile* sender, uint32_t event, uintptr_t param1, uintptr_t param2,
                      uintptr_t param3, uintptr_t param4) override;

    bool OpenFailed() const { return open_failed_.load(); }
    // The engine logged "invalid file": the file is outside the playable limits.
    bool InvalidFile() const { return invalid_file_.load(); }

private:
    void OnLog(int level, const wchar_t* text);

    Console* const console_;
    EventLog* const events_;
    VideoSink* const video_;
    std::atomic<bool> open_failed_{false};
    std::atomic<bool> invalid_file_{false};
};

}  // namespace qplay

#endif
