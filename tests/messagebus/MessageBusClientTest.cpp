// The bus client's own rules, with the bus replaced by a recording shim so failures and replies
// can be forced: plain copies of replies, pending replies, waiting, subscriptions and filters.
#include "FixedSessionProcess.h"
#include "ExpectLogged.h"
#include "RecordingShim.h"

#include "message/Message.h"
#include "message/Reply.h"
#include "messagebus/BusTrampolines.h"
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

TEST_F(ClientTest, SecondChannelPublishesReachTheSecondEntryForBothCopies)
{
    auto msg = message();
    msg->setFlag(MESSAGE_FLAG_BIT_REPLY);
    ASSERT_EQ(client->publish(msg, secondChannel), MODULE_STATUS_SUCCESS);
    auto sent = shim->published();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_TRUE(sent[0].secondChannel);
    EXPECT_TRUE(sent[1].secondChannel);
}

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

TEST_F(ClientTest, NullMessageIsRejectedWithoutReachingTheBus)
{
    std::shared_ptr<Reply> reply;
    EXPECT_EQ(client->publish(nullptr), MODULE_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(client->request(nullptr, reply, 100), MODULE_STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(shim->published().empty());
    EXPECT_EQ(reply, nullptr);
}

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

TEST_F(ClientTest, SecondReplyForOneIndexIsNotFound)
{
    std::shared_ptr<Reply> reply;
    ASSERT_EQ(client->request(message(), reply, 100), MODULE_STATUS_SUCCESS);
    uint64_t index = shim->requests().at(0).replyIndex;
    ReplyFunction* replyFunction = shim->requests().at(0).replyFunction;
    ASSERT_NE(replyFunction, nullptr);

    EXPECT_EQ((*replyFunction)(index, message(L"First"), 0), MODULE_STATUS_SUCCESS);
    kstest::LogCapture log;
    EXPECT_EQ((*replyFunction)(index, message(L"Second"), 0), MODULE_STATUS_NOT_FOUND);
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_WARNING, L"Reply index not found. Returning");
    ASSERT_EQ(reply->wait(), REPLY_STATUS_RECEIVED);
    EXPECT_EQ(reply->getMessage()->name(), L"First");
}

TEST_F(ClientTest, RequestHandsTimeOutAndChannelToTheBus)
{
    std::shared_ptr<Reply> reply;
    ASSERT_EQ(client->request(message(), reply, 250), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(client->request(message(), []() -> uint32_t { return 0; }, 750, secondChannel), MODULE_STATUS_SUCCESS);
    auto requests = shim->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].timeoutMs, 250u);
    EXPECT_FALSE(requests[0].secondChannel);
    EXPECT_EQ(requests[1].timeoutMs, 750u);
    EXPECT_TRUE(requests[1].secondChannel);
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

TEST_F(ClientTest, CompletionThatThrowsDoesNotEscapeTheReplyCallback)
{
    ASSERT_EQ(client->request(message(), []() -> uint32_t { throw std::runtime_error("boom"); }, 100),
              MODULE_STATUS_SUCCESS);
    auto request = shim->requests().at(0);
    EXPECT_EQ((*request.replyFunction)(request.replyIndex, message(), 0), MODULE_STATUS_SUCCESS);
}

TEST_F(ClientTest, WaitOnTimeOutZeroGivesUpAfterTheGraceWithoutAReply)
{
    std::shared_ptr<Reply> reply;
    ASSERT_EQ(client->request(message(), reply, 0), MODULE_STATUS_SUCCESS);
    // The bus stays silent: only the one-second grace ends the wait.
    auto waited = std::async(std::launch::async, [&] { return reply->wait(); });
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(waited.get(), REPLY_STATUS_DEADLINE_PASSED);
    EXPECT_EQ(reply->wait(), REPLY_STATUS_DEADLINE_PASSED);
}

TEST_F(ClientTest, ReplyArrivingWithinTheGraceOfTimeOutZeroIsReceived)
{
    std::shared_ptr<Reply> reply;
    ASSERT_EQ(client->request(message(), reply, 0), MODULE_STATUS_SUCCESS);
    EXPECT_EQ(reply->waitFor(0), REPLY_STATUS_PENDING);

    auto request = shim->requests().at(0);
    std::promise<void> waiting;
    std::thread bus([&] {
        waiting.get_future().wait();
        (*request.replyFunction)(request.replyIndex, message(L"Late"), 0);
    });
    waiting.set_value();
    EXPECT_EQ(reply->wait(), REPLY_STATUS_RECEIVED);
    bus.join();
    EXPECT_EQ(reply->getMessage()->name(), L"Late");
}

TEST_F(ClientTest, WaitForTimingOutStaysPendingAndMaySucceedLater)
{
    std::shared_ptr<Reply> reply;
    ASSERT_EQ(client->request(message(), reply, 5000), MODULE_STATUS_SUCCESS);
    kstest::LogCapture log;
    EXPECT_EQ(reply->waitFor(10), REPLY_STATUS_PENDING);
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_WARNING, L"Reply waitFor timed out. Returning.");

    auto request = shim->requests().at(0);
    (*request.replyFunction)(request.replyIndex, message(L"Answer"), 0);
    EXPECT_EQ(reply->waitFor(5000), REPLY_STATUS_RECEIVED);
    EXPECT_EQ(reply->getStatus(), REPLY_STATUS_RECEIVED);
}

