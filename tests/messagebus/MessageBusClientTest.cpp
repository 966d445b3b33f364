// The bus client's own rules, with the bus replaced by a recording shim so failures and replies
// can be forced: plain copies of replies, pending replies, waiting, subscriptions and filters.
#include "FixedSessionProcess.h"
#include "ExpectLogged.h"
#include "RecordingShim.h"

#include "common/UniqueHandle.h"
#include "message/Message.h"
#include "message/Reply.h"
#include "messagebus/MessageBusClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace Tessel;
using kstest::RecordingShim;

namespace {

constexpr uint32_t bit(unsigned n)
{
    return 1u << n;
}

class ClientTest : public ::testing::Test {
protected:
    std::shared_ptr<MessageBusClient> makeClient(std::optional<uint32_t> session = 1)
    {
        return std::make_shared<MessageBusClient>(shim, std::make_shared<kstest::FixedSessionProcess>(session));
    }

    std::shared_ptr<Message> message(const wchar_t* name = L"Test.Message")
    {
        return Message::create(name, L"Tester", L"{}");
    }

    // A subscriber that counts its calls.
    static MessageCallback counting(std::atomic<int>& calls)
    {
        return [&calls](std::shared_ptr<Message>) -> uint32_t { ++calls; return 0; };
    }
    static uint32_t ignore(std::shared_ptr<Message>) { return 0; }

    std::shared_ptr<RecordingShim> shim = std::make_shared<RecordingShim>();
    std::shared_ptr<MessageBusClient> client = makeClient();
};

// --- Publishing: a reply goes out once as a reply and once as a plain message -----------------

struct PlainCopyCase {
    const char* label;
    uint32_t flags;
    size_t expectedPublishes;
};

class ReplyPlainCopy : public ClientTest, public ::testing::WithParamInterface<PlainCopyCase> {};

TEST_P(ReplyPlainCopy, PublishesPlainCopyOnlyForUnmarkedReplies)
{
    auto msg = message();
    msg->options().flags = GetParam().flags;
    msg->options().replyToken = 0x1234;

    ASSERT_EQ(client->publish(msg), MODULE_STATUS_SUCCESS);

    auto sent = shim->published();
    ASSERT_EQ(sent.size(), GetParam().expectedPublishes);
    EXPECT_EQ(sent[0].flags & bit(MESSAGE_FLAG_BIT_REPLY), GetParam().flags & bit(MESSAGE_FLAG_BIT_REPLY));
    EXPECT_EQ(sent[0].replyToken, 0x1234u);
    if (sent.size() == 2) {
        EXPECT_EQ(sent[1].flags & bit(MESSAGE_FLAG_BIT_REPLY), 0u);
        EXPECT_EQ(sent[1].replyToken, 0u);
        EXPECT_EQ(sent[1].name, sent[0].name);
    }
}

INSTANTIATE_TEST_SUITE_P(Flags, ReplyPlainCopy,
                         ::testing::Values(PlainCopyCase{"Reply", bit(0), 2},
                                           PlainCopyCase{"ReplyBit3", bit(0) | bit(3), 1},
                                           PlainCopyCase{"ReplyBit4", bit(0) | bit(4), 1},
                                           PlainCopyCase{"Plain", 0, 1},
                                           PlainCopyCase{"PlainBit3", bit(3), 1}),
                         [](const auto& info) { return std::string(info.param.label); });

// The reply itself failing fails the publish and skips the plain copy; the copy failing only warns.
struct RejectedCase {
    const char* label;
    size_t failingPublish;
    ModuleStatus busStatus;
    ModuleStatus result;
    size_t published;
    ::ETWLogging::LogLevel level;
    const wchar_t* line;
};

class RejectedPublish : public ClientTest, public ::testing::WithParamInterface<RejectedCase> {};

TEST_P(RejectedPublish, ReportsAndLogsTheBusStatus)
{
    const RejectedCase& c = GetParam();
    shim->failPublish(c.failingPublish, c.busStatus);
    auto msg = message();
    msg->setFlag(MESSAGE_FLAG_BIT_REPLY);
    kstest::LogCapture log;
    EXPECT_EQ(client->publish(msg), c.result);
    EXPECT_EQ(shim->published().size(), c.published);
    EXPECT_LOGGED(log, c.level, c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Copies, RejectedPublish,
    ::testing::Values(RejectedCase{"Reply", 0, MODULE_STATUS_INVALID_HANDLE, MODULE_STATUS_INVALID_HANDLE, 1,
                                   ::ETWLogging::LOG_LEVEL_ERROR, L"Failed to publish message. Error code 2147483655."},
                      RejectedCase{"PlainCopy", 1, MODULE_STATUS_NO_MEMORY, MODULE_STATUS_SUCCESS, 2,
                                   ::ETWLogging::LOG_LEVEL_WARNING,
                                   L"Failed to publish non-reply copy of the message. Error code 2147483657."}),
    [](const auto& info) { return std::string(info.param.label); });

// --- Requests and pending replies ----------------------------------------------------------------

TEST_F(ClientTest, RejectedRequestLeavesNoPendingEntryAndIndicesAreNotReused)
{
    shim->failRequests(MODULE_STATUS_NO_SUBSCRIBERS);
    std::shared_ptr<Reply> reply;
    kstest::LogCapture log;
    EXPECT_EQ(client->request(message(), reply, 100), MODULE_STATUS_NO_SUBSCRIBERS);
    EXPECT_EQ(reply, nullptr);
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, L"Failed to make request. Error code 2147483662.");

    shim->failRequests(MODULE_STATUS_SUCCESS);
    ASSERT_EQ(client->request(message(), reply, 100), MODULE_STATUS_SUCCESS);
    auto requests = shim->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1].replyIndex, requests[0].replyIndex);
    // The rejected index is gone: settling it finds nothing.
    EXPECT_EQ(client->replyCallback(requests[0].replyIndex, message(), 0), MODULE_STATUS_NOT_FOUND);
    EXPECT_EQ(client->replyCallback(requests[1].replyIndex, message(L"Answer"), 0), MODULE_STATUS_SUCCESS);
    EXPECT_EQ(reply->wait(), REPLY_STATUS_RECEIVED);
    EXPECT_EQ(reply->getMessage()->name(), L"Answer");
}

