// Load and shutdown over the real bus: many threads publishing and requesting while others
// subscribe and unsubscribe, with every message counted; a client destroyed with requests still
// in flight; and one whose last owner is its own callback.
#include "RealBusFixture.h"

#include "message/Message.h"
#include "message/Reply.h"
#include "common/UniqueHandle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace Tessel;
using kstest::Counter;

namespace {

constexpr int kSenders = 8;
constexpr int kTotalMessages = 100000;
constexpr int kPerSender = kTotalMessages / kSenders;
constexpr int kChurners = 2;

// Every message carries its own number; each slot must be hit exactly once.
class Tally {
public:
    explicit Tally(int size) : m_slots(size) {}
    void hit(const std::wstring& payload)
    {
        int id = std::stoi(payload);
        if (id >= 0 && id < static_cast<int>(m_slots.size()))
            m_slots[id].fetch_add(1);
        else
            m_outOfRange.fetch_add(1);
        m_counter.add();
    }
    // Slots not hit exactly once among those expected (`wanted` picks them).
    template <typename Wanted>
    int mismatches(Wanted wanted) const
    {
        int bad = m_outOfRange.load();
        for (size_t i = 0; i < m_slots.size(); ++i)
            bad += (m_slots[i].load() != (wanted(static_cast<int>(i)) ? 1 : 0)) ? 1 : 0;
        return bad;
    }
    const Counter& counter() const { return m_counter; }

private:
    std::vector<std::atomic<int>> m_slots;
    std::atomic<int> m_outOfRange{0};
    Counter m_counter;
};

bool isRequest(int id)
{
    return id % 2 == 1;
}

class BusReliability : public kstest::RealBusFixture {};

TEST_F(BusReliability, ConcurrentTrafficIsDeliveredExactlyOnceWhileSubscriptionsChurn)
{
    auto responder = makeClient();
    auto listener = makeClient();
    auto requester = makeClient();
    Tally published(kTotalMessages), requested(kTotalMessages), plainCopies(kTotalMessages);

    ASSERT_EQ(responder->subscribe(L"Load.Ask", [&](std::shared_ptr<Message> request) -> uint32_t {
        requested.hit(request->payload());
        return responder->publish(Message::createReply(*request, L"Load.Answer", L"Responder", request->payload()));
    }), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(listener->subscribe(L"Load.Event", [&](std::shared_ptr<Message> m) -> uint32_t {
        published.hit(m->payload());
        return 0;
    }), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(listener->subscribe(L"Load.Answer", [&](std::shared_ptr<Message> m) -> uint32_t {
        if (!m->testFlag(MESSAGE_FLAG_BIT_REPLY))
            plainCopies.hit(m->payload());
        return 0;
    }), MODULE_STATUS_SUCCESS);

    std::atomic<bool> sending{true};
    std::atomic<int> churnFailures{0};
    std::vector<std::thread> churners;
    for (int c = 0; c < kChurners; ++c) {
        churners.emplace_back([&, c] {
            std::wstring alias = L"Churn" + std::to_wstring(c);
            auto ignore = [](std::shared_ptr<Message>) -> uint32_t { return 0; };
            while (sending.load()) {
                if (listener->subscribe(L"Load.Event", alias, ignore) != 0 ||
                    listener->subscribeFilter(L"Load\\..*", alias, ignore) != 0)
                    churnFailures.fetch_add(1);
                listener->unsubscribe(alias);
            }
        });
    }

    // Most requests are settled through a completion so the senders keep the bus busy; every
    // 100th waits on a reply object and checks that the answer is its own.
    std::atomic<int> requestFailures{0}, wrongReplies{0};
    Counter settled;
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s) {
        senders.emplace_back([&, s] {
            for (int i = 0; i < kPerSender; ++i) {
                int id = s * kPerSender + i;
                std::wstring payload = std::to_wstring(id);
                if (!isRequest(id)) {
                    if (requester->publish(Message::create(L"Load.Event", L"Sender", payload)) != 0)
                        requestFailures.fetch_add(1);
                    continue;
                }
                auto ask = Message::create(L"Load.Ask", L"Sender", payload);
                if (id % 100 != 1) {
                    if (requester->request(ask, [&]() -> uint32_t { settled.add(); return 0; }, 60000) != 0)
                        requestFailures.fetch_add(1);
                    continue;
                }
                std::shared_ptr<Reply> reply;
                if (requester->request(ask, reply, 60000) != 0 || reply->wait() != REPLY_STATUS_RECEIVED) {
                    requestFailures.fetch_add(1);
                    continue;
                }
                settled.add();
                if (reply->getMessage()->payload() != payload)
                    wrongReplies.fetch_add(1);
            }
        });
    }
    for (std::thread& t : senders)
        t.join();
    sending = false;
    for (std::thread& t : churners)
        t.join();

    const int half = kTotalMessages / 2;
    EXPECT_TRUE(settled.waitFor(half, std::chrono::seconds(120)));
    EXPECT_TRUE(published.counter().waitFor(half, std::chrono::seconds(60)));
    EXPECT_TRUE(plainCopies.counter().waitFor(half, std::chrono::seconds(60)));
    // Releasing the bus drains what is still queued, so every late duplicate would show below.
    requester.reset();
    responder.reset();
    listener.reset();

    EXPECT_EQ(requestFailures.load(), 0);
    EXPECT_EQ(wrongReplies.load(), 0);
    EXPECT_EQ(churnFailures.load(), 0);
    EXPECT_EQ(published.mismatches([](int id) { return !isRequest(id); }), 0);
    EXPECT_EQ(requested.mismatches(isRequest), 0);
    EXPECT_EQ(plainCopies.mismatches(isRequest), 0);
}

TEST_F(BusReliability, ShutdownWithRequestsInFlightEndsEveryReplyWithoutAMessage)
{
    auto responder = makeClient();
    auto requester = makeClient();
    Counter asked;
    ASSERT_EQ(responder->subscribe(L"Load.Never", [&](std::shared_ptr<Message>) -> uint32_t {
        asked.add();
        return 0;
    }), MODULE_STATUS_SUCCESS);

    constexpr int kWaiters = 4;
    std::vector<std::shared_ptr<Reply>> replies(kWaiters);
    for (auto& reply : replies)
        ASSERT_EQ(requester->request(Message::create(L"Load.Never", L"", L""), reply, 60000), MODULE_STATUS_SUCCESS);
    ASSERT_TRUE(asked.waitFor(kWaiters));

    std::vector<std::future<uint32_t>> waits;
    for (auto& reply : replies)
        waits.push_back(std::async(std::launch::async, [reply] { return reply->wait(); }));
    requester.reset();

    for (auto& w : waits) {
        ASSERT_EQ(w.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(w.get(), REPLY_STATUS_NO_REPLY);
    }
}

// The bus's worker cannot close the bus's last handle, so a client whose last owner was its own
// callback keeps the library loaded: unloading it would pull the code out from under that worker.
TEST_F(BusReliability, AClientEndedByItsOwnCallbackLeavesTheBusLoaded)
{
    auto client = makeClient();
    auto lastOwner = std::make_shared<std::shared_ptr<MessageBusClient>>(client);
    Keelwork::unique_event go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Keelwork::unique_event ended(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_EQ(client->subscribe(L"Load.Last", [&go, &ended, lastOwner](std::shared_ptr<Message>) -> uint32_t {
        ::WaitForSingleObject(go.get(), 10000);
        // Ending the client ends this callable too: nothing of it is touched afterwards.
        const HANDLE endedEvent = ended.get();
        std::shared_ptr<MessageBusClient> last = std::move(*lastOwner);
        last.reset();
        ::SetEvent(endedEvent);
        return 0;
    }), MODULE_STATUS_SUCCESS);
    ASSERT_EQ(client->publish(Message::create(L"Load.Last", L"", L"")), MODULE_STATUS_SUCCESS);
    client.reset();
    ::SetEvent(go.get());
    ASSERT_EQ(::WaitForSingleObject(ended.get(), 10000), DWORD{WAIT_OBJECT_0});
    EXPECT_NE(::GetModuleHandleW(L"MessageBus.dll"), nullptr);
}

} // namespace
