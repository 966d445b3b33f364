// Helpers for the task store tests: raw registry values under the redirected HKEY_LOCAL_MACHINE,
// protected values written directly, and records filled with distinct field values.
#pragma once

#include "common/WinInclude.h"
#include "store/KsTask.h"
#include "store/KsTaskInfo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace storetest {

struct RawValue {
    LONG status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

RawValue readRaw(const std::wstring& keyPath, const wchar_t* name);
void writeRaw(const std::wstring& keyPath, const wchar_t* name, DWORD type, const void* data, size_t size);
void deleteRaw(const std::wstring& keyPath, const wchar_t* name);
std::vector<std::wstring> valueNames(const std::wstring& keyPath);

// Protected values written without the store's own helpers' name handling in the way.
void writeProtectedBytes(const std::wstring& keyPath, const wchar_t* name, uint32_t logicalType, const void* data,
                         size_t size);
void writeProtectedDword(const std::wstring& keyPath, const wchar_t* name, uint32_t value);
void writeProtectedAnsi(const std::wstring& keyPath, const wchar_t* name, const std::string& text, bool terminated = true);

std::wstring enabledPath(const std::wstring& name);
std::wstring disabledPath(const std::wstring& name);

// A scheduled (type 3) record with a distinct, non-default value in every field, strings owned
// by the holder (free with KsStore::freeStrings).
KSTASKINFO makeFullRecord(uint32_t type = KS_TASK_SCHEDULED);

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
