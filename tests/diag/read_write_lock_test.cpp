#include "diag/read_write_lock.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/wait_until.h"

namespace diag {

// Sees the counts of holders and waiters, so a test knows a thread has queued up.
class ReadWriteLockProbe {
public:
    explicit ReadWriteLockProbe(ReadWriteLock& lock) : m_lock(lock) {}
    int32_t Readers() { return Read(m_lock.m_nReaders); }
    int32_t Writers() { return Read(m_lock.m_nWriters); }
    // Hand-overs set the state inside Unlock, so it shows a wrong hand-over at once.
    bool Shared() { return Read(m_lock.m_nState) == ReadWriteLock::LOCK_STATE_SHARED; }

private:
    int32_t Read(const int32_t& count) NO_THREAD_SAFETY_ANALYSIS
    {
        platform::LockGuard guard(m_lock.m_guard);
        return count;
    }
    ReadWriteLock& m_lock;
};

namespace {

using test::WaitUntil;

// Records who entered and left the lock, in order.
class Journal {
public:
    void Add(const std::string& entry)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries.push_back(entry);
    }
    std::vector<std::string> Entries()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_entries;
};

class ReadWriteLockTest : public ::testing::Test {
protected:
    // A failed ASSERT leaves the test thread's holds taken; they go first, so that the
    // threads waiting for them can end and be joined.
    ~ReadWriteLockTest() override
    {
        while (m_nHeld > 0) Release();
        for (auto& thread : m_threads) thread.join();
    }

    void Spawn(std::function<void()> body) { m_threads.emplace_back(std::move(body)); }

    // The test thread's holds. The tests take them in ways the analysis rejects on
    // purpose (two shared holds at once, a release of a free lock), so it skips these.
    void HoldShared() NO_THREAD_SAFETY_ANALYSIS
    {
        m_lock.ReadLock();
        ++m_nHeld;
    }
    void HoldExclusive() NO_THREAD_SAFETY_ANALYSIS
    {
        m_lock.WriteLock();
        ++m_nHeld;
    }
    void Release() NO_THREAD_SAFETY_ANALYSIS
    {
        m_lock.Unlock();
        if (m_nHeld > 0) --m_nHeld;
    }

    ReadWriteLock m_lock;
    int m_nHeld = 0;  // holds the test thread has taken and not released
    ReadWriteLockProbe m_probe{m_lock};
    std::vector<std::thread> m_threads;
};

TEST_F(ReadWriteLockTest, ReadersHoldTogether)
{
    constexpr int kReaders = 3;
    std::atomic<int> inside{0};
    std::atomic<bool> allMet{true};
    for (int i = 0; i < kReaders; ++i) {
        Spawn([&] {
            m_lock.ReadLock();
            ++inside;
            if (!WaitUntil([&] { return inside.load() == kReaders; })) allMet = false;
            m_lock.Unlock();
        });
    }
    for (auto& thread : m_threads) thread.join();
    m_threads.clear();
    EXPECT_TRUE(allMet);
    EXPECT_EQ(m_probe.Readers(), 0);
}

TEST_F(ReadWriteLockTest, WriterWaitsForEveryReader)
{
    HoldShared();
    HoldShared();
    std::atomic<bool> written{false};
    Spawn([&] {
        m_lock.WriteLock();
        written = true;
        m_lock.Unlock();
    });
    ASSERT_TRUE(WaitUntil([&] { return m_probe.Writers() == 1; }));

    Release();
    EXPECT_TRUE(m_probe.Shared());
    EXPECT_FALSE(WaitUntil([&] { return written.load(); }, 100));
    EXPECT_EQ(m_probe.Writers(), 1);

    Release();
    EXPECT_TRUE(WaitUntil([&] { return written.load(); }));
}

TEST_F(ReadWriteLockTest, WaitingWriterGoesBeforeWaitingReadersWhoThenGoTogether)
{
    constexpr int kReaders = 3;
    Journal journal;
    std::atomic<int> readersInside{0};
    std::atomic<bool> readersMet{true};
    HoldExclusive();

    Spawn([&] {
        m_lock.WriteLock();
        journal.Add("writer in");
        // Room for a reader that should not be let in; a correct lock lets none in.
        WaitUntil([&] { return readersInside.load() > 0; }, 100);
        journal.Add("writer out");
        m_lock.Unlock();
    });
    ASSERT_TRUE(WaitUntil([&] { return m_probe.Writers() == 2; }));
    for (int i = 0; i < kReaders; ++i) {
        Spawn([&] {
            m_lock.ReadLock();
            journal.Add("reader in");
            ++readersInside;
            if (!WaitUntil([&] { return readersInside.load() == kReaders; })) readersMet = false;
            m_lock.Unlock();
        });
    }
    ASSERT_TRUE(WaitUntil([&] { return m_probe.Readers() == kReaders; }));

    Release();
    for (auto& thread : m_threads) thread.join();
    m_threads.clear();

    const std::vector<std::string> entries = journal.Entries();
    ASSERT_EQ(entries.size(), 2u + kReaders);
    EXPECT_EQ(entries[0], "writer in");
    EXPECT_EQ(entries[1], "writer out");
    EXPECT_TRUE(readersMet) << "the waiting readers were not let in together";
}

TEST_F(ReadWriteLockTest, OverlappingReadersKeepWriterWaiting)
{
    std::atomic<bool> written{false};
    HoldShared();
    Spawn([&] {
        m_lock.WriteLock();
        written = true;
        m_lock.Unlock();
    });
    ASSERT_TRUE(WaitUntil([&] { return m_probe.Writers() == 1; }));

    for (int i = 0; i < 50; ++i) {
        HoldShared();  // joins the shared hold although a writer waits
        Release();
        EXPECT_TRUE(m_probe.Shared());
    }
    Release();
    EXPECT_TRUE(WaitUntil([&] { return written.load(); }));
}

TEST_F(ReadWriteLockTest, ReaderArrivingDuringHandOverWaitsForTheWriter)
{
    std::atomic<bool> writerIn{false};
    std::atomic<bool> releaseWriter{false};
    std::atomic<bool> readWhileWriting{false};
    HoldShared();
    Spawn([&] {
        m_lock.WriteLock();
        writerIn = true;
        WaitUntil([&] { return releaseWriter.load(); });
        writerIn = false;
        m_lock.Unlock();
    });
    ASSERT_TRUE(WaitUntil([&] { return m_probe.Writers() == 1; }));

    Release();  // hands the lock to the writer, who may not have woken yet
    Spawn([&] {
        m_lock.ReadLock();
        readWhileWriting = writerIn.load();
        m_lock.Unlock();
    });
    ASSERT_TRUE(WaitUntil([&] { return m_probe.Readers() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return writerIn.load(); }));
    releaseWriter = true;
    for (auto& thread : m_threads) thread.join();
    m_threads.clear();
    EXPECT_FALSE(readWhileWriting);
}

TEST_F(ReadWriteLockTest, UnlockOfFreeLockDoesNothing)
{
    Release();
    HoldExclusive();
    Release();
    HoldShared();
    Release();
    EXPECT_EQ(m_probe.Readers(), 0);
    EXPECT_EQ(m_probe.Writers(), 0);
}

}  // namespace
}  // namespace diag
