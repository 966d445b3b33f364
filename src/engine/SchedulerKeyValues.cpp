// Reads of scheduler-key values that are consulted repeatedly while the engine runs.
#include "engine/SchedulerKeyValues.h"

#include "engine/SchedulerRegistry.h"
#include "registry/RegKey.h"

#include <cwctype>

namespace Keelwork::engine {

namespace {

std::wstring trimmedLowerName(const std::wstring& text, size_t begin, size_t end)
{
    while (begin < end && std::iswspace(text[begin]))
        ++begin;
    while (end > begin && std::iswspace(text[end - 1]))
        --end;
    std::wstring name = text.substr(begin, end - begin);
    for (wchar_t& c : name) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return name;
}

} // namespace

uint32_t readIdleWait()
{
    CRegKey key;
    DWORD value = 1;
    if (key.open(HKEY_LOCAL_MACHINE, kSchedulerKey, KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS ||
        key.getDwordValue(kIdleWaitValue, value) != ERROR_SUCCESS)
        return 1;
    return value;
}

std::vector<std::wstring> readDisabledInRetailModeTasks()
{
    std::vector<std::wstring> names;
    CRegKey key;
    std::wstring list;
    if (key.open(HKEY_LOCAL_MACHINE, kSchedulerKey, KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS ||
        key.getStringValue(kDisabledInRetailModeTasksValue, list) != ERROR_SUCCESS)
        return names;
    size_t begin = 0;
    while (begin <= list.size()) {
        size_t comma = list.find(L',', begin);
        size_t end = comma == std::wstring::npos ? list.size() : comma;
        std::wstring name = trimmedLowerName(list, begin, end);
        if (!name.empty())
            names.push_back(std::move(name));
        begin = end + 1;
    }
    return names;
}

} // namespace Keelwork::engine
