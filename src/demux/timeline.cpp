#include "demux/timeline.h"

#include <cmath>
#include <limits>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

namespace demux {

namespace {

// Two streams whose raw times jump by amounts this close jump together.
constexpr double TIMELINE_SAME_JUMP_SECONDS = 1.0;
// The byte rate is believed once the run read spans this much time.
constexpr double TIMELINE_RATE_SPAN_SECONDS = 1.0;

int64_t Ticks(double seconds, AVRational timeBase)
{
    return std::llround(seconds / av_q2d(timeBase));
}

}  // namespace

void Timeline::Reset(int64_t startTime, bool discontinuous)
{
    *this = Timeline{};
    m_dStart = startTime == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(startTime) / AV_TIME_BASE;
    m_bDiscontinuous = discontinuous;
}

double Timeline::Seconds(int64_t ts, AVRational timeBase) const
{
    if (ts == AV_NOPTS_VALUE) return std::numeric_limits<double>::quiet_NaN();
    return static_cast<double>(ts) * av_q2d(timeBase) - m_dStart;
}

void Timeline::Place(AVPacket* packet, Stream stream, AVRational timeBase)
{
    StreamState& state = m_streams[stream];
    const int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (stamp == AV_NOPTS_VALUE) return;
    const double raw = Seconds(stamp, timeBase);
    const double at = raw + state.dOffset;
    if (m_bDiscontinuous && state.bHaveLast) {
        const double step = at - state.dLast;
        if (step > TIMELINE_JUMP_FORWARD_SECONDS || step < -TIMELINE_JUMP_BACK_SECONDS)
            TakeOutJump(stream, at);
    }
    const int64_t shift = Ticks(state.dOffset, timeBase);
    if (packet->pts != AV_NOPTS_VALUE) packet->pts += shift;
    if (packet->dts != AV_NOPTS_VALUE) packet->dts += shift;
    state.dLast = raw + state.dOffset;
    state.dLastDuration = packet->duration > 0
                              ? static_cast<double>(packet->duration) * av_q2d(timeBase)
                              : state.dLastDuration;
    state.bHaveLast = true;
    m_dEnd = state.dLast + state.dLastDuration;
    NoteWhere(packet->pos, state.dLast);
}

// The packet goes on where its stream would have, unless the other stream jumped just
// before by about as much: then it moves by the same shift, so the two stay as they were
// recorded.
void Timeline::TakeOutJump(Stream stream, double at)
{
    StreamState& state = m_streams[stream];
    const double rawJump = at - state.dLast;
    double shift = state.dLast + state.dLastDuration - at;
    if (m_jump.bOpen && m_jump.stream != stream &&
        std::fabs(rawJump - m_jump.dRaw) < TIMELINE_SAME_JUMP_SECONDS) {
        shift = m_jump.dShift;
        m_jump.bOpen = false;
    } else {
        m_jump = {true, stream, rawJump, shift};
    }
    state.dOffset += shift;
    m_bJumped = true;
}

void Timeline::NoteWhere(int64_t pos, double time)
{
    if (pos < 0) return;
    if (m_runStart.llPos < 0) m_runStart = {pos, time};
    m_latest = {pos, time};
}

void Timeline::Restart()
{
    m_dLastRate = BytesPerSecond();
    for (StreamState& state : m_streams) state.bHaveLast = false;
    m_runStart = Point{};
}

void Timeline::Rewind()
{
    Restart();
    for (StreamState& state : m_streams) state.dOffset = 0.0;
    m_jump = Jump{};
}

void Timeline::Align(Stream landedBy, double seconds)
{
    const double offset = m_streams[landedBy].dOffset + seconds;
    for (StreamState& state : m_streams) state.dOffset = offset;
    m_jump = Jump{};
    if (seconds != 0.0) m_bJumped = true;
}

double Timeline::BytesPerSecond() const
{
    const double span = m_latest.dTime - m_runStart.dTime;
    if (m_runStart.llPos < 0 || m_latest.llPos <= m_runStart.llPos ||
        span < TIMELINE_RATE_SPAN_SECONDS)
        return m_dLastRate;
    return static_cast<double>(m_latest.llPos - m_runStart.llPos) / span;
}

}  // namespace demux
