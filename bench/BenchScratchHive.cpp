// The scratch hive the store, management and module bench groups write under.
#include "BenchScratchHive.h"

namespace ksbench {

ScratchHive::ScratchHive(const wchar_t* subkey) : m_subkey(subkey)
{
    for (HKEY root : {HKEY_USERS, HKEY_CURRENT_USER}) {
        m_root = root;
        RegDeleteTreeW(m_root, m_subkey);
        if (RegCreateKeyExW(m_root, m_subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, m_key.put(), nullptr) ==
            ERROR_SUCCESS)
            break;
    }
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_key.get());
}

ScratchHive::~ScratchHive()
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    m_key.reset();
    RegDeleteTreeW(m_root, m_subkey);
}

} // namespace ksbench
