// Asking another module over the message bus: one short-lived client per request.
#include "execution/SystemProbeServices.h"

#include "message/Message.h"
#include "message/Reply.h"
#include "messagebus/MessageBusClient.h"

namespace KsExecution {

bool BusStatusRequester::ask(const std::wstring& requestName, uint32_t timeoutMs, std::wstring& replyName)
{
    try {
        auto client = std::make_shared<Tessel::MessageBusClient>();
        auto message = Tessel::Message::create(requestName, L"TaskScheduler", L"");
        if (!message)
            return false;
        std::shared_ptr<Tessel::Reply> reply;
        if (client->request(message, reply, timeoutMs) != Tessel::MODULE_STATUS_SUCCESS || !reply)
            return false;
        if (reply->waitFor(timeoutMs) != Tessel::REPLY_STATUS_RECEIVED)
            return false;
        std::shared_ptr<Tessel::Message> answer = reply->getMessage();
        if (!answer)
            return false;
        replyName = answer->name();
        return true;
    } catch (...) {
        // The bus could not be reached: no answer.
        return false;
    }
}

} // namespace KsExecution
