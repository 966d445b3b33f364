// Heap handling of the task record's strings.
#include "store/KsTaskInfo.h"

#include <cstdlib>
#include <cwchar>

namespace KsStore {

wchar_t* duplicateString(const wchar_t* text)
{
    return text ? _wcsdup(text) : nullptr;
}

void replaceString(wchar_t*& field, const wchar_t* text)
{
    // Duplicate first: text may be the field itself.
    wchar_t* copy = duplicateString(text);
    std::free(field);
    field = copy;
}

void freeString(wchar_t*& field)
{
    std::free(field);
    field = nullptr;
}

void freeStrings(KSTASKINFO& record)
{
    freeString(record.pwszTaskTrigger);
    freeString(record.pwszTaskParams);
    freeString(record.pwszTaskEventName);
    freeString(record.pwszPresetCategory);
    freeString(record.pwszUser);
    freeString(record.pwszDomain);
    freeString(record.pwszAppid);
    freeString(record.pwszRuleName);
}

} // namespace KsStore
