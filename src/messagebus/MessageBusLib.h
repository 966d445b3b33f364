// Tessel::MessageBusLib: the shim over a bus library the module loads itself. Construction loads
// the library, opens a bus handle and builds the inner shim (or throws Tessel::ModuleException);
// destruction releases them in the reverse order.
#pragma once

#include "messagebus/LibraryDescription.h"
#include "messagebus/MessageBusShim.h"

#include <memory>

namespace Tessel {

class SharedLibrary;

// "MessageBus.dll" searched in the application's folder, then the host's install folder.
LibraryDescription defaultMessageBusDescription();

// "MessageBus.dll" in the host's install folder as the registry records it, or in the common
// program files' Kestrel\Hearth folder when the registry has none.
LibraryDescription loadFromRegistry();

class MessageBusLib final : public MessageBusShim {
public:
    // Both optional: without a library the default description is loaded; without a shim one is
    // built over the opened handle.
    explicit MessageBusLib(std::shared_ptr<SharedLibrary> library = nullptr,
                           std::shared_ptr<MessageBusShim> shim = nullptr);
    ~MessageBusLib() override;

    ModuleStatus publish(const std::shared_ptr<Message>& message, bool secondChannel) override;
    ModuleStatus request(const std::shared_ptr<Message>& message, uint64_t replyIndex, ReplyFunction* replyFunction,
                         uint32_t timeoutMs, bool secondChannel) override;
    void handOverReplyTrampoline() override;
    MessageBusSubscription subscribe(const std::wstring& name, MessageCallback* context) override;
    MessageBusSubscription subscribeFilter(const std::wstring& pattern, MessageCallback* context) override;
    void unsubscribe(MessageBusSubscription subscription) override;

    const std::shared_ptr<SharedLibrary>& library() const { return m_library; }

private:
    std::shared_ptr<SharedLibrary> m_library;
    std::shared_ptr<MessageBusShim> m_shim;
    MessageBusHandle m_handle = nullptr;
    const MessageBusFunctions* m_functions = nullptr;
};

} // namespace Tessel
