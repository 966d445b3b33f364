// Tessel::BaseModule: the base of every module the host drives. It keeps what the host hands over
// at initialization (name, alias, settings, module manager, bus client), offers the bus operations
// on the module itself and routes the host's direct messages to the bus client.
//
// Threads: baseInitialize and destruction run on the host's life-cycle thread; directMessage and
// the bus operations may run on any thread and read the stored bus without a lock, relying on the
// host not to re-initialize or destroy the module meanwhile.
#pragma once

#include "messagebus/MessageBus.h"
#include "module/IOCContainer.h"
#include "module/Module.h"

#include <memory>
#include <string>
#include <unordered_map>

namespace Tessel {

namespace internal {
class ModuleManagerShim;
}

using ModuleSettings = std::unordered_map<std::wstring, std::wstring>;

class BaseModule : public Module, protected MessageBus {
public:
    // A null container is replaced by a new, empty one.
    explicit BaseModule(std::shared_ptr<Keelwork::IOCContainer> container);
    ~BaseModule() override;

    ModuleStatus initialize() override;
    ModuleStatus start() override;
    ModuleStatus stop() override;
    ModuleStatus uninitialize() override;
    virtual ModuleStatus baseInitialize(const std::wstring& name, const std::wstring& alias,
                                        const ModuleSettings& settings,
                                        std::shared_ptr<internal::ModuleManagerShim> moduleManager,
                                        std::shared_ptr<MessageBus> messageBus);

    // Delivers a host's message to this module's own subscriptions, on the calling thread.
    ModuleStatus directMessage(const std::shared_ptr<Message>& message);

    // The bus operations, forwarded unchanged to the stored bus.
    ModuleStatus publish(const std::shared_ptr<Message>& message) override;
    ModuleStatus publish(const std::shared_ptr<Message>& message, SecondChannel) override;
    ModuleStatus request(const std::shared_ptr<Message>& message, CompletionCallback completion,
                         uint32_t timeoutMs) override;
    ModuleStatus request(const std::shared_ptr<Message>& message, std::shared_ptr<Reply>& reply,
                         uint32_t timeoutMs) override;
    ModuleStatus request(const std::shared_ptr<Message>& message, CompletionCallback completion, uint32_t timeoutMs,
                         SecondChannel) override;
    ModuleStatus request(const std::shared_ptr<Message>& message, std::shared_ptr<Reply>& reply, uint32_t timeoutMs,
                         SecondChannel) override;
    ModuleStatus subscribe(const std::wstring& name, const std::wstring& alias, MessageCallback callback) override;
    ModuleStatus subscribe(const std::wstring& name, MessageCallback callback) override;
    ModuleStatus subscribe(const std::wstring& name, const std::wstring& alias, MessageCallback callback,
                           OwnSession) override;
    ModuleStatus subscribe(const std::wstring& name, MessageCallback callback, OwnSession) override;
    ModuleStatus subscribeFilter(const std::wstring& pattern, const std::wstring& alias,
                                 MessageCallback callback) override;
    ModuleStatus subscribeFilter(const std::wstring& pattern, MessageCallback callback) override;
    ModuleStatus subscribeFilter(const std::wstring& pattern, const std::wstring& alias, MessageCallback callback,
                                 OwnSession) override;
    ModuleStatus subscribeFilter(const std::wstring& pattern, MessageCallback callback, OwnSession) override;
    ModuleStatus unsubscribe(const std::wstring& alias) override;

    const std::wstring& name() const { return m_name; }
    const std::wstring& alias() const { return m_alias; }
    const ModuleSettings& settings() const { return m_settings; }
    const std::shared_ptr<MessageBus>& messageBus() const { return m_messageBus; }
    const std::shared_ptr<Keelwork::IOCContainer>& container() const { return m_container; }

private:
    // Declaration order is the reverse of release order: the container goes first.
    std::wstring m_name;
    std::wstring m_alias;
    ModuleSettings m_settings;
    std::shared_ptr<internal::ModuleManagerShim> m_moduleManager;
    std::shared_ptr<MessageBus> m_messageBus;
    std::shared_ptr<Keelwork::IOCContainer> m_container;
};

} // namespace Tessel
