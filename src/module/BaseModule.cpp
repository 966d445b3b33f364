// Tessel::BaseModule: initialization of the stored host objects, direct messages and the
// forwarded bus operations.
#include "module/BaseModule.h"

#include "logging/internal_logging.h"
#include "messagebus/MessageBusClient.h"
#include "module/ModuleManagerShim.h"

namespace Tessel {
namespace {

// A module used before a successful initialization has no bus to forward to.
template <typename Call>
ModuleStatus forward(const std::shared_ptr<MessageBus>& stored, Call&& call)
{
    MessageBus* bus = stored.get();
    return bus ? call(*bus) : MODULE_STATUS_INVALID_STATE;
}

} // namespace

BaseModule::BaseModule(std::shared_ptr<Keelwork::IOCContainer> container) : m_container(std::move(container))
{
    if (!m_container)
        m_container = std::make_shared<Keelwork::IOCContainer>();
}

BaseModule::~BaseModule()
{
    // The fields go in reverse declaration order, which is the order the container needs.
}

ModuleStatus BaseModule::initialize()
{
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus BaseModule::start()
{
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus BaseModule::stop()
{
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus BaseModule::uninitialize()
{
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus BaseModule::baseInitialize(const std::wstring& name, const std::wstring& alias,
                                        const ModuleSettings& settings,
                                        std::shared_ptr<internal::ModuleManagerShim> moduleManager,
                                        std::shared_ptr<MessageBus> messageBus)
{
    if (&name != &m_name)
        m_name = name;
    if (&alias != &m_alias)
        m_alias = alias;
    if (&settings != &m_settings)
        m_settings = settings;

    if (!moduleManager) {
        KSLOG_ERROR(L"Invalid module manager object passed to base initialize.");
        return MODULE_STATUS_INVALID_PARAMETER;
    }
    m_moduleManager = std::move(moduleManager);

    if (!messageBus) {
        KSLOG_ERROR(L"Invalid message bus object passed to base initialize.");
        return MODULE_STATUS_INVALID_PARAMETER;
    }
    m_messageBus = std::move(messageBus);
    m_container->registerInstance<MessageBus>(Keelwork::IOCContainer::kUnnamedRegistration, m_messageBus);
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus BaseModule::directMessage(const std::shared_ptr<Message>& message)
{
    auto* client = dynamic_cast<MessageBusClient*>(m_messageBus.get());
    if (!client) {
        KSLOG_ERROR(L"Failed to process direct message. Invalid message bus client.");
        return MODULE_STATUS_INVALID_STATE;
    }
    ModuleStatus status = client->dispatchDirect(message);
    if (status != MODULE_STATUS_SUCCESS) {
        KSLOG_ERROR(L"Failed to process direct message. Module: %ls. Module Status: %ls(%lu)", m_name.c_str(),
                    moduleStatusName(status), static_cast<unsigned long>(status));
        return status;
    }
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus BaseModule::publish(const std::shared_ptr<Message>& message)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.publish(message); });
}

ModuleStatus BaseModule::publish(const std::shared_ptr<Message>& message, SecondChannel tag)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.publish(message, tag); });
}

ModuleStatus BaseModule::request(const std::shared_ptr<Message>& message, CompletionCallback completion,
                                 uint32_t timeoutMs)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.request(message, std::move(completion), timeoutMs); });
}

ModuleStatus BaseModule::request(const std::shared_ptr<Message>& message, std::shared_ptr<Reply>& reply,
                                 uint32_t timeoutMs)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.request(message, reply, timeoutMs); });
}

ModuleStatus BaseModule::request(const std::shared_ptr<Message>& message, CompletionCallback completion,
                                 uint32_t timeoutMs, SecondChannel tag)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.request(message, std::move(completion), timeoutMs, tag); });
}

ModuleStatus BaseModule::request(const std::shared_ptr<Message>& message, std::shared_ptr<Reply>& reply,
                                 uint32_t timeoutMs, SecondChannel tag)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.request(message, reply, timeoutMs, tag); });
}

ModuleStatus BaseModule::subscribe(const std::wstring& name, const std::wstring& alias, MessageCallback callback)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.subscribe(name, alias, std::move(callback)); });
}

ModuleStatus BaseModule::subscribe(const std::wstring& name, MessageCallback callback)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.subscribe(name, std::move(callback)); });
}

ModuleStatus BaseModule::subscribe(const std::wstring& name, const std::wstring& alias, MessageCallback callback,
                                   OwnSession tag)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.subscribe(name, alias, std::move(callback), tag); });
}

ModuleStatus BaseModule::subscribe(const std::wstring& name, MessageCallback callback, OwnSession tag)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.subscribe(name, std::move(callback), tag); });
}

ModuleStatus BaseModule::subscribeFilter(const std::wstring& pattern, const std::wstring& alias,
                                         MessageCallback callback)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.subscribeFilter(pattern, alias, std::move(callback)); });
}

ModuleStatus BaseModule::subscribeFilter(const std::wstring& pattern, MessageCallback callback)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.subscribeFilter(pattern, std::move(callback)); });
}

ModuleStatus BaseModule::subscribeFilter(const std::wstring& pattern, const std::wstring& alias,
                                         MessageCallback callback, OwnSession tag)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.subscribeFilter(pattern, alias, std::move(callback), tag); });
}

ModuleStatus BaseModule::subscribeFilter(const std::wstring& pattern, MessageCallback callback, OwnSession tag)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.subscribeFilter(pattern, std::move(callback), tag); });
}

ModuleStatus BaseModule::unsubscribe(const std::wstring& alias)
{
    return forward(m_messageBus, [&](MessageBus& bus) { return bus.unsubscribe(alias); });
}

} // namespace Tessel
