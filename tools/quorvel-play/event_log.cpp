#include "event_log.h"

#include <cinttypes>

namespace qplay {

EventLog::EventLog(const std::string& path, const HostClock& clock)
    : clock_(clock), file_(OpenForWriting(path))
{
}

void EventLog::Write(const std::string& fields)
{
    const int64_t now = clock_.ElapsedMs();
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(file_.get(), "{\"t\":%" PRId64 ",%s}\n", now, fields.c_str());
}

}  // namespace qplay
