#include "diag/log.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "demux/demuxer_interface.h"
#include "diag/instance_registry.h"
#include "support/wait_until.h"

namespace {

using test::WaitUntil;

struct Delivery {
    int nCode;
    std::wstring text;
};

// Stands in for the playback instance: records the log events handed to it and, when it
// has a host sink, what would reach the host.
class RecordingReceiver : public DemuxerInterface {
public:
    int OnVideoFrame(const uint8_t*, int, int, int, int, double) override { return 0; }
    int OnAudioFrame(const uint8_t*, int, int, int, double) override { return 0; }
    void OnDemuxEnd() override {}
    bool CanAcceptFrame(double, int) override { return true; }
    bool AcceptAudioPts(double) override { return true; }

    void OnDemuxEvent(int nCode, intptr_t nParam, double dValue) override
    {
        EXPECT_EQ(dValue, 0.0);
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nEvents;
        if (m_bHasSink) m_deliveries.push_back({nCode, reinterpret_cast<const wchar_t*>(nParam)});
    }

    std::vector<Delivery> Deliveries()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_deliveries;
    }
    int Events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nEvents;
    }

    bool m_bHasSink = true;  // set before registering

private:
    std::mutex m_mutex;
    int m_nEvents = 0;
    std::vector<Delivery> m_deliveries;
};

// Keeps a receiver registered for one test; the registry is process-wide.
class Registration {
public:
    explicit Registration(DemuxerInterface* receiver) : m_pReceiver(receiver)
    {
        diag::RegisterInstance(receiver);
    }
    ~Registration() { diag::UnregisterInstance(m_pReceiver); }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

private:
    DemuxerInterface* m_pReceiver;
};

TEST(LogMessageTest, FormatsAndMapsLevelsToEventCodes)
{
    RecordingReceiver receiver;
    Registration registration(&receiver);

    LogMessage(LOG_ERROR, L"Demuxer::OpenVideo: unsupported codec: %d", 27);
    LogMessage(LOG_INFO, L"open %ls at %lld", L"f\u00e9.mkv", 1LL << 40);

    const std::vector<Delivery> got = receiver.Deliveries();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].nCode, DEMUX_EVENT_LOG_ERROR);
    EXPECT_EQ(got[0].text, L"Demuxer::OpenVideo: unsupported codec: 27");
    EXPECT_EQ(got[1].nCode, DEMUX_EVENT_LOG_INFO);
    EXPECT_EQ(got[1].text, L"open f\u00e9.mkv at 1099511627776");
}

TEST(LogMessageTest, DropsInvalidLevelsNullFormatAndEmptyText)
{
    RecordingReceiver receiver;
    Registration registration(&receiver);

    LogMessage(2, L"level two");
    LogMessage(-1, L"level minus one");
    LogMessage(LOG_ERROR, nullptr);
    LogMessage(LOG_ERROR, L"");
    LogMessage(LOG_INFO, L"%ls", L"");

    EXPECT_EQ(receiver.Events(), 0);
}

// A null entry would be the smallest address and so take every message; a message with
// nobody registered must not wait for a later receiver.
TEST(LogMessageTest, WithoutReceiverIsDroppedAndNullRegistrationIgnored)
{
    diag::RegisterInstance(nullptr);
    LogMessage(LOG_ERROR, L"nobody listens: %d", 1);
    RecordingReceiver receiver;
    Registration registration(&receiver);
    EXPECT_EQ(receiver.Events(), 0);
    LogMessage(LOG_ERROR, L"now one listens: %d", 2);
    diag::UnregisterInstance(nullptr);
    LogMessage(LOG_INFO, L"still listening: %d", 3);
    const std::vector<Delivery> got = receiver.Deliveries();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].text, L"now one listens: 2");
    EXPECT_EQ(got[1].text, L"still listening: 3");
}

TEST(LogMessageTest, SmallestAddressReceives)
{
    RecordingReceiver receivers[2];  // receivers[0] has the smaller address
    Registration second(&receivers[1]);
    Registration first(&receivers[0]);
    diag::RegisterInstance(&receivers[0]);  // a second registration leaves one entry

    LogMessage(LOG_INFO, L"hello");
    EXPECT_EQ(receivers[0].Deliveries().size(), 1u);
    EXPECT_EQ(receivers[1].Events(), 0);

    diag::UnregisterInstance(&receivers[0]);
    LogMessage(LOG_INFO, L"again");
    EXPECT_EQ(receivers[0].Deliveries().size(), 1u);
    EXPECT_EQ(receivers[1].Deliveries().size(), 1u);
}

