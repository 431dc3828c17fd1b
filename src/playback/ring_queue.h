// A first-in first-out queue kept in one ring of slots. The ring doubles when it is full
// and never shrinks, so a queue whose length stays bounded allocates nothing once it has
// reached that length; std::deque allocates and frees a node every few entries instead.
//
// Not thread-safe: the lock of the queue's owner guards it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace playback {

template <typename T>
class RingQueue {
public:
    bool empty() const { return m_nCount == 0; }
    size_t size() const { return m_nCount; }

    T& front() { return m_slots[m_nHead]; }
    const T& front() const { return m_slots[m_nHead]; }
    const T& back() const { return m_slots[Slot(m_nCount - 1)]; }

    // Throws std::bad_alloc when the ring must grow and cannot; the queue is unchanged then.
    void push_back(T value)
    {
        if (m_nCount == m_slots.size()) Grow();
        m_slots[Slot(m_nCount)] = std::move(value);
        ++m_nCount;
    }

    // The slot is reset, so it holds nothing of the entry that left it.
    void pop_front()
    {
        m_slots[m_nHead] = T{};
        m_nHead = (m_nHead + 1) % m_slots.size();
        --m_nCount;
    }

    void swap(RingQueue& other) noexcept
    {
        m_slots.swap(other.m_slots);
        std::swap(m_nHead, other.m_nHead);
        std::swap(m_nCount, other.m_nCount);
    }

    // Calls f with every entry, front to back.
    template <typename F>
    void ForEach(F f) const
    {
        for (size_t i = 0; i < m_nCount; ++i) f(m_slots[Slot(i)]);
    }

private:
    static constexpr size_t RING_FIRST_CAPACITY = 16;

    size_t Slot(size_t position) const { return (m_nHead + position) % m_slots.size(); }

    void Grow()
    {
        std::vector<T> grown(std::max(RING_FIRST_CAPACITY, 2 * m_slots.size()));
        for (size_t i = 0; i < m_nCount; ++i) grown[i] = std::move(m_slots[Slot(i)]);
        m_slots.swap(grown);
        m_nHead = 0;
    }

    std::vector<T> m_slots;
    size_t m_nHead = 0;
    size_t m_nCount = 0;
};

}  // namespace playback
