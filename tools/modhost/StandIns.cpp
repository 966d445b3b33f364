// The host's stand-ins for the system monitor, the session monitor and the installer.
#include "StandIns.h"

#include "HostBus.h"
#include "Output.h"
#include "StandInNames.h"

namespace modhost {

namespace {

bool answerWith(HostBus& bus, const wchar_t* requestName, const std::wstring& replyName)
{
    if (replyName.empty())
        return true;
    return bus.subscribeName(requestName, [&bus, replyName](const SeenMessage& seen) {
        // Only a request has someone waiting; a plain message of this name needs no answer.
        if (!seen.isRequest())
            return;
        uint32_t status = bus.reply(seen, replyName, L"");
        std::wstring line = replyName + L" to " + seen.alias + L" (standing in for " + seen.name + L")";
        if (status != 0)
            line += L": publish failed, " + statusText(status);
        Output::event(L"answer", line);
    });
}

} // namespace

bool installStandIns(HostBus& bus, const HostOptions& options)
{
    return answerWith(bus, kStandbyRequest, options.standbyReply) &&
           answerWith(bus, kNotificationStateRequest, options.notificationReply);
}

void announceInstallerComplete(HostBus& bus, const HostOptions& options)
{
    if (!options.installerComplete)
        return;
    uint32_t status = bus.publish(kInstallerComplete, L"{}");
    Output::event(L"publish", std::wstring(kInstallerComplete) + L" (standing in for the installer) -> " + statusText(status));
}

} // namespace modhost
