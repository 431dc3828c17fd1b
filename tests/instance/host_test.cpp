// Host-level runs through the public header alone: two instances side by side, the
// content of what plays across pauses, loops, reopens, size changes and seeks. Pictures
// and PCM are compared with FFmpeg's own decode of the fixture; timing bounds are loose.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "instance/host_support.h"

namespace {

using namespace std::chrono_literals;
using test::Create;
using test::InstancePtr;
using test::PcmRecorder;
using test::RecordingSink;
using test::WaitUntil;

// ---- two instances --------------------------------------------------------------------

TEST(Host, TwoInstancesEachGetTheirOwnOpenFailed)
{
    RecordingSink first;
    RecordingSink second;
    InstancePtr a = Create("missing_a.mp4", &first);
    InstancePtr b = Create("missing_b.mp4", &second);
    EXPECT_EQ(a->Open(), 0);
    EXPECT_EQ(first.OpenFailedCount(), 1);
    EXPECT_EQ(second.OpenFailedCount(), 0);
    EXPECT_EQ(b->Open(), 0);
    EXPECT_EQ(first.OpenFailedCount(), 1);
    EXPECT_EQ(second.OpenFailedCount(), 1);
}

// Every log text of the process goes to the live instance with the lowest address, which
// sends it to its own sink as the sender, whichever instance the text concerns.
TEST(Host, LogTextsGoToTheInstanceWithTheLowestAddress)
{
    RecordingSink first;
    RecordingSink second;
    InstancePtr a = Create("limit_w99.nut", &first);
    InstancePtr b = Create("limit_w99.nut", &second);
    const bool aLower = std::less<IMediaFile*>()(a.get(), b.get());
    IMediaFile* higher = aLower ? b.get() : a.get();
    RecordingSink& receiver = aLower ? first : second;
    RecordingSink& bystander = aLower ? second : first;
    int32_t audioOnly = 0;
    MediaFileInfo info{};
    EXPECT_EQ(higher->GetFileInfo(0, &audioOnly, &info), 0);  // logs "invalid file"
    EXPECT_EQ(receiver.CountLogs(L"invalid file"), 1u);
    EXPECT_EQ(bystander.CountLogs(L"invalid file"), 0u);
    const std::vector<IMediaFile*> senders = receiver.Senders();
    EXPECT_TRUE(std::all_of(senders.begin(), senders.end(),
                            [&](IMediaFile* sender) { return sender != higher; }));
}

// The other instance keeps logging (one text per picture, audio pull and GetPos) while
// one is destroyed, the receiver of the logs or not.
TEST(Host, DestroyedInstanceSinkGetsNothingWhileTheOtherLogs)
{
    for (bool destroyLower : {true, false}) {
        RecordingSink sinks[2];
        IMediaFile* instances[2];
        for (int i = 0; i < 2; ++i) {
            instances[i] = CreateInstance(test::WideMediaPath("h264_aac.mp4").c_str(), &sinks[i]);
        }
        const bool firstLower = std::less<IMediaFile*>()(instances[0], instances[1]);
        const int victim = firstLower == destroyLower ? 0 : 1;
        InstancePtr survivor(instances[1 - victim]);
        RecordingSink& playing = sinks[1 - victim];
        ASSERT_EQ(survivor->Open(), 1);
        test::AudioPuller audio(survivor.get());
        ASSERT_TRUE(WaitUntil([&] { return playing.PictureCount() >= 3; }, 10000));
        DestroyInstance(instances[victim]);
        sinks[victim].Seal();
        const size_t logsBefore = playing.Logs().size();
        EXPECT_TRUE(WaitUntil([&] { return playing.Logs().size() > logsBefore + 20; }, 10000));
        EXPECT_EQ(sinks[victim].EventsAfterSeal(), 0) << "destroyed the lower: " << destroyLower;
        audio.Stop();
    }
}

}  // namespace
