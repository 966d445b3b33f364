// Deliveries of MessageBus.dll: thread, order, name and pattern matching, stamping, unsubscribe.
#include "BusDll.h"

#include <future>
#include <thread>

namespace bustest {
namespace {

using BusDelivery = BusTest;

TEST_F(BusDelivery, RunsOnBusThreadNotPublishers)
{
    Recorder recorder;
    ASSERT_NE(subscribe(recorder, L"Test.Thread"), nullptr);
    ASSERT_EQ(publish(L"Test.Thread", L"x"), 0u);
    ASSERT_TRUE(recorder.waitForCount(1));
    auto received = recorder.snapshot();
    EXPECT_NE(received[0].threadId, GetCurrentThreadId());
    EXPECT_EQ(received[0].name, L"Test.Thread");
    EXPECT_EQ(received[0].alias, L"tester");
    EXPECT_EQ(received[0].payload, L"x");
}

TEST_F(BusDelivery, KeepsPublishOrderPerSubscription)
{
    constexpr int kCount = 200;
    Recorder exact;
    Recorder pattern;
    ASSERT_NE(subscribe(exact, L"Test.Order"), nullptr);
    ASSERT_NE(subscribeFilter(pattern, L"Test\\..*"), nullptr);
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(publish(L"Test.Order", std::to_wstring(i).c_str()), 0u);
    ASSERT_TRUE(exact.waitForCount(kCount));
    ASSERT_TRUE(pattern.waitForCount(kCount));
    for (const Recorder* recorder : {&exact, &pattern}) {
        auto received = recorder->snapshot();
        for (int i = 0; i < kCount; ++i)
            ASSERT_EQ(received[i].payload, std::to_wstring(i)) << "position " << i;
    }
}

TEST_F(BusDelivery, HandlesShareOneBroker)
{
    MessageBusHandle other = nullptr;
    ASSERT_EQ(bus().open(&other), 0u);
    Recorder recorder;
    ASSERT_NE(subscribe(recorder, L"Test.Shared"), nullptr);
    const MessageOptions options = plainOptions();
    ASSERT_EQ(bus().publish(other, &options, L"Test.Shared", L"other", L"p"), 0u);
    EXPECT_TRUE(recorder.waitForCount(1));
    EXPECT_EQ(bus().release(other), 0u);
}

struct MatchCase {
    const char* label;
    bool isPattern;
    const wchar_t* subscription;
    const wchar_t* published;
    const wchar_t* sentinel;  // a name the subscription surely matches
    bool delivered;
};

class BusMatching : public BusTest, public ::testing::WithParamInterface<MatchCase> {};

// The sentinel follows the candidate on the same subscription, so once it has arrived the candidate
// would have arrived before it.
TEST_P(BusMatching, DeliversOnlyMatchingNames)
{
    const MatchCase& c = GetParam();
    Recorder recorder;
    auto subscription = c.isPattern ? subscribeFilter(recorder, c.subscription) : subscribe(recorder, c.subscription);
    ASSERT_NE(subscription, nullptr);
    ASSERT_EQ(publish(c.published, L"candidate"), 0u);
    ASSERT_EQ(publish(c.sentinel, L"sentinel"), 0u);
    ASSERT_TRUE(recorder.waitForCount(c.delivered ? 2 : 1));
    auto received = recorder.snapshot();
    if (c.delivered) {
        EXPECT_EQ(received[0].payload, L"candidate");
        EXPECT_EQ(received[0].name, c.published);
    } else {
        EXPECT_EQ(received[0].payload, L"sentinel");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, BusMatching,
    ::testing::Values(
        MatchCase{"ExactSameName", false, L"TaskScheduler.Task.Create", L"TaskScheduler.Task.Create",
                  L"TaskScheduler.Task.Create", true},
        MatchCase{"ExactIsCaseSensitive", false, L"TaskScheduler.Task.Create", L"taskscheduler.task.create",
                  L"TaskScheduler.Task.Create", false},
        MatchCase{"ExactIsNotAPattern", false, L"Task.*", L"Task.Create", L"Task.*", false},
        MatchCase{"ExactNeedsWholeName", false, L"Task", L"TaskScheduler", L"Task", false},
        MatchCase{"PatternMatchesWholeName", true, L"TaskScheduler\\.Task\\..*", L"TaskScheduler.Task.Create",
                  L"TaskScheduler.Task.X", true},
        MatchCase{"PatternPartOfNameIsNoMatch", true, L"Task", L"TaskScheduler.Task.Create", L"Task", false},
        MatchCase{"PatternAlternatives", true, L"A\\.(One|Two)", L"A.Two", L"A.One", true},
        MatchCase{"PatternIsCaseSensitive", true, L"a\\..*", L"A.x", L"a.x", false}),
    [](const ::testing::TestParamInfo<MatchCase>& info) { return std::string(info.param.label); });

TEST_F(BusDelivery, BadPatternIsRefused)
{
    Recorder recorder;
    EXPECT_EQ(subscribeFilter(recorder, L"Task(["), nullptr);
}

class BusSession : public BusTest, public ::testing::WithParamInterface<uint32_t> {};

// A record without a session gets the publisher's; one bound to a session keeps it.
TEST_P(BusSession, StampsPublishersSessionWhenUnset)
{
    DWORD ownSession = 0;
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &ownSession));
    Recorder recorder;
    ASSERT_NE(subscribe(recorder, L"Test.Session"), nullptr);
    MessageOptions options = plainOptions();
    options.sessionId = GetParam();
    ASSERT_EQ(publish(L"Test.Session", L"", options), 0u);
    ASSERT_TRUE(recorder.waitForCount(1));
    EXPECT_EQ(recorder.snapshot()[0].options.sessionId, GetParam() == 0 ? ownSession : GetParam());
}

INSTANTIATE_TEST_SUITE_P(Sessions, BusSession, ::testing::Values(0u, 7u));

TEST_F(BusDelivery, UpgradesVersionOneRecord)
{
    Recorder recorder;
    ASSERT_NE(subscribe(recorder, L"Test.V1"), nullptr);
    // Only the first 100 bytes belong to a version-1 sender; the rest must not be read.
    MessageOptions options = plainOptions();
    options.version = 1;
    options.versionTwoField = 0xDEADBEEF;
    options.sessionId = 0xDEADBEEF;
    ASSERT_EQ(publish(L"Test.V1", L"", options), 0u);
    ASSERT_TRUE(recorder.waitForCount(1));
    const MessageOptions delivered = recorder.snapshot()[0].options;
    EXPECT_EQ(delivered.version, MESSAGE_OPTIONS_VERSION);
    EXPECT_EQ(delivered.versionTwoField, MESSAGE_OPTIONS_VERSION_TWO_DEFAULT);
    EXPECT_NE(delivered.sessionId, 0xDEADBEEFu);
}

TEST_F(BusDelivery, UnsubscribeStopsDeliveries)
{
    Recorder recorder;
    MessageBusSubscription subscription = subscribe(recorder, L"Test.Unsub");
    ASSERT_NE(subscription, nullptr);
    ASSERT_EQ(publish(L"Test.Unsub", L"before"), 0u);
    ASSERT_TRUE(recorder.waitForCount(1));
    bus().unsubscribe(m_handle, subscription);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(publish(L"Test.Unsub", L"after"), 0u);
    // Release delivers everything still queued, so whatever would arrive has arrived.
    ASSERT_EQ(releaseHandle(), 0u);
    EXPECT_EQ(recorder.count(), 1u);
}

// Blocks in its delivery until released, so a test can hold a delivery in flight.
struct BlockingSubscriber {
    std::promise<void> entered;
    std::promise<void> proceed;
    std::shared_future<void> proceedSignal = proceed.get_future().share();
    bool finished = false;

