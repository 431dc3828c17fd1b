#include "video_sink.h"

#include <string>

#include "event_log.h"
#include "y4m_writer.h"

namespace qplay {

VideoSink::VideoSink(Y4mWriter* y4m, EventLog* events, PictureConsumer* screen)
    : y4m_(y4m), events_(events), screen_(screen)
{
}

void VideoSink::OnPicture(const VideoFrameInfo& frame)
{
    const int64_t index = pictures_.fetch_add(1);
    if (y4m_ != nullptr) y4m_->Write(frame.pData, frame.nSize, frame.nWidth, frame.nHeight);
    if (events_ != nullptr) {
        events_->Write("\"event\":\"video_frame\",\"index\":" + std::to_string(index) +
                       ",\"format\":" + std::to_string(frame.nFormat) +
                       ",\"width\":" + std::to_string(frame.nWidth) + ",\"height\":" +
                       std::to_string(frame.nHeight) + ",\"size\":" + std::to_string(frame.nSize));
    }
    if (PictureConsumer* screen = screen_.load()) screen->OnPicture(frame);
}

}  // namespace qplay
