// Waiting, bounded, for the engine's state key to say what a test expects: woken by each change
// below the platform key, where the state key is created.
#pragma once

#include "common/UniqueHandle.h"
#include "state/MirroredState.h"

#include <functional>

namespace kstest {

// The state last read: the one `wanted` accepted, or the last one within `boundMs`.
inline KsState::MirroredState awaitMirroredState(const std::function<bool(const KsState::MirroredState&)>& wanted,
                                                 DWORD boundMs)
{
    Keelwork::unique_hkey platform;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrel\\Platform", 0, nullptr, 0, KEY_NOTIFY, nullptr,
                    platform.put(), nullptr);
    Keelwork::unique_event changed(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    const ULONGLONG until = ::GetTickCount64() + boundMs;
    for (;;) {
        // Armed before the read, so a change after the read is not missed.
        RegNotifyChangeKeyValue(platform.get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                changed.get(), TRUE);
        KsState::MirroredState state;
        const LONG read = KsState::readMirroredState(state);
        const ULONGLONG now = ::GetTickCount64();
        if ((read == ERROR_SUCCESS && wanted(state)) || now >= until)
            return state;
        ::WaitForSingleObject(changed.get(), static_cast<DWORD>(until - now));
    }
}

} // namespace kstest
