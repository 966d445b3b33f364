// Requests through MessageBus.dll: the request as the subscriber sees it, replies, time-outs,
// missing subscribers, shutdown and the hand-over of the reply callback.
#include "BusDll.h"

namespace bustest {
namespace {

using BusRequest = BusTest;

constexpr uint32_t kExpectsReply = 1u << MESSAGE_FLAG_BIT_EXPECTS_REPLY;
constexpr uint32_t kIsReply = 1u << MESSAGE_FLAG_BIT_REPLY;

// Answers every request it receives with payload "pong", correlated by the request's token.
struct Responder {
    Responder(const MessageBusFunctions* b, MessageBusHandle h) : bus(b), handle(h) {}
    const MessageBusFunctions* bus;
    MessageBusHandle handle;
    Recorder requests;

    static uint32_t __cdecl onMessage(void* context, const MessageOptions* options, const wchar_t* name,
                                      const wchar_t* alias, const wchar_t* payload)
    {
        auto* self = static_cast<Responder*>(context);
        recordMessage(&self->requests, options, name, alias, payload);
        MessageOptions reply = plainOptions();
        reply.flags = kIsReply;
        reply.replyToken = options->requestToken;
        return self->bus->publish(self->handle, &reply, name, L"responder", L"pong");
    }
};

uint32_t sendRequest(const MessageBusFunctions& bus, MessageBusHandle handle, Recorder& replies, uint64_t index,
                     const wchar_t* name, uint32_t timeoutMs)
{
    MessageOptions options = plainOptions();
    return bus.request(handle, &replies, index, recordReply, &options, name, L"tester", L"ping", timeoutMs);
}

TEST_F(BusRequest, ReachesSubscriberMarkedWithTokenAndReplyComesBack)
{
    Responder responder(&bus(), m_handle);
    ASSERT_NE(bus().subscribe(m_handle, &responder, Responder::onMessage, L"Test.Ping"), nullptr);
    Recorder replies;
    ASSERT_EQ(sendRequest(bus(), m_handle, replies, 41, L"Test.Ping", 5000), 0u);

    ASSERT_TRUE(responder.requests.waitForCount(1));
    const Received request = responder.requests.snapshot()[0];
    EXPECT_TRUE(request.options.flags & kExpectsReply);
    EXPECT_NE(request.options.requestToken, 0u);
    EXPECT_EQ(request.payload, L"ping");

    ASSERT_TRUE(replies.waitForCount(1));
    const Received reply = replies.snapshot()[0];
    EXPECT_EQ(reply.status, 0u);
    EXPECT_EQ(reply.replyIndex, 41u);
    ASSERT_TRUE(reply.hasMessage);
    EXPECT_EQ(reply.payload, L"pong");
    EXPECT_EQ(reply.alias, L"responder");
    EXPECT_EQ(reply.options.replyToken, request.options.requestToken);
    EXPECT_NE(reply.threadId, GetCurrentThreadId());
}

TEST_F(BusRequest, EachRequestGetsItsOwnToken)
{
    Responder responder(&bus(), m_handle);
    ASSERT_NE(bus().subscribe(m_handle, &responder, Responder::onMessage, L"Test.Ping"), nullptr);
    Recorder replies;
    for (uint64_t index = 0; index < 10; ++index)
        ASSERT_EQ(sendRequest(bus(), m_handle, replies, index, L"Test.Ping", 5000), 0u);
    ASSERT_TRUE(replies.waitForCount(10));
    std::vector<bool> seen(10);
    for (const Received& reply : replies.snapshot()) {
        ASSERT_LT(reply.replyIndex, 10u);
        EXPECT_FALSE(seen[reply.replyIndex]) << "index " << reply.replyIndex << " answered twice";
        seen[reply.replyIndex] = true;
        EXPECT_EQ(reply.status, 0u);
    }
}

TEST_F(BusRequest, ReplyReachesOnlyTheRequester)
{
    Responder responder(&bus(), m_handle);
    Recorder bystander;
    ASSERT_NE(bus().subscribe(m_handle, &responder, Responder::onMessage, L"Test.Ping"), nullptr);
    ASSERT_NE(subscribe(bystander, L"Test.Ping"), nullptr);
    Recorder replies;
    ASSERT_EQ(sendRequest(bus(), m_handle, replies, 1, L"Test.Ping", 5000), 0u);
    ASSERT_TRUE(replies.waitForCount(1));
    ASSERT_EQ(releaseHandle(), 0u);
    ASSERT_EQ(bystander.count(), 1u);
    EXPECT_TRUE(bystander.snapshot()[0].options.flags & kExpectsReply);
}

TEST_F(BusRequest, UnansweredRequestTimesOutWithoutMessage)
{
    Recorder silent;
    ASSERT_NE(subscribe(silent, L"Test.Silent"), nullptr);
    Recorder replies;
    ASSERT_EQ(sendRequest(bus(), m_handle, replies, 7, L"Test.Silent", 50), 0u);
    ASSERT_TRUE(replies.waitForCount(1));
    const Received reply = replies.snapshot()[0];
    EXPECT_EQ(reply.status, MESSAGEBUS_STATUS_TIMEOUT);
    EXPECT_EQ(reply.replyIndex, 7u);
    EXPECT_FALSE(reply.hasMessage);
}

TEST_F(BusRequest, LateReplyAfterTimeOutIsDropped)
{
    Recorder silent;
    ASSERT_NE(subscribe(silent, L"Test.Late"), nullptr);
    Recorder replies;
    ASSERT_EQ(sendRequest(bus(), m_handle, replies, 3, L"Test.Late", 0), 0u);
    ASSERT_TRUE(silent.waitForCount(1));
    ASSERT_TRUE(replies.waitForCount(1));
    MessageOptions late = plainOptions();
    late.flags = kIsReply;
    late.replyToken = silent.snapshot()[0].options.requestToken;
    EXPECT_EQ(publish(L"Test.Late", L"late", late), 0u);
    ASSERT_EQ(releaseHandle(), 0u);
    ASSERT_EQ(replies.count(), 1u);
    EXPECT_EQ(replies.snapshot()[0].status, MESSAGEBUS_STATUS_TIMEOUT);
}

TEST_F(BusRequest, WithoutSubscriberFailsAtOnceAndNeverCallsBack)
{
    Recorder replies;
    EXPECT_EQ(sendRequest(bus(), m_handle, replies, 1, L"Test.Nobody", 10), MESSAGEBUS_STATUS_NO_SUBSCRIBERS);
    // Release runs every reply callback still due for the handle.
    ASSERT_EQ(releaseHandle(), 0u);
    EXPECT_EQ(replies.count(), 0u);
}

TEST_F(BusRequest, ReleaseAnswersPendingWithShutdownStatus)
{
    Recorder silent;
    ASSERT_NE(subscribe(silent, L"Test.Pending"), nullptr);
    Recorder replies;
    ASSERT_EQ(sendRequest(bus(), m_handle, replies, 9, L"Test.Pending", MESSAGEBUS_INFINITE), 0u);
    ASSERT_EQ(releaseHandle(), 0u);
    ASSERT_EQ(replies.count(), 1u);
    EXPECT_EQ(replies.snapshot()[0].status, MESSAGEBUS_STATUS_SHUTDOWN);
    EXPECT_EQ(replies.snapshot()[0].replyIndex, 9u);
}

TEST_F(BusRequest, HandedOverReplyCallbackIsNeverCalledAgain)
{
    Recorder silent;
    ASSERT_NE(subscribe(silent, L"Test.Handover"), nullptr);
    Recorder replies;
    ASSERT_EQ(sendRequest(bus(), m_handle, replies, 1, L"Test.Handover", MESSAGEBUS_INFINITE), 0u);
    bus().handOverReply(m_handle, recordReply);
    ASSERT_EQ(releaseHandle(), 0u);
    EXPECT_EQ(replies.count(), 0u);
}

TEST_F(BusRequest, SecondChannelBehavesAsFirst)
{
    Responder responder(&bus(), m_handle);
    ASSERT_NE(bus().subscribe(m_handle, &responder, Responder::onMessage, L"Test.Second"), nullptr);
    Recorder replies;
    MessageOptions options = plainOptions();
    ASSERT_EQ(bus().requestSecond(m_handle, &replies, 5, recordReply, &options, L"Test.Second", L"t", L"ping", 5000),
              0u);
    ASSERT_TRUE(replies.waitForCount(1));
    EXPECT_EQ(replies.snapshot()[0].status, 0u);
    EXPECT_EQ(replies.snapshot()[0].payload, L"pong");
}

} // namespace
} // namespace bustest
