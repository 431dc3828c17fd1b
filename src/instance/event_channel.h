// Every call into the host's sink for one instance, one at a time, made so that no thread
// ever waits for another thread's call into the host while the host may hold something
// that call needs:
// - Post (log texts, the open failure; any thread) sends on the calling thread when no
//   delivery is under way; otherwise it queues the event for the thread making that
//   delivery, which sends it before it finishes (at most a bounded number of them: under a
//   flood the rest goes out with the next event). It never waits.
// - Send (pictures; render clock thread only) waits for a delivery under way on another
//   thread, then sends. The clock thread holds no lock while it waits, and the threads it
//   waits for are in Post's deliveries, which wait for nothing of the engine.
// - Detach (control thread) waits for a delivery under way and drops the sink: nothing is
//   sent once it has returned.
// An event raised from inside the sink's own handler (the host logs through GetPos in
// its picture handler, say) is queued rather than nested, so the events of one sink never
// overlap. m_cs guards the sink, the queue and the busy flag, and is never held during a
// call into the host.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "platform/event.h"
#include "platform/lock.h"
#include "platform/thread_annotations.h"
#include "quorvel.h"

namespace quorvel {

class EventChannel {
public:
    EventChannel(IMediaFile* sender, MediaFileInterface* sink);
    EventChannel(const EventChannel&) = delete;
    EventChannel& operator=(const EventChannel&) = delete;

    // text (may be null) is copied when the event has to wait in the queue; it goes out as
    // the third parameter.
    void Post(uint32_t event, uintptr_t param1, const wchar_t* text);
    // param1 points to data that lives only during the call. False when nothing was sent:
    // no sink, or the calling thread is itself inside a handler of this sink.
    bool Send(uint32_t event, uintptr_t param1);
    bool HasSink();
    void Detach();

private:
    struct Queued {
        uint32_t event;
        uintptr_t param1;
        std::wstring text;
    };

    // Takes the right to deliver: waiting for another thread's delivery when asked to,
    // else false while one is under way (also one of this thread).
    bool Claim(bool wait);
    // Sends what was queued meanwhile, then lets the next deliverer in.
    void Release();
    void Call(uint32_t event, uintptr_t param1, const wchar_t* text);
    bool DeliveringOnThisThread() const;

    IMediaFile* const m_pSender;
    platform::RecursiveLock m_cs;
    MediaFileInterface* m_pSink GUARDED_BY(m_cs);
    bool m_bBusy GUARDED_BY(m_cs) = false;
    std::deque<Queued> m_queued GUARDED_BY(m_cs);
    platform::Event m_idle{platform::Event::Reset::Manual, true};  // set while not busy
};

}  // namespace quorvel