TEST_F(ClientTest, ClientDestroyedWithRequestPendingEndsTheReplyWithoutAMessage)
{
    std::shared_ptr<Reply> reply;
    ASSERT_EQ(client->request(message(), reply, 60000), MODULE_STATUS_SUCCESS);
    client.reset();
    EXPECT_EQ(reply->waitFor(5000), REPLY_STATUS_NO_REPLY);
}

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

TEST_F(ClientTest, DestroyingTheClientEndsItsSubscriptions)
{
    ASSERT_EQ(client->subscribe(L"A.One", ignore), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(client->subscribeFilter(L"B.*", ignore), MODULE_STATUS_SUCCESS);
    client.reset();
    EXPECT_EQ(shim->liveSubscriptions(), 0u);
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

TEST_F(ClientTest, MalformedPatternIsRejectedBeforeTheBus)
{
    kstest::LogCapture log;
    EXPECT_EQ(client->subscribeFilter(L"Task(", ignore), MODULE_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(shim->liveSubscriptions(), 0u);
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, L"subscribeFilter failed. Regex error with regex \"Task(\"");
}

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
    client = makeClient(GetParam().clientSession);
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

TEST_F(ClientTest, SessionLookupFailureIsLoggedAndDisablesTheFilter)
{
    kstest::LogCapture log;
    client = makeClient(std::nullopt);
    EXPECT_EQ(client->sessionId(), 0u);
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, L"Failed to get the session id for process");
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_ERROR, L"- defaulting to 0");
}

TEST_F(ClientTest, ThrowingSubscriberBecomesUnknownExceptionAtTheTrampoline)
{
    MessageCallback thrower = [](std::shared_ptr<Message>) -> uint32_t { throw std::runtime_error("boom"); };
    EXPECT_EQ(Tessel::messageTrampoline(&thrower, nullptr, L"X", L"", L""), MODULE_STATUS_UNKNOWN_EXCEPTION);
}

// --- Direct dispatch --------------------------------------------------------------------------------

struct DirectCase {
    const char* label;
    const wchar_t* pattern;
    const wchar_t* name;
    bool matches;
};

class DirectDispatchPattern : public ClientTest, public ::testing::WithParamInterface<DirectCase> {};

TEST_P(DirectDispatchPattern, PatternMustMatchTheWholeName)
{
    std::atomic<int> calls{0};
    ASSERT_EQ(client->subscribeFilter(GetParam().pattern, counting(calls)), MODULE_STATUS_SUCCESS);
    EXPECT_EQ(client->dispatchDirect(message(GetParam().name)), MODULE_STATUS_SUCCESS);
    EXPECT_EQ(calls.load(), GetParam().matches ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Patterns, DirectDispatchPattern,
                         ::testing::Values(DirectCase{"PrefixWithTail", L"TaskScheduler\\.Task\\..*",
                                                      L"TaskScheduler.Task.Create", true},
                                           DirectCase{"BareWordInside", L"Task", L"TaskScheduler.Task.Create", false},
                                           DirectCase{"CaseDiffers", L"taskscheduler\\..*", L"TaskScheduler.Task.Create",
                                                      false},
                                           DirectCase{"Exact", L"TaskScheduler", L"TaskScheduler", true}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(ClientTest, DirectDispatchCallsExactNamesAcrossGroupsAndNotOthers)
{
    std::atomic<int> a{0}, b{0}, other{0};
    ASSERT_EQ(client->subscribe(L"Direct.Name", L"A", counting(a)), 0u);
    ASSERT_EQ(client->subscribe(L"Direct.Name", L"B", counting(b)), 0u);
    ASSERT_EQ(client->subscribe(L"direct.name", L"C", counting(other)), 0u);
    EXPECT_EQ(client->dispatchDirect(message(L"Direct.Name")), MODULE_STATUS_SUCCESS);
    EXPECT_EQ(a.load(), 1);
    EXPECT_EQ(b.load(), 1);
    EXPECT_EQ(other.load(), 0);
    EXPECT_TRUE(shim->published().empty());
}

} // namespace
