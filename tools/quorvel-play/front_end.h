// What the main loop waits on between ticks: the headless front end just sleeps; the SDL
// window handles keys and draws. Main thread only.
#ifndef QUORVEL_PLAY_FRONT_END_H
#define QUORVEL_PLAY_FRONT_END_H

#include <chrono>
#include <thread>

namespace qplay {

class Controller;

class FrontEnd {
public:
    virtual ~FrontEnd() = default;
    // Spends about wait_ms handling input through controller and drawing.
    virtual void Pump(Controller& controller, int wait_ms) = 0;
};

class HeadlessFrontEnd : public FrontEnd {
public:
    void Pump(Controller&, int wait_ms) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(wait_ms));
    }
};

}  // namespace qplay

#endif
