// The host's stand-ins for the system monitor, the session monitor and the installer.
#include "StandIns.h"

#include "HostBus.h"
#include "Output.h"

namespace modhost {

bool StandIns::install(HostBus& bus, const HostOptions& options)
{
    return (options.standbyReply.empty() || setAnswer(bus, StandIn::Standby, options.standbyReply)) &&
           (options.notificationReply.empty() || setAnswer(bus, StandIn::NotificationState, options.notificationReply));
}

bool StandIns::setAnswer(HostBus& bus, StandIn which, const std::wstring& reply)
{
    bool subscribe = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Answer& answer = answerOf(which);
        answer.reply = reply;
        subscribe = !answer.subscribed;
        answer.subscribed = true;
    }
    if (!subscribe)
        return true;
    if (bus.subscribeName(standInRequest(which), [this, &bus, which](const SeenMessage& seen) { onRequest(bus, which, seen); }))
        return true;
    std::lock_guard<std::mutex> lock(m_mutex);
    answerOf(which).subscribed = false;
    return false;
}

void StandIns::onRequest(HostBus& bus, StandIn which, const SeenMessage& seen)
{
    // Only a request has someone waiting; a plain message of this name needs no answer.
    if (!seen.isRequest())
        return;
    std::wstring reply;
    unsigned repeats = 0;
    bool print = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Answer& answer = answerOf(which);
        reply = answer.reply;
        if (reply.empty())
            return;
        print = reply != answer.lastPrinted;
        if (print) {
            repeats = answer.repeats;
            answer.lastPrinted = reply;
            answer.repeats = 0;
        } else {
            ++answer.repeats;
        }
    }
    uint32_t status = bus.reply(seen, reply, L"");
    if (!print && status == 0)
        return;
    std::wstring line = reply + L" to " + seen.alias + L" (standing in for " + seen.name + L")";
    if (repeats != 0)
        line += L"; the answer before was given " + std::to_wstring(repeats + 1) + L" times";
    if (status != 0)
        line += L": publish failed, " + statusText(status);
    Output::event(L"answer", line);
}

void announceInstallerComplete(HostBus& bus, const HostOptions& options)
{
    if (!options.installerComplete)
        return;
    uint32_t status = bus.publish(kInstallerComplete, L"{}");
    Output::event(L"publish", std::wstring(kInstallerComplete) + L" (standing in for the installer) -> " + statusText(status));
}

} // namespace modhost
