// What each scenario command does.
#include "ScenarioRunner.h"

#include "HostBus.h"
#include "MessageJournal.h"
#include "ModuleSet.h"
#include "Output.h"
#include "common/WinInclude.h"

namespace modhost {

namespace {

// How many of the messages an expect passed over its failure line names.
constexpr size_t kUnclaimedShown = 8;

std::wstring withPayload(const std::wstring& head, const std::wstring& payload)
{
    return payload.empty() ? head : head + L"  " + payload;
}

} // namespace

Outcome ScenarioRunner::execute(const Command& command)
{
    switch (command.kind) {
    case CommandKind::Nothing:
        return Outcome::Continue;
    case CommandKind::Echo:
        Output::plain(command.text);
        return Outcome::Continue;
    case CommandKind::Publish:
        publish(command);
        return Outcome::Continue;
    case CommandKind::Request:
        request(command);
        return Outcome::Continue;
    case CommandKind::Direct:
        return direct(command);
    case CommandKind::Watch:
        m_journal.addWatch(command.pattern);
        return Outcome::Continue;
    case CommandKind::Expect:
        return expect(command);
    case CommandKind::Sleep:
        Sleep(command.milliseconds);
        return Outcome::Continue;
    case CommandKind::Stop:
        return Outcome::Stop;
    }
    return Outcome::Malformed;
}

void ScenarioRunner::publish(const Command& command)
{
    uint32_t status = m_bus.publish(command.name, command.text);
    std::wstring line = withPayload(command.name, command.text);
    if (status != 0)
        line += L"  -> not published: " + statusText(status);
    Output::event(L"publish", line);
}

void ScenarioRunner::request(const Command& command)
{
    Output::event(L"request", withPayload(command.name + L" (waits up to " + std::to_wstring(command.milliseconds) +
                                              L" ms)", command.text));
    HostBus::RequestResult result = m_bus.request(command.name, command.text, command.milliseconds);
    if (!result.replied) {
        Output::event(L"reply", L"none for " + command.name + L": " + statusText(result.status));
        return;
    }
    Output::message(L"reply", result.reply);
    m_journal.keep(result.reply);
}

Outcome ScenarioRunner::direct(const Command& command)
{
    LoadedModule* module = m_modules.find(command.module);
    if (!module) {
        Output::error(L"direct: no module named '" + command.module + L"'");
        return Outcome::Malformed;
    }
    uint32_t status = module->directMessage(command.name, command.text);
    Output::event(L"direct", withPayload(command.module + L" <- " + command.name, command.text) + L"  -> " +
                                 statusText(status));
    return Outcome::Continue;
}

Outcome ScenarioRunner::expect(const Command& command)
{
    std::optional<SeenMessage> seen = m_journal.expect(command.pattern, command.text, command.milliseconds);
    const std::wstring containing = command.text.empty() ? L"" : L" containing '" + command.text + L"'";
    if (seen) {
        Output::event(L"expect", L"ok: " + seen->name + L" from " + seen->alias + containing);
        return Outcome::Continue;
    }
    std::wstring unclaimed;
    for (const std::wstring& name : m_journal.unclaimedNames(kUnclaimedShown))
        unclaimed += (unclaimed.empty() ? L"" : L", ") + name;
    Output::event(L"expect", L"FAILED: no message matching " + command.name + containing + L" within " +
                                 std::to_wstring(command.milliseconds) + L" ms; unclaimed messages: " +
                                 (unclaimed.empty() ? L"none" : unclaimed));
    return Outcome::Failed;
}

} // namespace modhost
