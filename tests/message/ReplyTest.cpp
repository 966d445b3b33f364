// Tessel::ReplyImpl: what wait and waitFor return for each way a request can end.
#include "LogFileReader.h"
#include "logging/internal_logging.h"
#include "message/Message.h"
#include "message/ReplyImpl.h"

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>
#include <thread>

namespace {

using Tessel::Message;
using Tessel::ReplyImpl;

// How the bus client settles the promise.
enum class Outcome { Message, NullMessage, BrokenPromise, StoredError };

struct OutcomeCase {
    const char* label;
    Outcome outcome;
    uint32_t status;
};

class ReplySettled : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(ReplySettled, WaitGivesStatusAndKeepsIt)
{
    auto promise = std::make_unique<std::promise<std::shared_ptr<Message>>>();
    ReplyImpl reply(promise->get_future(), 5000);
    auto message = Message::create(L"R", L"a", L"p");
    switch (GetParam().outcome) {
    case Outcome::Message: promise->set_value(message); break;
    case Outcome::NullMessage: promise->set_value(nullptr); break;
    case Outcome::BrokenPromise: promise.reset(); break;
    case Outcome::StoredError: promise->set_exception(std::make_exception_ptr(std::runtime_error("timeout"))); break;
    }
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

TEST(Reply, StartsPending)
{
    std::promise<std::shared_ptr<Message>> promise;
    ReplyImpl reply(promise.get_future(), 0);
    EXPECT_EQ(reply.getStatus(), Tessel::REPLY_STATUS_PENDING);
    EXPECT_EQ(reply.getMessage(), nullptr);
}

TEST(Reply, WaitReturnsWhenFulfilledFromAnotherThread)
{
    std::promise<std::shared_ptr<Message>> promise;
    ReplyImpl reply(promise.get_future(), 5000);
    auto message = Message::create(L"R", L"a", L"p");
    std::thread bus([&] { promise.set_value(message); });
    EXPECT_EQ(reply.wait(), Tessel::REPLY_STATUS_RECEIVED);
    bus.join();
    EXPECT_EQ(reply.getMessage(), message);
}

// With time-out 0 the deadline is a second of grace away; wait ends there with status 2.
TEST(Reply, WaitEndsAtDeadline)
{
    std::promise<std::shared_ptr<Message>> promise;
    ReplyImpl reply(promise.get_future(), 0);
    EXPECT_EQ(reply.wait(), Tessel::REPLY_STATUS_DEADLINE_PASSED);
    promise.set_value(Message::create(L"R", L"a", L"p"));
    EXPECT_EQ(reply.wait(), Tessel::REPLY_STATUS_DEADLINE_PASSED) << "a passed deadline is final";
    EXPECT_EQ(reply.getMessage(), nullptr);
}

TEST(Reply, WaitForTimeOutIsNotFinal)
{
    std::promise<std::shared_ptr<Message>> promise;
    ReplyImpl reply(promise.get_future(), 5000);
    EXPECT_EQ(reply.waitFor(0), Tessel::REPLY_STATUS_PENDING);
    EXPECT_EQ(reply.getStatus(), Tessel::REPLY_STATUS_PENDING);
    auto message = Message::create(L"R", L"a", L"p");
    promise.set_value(message);
    EXPECT_EQ(reply.waitFor(5000), Tessel::REPLY_STATUS_RECEIVED);
    EXPECT_EQ(reply.getMessage(), message);
}

TEST(Reply, InvalidFutureGivesNoReply)
{
    ReplyImpl waited(std::future<std::shared_ptr<Message>>(), 5000);
    EXPECT_EQ(waited.wait(), Tessel::REPLY_STATUS_NO_REPLY);
    ReplyImpl waitedFor(std::future<std::shared_ptr<Message>>(), 5000);
    EXPECT_EQ(waitedFor.waitFor(10), Tessel::REPLY_STATUS_NO_REPLY);
    EXPECT_EQ(waitedFor.getStatus(), Tessel::REPLY_STATUS_NO_REPLY);
}

// The log lines need the file logger writing at their level; without it there is nothing to read.
class ReplyLog : public ::testing::Test {
protected:
    static bool logsAt(uint32_t level) { return !kstest::currentProcessLogFile().empty() && ETWLogging::isLogEnabled(level); }
};

TEST_F(ReplyLog, WaitForTimeOutWarns)
{
    if (!logsAt(ETWLogging::LOG_LEVEL_WARNING))
        GTEST_SKIP() << "level Warning is not logged";
    std::promise<std::shared_ptr<Message>> promise;
    ReplyImpl reply(promise.get_future(), 5000);
    kstest::LogCapture log;
    reply.waitFor(0);
    EXPECT_TRUE(log.contains(L"Reply waitFor timed out. Returning.")) << "log: " << testing::PrintToString(log.text());
}

TEST_F(ReplyLog, InvalidFutureIsAnError)
{
    if (!logsAt(ETWLogging::LOG_LEVEL_ERROR))
        GTEST_SKIP() << "level Error is not logged";
    ReplyImpl reply(std::future<std::shared_ptr<Message>>(), 5000);
    kstest::LogCapture log;
    reply.waitFor(0);
    EXPECT_TRUE(log.contains(L"Reply future is in an invalid state. Returning."));
}

TEST_F(ReplyLog, MissedDeadlineIsAnError)
{
    if (!logsAt(ETWLogging::LOG_LEVEL_ERROR))
        GTEST_SKIP() << "level Error is not logged";
    std::promise<std::shared_ptr<Message>> promise;
    ReplyImpl reply(promise.get_future(), 0);
    kstest::LogCapture log;
    reply.wait();
    EXPECT_TRUE(log.contains(L"Reply future did not get fulfilled on time. Returning."));
}

} // namespace
