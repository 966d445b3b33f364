// What each scenario command does.
#include "ScenarioRunner.h"

#include "HostBus.h"
#include "MessageJournal.h"
#include "ModuleSet.h"
#include "Output.h"
#include "StandIns.h"
#include "common/WinInclude.h"

namespace modhost {

namespace {

// How many of the messages an expect passed over its failure line names.
constexpr size_t kUnclaimedShown = 8;

std::wstring withPayload(const std::wstring& head, const std::wstring& payload)
{
    return payload.empty() ? head : head + L"  " + payload;
}

std::wstring containingText(const Command& command)
{
    return command.text.empty() ? L"" : L" containing '" + command.text + L"'";
}

// A key may be written with the root's name in front, as regedit shows it.
std::wstring keyBelowLocalMachine(const std::wstring& key)
{
    for (const wchar_t* root : {L"HKLM\\", L"HKEY_LOCAL_MACHINE\\"}) {
        const std::wstring prefix = root;
        if (key.size() > prefix.size() && _wcsnicmp(key.c_str(), prefix.c_str(), prefix.size()) == 0)
            return key.substr(prefix.size());
    }
    return key;
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
    case CommandKind::Call:
        return call(command);
    case CommandKind::Watch:
        m_journal.addWatch(command.pattern);
        return Outcome::Continue;
    case CommandKind::Expect:
        return expect(command);
    case CommandKind::Absent:
        return absent(command);
    case CommandKind::Forget:
        forget(command);
        return Outcome::Continue;
    case CommandKind::Answer:
        return answer(command);
    case CommandKind::Registry:
        return setRegistryValue(command);
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

// The call is printed with its status like the host's own; a refused call does not end the run.
Outcome ScenarioRunner::call(const Command& command)
{
    LoadedModule* module = m_modules.find(command.module);
    if (!module || !module->created()) {
        Output::error(L"call: no module named '" + command.module + L"' is up");
        return Outcome::Malformed;
    }
    if (command.name == L"start")
        module->start();
    else if (command.name == L"stop")
        module->stop();
    else
        module->destroy();
    return Outcome::Continue;
}

Outcome ScenarioRunner::expect(const Command& command)
{
    std::optional<SeenMessage> seen = m_journal.expect(command.pattern, command.text, command.milliseconds);
    const std::wstring containing = containingText(command);
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

Outcome ScenarioRunner::absent(const Command& command)
{
    std::optional<SeenMessage> seen = m_journal.expect(command.pattern, command.text, command.milliseconds);
    if (!seen) {
        Output::event(L"absent", L"ok: no message matching " + command.name + containingText(command) + L" within " +
                                     std::to_wstring(command.milliseconds) + L" ms");
        return Outcome::Continue;
    }
    Output::event(L"absent", L"FAILED: " + seen->name + L" from " + seen->alias + containingText(command) +
                                 L" arrived at " + seen->time);
    return Outcome::Failed;
}

void ScenarioRunner::forget(const Command& command)
{
    const size_t count = m_journal.forget(command.pattern);
    Output::event(L"forget", std::to_wstring(count) + L" message(s) matching " + command.name + L" seen so far");
}

Outcome ScenarioRunner::answer(const Command& command)
{
    const wchar_t* request = standInRequest(command.standIn);
    if (!m_standIns.setAnswer(m_bus, command.standIn, command.text)) {
        Output::error(L"answer: the bus refused the subscription to " + std::wstring(request));
        return Outcome::Malformed;
    }
    Output::event(L"answer", L"from now on " + command.text + L" (standing in for " + request + L")");
    return Outcome::Continue;
}

Outcome ScenarioRunner::setRegistryValue(const Command& command)
{
    const std::wstring key = keyBelowLocalMachine(command.name);
    const LSTATUS status =
        command.dword ? RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), command.valueName.c_str(), REG_DWORD,
                                        &command.number, sizeof command.number)
                      : RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), command.valueName.c_str(), REG_SZ,
                                        command.text.c_str(),
                                        static_cast<DWORD>((command.text.size() + 1) * sizeof(wchar_t)));
    const std::wstring data = command.dword ? L"dword " + std::to_wstring(command.number) : L"string " + command.text;
    std::wstring line = L"HKLM\\" + key + L" " + command.valueName + L" = " + data;
    if (status != ERROR_SUCCESS) {
        Output::event(L"regset", line + L"  -> FAILED: Windows error " + std::to_wstring(status));
        return Outcome::Failed;
    }
    Output::event(L"regset", line);
    return Outcome::Continue;
}

} // namespace modhost
