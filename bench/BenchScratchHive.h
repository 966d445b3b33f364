// ksbench::ScratchHive: HKEY_LOCAL_MACHINE redirected to a scratch key for the lifetime of one
// bench group, so the cases write where they cannot disturb a real install.
//
// The scratch key sits directly under HKEY_USERS where the registry allows it (Wine does): Wine
// rewrites a changed branch's whole file every 30 s and answers no other process meanwhile, and
// with 10,000 tasks under HKEY_CURRENT_USER that is a 15 MB file, a stall of a few hundred
// milliseconds that lands on a random sample. A key outside the saved branches is never written
// out, so the figures time the module, not the emulator's persistence. Elsewhere it falls back
// to HKEY_CURRENT_USER.
#pragma once

#include "common/UniqueHandle.h"

namespace ksbench {

class ScratchHive {
public:
    // `subkey`: the scratch key, removed before and after.
    explicit ScratchHive(const wchar_t* subkey);
    ~ScratchHive();
    ScratchHive(const ScratchHive&) = delete;
    ScratchHive& operator=(const ScratchHive&) = delete;

private:
    const wchar_t* m_subkey;
    HKEY m_root = HKEY_USERS;
    Keelwork::unique_hkey m_key;
};

} // namespace ksbench
