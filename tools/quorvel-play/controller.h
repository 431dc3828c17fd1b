// The host's control of the open instance, shared by the scripted controls, the SDL keys
// and the end-of-playback logic: pause, resume, seek, loop, quit, and the position poll.
// Every control is written to the event log. Main thread only (the engine's control
// operations are called from this one thread); no locks.
#ifndef QUORVEL_PLAY_CONTROLLER_H
#define QUORVEL_PLAY_CONTROLLER_H

#include <cstdint>
#include <string>

#include <quorvel.h>

namespace qplay {

class EventLog;

struct Position {
    int64_t position = 0;  // seconds
    int64_t duration = -1;  // seconds
};

class Controller {
public:
    Controller(IMediaFile* media, EventLog* events, bool looping);

    void Pause();
    void Resume();
    void TogglePause();
    void SeekTo(int64_t seconds);
    // Relative to the current position; never before 0.
    void SeekBy(int64_t delta_seconds);
    void ToggleLoop();
    void Quit() { quit_ = true; }

    bool QuitRequested() const { return quit_; }
    bool Looping() const { return looping_; }
    bool Paused() const { return paused_; }
    // Counts every seek and resume, so the end detection can start its quiet time again.
    int64_t Generation() const { return generation_; }

    // GetPos, also written to the event log.
    Position Poll();

private:
    void Log(const std::string& fields);

    IMediaFile* const media_;
    EventLog* const events_;
    bool looping_;
    bool paused_ = false;
    bool quit_ = false;
    int64_t generation_ = 0;
};

}  // namespace qplay

#endif
