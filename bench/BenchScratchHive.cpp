// The scratch hive the store, management and module bench groups write under.
#include "BenchScratchHive.h"

namespace ksbench {

ScratchHive::ScratchHive(const wchar_t* subkey) : m_subkey(subkey)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, m_subkey);
    RegCreateKeyExW(HKEY_CURRENT_USER, m_subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, m_key.put(), nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_key.get());
}

ScratchHive::~ScratchHive()
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    m_key.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, m_subkey);
}

} // namespace ksbench
