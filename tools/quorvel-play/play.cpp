#include "play.h"

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "console.h"
#include "control_script.h"
#include "controller.h"
#include "end_detector.h"
#include "event_log.h"
#include "host_clock.h"
#include "host_events.h"
#include "media_file.h"
#include "paced_audio_renderer.h"
#include "sdl_audio_output.h"
#include "sdl_window.h"
#include "status_line.h"
#include "text.h"
#include "video_sink.h"
#include "wav_writer.h"
#include "y4m_writer.h"

namespace qplay {

std::atomic<bool> g_interrupted{false};

namespace {

constexpr int TICK_MS = 20;
constexpr int64_t POLL_INTERVAL_MS = 100;

template <typename T>
std::unique_ptr<T> OpenIfNamed(const std::string& path)
{
    return path.empty() ? nullptr : std::make_unique<T>(path);
}

// One playback from Open to Close. Members are declared so that destruction stops the
// audio pulls first, then destroys the instance (no more events), then the sinks.
class PlaySession {
public:
    PlaySession(const Options& options, Console& console)
        : options_(options),
          console_(console),
          path_(options.files.front()),
          events_(options.events_out.empty()
                      ? nullptr
                      : std::make_unique<EventLog>(options.events_out, clock_)),
          y4m_(OpenIfNamed<Y4mWriter>(options.video_out)),
          wav_(OpenIfNamed<WavWriter>(options.audio_out)),
          video_(y4m_.get(), events_.get(), nullptr),
          tap_(wav_.get(), events_.get()),
          host_(options.log ? &console : nullptr, events_.get(), &video_)
    {
    }

    int Run();

private:
    bool OpenMedia();
    void ChooseOutputs();
    void ApplyScripted(const ScriptAction& action, Controller& controller);
    std::string Loop(Controller& controller);
    void PrintSummary(const std::string& reason, const Position& last);
    bool OutputsComplete() const;
    void Fail(const std::string& problem) const
    {
        std::fprintf(stderr, "quorvel-play: %s: %s\n", path_.c_str(), problem.c_str());
    }

