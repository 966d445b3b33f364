// ksbench::ScratchHive: HKEY_LOCAL_MACHINE redirected to a scratch key under HKEY_CURRENT_USER for
// the lifetime of one bench group, so the cases write where they cannot disturb a real install.
#pragma once

#include "common/UniqueHandle.h"

namespace ksbench {

class ScratchHive {
public:
    // `subkey`: the scratch key below HKEY_CURRENT_USER, removed before and after.
    explicit ScratchHive(const wchar_t* subkey);
    ~ScratchHive();
    ScratchHive(const ScratchHive&) = delete;
    ScratchHive& operator=(const ScratchHive&) = delete;

private:
    const wchar_t* m_subkey;
    Keelwork::unique_hkey m_key;
};

} // namespace ksbench
