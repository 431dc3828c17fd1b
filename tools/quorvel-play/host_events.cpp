#include "host_events.h"

#include <string>

#include "console.h"
#include "event_log.h"
#include "text.h"
#include "video_sink.h"

namespace qplay {

HostEvents::HostEvents(Console* console, EventLog* events, VideoSink* video)
    : console_(console), events_(events), video_(video)
{
}

void HostEvents::OnMediaEvent(IMediaFile*, uint32_t event, uintptr_t param1, uintptr_t,
                              uintptr_t param3, uintptr_t)
{
    if (event == MEDIA_EVENT_VIDEO_FRAME && param1 != 0) {
        if (video_ != nullptr) video_->OnPicture(*reinterpret_cast<const VideoFrameInfo*>(param1));
    } else if (event == MEDIA_EVENT_OPEN_FAILED) {
        open_failed_.store(true);
        if (events_ != nullptr) events_->Write("\"event\":\"open_failed\"");
    } else if (event == MEDIA_EVENT_LOG && param3 != 0) {
        OnLog(param1 == 0 ? 0 : 1, reinterpret_cast<const wchar_t*>(param3));
    }
}

void HostEvents::OnLog(int level, const wchar_t* text)
{
    const std::string utf8 = WideToUtf8(text);
    if (utf8 == "invalid file") invalid_file_.store(true);
    if (console_ != nullptr) console_->PrintLog(level, utf8);
    if (events_ != nullptr) {
        events_->Write(std::string("\"event\":\"log\",\"level\":\"") +
                       (level == 0 ? "error" : "info") + "\",\"text\":" + JsonString(utf8));
    }
}

}  // namespace qplay
