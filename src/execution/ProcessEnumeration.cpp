// Process ids and program base names through the psapi entries of the function table.
#include "execution/ProcessEnumeration.h"

#include <iterator>

namespace KsExecution {

namespace {
constexpr DWORD kMaxBaseNameChars = 1040;
constexpr DWORD kQueryAndReadAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

// The error of a call through the table: a missing entry counts as a function not found.
template <typename Fn>
DWORD failureOf(const CKsWin32APIBase& api, Fn fn)
{
    return api.usable(fn) ? ::GetLastError() : ERROR_PROC_NOT_FOUND;
}
} // namespace

DWORD listProcessIds(const CKsWin32APIBase& api, std::vector<DWORD>& pids)
{
    std::vector<DWORD> found(kMaxProcessIds);
    DWORD bytes = 0;
    if (!api.usable(api.pEnumProcesses) ||
        !api.pEnumProcesses(found.data(), static_cast<DWORD>(found.size() * sizeof(DWORD)), &bytes))
        return failureOf(api, api.pEnumProcesses);
    found.resize(bytes / sizeof(DWORD));
    pids = std::move(found);
    return 0;
}

const wchar_t* baseNameFailureFormat(BaseNameStep step)
{
    switch (step) {
    case BaseNameStep::OpenProcess:
        return L"Openprocess for PID: %u failed with error: %u";
    case BaseNameStep::EnumProcessModules:
        return L"EnumProcessModules for PID: %u failed with error: %u";
    case BaseNameStep::GetModuleBaseName:
        break;
    }
    return L"GetModuleBaseName for PID: %u failed with error: %u";
}

DWORD processBaseName(const CKsWin32APIBase& api, DWORD pid, std::wstring& baseName, BaseNameStep& failedStep)
{
    Keelwork::unique_handle process;
    if (api.usable(api.pOpenProcess))
        process.reset(api.pOpenProcess(kQueryAndReadAccess, FALSE, pid));
    if (!process) {
        failedStep = BaseNameStep::OpenProcess;
        return failureOf(api, api.pOpenProcess);
    }
    HMODULE firstModule = nullptr;
    DWORD needed = 0;
    if (!api.usable(api.pEnumProcessModules) ||
        !api.pEnumProcessModules(process.get(), &firstModule, sizeof(firstModule), &needed)) {
        failedStep = BaseNameStep::EnumProcessModules;
        return failureOf(api, api.pEnumProcessModules);
    }
    wchar_t name[kMaxBaseNameChars] = {};
    if (!api.usable(api.pGetModuleBaseNameW) ||
        api.pGetModuleBaseNameW(process.get(), firstModule, name, static_cast<DWORD>(std::size(name))) == 0) {
        failedStep = BaseNameStep::GetModuleBaseName;
        return failureOf(api, api.pGetModuleBaseNameW);
    }
    baseName = name;
    return 0;
}

} // namespace KsExecution
