#include "controller.h"

#include <algorithm>

#include "event_log.h"

namespace qplay {

Controller::Controller(IMediaFile* media, EventLog* events, bool looping)
    : media_(media), events_(events), looping_(looping)
{
}

void Controller::Pause()
{
    media_->Pause();
    paused_ = true;
    Log("\"event\":\"pause\"");
}

void Controller::Resume()
{
    media_->Resume();
    paused_ = false;
    ++generation_;
    Log("\"event\":\"resume\"");
}

void Controller::TogglePause() { paused_ ? Resume() : Pause(); }

void Controller::SeekTo(int64_t seconds)
{
    media_->SetPos(seconds);
    ++generation_;
    Log("\"event\":\"seek\",\"to\":" + std::to_string(seconds));
}

void Controller::SeekBy(int64_t delta_seconds)
{
    SeekTo(std::max<int64_t>(0, Poll().position + delta_seconds));
}

void Controller::ToggleLoop()
{
    looping_ = !looping_;
    media_->SetLoop(looping_ ? 1 : 0);
    ++generation_;
    Log(std::string("\"event\":\"loop\",\"on\":") + (looping_ ? "true" : "false"));
}

Position Controller::Poll()
{
    Position p;
    media_->GetPos(&p.position, &p.duration);
    Log("\"event\":\"position\",\"pos\":" + std::to_string(p.position) +
        ",\"duration\":" + std::to_string(p.duration));
    return p;
}

void Controller::Log(const std::string& fields)
{
    if (events_ != nullptr) events_->Write(fields);
}

}  // namespace qplay
