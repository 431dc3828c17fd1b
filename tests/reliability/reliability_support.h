// Shared pieces of the hostile-file and stress suites: a host sink that counts what it is
// sent, a scratch folder, byte-level file helpers, the process's thread count and a
// watchdog that ends a hung scenario instead of letting it block the run.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/utf8.h"
#include "quorvel.h"
#include "support/audio_puller.h"
#include "support/media_path.h"
#include "support/scratch_dir.h"

namespace reliability {

using test::ScratchDir;

struct InstanceDeleter {
    void operator()(IMediaFile* instance) const { DestroyInstance(instance); }
};
using InstancePtr = std::unique_ptr<IMediaFile, InstanceDeleter>;

// Counts events; keeps the log texts. After Seal every event counts as a late one.
class CountingSink final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile* /*sender*/, uint32_t event, uintptr_t param1,
                      uintptr_t /*param2*/, uintptr_t param3, uintptr_t /*param4*/) override
    {
        if (m_bSealed.load()) ++m_nLate;
        if (event == MEDIA_EVENT_VIDEO_FRAME) {
            const auto* frame = reinterpret_cast<const VideoFrameInfo*>(param1);
            // Reading the last byte catches a picture shorter than it claims (ASan).
            if (frame->nSize > 0) m_lastByte.store(frame->pData[frame->nSize - 1]);
            ++m_nPictures;
        } else if (event == MEDIA_EVENT_OPEN_FAILED) {
            ++m_nOpenFailed;
        } else if (event == MEDIA_EVENT_LOG) {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_logs.emplace_back(reinterpret_cast<const wchar_t*>(param3));
        } else {
            ++m_nUnknown;
        }
    }

    int Pictures() const { return m_nPictures.load(); }
    int OpenFailed() const { return m_nOpenFailed.load(); }
    int Unknown() const { return m_nUnknown.load(); }
    int Late() const { return m_nLate.load(); }
    void Seal() { m_bSealed.store(true); }
    size_t CountLogs(const std::wstring& text)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        size_t count = 0;
        for (const std::wstring& log : m_logs) count += log == text ? 1 : 0;
        return count;
    }
    size_t LogCount()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_logs.size();
    }

private:
    std::atomic<int> m_nPictures{0};
    std::atomic<int> m_nOpenFailed{0};
    std::atomic<int> m_nUnknown{0};
    std::atomic<int> m_nLate{0};
    std::atomic<bool> m_bSealed{false};
    std::atomic<uint8_t> m_lastByte{0};
    std::mutex m_mutex;
    std::vector<std::wstring> m_logs;
};

inline std::string Utf8(const std::wstring& text)
{
    std::string out;
    platform::WideToUtf8(text, out);
    return out;
}

inline std::wstring Wide(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text)
{
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// Threads of this process, from /proc/self/task.
inline size_t ThreadCount()
{
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++count;
    }
    return count;
}

// The thread count to compare against later. ThreadSanitizer starts a helper thread of
// its own at the first thread creation; one short-lived thread makes sure it is counted.
inline size_t BaselineThreadCount()
{
    std::thread([] {}).join();
    return ThreadCount();
}

// Polls every 5 ms of real time until done holds or the limit has passed.
template <typename Predicate>
bool WaitFor(Predicate done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The longest a scenario may run: below ctest's 120 s per test (tests/CMakeLists.txt), so a
// hang is named by the watchdog rather than cut off unnamed by ctest.
constexpr std::chrono::seconds kWatchdogLimit{100};

// Ends the process with a message when the scenario it guards outlives its bound: a
// deadlock must fail the run, not hang it.
class Watchdog {
public:
    Watchdog(const char* scenario, std::chrono::seconds limit)
        : m_thread([this, scenario, limit] { Watch(scenario, limit); })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_bDone = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    void Watch(const char* scenario, std::chrono::seconds limit)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_wake.wait_for(lock, limit, [this] { return m_bDone; })) {
            std::fprintf(stderr, "watchdog: %s still running after %lld s\n", scenario,
                         static_cast<long long>(limit.count()));
            std::abort();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bDone = false;
    std::thread m_thread;  // last: starts once the state above exists
};

}  // namespace reliability
