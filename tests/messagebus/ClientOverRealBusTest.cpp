// The client over the real bus library: delivery, request and reply on the second channel, the
// plain copy of a reply, and requests the bus cannot place or answer.
#include "RealBusFixture.h"

#include "message/Message.h"
#include "message/Reply.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace Tessel;
using kstest::Counter;

namespace {

class RealBus : public kstest::RealBusFixture {};

// Delivery by name, exactly once, is counted under load in the reliability test; a pattern must
// match the whole name.
TEST_F(RealBus, PatternSubscriberGetsWholeMatchesOnlyAndOnce)
{
    auto client = makeClient();
    Counter byPattern, unrelated;
    ASSERT_EQ(client->subscribeFilter(L"Real\\..*", [&](std::shared_ptr<Message>) -> uint32_t { byPattern.add(); return 0; }),
              MODULE_STATUS_SUCCESS);
    ASSERT_EQ(client->subscribeFilter(L"Real", [&](std::shared_ptr<Message>) -> uint32_t { unrelated.add(); return 0; }),
              MODULE_STATUS_SUCCESS);

    ASSERT_EQ(client->publish(Message::create(L"Real.Event", L"Tester", L"{\"n\":1}")), MODULE_STATUS_SUCCESS);
    EXPECT_TRUE(byPattern.waitFor(1));
    // Releasing the bus delivers everything queued before it returns: then the counts are final.
    client.reset();
    EXPECT_EQ(byPattern.value(), 1);
    EXPECT_EQ(unrelated.value(), 0);
}

// The first channel carries the same under load in the reliability test.
TEST_F(RealBus, RequestOnTheSecondChannelIsAnsweredAndTheReplyAlsoReachesOrdinarySubscribers)
{
    auto responder = makeClient();
    auto requester = makeClient();
    Counter plainCopies;
    ASSERT_EQ(responder->subscribe(L"Real.Ask", [&](std::shared_ptr<Message> request) -> uint32_t {
        auto answer = Message::createReply(*request, L"Real.Answer", L"Responder", L"re:" + request->payload());
        return responder->publish(answer, secondChannel);
    }), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(requester->subscribe(L"Real.Answer", [&](std::shared_ptr<Message> m) -> uint32_t {
        if (m && !m->testFlag(MESSAGE_FLAG_BIT_REPLY))
            plainCopies.add();
        return 0;
    }), MODULE_STATUS_SUCCESS);

    std::shared_ptr<Reply> reply;
    auto ask = Message::create(L"Real.Ask", L"Requester", L"42");
    ASSERT_EQ(requester->request(ask, reply, 5000, secondChannel), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(reply->wait(), REPLY_STATUS_RECEIVED);
    EXPECT_EQ(reply->getMessage()->name(), L"Real.Answer");
    EXPECT_EQ(reply->getMessage()->payload(), L"re:42");
    EXPECT_TRUE(plainCopies.waitFor(1));
    responder.reset();
    requester.reset();
    EXPECT_EQ(plainCopies.value(), 1);
}

TEST_F(RealBus, RequestWithoutSubscribersIsRejected)
{
    auto client = makeClient();
    std::shared_ptr<Reply> reply;
    EXPECT_EQ(client->request(Message::create(L"Real.Nobody", L"", L""), reply, 1000), MODULE_STATUS_NO_SUBSCRIBERS);
    EXPECT_EQ(reply, nullptr);
}

// (time-out, whether a request with a minute's time-out is already pending): the bus's timer
// sleeps until the earliest deadline it knows, so a shorter one sent later must still wake it.
class UnansweredRequest : public RealBus, public ::testing::WithParamInterface<std::tuple<uint32_t, bool>> {};

TEST_P(UnansweredRequest, BusTimeOutEndsTheReplyWithoutAMessage)
{
    auto [timeoutMs, longerPending] = GetParam();
    auto client = makeClient();
    ASSERT_EQ(client->subscribe(L"Real.Silent", [](std::shared_ptr<Message>) -> uint32_t { return 0; }),
              MODULE_STATUS_SUCCESS);
    auto silent = [] { return Message::create(L"Real.Silent", L"", L""); };
    std::shared_ptr<Reply> longer, probe, reply;
    if (longerPending) {
        // Once the probe's time-out is back, the timer has gone to sleep until the minute is up.
        ASSERT_EQ(client->request(silent(), longer, 60000), MODULE_STATUS_SUCCESS);
        ASSERT_EQ(client->request(silent(), probe, 0), MODULE_STATUS_SUCCESS);
        ASSERT_EQ(probe->waitFor(10000), REPLY_STATUS_NO_REPLY);
    }
    ASSERT_EQ(client->request(silent(), reply, timeoutMs), MODULE_STATUS_SUCCESS);
    EXPECT_EQ(reply->waitFor(10000), REPLY_STATUS_NO_REPLY);
    EXPECT_EQ(reply->getMessage(), nullptr);
    if (longer) {
        EXPECT_EQ(longer->waitFor(0), REPLY_STATUS_PENDING);
    }
}

INSTANTIATE_TEST_SUITE_P(TimeOuts, UnansweredRequest,
                         ::testing::Values(std::make_tuple(0u, false), std::make_tuple(50u, false),
                                           std::make_tuple(50u, true)));

} // namespace
