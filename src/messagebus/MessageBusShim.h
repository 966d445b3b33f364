// Tessel::MessageBusShim: the bus client's one door to the bus library, whether the module
// loaded the library itself or the host handed over an open bus.
#pragma once

#include "message/ModuleStatus.h"
#include "messagebus/MessageBus.h"
#include "busapi/MessageBusApi.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Tessel {

class Message;

// Settles one request: (reply index, reply message or null, bus status).
using ReplyFunction = std::function<ModuleStatus(uint64_t, std::shared_ptr<Message>, ModuleStatus)>;

class MessageBusShim {
public:
    // Virtual operations, in their fixed slot order. Publish and request of a null message
    // answer MODULE_STATUS_INVALID_PARAMETER without calling the bus.
    virtual ~MessageBusShim() = default;                                                          // 0
    virtual ModuleStatus publish(const std::shared_ptr<Message>& message, bool secondChannel) = 0; // 1
    // `replyFunction` must outlive the request: the bus calls it from its own thread.
    virtual ModuleStatus request(const std::shared_ptr<Message>& message, uint64_t replyIndex,
                                 ReplyFunction* replyFunction, uint32_t timeoutMs, bool secondChannel) = 0; // 2
    // Takes the reply trampoline back from the bus: no reply call follows for this handle.
    virtual void handOverReplyTrampoline() = 0;                                                   // 3
    // `context` must outlive the subscription. Null on failure.
    virtual MessageBusSubscription subscribe(const std::wstring& name, MessageCallback* context) = 0; // 4
    virtual MessageBusSubscription subscribeFilter(const std::wstring& pattern, MessageCallback* context) = 0; // 5
    virtual void unsubscribe(MessageBusSubscription subscription) = 0;                           // 6

protected:
    MessageBusShim() = default;
    MessageBusShim(const MessageBusShim&) = delete;
    MessageBusShim& operator=(const MessageBusShim&) = delete;
};

} // namespace Tessel
