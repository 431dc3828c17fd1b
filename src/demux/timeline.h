// The media time line of one input: seconds from the input's start time, so that every
// position the host sees counts from 0 whatever the file's first timestamp. In formats that
// allow timestamp discontinuities (transport and program streams: recordings joined end to
// end, a broadcast's clock reset) a jump between two packets of a stream is taken out, so
// the time line goes on as if the file were one recording: the packet after the jump is
// moved to where its stream would have gone on, and the other stream, jumping by the same
// amount, is moved alike, so sound and pictures stay together.
//
// It also knows where in the file each time lies, from the packets read: the byte rate of
// the run read since the last seek, which byte seeks aim by.
//
// Decoder thread only (the control thread resets it with the input, decoder stopped).
#pragma once

#include <array>
#include <cstdint>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/rational.h>
}

namespace demux {

// A jump forward of more than this between two packets of a stream is a discontinuity.
constexpr double TIMELINE_JUMP_FORWARD_SECONDS = 5.0;
// A step back of more than this is one too (a stream's decode times never go back).
constexpr double TIMELINE_JUMP_BACK_SECONDS = 1.0;

class Timeline {
public:
    enum Stream { VIDEO = 0, AUDIO = 1 };
    struct Point {
        int64_t llPos = -1;  // bytes; negative when unknown
        double dTime = 0.0;  // seconds on the time line
    };

    // A new input whose time line starts at startTime (in AV_TIME_BASE units; unknown
    // counts as 0). Jumps are taken out only when discontinuous.
    void Reset(int64_t startTime, bool discontinuous);
    // Moves the packet's timestamps onto the time line (see above) and notes where it lies.
    void Place(AVPacket* packet, Stream stream, AVRational timeBase);
    // Seconds on the time line of a timestamp of a placed packet (or of what was decoded
    // from it); NaN for AV_NOPTS_VALUE.
    double Seconds(int64_t ts, AVRational timeBase) const;
    // After a seek or a rewind: the next packets follow none read before, and the byte rate
    // is measured afresh (the last one measured stands in until then).
    void Restart();
    // Back at the start of the file: its first recording, where the time line begins.
    void Rewind();
    // After a byte seek, where every stream goes on in one recording: puts every stream on
    // the offset of the one the seek landed by, moved by that many seconds when the landing
    // lies in another recording of a joined file. A stream that had not yet made a jump
    // the other made before the seek would otherwise keep its old recording's offset.
    void Align(Stream landedBy, double seconds);

    bool Discontinuous() const { return m_bDiscontinuous; }
    // Whether a jump has been taken out since Reset.
    bool Jumped() const { return m_bJumped; }
    // The last placed packet of known position, and where the last packet placed ends
    // (seconds; at the end of the input, where the time line ends).
    Point Latest() const { return m_latest; }
    double End() const { return m_dEnd; }
    // Bytes per second of the run read since the last Restart (or, until that run spans a
    // second, of the run before); 0 when none is known.
    double BytesPerSecond() const;

private:
    struct StreamState {
        double dOffset = 0.0;  // seconds added to the stream's timestamps
        bool bHaveLast = false;
        double dLast = 0.0;  // seconds, of the stream's last decode time, offset included
        double dLastDuration = 0.0;  // seconds
    };

    void TakeOutJump(Stream stream, double at);
    void NoteWhere(int64_t pos, double time);

    double m_dStart = 0.0;  // seconds
    bool m_bDiscontinuous = false;
    bool m_bJumped = false;
    std::array<StreamState, 2> m_streams{};
    // The last jump taken out, while the other stream has not made it yet: the stream that
    // made it, by how much its time jumped and the shift that took it out (seconds).
    struct Jump {
        bool bOpen = false;
        Stream stream = VIDEO;
        double dRaw = 0.0;
        double dShift = 0.0;
    };
    Jump m_jump;
    Point m_runStart;
    Point m_latest;
    double m_dEnd = 0.0;
    double m_dLastRate = 0.0;
};

}  // namespace demux
