// Calls of the bus library's function table for one bus handle.
#include "messagebus/MessageBusShimImpl.h"

#include "logging/internal_logging.h"
#include "message/Message.h"
#include "message/ModuleException.h"
#include "messagebus/BusTrampolines.h"

namespace Tessel {

MessageBusShimImpl::MessageBusShimImpl(MessageBusHandle handle, const MessageBusFunctions* functions)
    : m_handle(handle), m_functions(functions)
{
    if (!m_handle) {
        KSLOG_ERROR(L"Invalid message bus handle. Throwing ModuleException.");
        throw ModuleException("Invalid message bus handle");
    }
    if (!m_functions) {
        KSLOG_ERROR(L"Invalid message bus functions object. Throwing ModuleException.");
        throw ModuleException("Invalid message bus functions object");
    }
}

MessageBusShimImpl::~MessageBusShimImpl()
{
    handOverReplyTrampoline();
}

ModuleStatus MessageBusShimImpl::publish(const std::shared_ptr<Message>& message, bool secondChannel)
{
    if (!message)
        return MODULE_STATUS_INVALID_PARAMETER;
    MessageBusPublishFn publishFn = secondChannel ? m_functions->publishSecond : m_functions->publish;
    return publishFn(m_handle, &message->options(), message->name().c_str(), message->alias().c_str(),
                     message->payload().c_str());
}

ModuleStatus MessageBusShimImpl::request(const std::shared_ptr<Message>& message, uint64_t replyIndex,
                                         ReplyFunction* replyFunction, uint32_t timeoutMs, bool secondChannel)
{
    if (!message)
        return MODULE_STATUS_INVALID_PARAMETER;
    MessageBusRequestFn requestFn = secondChannel ? m_functions->requestSecond : m_functions->request;
    return requestFn(m_handle, replyFunction, replyIndex, &replyTrampoline, &message->options(),
                     message->name().c_str(), message->alias().c_str(), message->payload().c_str(), timeoutMs);
}

void MessageBusShimImpl::handOverReplyTrampoline()
{
    m_functions->handOverReply(m_handle, &replyTrampoline);
}

MessageBusSubscription MessageBusShimImpl::subscribe(const std::wstring& name, MessageCallback* context)
{
    return m_functions->subscribe(m_handle, context, &messageTrampoline, name.c_str());
}

MessageBusSubscription MessageBusShimImpl::subscribeFilter(const std::wstring& pattern, MessageCallback* context)
{
    return m_functions->subscribeFilter(m_handle, context, &messageTrampoline, pattern.c_str());
}

void MessageBusShimImpl::unsubscribe(MessageBusSubscription subscription)
{
    m_functions->unsubscribe(m_handle, subscription);
}

} // namespace Tessel