struct SettleCase {
    const char* label;
    ModuleStatus busStatus;
    bool withMessage;
    uint32_t expectedReplyStatus;
};

class ReplySettling : public ClientTest, public ::testing::WithParamInterface<SettleCase> {};

TEST_P(ReplySettling, ReplyStatusFollowsTheBusOutcomeAndCompletionRuns)
{
    std::shared_ptr<Reply> reply;
    std::promise<void> completed;
    ASSERT_EQ(client->request(message(), reply, 100), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(client->request(message(), [&]() -> uint32_t { completed.set_value(); return 0; }, 100),
              MODULE_STATUS_SUCCESS);
    auto requests = shim->requests();
    std::shared_ptr<Message> answer = GetParam().withMessage ? message(L"Answer") : nullptr;

    std::thread bus([&] {
        (*requests[0].replyFunction)(requests[0].replyIndex, answer, GetParam().busStatus);
        (*requests[1].replyFunction)(requests[1].replyIndex, answer, GetParam().busStatus);
    });
    EXPECT_EQ(reply->wait(), GetParam().expectedReplyStatus);
    EXPECT_EQ(completed.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    bus.join();
    EXPECT_EQ(reply->getMessage() != nullptr, GetParam().expectedReplyStatus == REPLY_STATUS_RECEIVED);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, ReplySettling,
                         ::testing::Values(SettleCase{"Arrived", 0, true, REPLY_STATUS_RECEIVED},
                                           SettleCase{"ArrivedEmpty", 0, false, REPLY_STATUS_NO_REPLY},
                                           SettleCase{"TimedOut", MODULE_STATUS_TIMEOUT, false, REPLY_STATUS_NO_REPLY},
                                           SettleCase{"Shutdown", 0x800000FF, false, REPLY_STATUS_NO_REPLY}),
                         [](const auto& info) { return std::string(info.param.label); });

// --- Subscriptions ---------------------------------------------------------------------------------

TEST_F(ClientTest, UnsubscribeReleasesEveryHandleOfItsAliasOnly)
{
    ASSERT_EQ(client->subscribe(L"A.One", L"Group", ignore), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(client->subscribe(L"A.Two", L"Group", ignore, ownSession), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(client->subscribeFilter(L"A\\..*", L"Group", ignore), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(client->subscribe(L"B.One", ignore), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(shim->liveSubscriptions(), 4u);

    EXPECT_EQ(client->unsubscribe(L"Group"), MODULE_STATUS_SUCCESS);
    EXPECT_EQ(shim->unsubscribed().size(), 3u);
    EXPECT_EQ(shim->liveSubscriptions(), 1u);

    kstest::LogCapture log;
    EXPECT_EQ(client->unsubscribe(L"Group"), MODULE_STATUS_SUCCESS);
    EXPECT_EQ(shim->unsubscribed().size(), 3u);
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_WARNING, L"Subscription not found. Alias: Group.");
}

TEST_F(ClientTest, RefusedSubscriptionIsReportedAndLeavesNoGroup)
{
    shim->refuseSubscriptions(true);
    kstest::LogCapture log;
    EXPECT_EQ(client->subscribe(L"A.One", L"Group", ignore), MODULE_STATUS_UNSUCCESSFUL);
    EXPECT_EQ(client->subscribeFilter(L"A.*", L"Group", ignore), MODULE_STATUS_UNSUCCESSFUL);
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, L"Failed to subscribe. Alias: Group Message name: A.One");
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, L"Failed to subscribeFilter. Alias: Group Message nameRegex: A.*");
    client->unsubscribe(L"Group");
    EXPECT_TRUE(shim->unsubscribed().empty());
}

// A delivery the bus started and has not finished: ending the subscription, or the client, waits
// for it whatever the bus does, so the subscriber may free what its callable uses once the end
// returns. The shim, like a bus that does not wait, forgets the subscription at once.
class HeldDelivery : public ClientTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HeldDelivery, EndingTheSubscriptionWaitsForIt)
{
    const bool destroyClient = GetParam();
    Keelwork::unique_event entered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Keelwork::unique_event release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Keelwork::unique_event ended(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> finished{false};
    ASSERT_EQ(client->subscribe(L"Held", [&](std::shared_ptr<Message>) -> uint32_t {
        ::SetEvent(entered.get());
        ::WaitForSingleObject(release.get(), 10000);
        finished = true;
        return 0;
    }), MODULE_STATUS_SUCCESS);
    std::thread bus([&] { shim->deliver(L"Held", defaultMessageOptions(), L"{}"); });
    ASSERT_EQ(::WaitForSingleObject(entered.get(), 10000), DWORD{WAIT_OBJECT_0});
    bool finishedAtEnd = false;
    std::thread ender([&] {
        if (destroyClient)
            client.reset();
        else
            client->unsubscribe(L"Held");
        finishedAtEnd = finished;
        ::SetEvent(ended.get());
    });
    EXPECT_EQ(::WaitForSingleObject(ended.get(), 300), DWORD{WAIT_TIMEOUT}) << "the end did not wait";
    ::SetEvent(release.get());
    ender.join();
    bus.join();
    EXPECT_TRUE(finishedAtEnd) << "the end returned while the delivery ran";
}

INSTANTIATE_TEST_SUITE_P(End, HeldDelivery, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "ClientReleased" : "Unsubscribed"); });

// A callable, delivered directly or over the bus, may end its own subscription and subscribe anew.
class SelfEndingCallable : public ClientTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SelfEndingCallable, EndsItsSubscriptionAndSubscribesAnew)
{
    std::atomic<int> calls{0};
    ASSERT_EQ(client->subscribe(L"Once", [&](std::shared_ptr<Message>) -> uint32_t {
        ++calls;
        client->unsubscribe(L"Once");
        client->subscribe(L"Other", ignore);
        return 0;
    }), MODULE_STATUS_SUCCESS);
    for (int round = 0; round < 2; ++round) {
        if (GetParam())
            EXPECT_EQ(client->dispatchDirect(message(L"Once")), MODULE_STATUS_SUCCESS);
        else
            shim->deliver(L"Once", defaultMessageOptions(), L"{}");
    }
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(shim->liveSubscriptions(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Delivered, SelfEndingCallable, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Directly" : "OverTheBus"); });

struct SessionCase {
    const char* label;
    std::optional<uint32_t> clientSession;  // empty: the lookup fails
    uint32_t messageSession;
    bool delivered;
    bool versionOne = false;  // a version-1 record carries no session
};

class SessionFilter : public ClientTest, public ::testing::WithParamInterface<SessionCase> {};

TEST_P(SessionFilter, OwnSessionSubscriberSeesOnlyItsOwnOrUnboundMessages)
{
    kstest::LogCapture log;
    client = makeClient(GetParam().clientSession);
    // A failed lookup is logged and leaves the id 0, which turns the filter off.
    if (!GetParam().clientSession) {
        EXPECT_EQ(client->sessionId(), 0u);
        EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, L"Failed to get the session id for process");
        EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, L"- defaulting to 0");
    }
    std::atomic<int> filtered{0};
    std::atomic<int> unfiltered{0};
    ASSERT_EQ(client->subscribe(L"Session.Test", L"Filtered",
                                counting(filtered), ownSession), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(client->subscribe(L"Session.Test", L"Plain",
                                counting(unfiltered)), MODULE_STATUS_SUCCESS);

    MessageOptions options = defaultMessageOptions();
    options.sessionId = GetParam().messageSession;
    if (GetParam().versionOne)
        options.version = 1;
    shim->deliver(L"Session.Test", options, L"{}");

    EXPECT_EQ(filtered.load(), GetParam().delivered ? 1 : 0);
    EXPECT_EQ(unfiltered.load(), 1);
}

INSTANTIATE_TEST_SUITE_P(Sessions, SessionFilter,
                         ::testing::Values(SessionCase{"Unbound", 5, 0, true},
                                           SessionCase{"Same", 5, 5, true},
                                           SessionCase{"Other", 5, 7, false},
                                           SessionCase{"LookupFailedKeepsAll", std::nullopt, 7, true},
                                           SessionCase{"VersionOneIgnoresIt", 5, 7, true, true}),
                         [](const auto& info) { return std::string(info.param.label); });

// --- Direct dispatch --------------------------------------------------------------------------------

// A direct message goes to every subscriber, in any group, whose name equals it or whose pattern
// matches it whole; nothing goes out on the bus.
struct DirectCase {
    const char* label;
    bool byPattern;
    const wchar_t* subscribed;
    const wchar_t* name;
    bool matches;
};

void PrintTo(const DirectCase& value, std::ostream* os) { *os << value.label; }

class DirectDispatch : public ClientTest, public ::testing::WithParamInterface<DirectCase> {};

TEST_P(DirectDispatch, CallsEveryMatchingSubscriberOnce)
{
    const DirectCase& c = GetParam();
    std::atomic<int> a{0}, b{0};
    auto subscribe = [&](const wchar_t* alias, std::atomic<int>& calls) {
        return c.byPattern ? client->subscribeFilter(c.subscribed, alias, counting(calls))
                           : client->subscribe(c.subscribed, alias, counting(calls));
    };
    ASSERT_EQ(subscribe(L"A", a), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(subscribe(L"B", b), MODULE_STATUS_SUCCESS);
    EXPECT_EQ(client->dispatchDirect(message(c.name)), MODULE_STATUS_SUCCESS);
    EXPECT_EQ(a.load(), c.matches ? 1 : 0);
    EXPECT_EQ(b.load(), c.matches ? 1 : 0);
    EXPECT_TRUE(shim->published().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, DirectDispatch,
    ::testing::Values(DirectCase{"PrefixWithTail", true, L"TaskScheduler\\.Task\\..*", L"TaskScheduler.Task.Create", true},
                      DirectCase{"BareWordInside", true, L"Task", L"TaskScheduler.Task.Create", false},
                      DirectCase{"PatternCaseDiffers", true, L"taskscheduler\\..*", L"TaskScheduler.Task.Create", false},
                      DirectCase{"WholePattern", true, L"TaskScheduler", L"TaskScheduler", true},
                      DirectCase{"ExactName", false, L"Direct.Name", L"Direct.Name", true},
                      DirectCase{"NameCaseDiffers", false, L"direct.name", L"Direct.Name", false}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
