// Tessel::ReplyImpl: what wait and waitFor return for each way a request can end.
#include "ExpectLogged.h"
#include "LogFileReader.h"
#include "logging/internal_logging.h"
#include "message/Message.h"
#include "message/ReplyImpl.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using Tessel::Message;
using Tessel::ReplyImpl;
using Tessel::ReplyPromise;

// How the bus client settles the promise.
enum class Outcome { Message, NullMessage, BrokenPromise, StoredError };

void settle(std::unique_ptr<ReplyPromise>& promise, Outcome outcome, const std::shared_ptr<Message>& message)
{
    switch (outcome) {
    case Outcome::Message: promise->setMessage(message); break;
    case Outcome::NullMessage: promise->setMessage(nullptr); break;
    case Outcome::BrokenPromise: promise.reset(); break;
    case Outcome::StoredError: promise->setFailed(); break;
    }
}

struct OutcomeCase {
    const char* label;
    Outcome outcome;
    uint32_t status;
};

class ReplySettled : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(ReplySettled, WaitGivesStatusAndKeepsIt)
{
    auto promise = std::make_unique<ReplyPromise>();
    ReplyImpl reply(promise->getFuture(), 5000);
    auto message = Message::create(L"R", L"a", L"p");
    settle(promise, GetParam().outcome, message);
    const uint32_t expected = GetParam().status;
    EXPECT_EQ(reply.wait(), expected);
    EXPECT_EQ(reply.getStatus(), expected);
    EXPECT_EQ(reply.wait(), expected) << "a second wait keeps the status";
    EXPECT_EQ(reply.waitFor(0), expected) << "a settled reply stays settled";
    EXPECT_EQ(reply.getMessage(), expected == Tessel::REPLY_STATUS_RECEIVED ? message : nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ReplySettled,
    ::testing::Values(OutcomeCase{"Message", Outcome::Message, Tessel::REPLY_STATUS_RECEIVED},
                      OutcomeCase{"NullMessage", Outcome::NullMessage, Tessel::REPLY_STATUS_NO_REPLY},
                      OutcomeCase{"BrokenPromise", Outcome::BrokenPromise, Tessel::REPLY_STATUS_NO_REPLY},
                      OutcomeCase{"StoredError", Outcome::StoredError, Tessel::REPLY_STATUS_NO_REPLY}),
    [](const ::testing::TestParamInfo<OutcomeCase>& info) { return std::string(info.param.label); });

// The bus thread settles (or drops) the promise while the requester is blocked in wait or waitFor.
struct CrossThreadCase {
    const char* label;
    Outcome outcome;
    bool useWaitFor;
    uint32_t status;
};

class ReplySettledElsewhere : public ::testing::TestWithParam<CrossThreadCase> {};

TEST_P(ReplySettledElsewhere, WakesTheBlockedRequester)
{
    auto promise = std::make_unique<ReplyPromise>();
    ReplyImpl reply(promise->getFuture(), 5000);
    auto message = Message::create(L"R", L"a", L"p");
    std::thread bus([&] { settle(promise, GetParam().outcome, message); });
    // Both bounded: waitFor by its argument, wait by the deadline six seconds away.
    uint32_t status = GetParam().useWaitFor ? reply.waitFor(5000) : reply.wait();
    bus.join();
    EXPECT_EQ(status, GetParam().status);
    EXPECT_EQ(reply.getMessage(), GetParam().status == Tessel::REPLY_STATUS_RECEIVED ? message : nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ReplySettledElsewhere,
    ::testing::Values(CrossThreadCase{"MessageToWait", Outcome::Message, false, Tessel::REPLY_STATUS_RECEIVED},
                      CrossThreadCase{"MessageToWaitFor", Outcome::Message, true, Tessel::REPLY_STATUS_RECEIVED},
                      CrossThreadCase{"DroppedToWaitFor", Outcome::BrokenPromise, true, Tessel::REPLY_STATUS_NO_REPLY}),
    [](const ::testing::TestParamInfo<CrossThreadCase>& info) { return std::string(info.param.label); });

// With time-out 0 the deadline is a second of grace away; wait ends there with status 2.
TEST(Reply, WaitEndsAtDeadline)
{
    ReplyPromise promise;
    ReplyImpl reply(promise.getFuture(), 0);
    kstest::LogCapture log;
    EXPECT_EQ(reply.wait(), Tessel::REPLY_STATUS_DEADLINE_PASSED);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_ERROR, L"Reply future did not get fulfilled on time. Returning.");
    promise.setMessage(Message::create(L"R", L"a", L"p"));
    EXPECT_EQ(reply.wait(), Tessel::REPLY_STATUS_DEADLINE_PASSED) << "a passed deadline is final";
    EXPECT_EQ(reply.getMessage(), nullptr);
}

TEST(Reply, WaitForTimeOutIsNotFinal)
{
    ReplyPromise promise;
    ReplyImpl reply(promise.getFuture(), 5000);
    kstest::LogCapture log;
    EXPECT_EQ(reply.waitFor(0), Tessel::REPLY_STATUS_PENDING);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_WARNING, L"Reply waitFor timed out. Returning.");
    EXPECT_EQ(reply.getStatus(), Tessel::REPLY_STATUS_PENDING);
    auto message = Message::create(L"R", L"a", L"p");
    promise.setMessage(message);
    EXPECT_EQ(reply.waitFor(5000), Tessel::REPLY_STATUS_RECEIVED);
    EXPECT_EQ(reply.getMessage(), message);
}

} // namespace
