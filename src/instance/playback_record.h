// The values of one playback (the clock, the last picture taken, the audio handed out,
// how far the decoder has read a looping file), kept as one record that each playback
// event replaces whole: Open, Close and SetPos begin a new generation, the end of a looped
// pass begins the next pass of it.
//
// Threads: every thread of the instance reads it (Snapshot). A thread that decided on a
// snapshot writes back only while the record still plays the snapshot's pass (UpdateIf):
// a pull, a tick or a decoder call that was under way when a seek or a new pass came
// cannot bring the old position back. m_cs guards the record and is the innermost lock of
// the instance: nothing is called under it, so any thread may take it under any other.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/lock.h"
#include "platform/thread_annotations.h"
#include "playback/frames.h"
#include "playback/media_clock.h"
#include "playback/pacing.h"

namespace quorvel {

struct PlaybackValues {
    playback::PlaybackTag tag;
    // The playback clock (seconds on the media time line); see playback::MediaClock.
    playback::MediaClock m_dLastPlayAVPTS;
    double m_lstvidep = 0.0;  // seconds: the last picture of this pass taken from the queue
    bool bAudioHeard = false;  // audio of this pass has been handed to the host
    double dAudioEnd = 0.0;  // seconds: where the audio handed out in this pass ends
    uint32_t dwLastPull = 0;  // ms, tick count: when the host last took audio of this pass
    bool bReadAhead = false;  // the decoder read enough ahead for the pass's audio to start
    bool bPictureShown = false;  // a picture of this pass went out
    bool bPlayedOut = false;  // the file has played to its end (looping off)
    uint32_t nPassesRead = 0;  // passes of this generation the decoder has read to the end

    // The decoder has read the pass being played to its end: what is queued of it is all
    // there is.
    bool PassRead() const { return nPassesRead > tag.nPass; }
    // The host is taking the audio of this pass; otherwise the clock runs by itself.
    bool HostPulls(uint32_t now) const
    {
        return bAudioHeard &&
               static_cast<uint32_t>(now - dwLastPull) <= playback::PACING_PULL_GAP_MS;
    }
    double ClockAt(uint32_t now) const { return m_dLastPlayAVPTS.At(now); }
};

class PlaybackRecord {
public:
    PlaybackValues Snapshot() const
    {
        platform::LockGuard guard(m_cs);
        return m_values;
    }
    // Lock-free: the generation the queues accept pictures and blocks of.
    uint64_t Generation() const { return m_nGeneration.load(); }

    // A new generation whose clock stands at clock (seconds); returns it.
    uint64_t BeginGeneration(double clock)
    {
        platform::LockGuard guard(m_cs);
        PlaybackValues fresh;
        fresh.tag.nGeneration = m_values.tag.nGeneration + 1;
        fresh.m_dLastPlayAVPTS.dAt = clock;
        m_values = fresh;
        m_nGeneration.store(fresh.tag.nGeneration);
        return fresh.tag.nGeneration;
    }

    // The pass after tag's, its clock at clock, if the record still plays tag's pass.
    bool StartNextPass(const playback::PlaybackTag& tag, double clock)
    {
        platform::LockGuard guard(m_cs);
        if (playback::CompareTags(tag, m_values.tag) != playback::TagOrder::Same) return false;
        PlaybackValues next;
        next.tag = {tag.nGeneration, tag.nPass + 1};
        next.m_dLastPlayAVPTS.dAt = clock;
        next.nPassesRead = m_values.nPassesRead;
        m_values = next;
        return true;
    }

    // Decoder thread: the pass in tag has been read to its end.
    void NoteEndOfPass(const playback::PlaybackTag& tag)
    {
        platform::LockGuard guard(m_cs);
        if (tag.nGeneration == m_values.tag.nGeneration && tag.nPass >= m_values.nPassesRead)
            m_values.nPassesRead = tag.nPass + 1;
    }

    // change(PlaybackValues&) runs under the lock if the record still plays tag's pass;
    // returns whether it ran.
    template <typename Change>
    bool UpdateIf(const playback::PlaybackTag& tag, Change change)
    {
        platform::LockGuard guard(m_cs);
        if (playback::CompareTags(tag, m_values.tag) != playback::TagOrder::Same) return false;
        change(m_values);
        return true;
    }

    // change(PlaybackValues&) runs under the lock, whatever is played.
    template <typename Change>
    void Update(Change change)
    {
        platform::LockGuard guard(m_cs);
        change(m_values);
    }

private:
    mutable platform::RecursiveLock m_cs;
    PlaybackValues m_values GUARDED_BY(m_cs);
    std::atomic<uint64_t> m_nGeneration{0};  // mirrors m_values.tag.nGeneration
};

}  // namespace quorvel
