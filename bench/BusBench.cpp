// Bus cases: publish-to-delivery latency and rate, request-to-reply round trip, through the real
// MessageBus.dll, each beside a bare mutex + condition-variable handoff between two threads.
#include "BenchCase.h"

#include "message/Message.h"
#include "message/Reply.h"
#include "messagebus/MessageBusClient.h"
#include "messagebus/MessageBusLib.h"
#include "messagebus/SharedLibrary.h"

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace Tessel;

namespace {

constexpr int kSamples = 2000;
constexpr int kBurst = 20000;

// The bus library beside the program; the host's install folder is not needed here.
std::shared_ptr<MessageBusClient> benchClient()
{
    auto library = std::make_shared<SharedLibrary>(LibraryDescription{L"MessageBus.dll", {L"$(App.Folder)"}});
    return std::make_shared<MessageBusClient>(std::make_shared<MessageBusLib>(library), nullptr);
}

// One slot handed between threads: the bare cost of waking another thread.
class Handoff {
public:
    void put(double value)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_value = value;
            m_full = true;
        }
        m_changed.notify_one();
    }
    double take()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [&] { return m_full; });
        m_full = false;
        return m_value;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    double m_value = 0;
    bool m_full = false;
};

// One-way: the sender stamps, the receiver wakes and hands back the arrival time.
std::vector<double> oneWayFloor()
{
    Handoff toReceiver, arrival;
    std::thread receiver([&] {
        for (int i = 0; i < kSamples; ++i) {
            toReceiver.take();
            arrival.put(ksbench::nowMicros());
        }
    });
    std::vector<double> samples;
    for (int i = 0; i < kSamples; ++i) {
        double start = ksbench::nowMicros();
        toReceiver.put(start);
        samples.push_back(arrival.take() - start);
    }
    receiver.join();
    return samples;
}

std::vector<double> roundTripFloor()
{
    Handoff ping, pong;
    std::thread echo([&] {
        for (int i = 0; i < kSamples; ++i)
            pong.put(ping.take());
    });
    std::vector<double> samples;
    for (int i = 0; i < kSamples; ++i) {
        double start = ksbench::nowMicros();
        ping.put(start);
        pong.take();
        samples.push_back(ksbench::nowMicros() - start);
    }
    echo.join();
    return samples;
}

double handoffRateFloor()
{
    std::mutex lock;
    std::condition_variable changed;
    int queued = 0;
    double start = ksbench::nowMicros();
    std::thread consumer([&] {
        for (int taken = 0; taken < kBurst;) {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [&] { return queued > 0; });
            taken += queued;
            queued = 0;
        }
    });
    for (int i = 0; i < kBurst; ++i) {
        {
            std::lock_guard<std::mutex> guard(lock);
            ++queued;
        }
        changed.notify_one();
    }
    consumer.join();
    return kBurst / ((ksbench::nowMicros() - start) / 1e6);
}

std::vector<double> deliveryLatency(MessageBusClient& client)
{
    Handoff arrival;
    client.subscribe(L"Bench.Deliver", [&](std::shared_ptr<Message>) -> uint32_t {
        arrival.put(ksbench::nowMicros());
        return 0;
    });
    std::vector<double> samples;
    for (int i = 0; i < kSamples; ++i) {
        auto message = Message::create(L"Bench.Deliver", L"Bench", L"");
        double start = ksbench::nowMicros();
        client.publish(message);
        samples.push_back(arrival.take() - start);
    }
    client.unsubscribe(L"Bench.Deliver");
    return samples;
}