    static uint32_t __cdecl onMessage(void* context, const MessageOptions*, const wchar_t*, const wchar_t*,
                                      const wchar_t*)
    {
        auto* self = static_cast<BlockingSubscriber*>(context);
        self->entered.set_value();
        self->proceedSignal.wait_for(std::chrono::milliseconds(kWaitMs));
        self->finished = true;
        return 0;
    }
};

TEST_F(BusDelivery, UnsubscribeWaitsForDeliveryInFlight)
{
    BlockingSubscriber subscriber;
    auto entered = subscriber.entered.get_future();
    MessageBusSubscription subscription = bus().subscribe(m_handle, &subscriber, BlockingSubscriber::onMessage, L"Test.Busy");
    ASSERT_NE(subscription, nullptr);
    ASSERT_EQ(publish(L"Test.Busy", L""), 0u);
    ASSERT_EQ(entered.wait_for(std::chrono::milliseconds(kWaitMs)), std::future_status::ready);

    auto unsubscribed = std::async(std::launch::async, [&] { bus().unsubscribe(m_handle, subscription); });
    bool returnedWhileBusy = unsubscribed.wait_for(std::chrono::milliseconds(200)) == std::future_status::ready;
    subscriber.proceed.set_value();
    ASSERT_EQ(unsubscribed.wait_for(std::chrono::milliseconds(kWaitMs)), std::future_status::ready);
    EXPECT_FALSE(returnedWhileBusy);
    EXPECT_TRUE(subscriber.finished);
}

// Unsubscribes itself from inside its first delivery; later messages must not reach it.
struct SelfUnsubscriber {
    SelfUnsubscriber(const MessageBusFunctions* b, MessageBusHandle h) : bus(b), handle(h) {}
    const MessageBusFunctions* bus;
    MessageBusHandle handle;
    MessageBusSubscription subscription = nullptr;
    Recorder recorder;

    static uint32_t __cdecl onMessage(void* context, const MessageOptions* options, const wchar_t* name,
                                      const wchar_t* alias, const wchar_t* payload)
    {
        auto* self = static_cast<SelfUnsubscriber*>(context);
        self->bus->unsubscribe(self->handle, self->subscription);
        return recordMessage(&self->recorder, options, name, alias, payload);
    }
};

TEST_F(BusDelivery, UnsubscribeFromOwnDeliveryDoesNotWaitForItself)
{
    SelfUnsubscriber subscriber(&bus(), m_handle);
    subscriber.subscription = bus().subscribe(m_handle, &subscriber, SelfUnsubscriber::onMessage, L"Test.Self");
    ASSERT_NE(subscriber.subscription, nullptr);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(publish(L"Test.Self", L""), 0u);
    ASSERT_TRUE(subscriber.recorder.waitForCount(1));
    ASSERT_EQ(releaseHandle(), 0u);
    EXPECT_EQ(subscriber.recorder.count(), 1u);
}

} // namespace
} // namespace bustest
