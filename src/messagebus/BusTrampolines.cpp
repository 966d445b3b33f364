// Raw bus callbacks turned into calls of the client's callables.
#include "messagebus/BusTrampolines.h"

#include "message/Message.h"
#include "message/ModuleStatus.h"
#include "messagebus/MessageBusShim.h"

namespace Tessel {
namespace {

std::shared_ptr<Message> buildMessage(const MessageOptions* options, const wchar_t* name, const wchar_t* alias,
                                      const wchar_t* payload)
{
    std::shared_ptr<Message> message =
        Message::create(name ? name : L"", alias ? alias : L"", payload ? payload : L"");
    if (message)
        message->setOptions(options);
    return message;
}

} // namespace

uint32_t __cdecl messageTrampoline(void* context, const MessageOptions* options, const wchar_t* name,
                                   const wchar_t* alias, const wchar_t* payload)
{
    try {
        auto* callback = static_cast<MessageCallback*>(context);
        if (!callback || !*callback)
            return MODULE_STATUS_INVALID_PARAMETER;
        return (*callback)(buildMessage(options, name, alias, payload));
    } catch (...) {
        return MODULE_STATUS_UNKNOWN_EXCEPTION;
    }
}

uint32_t __cdecl replyTrampoline(void* replyContext, uint64_t replyIndex, const MessageOptions* options,
                                 const wchar_t* name, const wchar_t* alias, const wchar_t* payload,
                                 uint32_t status)
{
    try {
        auto* replyFunction = static_cast<ReplyFunction*>(replyContext);
        if (!replyFunction || !*replyFunction)
            return MODULE_STATUS_INVALID_PARAMETER;
        std::shared_ptr<Message> message;
        if (status == MODULE_STATUS_SUCCESS)
            message = buildMessage(options, name, alias, payload);
        return (*replyFunction)(replyIndex, std::move(message), status);
    } catch (...) {
        return MODULE_STATUS_UNKNOWN_EXCEPTION;
    }
}

} // namespace Tessel