double deliveryRate(MessageBusClient& client)
{
    std::mutex lock;
    std::condition_variable done;
    int received = 0;
    client.subscribe(L"Bench.Rate", [&](std::shared_ptr<Message>) -> uint32_t {
        std::lock_guard<std::mutex> guard(lock);
        if (++received == kBurst)
            done.notify_one();
        return 0;
    });
    std::vector<std::shared_ptr<Message>> messages;
    for (int i = 0; i < kBurst; ++i)
        messages.push_back(Message::create(L"Bench.Rate", L"Bench", L""));
    double start = ksbench::nowMicros();
    for (auto& message : messages)
        client.publish(message);
    {
        std::unique_lock<std::mutex> guard(lock);
        done.wait(guard, [&] { return received == kBurst; });
    }
    double rate = kBurst / ((ksbench::nowMicros() - start) / 1e6);
    client.unsubscribe(L"Bench.Rate");
    return rate;
}

std::vector<double> requestRoundTrip(MessageBusClient& client)
{
    client.subscribe(L"Bench.Ask", [&](std::shared_ptr<Message> request) -> uint32_t {
        auto answer = Message::createReply(*request, L"Bench.Answer", L"Bench", L"");
        answer->setFlag(MESSAGE_FLAG_BIT_NO_PLAIN_COPY_A);
        return client.publish(answer);
    });
    std::vector<double> samples;
    for (int i = 0; i < kSamples; ++i) {
        auto message = Message::create(L"Bench.Ask", L"Bench", L"");
        std::shared_ptr<Reply> reply;
        double start = ksbench::nowMicros();
        if (client.request(message, reply, 5000) == 0)
            reply->wait();
        samples.push_back(ksbench::nowMicros() - start);
    }
    client.unsubscribe(L"Bench.Ask");
    return samples;
}

// The same round trip, settled through a completion callable instead of a reply object: tells
// the bus's own cost apart from the reply object's wait.
std::vector<double> requestCompletionRoundTrip(MessageBusClient& client)
{
    client.subscribe(L"Bench.Ask", [&](std::shared_ptr<Message> request) -> uint32_t {
        auto answer = Message::createReply(*request, L"Bench.Answer", L"Bench", L"");
        answer->setFlag(MESSAGE_FLAG_BIT_NO_PLAIN_COPY_A);
        return client.publish(answer);
    });
    Handoff settled;
    std::vector<double> samples;
    for (int i = 0; i < kSamples; ++i) {
        auto message = Message::create(L"Bench.Ask", L"Bench", L"");
        double start = ksbench::nowMicros();
        if (client.request(message, [&]() -> uint32_t { settled.put(0); return 0; }, 5000) == 0)
            settled.take();
        samples.push_back(ksbench::nowMicros() - start);
    }
    client.unsubscribe(L"Bench.Ask");
    return samples;
}

ksbench::Figure figure(double value, double floor, const char* unit)
{
    ksbench::Figure f;
    f.value = value;
    f.floor = floor;
    f.unit = unit;
    return f;
}

const ksbench::Register bus("bus", [] {
    std::vector<std::pair<std::string, ksbench::Figure>> lines;
    auto client = benchClient();
    std::vector<double> delivery = deliveryLatency(*client);
    std::vector<double> oneWay = oneWayFloor();
    lines.emplace_back("bus.deliver.p50", figure(ksbench::percentile(delivery, 50), ksbench::percentile(oneWay, 50), "us"));
    lines.emplace_back("bus.deliver.p99", figure(ksbench::percentile(delivery, 99), ksbench::percentile(oneWay, 99), "us"));
    lines.emplace_back("bus.deliver.rate", figure(deliveryRate(*client), handoffRateFloor(), "msg/s"));
    std::vector<double> roundTrip = requestRoundTrip(*client);
    std::vector<double> roundFloor = roundTripFloor();
    lines.emplace_back("bus.request.p50", figure(ksbench::percentile(roundTrip, 50), ksbench::percentile(roundFloor, 50), "us"));
    lines.emplace_back("bus.request.p99", figure(ksbench::percentile(roundTrip, 99), ksbench::percentile(roundFloor, 99), "us"));
    std::vector<double> viaCompletion = requestCompletionRoundTrip(*client);
    lines.emplace_back("bus.request.completion.p50", figure(ksbench::percentile(viaCompletion, 50), ksbench::percentile(roundFloor, 50), "us"));
    return lines;
});

} // namespace
