// The host's own handle on MessageBus.dll, driven through its function table: publish, request
// with a bounded wait, subscriptions that call back with a copied message, and replies to
// requests the stand-ins answer. The same handle and table are handed to modules initialized
// with a host bus.
#pragma once

#include "SeenMessage.h"
#include "common/UniqueHandle.h"
#include "busapi/MessageBusApi.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace modhost {

class HostBus {
public:
    using Handler = std::function<void(const SeenMessage&)>;

    struct RequestResult {
        uint32_t status = 0;      // the request call's status, else the reply's (0 or a time-out)
        bool replied = false;     // a reply message arrived
        SeenMessage reply;
    };

    // Loads the library and opens one handle; null with `error` set when either fails.
    static std::unique_ptr<HostBus> open(const std::wstring& libraryPath, std::wstring& error);
    // Ends the subscriptions, then releases the handle (which waits for callbacks in flight).
    ~HostBus();

    HostBus(const HostBus&) = delete;
    HostBus& operator=(const HostBus&) = delete;

    MessageBusHandle handle() const { return m_handle; }
    const MessageBusFunctions* functions() const { return m_functions; }

    uint32_t publish(const std::wstring& name, const std::wstring& payload);
    // Publishes `name` as the reply to `request`, so that it reaches only the requester.
    uint32_t reply(const SeenMessage& request, const std::wstring& name, const std::wstring& payload);
    // Blocks until the reply, the bus's time-out or, as a last bound, the time-out plus a margin.
    RequestResult request(const std::wstring& name, const std::wstring& payload, uint32_t timeoutMs);
    // `pattern` is an ECMAScript pattern the whole name must match. The handler runs on bus threads.
    bool subscribePattern(const std::wstring& pattern, Handler handler);
    bool subscribeName(const std::wstring& name, Handler handler);

private:
    struct Subscriber {
        Handler handler;
        MessageBusSubscription subscription = nullptr;
    };
    struct PendingReply {
        bool done = false;
        RequestResult result;
    };

    HostBus() = default;
    bool subscribe(MessageBusSubscribeFn fn, const std::wstring& nameOrPattern, Handler handler);

    static uint32_t __cdecl onMessage(void* context, const MessageOptions* options, const wchar_t* name,
                                      const wchar_t* alias, const wchar_t* payload);
    static uint32_t __cdecl onReply(void* context, uint64_t replyIndex, const MessageOptions* options,
                                    const wchar_t* name, const wchar_t* alias, const wchar_t* payload,
                                    uint32_t status);

    Keelwork::unique_hmodule m_library;
    const MessageBusFunctions* m_functions = nullptr;
    MessageBusHandle m_handle = nullptr;

    std::mutex m_subscribersMutex;
    std::vector<std::unique_ptr<Subscriber>> m_subscribers;  // written under m_subscribersMutex

    std::mutex m_replyMutex;
    std::condition_variable m_replyArrived;
    uint64_t m_nextReplyIndex = 1;                                  // written under m_replyMutex
    std::map<uint64_t, std::shared_ptr<PendingReply>> m_pending;  // written under m_replyMutex
};

// A version-2 options record as a sender fills it: kind, version, default field, total size.
MessageOptions senderOptions(const std::wstring& name, const std::wstring& alias, const std::wstring& payload);

} // namespace modhost
