// What the log dispatch calls on a registered instance: the text of one message, as one
// of two event codes. Every instance side that the registry holds implements it (through
// DemuxerInterface, whose event callback this is).
#pragma once

#include <cstdint>

// Event codes of a log delivery.
constexpr int DEMUX_EVENT_LOG_ERROR = 2;  // nParam: const wchar_t* text
constexpr int DEMUX_EVENT_LOG_INFO = 3;  // nParam: const wchar_t* text

namespace diag {

class LogReceiver {
public:
    virtual ~LogReceiver() = default;
    // Any thread that logs, while it holds the registry shared; the text is valid only
    // during the call.
    virtual void OnDemuxEvent(int nCode, intptr_t nParam, double dValue) = 0;
};

}  // namespace diag
