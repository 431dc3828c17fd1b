// Allocation failures at the C boundary. This test program's operator new fails the Nth
// allocation of the thread that arms it (other threads, and the thread once disarmed,
// allocate as usual); the walk over N reaches every allocation that CreateInstance,
// GetFileInfo and Open make on the host's thread, and each must end in the entry's
// failure value, never in an exception through the C boundary.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "quorvel.h"
#include "support/media_path.h"

namespace {

thread_local long t_nAllocationsLeft = -1;  // -1: never fail; 0: the next one fails

// Counts events and allocates nothing, so that only the engine's allocations fail.
class CountingSink final : public MediaFileInterface {
public:
    void OnMediaEvent(IMediaFile* /*sender*/, uint32_t /*event*/, uintptr_t /*param1*/,
                      uintptr_t /*param2*/, uintptr_t /*param3*/, uintptr_t /*param4*/) override
    {
        m_nEvents.fetch_add(1);
    }
    std::atomic<int> m_nEvents{0};
};

}  // namespace

void* operator new(std::size_t size)
{
    if (t_nAllocationsLeft == 0) throw std::bad_alloc();
    if (t_nAllocationsLeft > 0) --t_nAllocationsLeft;
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

// The replacement pairs malloc with free itself; GCC cannot see that operator new above is
// malloc, and would call the free a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t /*size*/) noexcept { std::free(memory); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

TEST(AllocationFailure, EntryPointsAnswerTheirFailureValueInsteadOfThrowing)
{
    const std::wstring path = test::WideMediaPath("h264_aac.mp4");
    for (long failing = 0;; ++failing) {
        ASSERT_LT(failing, 20000) << "the walk does not end";
        CountingSink sink;
        t_nAllocationsLeft = failing;
        IMediaFile* instance = CreateInstance(path.c_str(), &sink);
        int32_t audioOnly = 0;
        MediaFileInfo info{};
        const int32_t probed =
            instance != nullptr ? instance->GetFileInfo(0, &audioOnly, &info) : 0;
        const int32_t opened = instance != nullptr ? instance->Open() : 0;
        const bool noneFailed = t_nAllocationsLeft > 0;
        t_nAllocationsLeft = -1;
        if (instance != nullptr) {
            instance->Close();
            DestroyInstance(instance);
        }
        if (noneFailed) {
            EXPECT_GT(failing, 10) << "too few allocations to have walked anything";
            EXPECT_EQ(probed, 1);
            EXPECT_EQ(opened, 1);
            break;
        }
    }
}

}  // namespace
