// The slot tables are a binary contract: hosts built by any compiler, or in C, call the
// engine by slot number, and the engine calls the host's slot 1.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <type_traits>

#include "quorvel.h"

namespace {

// GCC and Clang (the Itanium C++ ABI, mingw-w64 included) represent a pointer to a
// virtual member function as 1 + the byte offset of its slot in the table.
template <typename Member>
size_t SlotOf(Member member)
{
    struct {
        uintptr_t ptr;
        ptrdiff_t adjust;
    } raw;
    static_assert(sizeof(member) == sizeof(raw), "an Itanium member function pointer");
    std::memcpy(&raw, &member, sizeof raw);
    return (raw.ptr - 1) / sizeof(void*);
}

// Slot 0 is not a destructor outside MSVC, so deleting through the interfaces must not
// compile there.
static_assert(!std::is_destructible<IMediaFile>::value, "IMediaFile is destroyed by slot 0");
static_assert(!std::is_destructible<MediaFileInterface>::value, "the host owns slot 0");
static_assert(!std::has_virtual_destructor<IMediaFile>::value, "slot 0 is one slot");

TEST(SlotTable, EveryOperationKeepsItsSlotNumber)
{
    EXPECT_EQ(SlotOf(&IMediaFile::DeletingDestructor), 0u);
    EXPECT_EQ(SlotOf(&IMediaFile::SetLoop), 1u);
    EXPECT_EQ(SlotOf(&IMediaFile::Open), 2u);
    EXPECT_EQ(SlotOf(&IMediaFile::IsOpen), 3u);
    EXPECT_EQ(SlotOf(&IMediaFile::Close), 4u);
    EXPECT_EQ(SlotOf(&IMediaFile::Pause), 5u);
    EXPECT_EQ(SlotOf(&IMediaFile::IsPaused), 6u);
    EXPECT_EQ(SlotOf(&IMediaFile::Resume), 7u);
    EXPECT_EQ(SlotOf(&IMediaFile::GetPos), 8u);
    EXPECT_EQ(SlotOf(&IMediaFile::SetPos), 9u);
    EXPECT_EQ(SlotOf(&IMediaFile::IsAudioOnly), 10u);
    EXPECT_EQ(SlotOf(&IMediaFile::OnRenderGetaudioFrame), 11u);
    EXPECT_EQ(SlotOf(&IMediaFile::GetFileInfo), 12u);
    EXPECT_EQ(SlotOf(&MediaFileInterface::DeletingDestructor), 0u);
    EXPECT_EQ(SlotOf(&MediaFileInterface::OnMediaEvent), 1u);
}

// Without QUORVEL_DELETE_MEMORY slot 0 destroys but leaves the memory to the caller, as
// an MSVC host's explicit destructor call does.
TEST(SlotTable, SlotZeroWithoutTheDeleteFlagLeavesTheMemory)
{
    IMediaFile* instance = CreateInstance(L"/nonexistent/slot0.mp4", nullptr);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->Open(), 0);
    void* memory = instance->DeletingDestructor(0);
    EXPECT_EQ(memory, static_cast<void*>(instance));
    ::operator delete(memory);
}

}  // namespace
