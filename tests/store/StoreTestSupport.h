// Helpers for the task store tests: raw registry values under the redirected HKEY_LOCAL_MACHINE,
// protected values written directly, and records filled with distinct field values.
#pragma once

#include "RegistryFixture.h"
#include "common/UniqueHandle.h"
#include "common/WinInclude.h"
#include "store/KsTask.h"
#include "store/KsTaskInfo.h"
#include "store/ProtectedValueCodec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace storetest {

using kstest::RawValue;
using kstest::readRaw;
using kstest::writeRaw;

inline void deleteRaw(const std::wstring& keyPath, const wchar_t* name)
{
    ASSERT_EQ(RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, keyPath.c_str(), name), ERROR_SUCCESS);
}

inline std::vector<std::wstring> valueNames(const std::wstring& keyPath)
{
    std::vector<std::wstring> names;
    Keelwork::unique_hkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD chars = 256;
        if (RegEnumValueW(key.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, chars);
    }
    return names;
}

// Protected values written without the store's own helpers' name handling in the way.
inline void writeProtectedBytes(const std::wstring& keyPath, const wchar_t* name, uint32_t logicalType, const void* data,
                         size_t size)
{
    std::vector<uint8_t> blob(size + KsStore::kProtectedOverheadBytes);
    size_t blobSize = KsStore::encodeProtectedValue(logicalType, data, size, blob.data());
    ASSERT_EQ(blobSize, blob.size());
    writeRaw(keyPath, name, REG_BINARY, blob.data(), blob.size());
}

inline void writeProtectedDword(const std::wstring& keyPath, const wchar_t* name, uint32_t value)
{
    writeProtectedBytes(keyPath, name, REG_DWORD, &value, sizeof value);
}

inline void writeProtectedAnsi(const std::wstring& keyPath, const wchar_t* name, const std::string& text, bool terminated = true)
{
    writeProtectedBytes(keyPath, name, REG_SZ, text.c_str(), text.size() + (terminated ? 1 : 0));
}

inline std::wstring enabledPath(const std::wstring& name) { return std::wstring(KsStore::kSchedulerKeyPath) + L"\\" + name; }


// A record with a distinct, non-default value in every field, strings owned by the holder (free
// with KsStore::freeStrings).
inline KSTASKINFO makeFullRecord(uint32_t type = KS_TASK_SCHEDULED)
{
    KSTASKINFO r{};
    r.dwSize = sizeof(KSTASKINFO);
    r.dwTaskType = type;
    r.dwTaskTrigType = KS_TRIGGER_PROCESS;
    r.pwszTaskTrigger = KsStore::duplicateString(L"C:\\Program Files\\Kestrel\\scan.exe");
    r.pwszTaskParams = KsStore::duplicateString(L"/quick /silent");
    r.pwszTaskEventName = KsStore::duplicateString(L"Global\\ScanDone");
    r.dwNextRun = 1700000000u;
    r.dwDefaultFreq = 86400;
    r.dwBatteryWise = 1;
    r.dwMeteredAccessWise = KS_METERED_ACCESS_WISE | KS_LONG_OVERDUE_TASK_WISE;
    r.dwReserved = 0xDEADBEEF;
    r.dwDayOfWeekMask = 0x22;
    r.dwInterval = KS_INTERVAL_WEEKLY;
    r.dwRunInUserContext = 2;
    r.dwHour = 9;
    r.dwMinute = 30;
    r.nPriority = KS_PRIORITY_HIGH;
    r.dwRepeatTask = 1;
    r.dwRunWhenIdle = 1;
    r.pwszPresetCategory = KsStore::duplicateString(L"scan");
    r.dwPresetId = 4;
    r.pwszUser = KsStore::duplicateString(L"alice");
    r.pwszDomain = KsStore::duplicateString(L"HOME");
    r.dwRunInRetailMode = 0;
    r.pwszAppid = KsStore::duplicateString(L"kestrel.scanner");
    r.pwszRuleName = KsStore::duplicateString(L"weekly-scan");
    return r;
}


// Assigns the record to a fresh task of that name and writes it; true when both succeed.
inline bool storeTask(const wchar_t* name, const KSTASKINFO& record)
{
    CKsTask task(name);
    return task.Assign(&record) == 0 && task.Write();
}

// Stores the full record of that type under the name.
inline bool storeFull(const wchar_t* name, uint32_t type = KS_TASK_SCHEDULED)
{
    KSTASKINFO record = makeFullRecord(type);
    const bool stored = storeTask(name, record);
    KsStore::freeStrings(record);
    return stored;
}

} // namespace storetest