    const Options& options_;
    Console& console_;
    const std::string path_;
    HostClock clock_;
    std::unique_ptr<EventLog> events_;
    std::unique_ptr<Y4mWriter> y4m_;
    std::unique_ptr<WavWriter> wav_;
    std::unique_ptr<SdlWindow> window_;
    HeadlessFrontEnd headless_;
    VideoSink video_;
    AudioTap tap_;
    HostEvents host_;
    bool has_audio_ = true;
    Instance media_;
    std::unique_ptr<AudioOutput> audio_;
};

int PlaySession::Run()
{
    if (const std::string problem = CheckPath(path_); !problem.empty()) {
        Fail(problem);
        return 1;
    }
    if (!OpenMedia()) return 1;
    Controller controller(media_.get(), events_.get(), options_.loop);
    if (options_.start) controller.SeekTo(*options_.start);
    ChooseOutputs();
    audio_->Start();
    const std::string reason = Loop(controller);
    audio_->Stop();
    const Position last = controller.Poll();
    media_->Close();
    video_.SetScreen(nullptr);
    console_.Finish();
    if (events_) events_->Write("\"event\":\"end\",\"reason\":" + JsonString(reason));
    if (y4m_) y4m_->Close();
    if (wav_) wav_->Close();
    PrintSummary(reason, last);
    if (!OutputsComplete()) return 1;
    return reason == "interrupted" ? 130 : 0;
}

// GetFileInfo first, as a careful host does, then Open.
bool PlaySession::OpenMedia()
{
    media_ = MakeInstance(path_, &host_);
    int32_t audio_only = 0;
    MediaFileInfo info{};
    if (media_->GetFileInfo(0, &audio_only, &info) == 0) {
        Fail(host_.InvalidFile() ? "not playable: outside the playable limits"
                                 : "cannot be opened as media");
        return false;
    }
    has_audio_ = info.szAudioCodec[0] != '\0';
    media_->SetLoop(options_.loop ? 1 : 0);
    if (media_->Open() == 0) {
        Fail("the library could not open it for playback");
        return false;
    }
    if (events_) events_->Write("\"event\":\"open\",\"file\":" + JsonString(path_));
    return true;
}

// The SDL window and audio device with --window, each falling back to headless.
void PlaySession::ChooseOutputs()
{
    if (options_.window) {
        std::string error;
        window_ = SdlWindow::Open("quorvel-play - " + path_, &error);
        if (window_) {
            video_.SetScreen(window_.get());
        } else {
            std::fprintf(stderr, "quorvel-play: no display (%s); playing headless\n",
                         error.c_str());
        }
    }
    if (options_.window && has_audio_) {
        std::string error;
        audio_ = SdlAudioOutput::Open(media_.get(), tap_, &error);
        if (!audio_)
            std::fprintf(stderr, "quorvel-play: no audio output (%s); audio is paced silently\n",
                         error.c_str());
    }
    if (!audio_) audio_ = std::make_unique<PacedAudioRenderer>(media_.get(), tap_);
}

void PlaySession::ApplyScripted(const ScriptAction& action, Controller& controller)
{
    switch (action.kind) {
    case ScriptAction::Kind::Seek: controller.SeekTo(action.seek_to); break;
    case ScriptAction::Kind::Pause: controller.Pause(); break;
    case ScriptAction::Kind::Resume: controller.Resume(); break;
    }
}

// Ticks every TICK_MS until playback ends; returns why it ended.
std::string PlaySession::Loop(Controller& controller)
{
    ControlScript script(options_.seeks, options_.pauses);
    StatusLine status(console_);
    FrontEnd& front = window_ ? static_cast<FrontEnd&>(*window_) : headless_;
    const int64_t open_ms = clock_.ElapsedMs();
    EndDetector end(0);
    int64_t generation = controller.Generation();
    int64_t next_poll_ms = 0;
    Position pos;
    while (true) {
        if (g_interrupted.load()) return "interrupted";
        if (controller.QuitRequested()) return "quit";
        const int64_t now = clock_.ElapsedMs() - open_ms;
        if (options_.play_for && now >= *options_.play_for * 1000) return "time limit";
        for (const ScriptAction& action : script.TakeDue(now)) ApplyScripted(action, controller);
        if (now >= next_poll_ms) {
            pos = controller.Poll();
            next_poll_ms = now + POLL_INTERVAL_MS;
        }
        if (controller.Generation() != generation) {
            generation = controller.Generation();
            end.Restart(now);
        }
        const PlaybackSample sample{
            now,           pos.position,        pos.duration,        video_.Pictures(),
            tap_.Chunks(), controller.Paused(), controller.Looping()};
        if (end.PlayedOut(sample)) return "end of file";
        status.Update(now, {pos.position, pos.duration, video_.Pictures(), tap_.SecondsPlayed(),
                            controller.Paused(), controller.Looping()});
        front.Pump(controller, TICK_MS);
    }
}

void PlaySession::PrintSummary(const std::string& reason, const Position& last)
{
    std::printf("%s: %s after %.1f s: %" PRId64 " pictures, %.2f s of audio, position %s / %s\n",
                path_.c_str(), reason.c_str(), static_cast<double>(clock_.ElapsedMs()) / 1000.0,
                video_.Pictures(), tap_.SecondsPlayed(), FormatClock(last.position).c_str(),
                FormatClock(last.duration).c_str());
    if (y4m_) {
        for (const std::string& file : y4m_->Files())
            std::printf("pictures written to %s\n", file.c_str());
    }
    if (wav_) std::printf("audio written to %s\n", options_.audio_out.c_str());
    std::fflush(stdout);
}

bool PlaySession::OutputsComplete() const
{
    bool complete = true;
    if (y4m_ && y4m_->Failed()) {
        Fail("writing the pictures to " + options_.video_out + " failed");
        complete = false;
    }
    if (wav_ && wav_->Failed()) {
        Fail("writing the audio to " + options_.audio_out + " failed");
        complete = false;
    }
    return complete;
}

}  // namespace

int RunPlay(const Options& options, Console& console)
{
    PlaySession session(options, console);
    return session.Run();
}

}  // namespace qplay
