// The fifteen bus operations a module calls on itself: publish, request (with a completion
// callable or a reply object), subscribe by name or pattern (optionally limited to this
// process's session) and unsubscribe by alias. Every operation returns a ModuleStatus.
//
// The second-channel overloads, selected by the `secondChannel` tag, use the bus library's
// alternative publish and request entries and otherwise behave like their twins.
#pragma once

#include "message/ModuleStatus.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Tessel {

class Message;
class Reply;

// A subscriber: gets the delivered message, returns its status to the bus.
using MessageCallback = std::function<uint32_t(std::shared_ptr<Message>)>;
// Called once a request's reply has been settled (arrived, failed or timed out).
using CompletionCallback = std::function<uint32_t()>;

struct SecondChannel {
    explicit SecondChannel() = default;
};
inline constexpr SecondChannel secondChannel{};

struct OwnSession {
    explicit OwnSession() = default;
};
// Delivers only messages of this process's session, or bound to no session.
inline constexpr OwnSession ownSession{};

class MessageBus {
public:
    // Virtual operations, in their fixed slot order.
    virtual ~MessageBus() = default;                                                                    // 0
    virtual ModuleStatus publish(const std::shared_ptr<Message>& message) = 0;                         // 1
    virtual ModuleStatus publish(const std::shared_ptr<Message>& message, SecondChannel) = 0;          // 2
    virtual ModuleStatus request(const std::shared_ptr<Message>& message, CompletionCallback completion,
                                 uint32_t timeoutMs) = 0;                                               // 3
    virtual ModuleStatus request(const std::shared_ptr<Message>& message, std::shared_ptr<Reply>& reply,
                                 uint32_t timeoutMs) = 0;                                               // 4
    virtual ModuleStatus request(const std::shared_ptr<Message>& message, CompletionCallback completion,
                                 uint32_t timeoutMs, SecondChannel) = 0;                                // 5
    virtual ModuleStatus request(const std::shared_ptr<Message>& message, std::shared_ptr<Reply>& reply,
                                 uint32_t timeoutMs, SecondChannel) = 0;                                // 6
    virtual ModuleStatus subscribe(const std::wstring& name, const std::wstring& alias,
                                   MessageCallback callback) = 0;                                       // 7
    virtual ModuleStatus subscribe(const std::wstring& name, MessageCallback callback) = 0;            // 8
    virtual ModuleStatus subscribe(const std::wstring& name, const std::wstring& alias, MessageCallback callback,
                                   OwnSession) = 0;                                                     // 9
    virtual ModuleStatus subscribe(const std::wstring& name, MessageCallback callback, OwnSession) = 0; // 10
    virtual ModuleStatus subscribeFilter(const std::wstring& pattern, const std::wstring& alias,
                                         MessageCallback callback) = 0;                                 // 11
    virtual ModuleStatus subscribeFilter(const std::wstring& pattern, MessageCallback callback) = 0;   // 12
    virtual ModuleStatus subscribeFilter(const std::wstring& pattern, const std::wstring& alias,
                                         MessageCallback callback, OwnSession) = 0;                     // 13
    virtual ModuleStatus subscribeFilter(const std::wstring& pattern, MessageCallback callback,
                                         OwnSession) = 0;                                               // 14
    virtual ModuleStatus unsubscribe(const std::wstring& alias) = 0;                                    // 15

protected:
    MessageBus() = default;
    MessageBus(const MessageBus&) = delete;
    MessageBus& operator=(const MessageBus&) = delete;
};

} // namespace Tessel
