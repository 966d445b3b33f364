// Tessel::MessageBusShimImpl: the shim over an open bus handle and the bus library's function
// table. It never opens or releases the handle; whoever supplied it owns it.
#pragma once

#include "messagebus/MessageBusShim.h"

namespace Tessel {

class MessageBusShimImpl final : public MessageBusShim {
public:
    // Throws Tessel::ModuleException for a null handle or a null table.
    MessageBusShimImpl(MessageBusHandle handle, const MessageBusFunctions* functions);
    // Takes the reply trampoline back, so no reply arrives once this shim is gone.
    ~MessageBusShimImpl() override;

    ModuleStatus publish(const std::shared_ptr<Message>& message, bool secondChannel) override;
    ModuleStatus request(const std::shared_ptr<Message>& message, uint64_t replyIndex, ReplyFunction* replyFunction,
                         uint32_t timeoutMs, bool secondChannel) override;
    void handOverReplyTrampoline() override;
    MessageBusSubscription subscribe(const std::wstring& name, MessageCallback* context) override;
    MessageBusSubscription subscribeFilter(const std::wstring& pattern, MessageCallback* context) override;
    void unsubscribe(MessageBusSubscription subscription) override;

private:
    MessageBusHandle m_handle;
    const MessageBusFunctions* m_functions;
};

} // namespace Tessel
