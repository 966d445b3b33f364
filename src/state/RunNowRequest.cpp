// The asking side of the run-now request key: leave the request, wake the engine, wait for the
// answer stamped after it; withdraw the request when no answer comes in time.
#include "state/RunNowRequest.h"

#include "common/ReadStatus.h"
#include "common/UniqueHandle.h"
#include "common/WinInclude.h"
#include "registry/RegKey.h"
#include "state/RunNowAnswer.h"

#include <optional>

namespace KsState {
namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;

std::optional<RunNowOutcome> answerFor(const Keelwork::CRegKey& answers, const std::wstring& name, uint64_t asked)
{
    std::vector<BYTE> data;
    if (answers.getBinaryValue(name.c_str(), data) != ERROR_SUCCESS)
        return std::nullopt;
    const std::optional<RunNowAnswer> answer = decodeRunNowAnswer(data);
    if (!answer || answer->answeredAt < asked)
        return std::nullopt;
    return answer->outcome;
}

// The request still holds our stamp: nobody took it, so it goes rather than fire later.
void withdraw(Keelwork::CRegKey& requests, const std::wstring& name, uint64_t asked)
{
    ULONGLONG stamp = 0;
    if (requests.getQwordValue(name.c_str(), stamp) == ERROR_SUCCESS && stamp == asked)
        requests.deleteValue(name.c_str());
}

RunNowOutcome outcomeOf(const Keelwork::ReadStatus& opened)
{
    return opened.denied() ? RunNowOutcome::denied : RunNowOutcome::noEngine;
}

} // namespace

uint64_t runNowStampNow()
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

RunNowOutcome askEngineToRunNow(const std::wstring& name, uint32_t boundMs)
{
    // Only a missing event or key says that no engine listens; any other refusal is this caller's.
    Keelwork::unique_event wake(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kRunNowEvent));
    if (!wake)
        return outcomeOf(Keelwork::ReadStatus::of(static_cast<long>(::GetLastError())));
    // The engine makes both keys; without them it has not started listening.
    Keelwork::CRegKey requests;
    Keelwork::CRegKey answers;
    Keelwork::ReadStatus opened = Keelwork::ReadStatus::of(
        requests.open(HKEY_LOCAL_MACHINE, kRunNowKeyPath, KEY_SET_VALUE | KEY_QUERY_VALUE | kView));
    if (opened.read())
        opened = Keelwork::ReadStatus::of(
            answers.open(HKEY_LOCAL_MACHINE, kRunNowAnswersKeyPath, KEY_QUERY_VALUE | KEY_NOTIFY | kView));
    if (!opened.read())
        return outcomeOf(opened);
    Keelwork::unique_event changed(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!changed)
        return RunNowOutcome::registryError;
    const uint64_t asked = runNowStampNow();
    if (requests.setQwordValue(name.c_str(), asked) != ERROR_SUCCESS)
        return RunNowOutcome::registryError;
    ::SetEvent(wake.get());
    const ULONGLONG deadline = ::GetTickCount64() + boundMs;
    for (;;) {
        // Armed before the read: an answer written between the two still wakes the wait.
        if (answers.notifyChange(false, REG_NOTIFY_CHANGE_LAST_SET, changed.get(), true) != ERROR_SUCCESS)
            break;
        if (const std::optional<RunNowOutcome> outcome = answerFor(answers, name, asked))
            return *outcome;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline ||
            ::WaitForSingleObject(changed.get(), static_cast<DWORD>(deadline - now)) != WAIT_OBJECT_0)
            break;
    }
    withdraw(requests, name, asked);
    return RunNowOutcome::noAnswer;
}

} // namespace KsState
