// The run-now request key: one value per asked-for task, removed by the engine as it takes it.
#include "state/RunNowRequest.h"

#include "common/Clock.h"
#include "common/UniqueHandle.h"
#include "registry/RegKey.h"

namespace KsState {
namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;

} // namespace

RunNowRequest requestRunNow(const std::wstring& name, uint32_t* error)
{
    uint32_t ignored = 0;
    uint32_t& failure = error ? *error : ignored;
    failure = 0;
    Keelwork::unique_event wake(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kRunNowEvent));
    if (!wake)
        return RunNowRequest::noEngine;
    Keelwork::CRegKey key;
    LONG rc = key.createSystemOnly(HKEY_LOCAL_MACHINE, kRunNowKeyPath, KEY_SET_VALUE | kView);
    if (rc == ERROR_SUCCESS)
        rc = key.setDwordValue(name.c_str(), Keelwork::Clock::current().now());
    if (rc != ERROR_SUCCESS) {
        failure = static_cast<uint32_t>(rc);
        return RunNowRequest::registryError;
    }
    ::SetEvent(wake.get());
    return RunNowRequest::requested;
}

std::vector<std::wstring> takeRunNowRequests()
{
    std::vector<std::wstring> names;
    Keelwork::CRegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, kRunNowKeyPath, KEY_QUERY_VALUE | KEY_SET_VALUE | kView) != ERROR_SUCCESS)
        return names;
    // Value names are at most 16,383 characters.
    std::wstring buffer(16384, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD chars = static_cast<DWORD>(buffer.size());
        if (::RegEnumValueW(key.get(), index, buffer.data(), &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(buffer.data(), chars);
    }
    for (const std::wstring& name : names)
        key.deleteValue(name.c_str());
    return names;
}

} // namespace KsState
