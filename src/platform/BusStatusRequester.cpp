// Asking another module over the message bus.
#include "platform/SystemProbeServices.h"

#include "message/Message.h"
#include "message/Reply.h"
#include "messagebus/MessageBusClient.h"

#include <algorithm>

namespace KsPlatform {
namespace {

// A reply cannot be waited on together with a kernel event, so the wait is cut into slices with a
// look at the stop event between them: a stop is seen within one slice.
constexpr uint32_t kStopSliceMs = 50;

} // namespace

bool BusStatusRequester::waitForAnswer(Tessel::Reply& reply, uint32_t timeoutMs) const
{
    if (!m_stopEvent)
        return reply.waitFor(timeoutMs) == Tessel::REPLY_STATUS_RECEIVED;
    for (uint32_t waited = 0;;) {
        if (::WaitForSingleObject(m_stopEvent, 0) == WAIT_OBJECT_0)
            return false;
        const uint32_t slice = std::min(kStopSliceMs, timeoutMs - waited);
        const uint32_t status = reply.waitFor(slice);
        if (status == Tessel::REPLY_STATUS_RECEIVED)
            return true;
        waited += slice;
        if (status != Tessel::REPLY_STATUS_PENDING || waited >= timeoutMs)
            return false;
    }
}

bool BusStatusRequester::ask(const std::wstring& requestName, uint32_t timeoutMs, std::wstring& replyName)
{
    try {
        std::shared_ptr<Tessel::MessageBusClient> client =
            m_client ? m_client : std::make_shared<Tessel::MessageBusClient>();
        auto message = Tessel::Message::create(requestName, L"TaskScheduler", L"");
        if (!message)
            return false;
        std::shared_ptr<Tessel::Reply> reply;
        if (client->request(message, reply, timeoutMs) != Tessel::MODULE_STATUS_SUCCESS || !reply)
            return false;
        if (!waitForAnswer(*reply, timeoutMs))
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

} // namespace KsPlatform