TEST(LogMessageTest, ReceiverWithoutSinkDropsItEvenWhenAnotherHasOne)
{
    RecordingReceiver receivers[2];
    receivers[0].m_bHasSink = false;
    Registration first(&receivers[0]);
    Registration second(&receivers[1]);

    LogMessage(LOG_ERROR, L"lost");
    EXPECT_EQ(receivers[0].Events(), 1);
    EXPECT_TRUE(receivers[0].Deliveries().empty());
    EXPECT_EQ(receivers[1].Events(), 0);
}

TEST(LogMessageTest, LongMessagesAreDeliveredWholeOrCut)
{
    RecordingReceiver receiver;
    Registration registration(&receiver);
    const std::wstring fits(LOG_BUFFER_CHARS - 1, L'a');
    const std::wstring tooLong = std::wstring(LOG_BUFFER_CHARS - 1, L'b') + L"overflow";

    LogMessage(LOG_INFO, L"%ls", fits.c_str());
    LogMessage(LOG_INFO, L"%ls", tooLong.c_str());

    const std::vector<Delivery> got = receiver.Deliveries();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].text, fits);
    EXPECT_EQ(got[1].text, tooLong.substr(0, LOG_BUFFER_CHARS - 1));
}

// Logs once more from inside the delivery, as the instance may while holding its own
// notification lock; a depth flag keeps it from recursing further.
class EchoingReceiver : public RecordingReceiver {
public:
    void OnDemuxEvent(int nCode, intptr_t nParam, double dValue) override
    {
        RecordingReceiver::OnDemuxEvent(nCode, nParam, dValue);
        if (m_bEchoing) return;
        m_bEchoing = true;
        LogMessage(LOG_INFO, L"echo of %ls", reinterpret_cast<const wchar_t*>(nParam));
        m_bEchoing = false;
    }

private:
    bool m_bEchoing = false;  // one thread only in this test
};

TEST(LogMessageTest, ReentrantDeliveryOnSameThread)
{
    EchoingReceiver receiver;
    Registration registration(&receiver);

    LogMessage(LOG_ERROR, L"first");

    const std::vector<Delivery> got = receiver.Deliveries();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].text, L"first");
    EXPECT_EQ(got[1].text, L"echo of first");
}

// Holds each delivery until told, so tests can see what happens while one is in progress.
class BlockingReceiver : public RecordingReceiver {
public:
    void OnDemuxEvent(int nCode, intptr_t nParam, double dValue) override
    {
        ++m_nInside;
        WaitUntil([this] { return m_bRelease.load(); });
        RecordingReceiver::OnDemuxEvent(nCode, nParam, dValue);
        --m_nInside;
    }

    std::atomic<int> m_nInside{0};
    std::atomic<bool> m_bRelease{false};
};

TEST(LogMessageTest, DeliveriesFromSeveralThreadsRunInParallel)
{
    BlockingReceiver receiver;
    Registration registration(&receiver);

    std::thread first([] { LogMessage(LOG_INFO, L"one"); });
    std::thread second([] { LogMessage(LOG_INFO, L"two"); });
    const bool bothInside = WaitUntil([&] { return receiver.m_nInside.load() == 2; });
    receiver.m_bRelease = true;
    first.join();
    second.join();

    EXPECT_TRUE(bothInside);
    EXPECT_EQ(receiver.Deliveries().size(), 2u);
}

TEST(LogMessageTest, UnregisterWaitsForDeliveryInProgress)
{
    BlockingReceiver receiver;
    diag::RegisterInstance(&receiver);
    std::thread logger([] { LogMessage(LOG_INFO, L"slow"); });
    ASSERT_TRUE(WaitUntil([&] { return receiver.m_nInside.load() == 1; }));

    // What held when Unregister returned: the delivery had ended and was recorded.
    std::atomic<int> insideAtReturn{-1};
    std::atomic<size_t> deliveredAtReturn{0};
    std::thread destroyer([&] {
        diag::UnregisterInstance(&receiver);
        insideAtReturn = receiver.m_nInside.load();
        deliveredAtReturn = receiver.Deliveries().size();
    });
    // Time for the destroyer to reach Unregister; an Unregister that does not wait would
    // return now, inside the delivery. The outcome never depends on this wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    receiver.m_bRelease = true;
    logger.join();
    destroyer.join();
    EXPECT_EQ(insideAtReturn.load(), 0);
    EXPECT_EQ(deliveredAtReturn.load(), 1u);
}

}  // namespace
