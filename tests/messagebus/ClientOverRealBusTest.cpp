// The client over the real bus library: delivery, request and reply on both channels, the plain
// copy of a reply, and requests the bus cannot place or answer.
#include "RealBusFixture.h"

#include "message/Message.h"
#include "message/Reply.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace Tessel;
using kstest::Counter;

namespace {

class RealBus : public kstest::RealBusFixture {};

TEST_F(RealBus, PublishedMessageReachesNameAndPatternSubscribersOnce)
{
    auto client = makeClient();
    Counter byName, byPattern, unrelated;
    ASSERT_EQ(client->subscribe(L"Real.Event", [&](std::shared_ptr<Message> m) -> uint32_t {
        if (m && m->payload() == L"{\"n\":1}")
            byName.add();
        return 0;
    }), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(client->subscribeFilter(L"Real\\..*", [&](std::shared_ptr<Message>) -> uint32_t { byPattern.add(); return 0; }),
              MODULE_STATUS_SUCCESS);
    ASSERT_EQ(client->subscribeFilter(L"Real", [&](std::shared_ptr<Message>) -> uint32_t { unrelated.add(); return 0; }),
              MODULE_STATUS_SUCCESS);

    ASSERT_EQ(client->publish(Message::create(L"Real.Event", L"Tester", L"{\"n\":1}")), MODULE_STATUS_SUCCESS);
    EXPECT_TRUE(byName.waitFor(1));
    EXPECT_TRUE(byPattern.waitFor(1));
    // Releasing the bus delivers everything queued before it returns: then the counts are final.
    client.reset();
    EXPECT_EQ(byName.value(), 1);
    EXPECT_EQ(byPattern.value(), 1);
    EXPECT_EQ(unrelated.value(), 0);
}

class RealBusChannels : public RealBus, public ::testing::WithParamInterface<bool> {};

TEST_P(RealBusChannels, RequestIsAnsweredAndTheReplyAlsoReachesOrdinarySubscribers)
{
    bool second = GetParam();
    auto responder = makeClient();
    auto requester = makeClient();
    Counter plainCopies;
    ASSERT_EQ(responder->subscribe(L"Real.Ask", [&](std::shared_ptr<Message> request) -> uint32_t {
        auto answer = Message::createReply(*request, L"Real.Answer", L"Responder", L"re:" + request->payload());
        return second ? responder->publish(answer, secondChannel) : responder->publish(answer);
    }), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(requester->subscribe(L"Real.Answer", [&](std::shared_ptr<Message> m) -> uint32_t {
        if (m && !m->testFlag(MESSAGE_FLAG_BIT_REPLY))
            plainCopies.add();
        return 0;
    }), MODULE_STATUS_SUCCESS);

    std::shared_ptr<Reply> reply;
    auto ask = Message::create(L"Real.Ask", L"Requester", L"42");
    ASSERT_EQ(second ? requester->request(ask, reply, 5000, secondChannel) : requester->request(ask, reply, 5000),
              MODULE_STATUS_SUCCESS);
    ASSERT_EQ(reply->wait(), REPLY_STATUS_RECEIVED);
    EXPECT_EQ(reply->getMessage()->name(), L"Real.Answer");
    EXPECT_EQ(reply->getMessage()->payload(), L"re:42");
    EXPECT_TRUE(plainCopies.waitFor(1));
    responder.reset();
    requester.reset();
    EXPECT_EQ(plainCopies.value(), 1);
}

INSTANTIATE_TEST_SUITE_P(Channels, RealBusChannels, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "Second" : "First"); });

TEST_F(RealBus, RequestWithoutSubscribersIsRejected)
{
    auto client = makeClient();
    std::shared_ptr<Reply> reply;
    EXPECT_EQ(client->request(Message::create(L"Real.Nobody", L"", L""), reply, 1000), MODULE_STATUS_NO_SUBSCRIBERS);
    EXPECT_EQ(reply, nullptr);
}

class UnansweredRequest : public RealBus, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(UnansweredRequest, BusTimeOutEndsTheReplyWithoutAMessage)
{
    auto client = makeClient();
    ASSERT_EQ(client->subscribe(L"Real.Silent", [](std::shared_ptr<Message>) -> uint32_t { return 0; }),
              MODULE_STATUS_SUCCESS);
    std::shared_ptr<Reply> reply;
    ASSERT_EQ(client->request(Message::create(L"Real.Silent", L"", L""), reply, GetParam()), MODULE_STATUS_SUCCESS);
    EXPECT_EQ(reply->waitFor(10000), REPLY_STATUS_NO_REPLY);
    EXPECT_EQ(reply->getMessage(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(TimeOuts, UnansweredRequest, ::testing::Values(0u, 50u));

} // namespace
