// Micro benchmarks of the engine's own steady-path work: a picture through the queue and
// its pool, a 20 ms audio chunk cut across block boundaries, and a log call with and
// without a receiving instance.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "diag/log.h"
#include "instance/quorvel_instance.h"
#include "quorvel_test_access.h"

namespace {

std::atomic<int64_t> g_allocations{0};

}  // namespace

// Every allocation of the program is counted, so a benchmark can show how many its steady
// path makes.
[[gnu::noinline]] void* operator new(size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

// Allocations per iteration of the timed loop, as a counter of the report.
class AllocationCounter {
public:
    explicit AllocationCounter(benchmark::State& state)
        : m_state(state), m_start(g_allocations.load())
    {
    }
    ~AllocationCounter()
    {
        m_state.counters["allocs_per_iter"] =
            benchmark::Counter(static_cast<double>(g_allocations.load() - m_start),
                               benchmark::Counter::kAvgIterations);
    }

private:
    benchmark::State& m_state;
    int64_t m_start;
};

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kPictureBytes = kWidth * kHeight * 3 / 2;

// A picture on the decoder's path: a buffer lent by the instance, queued by the decoder
// thread's callback and taken by video delivery's queue operation, with the pool warm.
// Packing into the lent buffer is the decoder's own work and is left out.
void BM_PicturePushPop(benchmark::State& state)
{
    CQuorvel instance(L"unused.mp4", nullptr);
    CQuorvelTestAccess access(instance);
    access.Opened().store(true);
    double pts = 0.0;
    auto pushLent = [&instance, &pts] {
        const uint8_t* lent = instance.LendPictureBuffer(kPictureBytes);
        instance.OnVideoFrame(lent, kPictureBytes, kWidth, kHeight, 0, pts);
    };
    pushLent();
    access.PopVideo(&pts);  // warms the pool
    AllocationCounter allocations(state);
    for (auto _ : state) {
        pushLent();
        benchmark::DoNotOptimize(access.PopVideo(&pts));
        pts += 0.04;
    }
    state.SetBytesProcessed(state.iterations() * kPictureBytes);
}
BENCHMARK(BM_PicturePushPop);

// AAC blocks of 1024 stereo samples at 48 kHz (4096 bytes) against chunks of 3840 bytes,
// so most chunks end inside a block.
void BM_AudioChunkPull(benchmark::State& state)
{
    constexpr int kBlockBytes = 1024 * 2 * 2;
    constexpr int kChunkBytes = 48000 / 50 * 2 * 2;
    CQuorvel instance(L"unused.mp4", nullptr);
    CQuorvelTestAccess access(instance);
    access.Opened().store(true);
    const std::vector<uint8_t> block(kBlockBytes, 1);
    std::vector<uint8_t> chunk(kChunkBytes);
    int queued = 0;
    double pts = 0.0;
    AllocationCounter allocations(state);
    for (auto _ : state) {
        while (queued < kChunkBytes) {
            instance.OnAudioFrame(block.data(), kBlockBytes, 48000, 2, pts);
            queued += kBlockBytes;
            pts += 1024.0 / 48000.0;
        }
        double chunkPts = 0.0;
        benchmark::DoNotOptimize(access.PopChunk(chunk.data(), &chunkPts));
        queued -= kChunkBytes;
    }
    state.SetBytesProcessed(state.iterations() * kChunkBytes);
}
BENCHMARK(BM_AudioChunkPull);

// The line every audio pull writes.
void LogAudioPullLine()
{
    LogMessage(LOG_INFO, L"OnRenderGetaudioFrame::m_dLastPlayAVPTS,pts  m_lstvidep%f %f %f", 12.34,
               12.36, 12.32);
}

void BM_LogNoInstance(benchmark::State& state)
{
    AllocationCounter allocations(state);
    for (auto _ : state) {
        LogAudioPullLine();
    }
}
BENCHMARK(BM_LogNoInstance);

class CountingSink final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile*, uint32_t, uintptr_t, uintptr_t, uintptr_t param3,
                      uintptr_t) override
    {
        benchmark::DoNotOptimize(param3);
        ++events;
    }
    int64_t events = 0;
};

void BM_LogWithReceiver(benchmark::State& state)
{
    CountingSink sink;
    IMediaFile* instance = CreateInstance(L"unused.mp4", &sink);
    {
        AllocationCounter allocations(state);
        for (auto _ : state) {
            LogAudioPullLine();
        }
    }
    DestroyInstance(instance);
    if (sink.events != static_cast<int64_t>(state.iterations())) {
        state.SkipWithError("a log text did not reach the receiver");
    }
}
BENCHMARK(BM_LogWithReceiver);

}  // namespace

BENCHMARK_MAIN();
