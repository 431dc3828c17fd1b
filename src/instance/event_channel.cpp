#include "instance/event_channel.h"

#include <new>

namespace quorvel {

namespace {

// A delivering thread sends at most this many queued events before it lets the next
// deliverer in: under a flood of logs from other threads the queue never empties, and the
// thread would deliver for others for ever (while the log dispatch holds the registry, so
// that no instance could come or go). What it leaves goes out with the next event.
constexpr int EVENT_DRAIN_LIMIT = 64;
// Events queued at most; a log beyond that is dropped rather than memory grown without end.
constexpr size_t EVENT_QUEUE_LIMIT = 1024;

// The deliveries this thread is inside, innermost first: a handler may raise an event of
// another instance, which is then delivered inside it.
struct DeliveryFrame {
    const EventChannel* channel;
    const DeliveryFrame* outer;
};
thread_local const DeliveryFrame* t_pDeliveries = nullptr;

}  // namespace

EventChannel::EventChannel(IMediaFile* sender, MediaFileInterface* sink)
    : m_pSender(sender), m_pSink(sink)
{
}

void EventChannel::Post(uint32_t event, uintptr_t param1, const wchar_t* text)
{
    {
        platform::LockGuard guard(m_cs);
        if (m_pSink == nullptr) {
            return;
        }
        if (m_bBusy) {
            if (m_queued.size() >= EVENT_QUEUE_LIMIT) {
                return;
            }
            try {
                m_queued.push_back({event, param1, text != nullptr ? std::wstring(text) : L""});
            } catch (const std::bad_alloc&) {
                // Dropped: the host misses one log text rather than the engine stalling.
            }
            return;
        }
        m_bBusy = true;
        m_idle.Reset();
    }
    Call(event, param1, text);
    Release();
}

bool EventChannel::Send(uint32_t event, uintptr_t param1)
{
    if (!Claim(true)) {
        return false;
    }
    bool sent = false;
    {
        platform::LockGuard guard(m_cs);
        sent = m_pSink != nullptr;
    }
    if (sent) {
        Call(event, param1, nullptr);
    }
    Release();
    return sent;
}

bool EventChannel::HasSink()
{
    platform::LockGuard guard(m_cs);
    return m_pSink != nullptr;
}

void EventChannel::Detach()
{
    const bool claimed = Claim(true);
    platform::LockGuard guard(m_cs);
    m_pSink = nullptr;
    m_queued.clear();
    if (claimed) {
        m_bBusy = false;
        m_idle.Set();
    }
}

bool EventChannel::Claim(bool wait)
{
    while (true) {
        {
            platform::LockGuard guard(m_cs);
            if (!m_bBusy) {
                m_bBusy = true;
                m_idle.Reset();
                return true;
            }
        }
        if (!wait || DeliveringOnThisThread()) {
            return false;
        }
        m_idle.Wait();
    }
}

void EventChannel::Release()
{
    for (int sent = 0;; ++sent) {
        Queued next;
        {
            platform::LockGuard guard(m_cs);
            if (m_pSink == nullptr) {
                m_queued.clear();
            }
            if (m_queued.empty() || sent == EVENT_DRAIN_LIMIT) {
                m_bBusy = false;
                m_idle.Set();
                return;
            }
            next = std::move(m_queued.front());
            m_queued.pop_front();
        }
        Call(next.event, next.param1, next.text.c_str());
    }
}

// The host's object may come from C or from another compiler's C++, with no C++ type
// information of ours, so the sanitizer's dynamic-type check cannot judge the call. The
// sink is read under the lock but called without it: Detach cannot run meanwhile, as it
// waits for this delivery.
__attribute__((no_sanitize("vptr"))) void EventChannel::Call(uint32_t event, uintptr_t param1,
                                                             const wchar_t* text)
{
    MediaFileInterface* sink = nullptr;
    {
        platform::LockGuard guard(m_cs);
        sink = m_pSink;
    }
    if (sink == nullptr) {
        return;
    }
    const DeliveryFrame frame{this, t_pDeliveries};
    t_pDeliveries = &frame;
    sink->OnMediaEvent(m_pSender, event, param1, 0, reinterpret_cast<uintptr_t>(text), 0);
    t_pDeliveries = frame.outer;
}

bool EventChannel::DeliveringOnThisThread() const
{
    for (const DeliveryFrame* frame = t_pDeliveries; frame != nullptr; frame = frame->outer) {
        if (frame->channel == this) {
            return true;
        }
    }
    return false;
}

}  // namespace quorvel
