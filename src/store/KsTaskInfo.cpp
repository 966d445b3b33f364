// Heap handling of the task record's strings.
#include "store/KsTaskInfo.h"

#include <cstdlib>
#include <cwchar>
#include <initializer_list>

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

namespace {

// Every string field of the record.
template <typename Visit>
void eachString(KSTASKINFO& record, Visit visit)
{
    for (wchar_t** field : {&record.pwszTaskTrigger, &record.pwszTaskParams, &record.pwszTaskEventName,
                            &record.pwszPresetCategory, &record.pwszUser, &record.pwszDomain, &record.pwszAppid,
                            &record.pwszRuleName})
        visit(*field);
}

} // namespace

void freeStrings(KSTASKINFO& record)
{
    eachString(record, [](wchar_t*& field) { freeString(field); });
}

void duplicateStrings(KSTASKINFO& record)
{
    eachString(record, [](wchar_t*& field) { field = duplicateString(field); });
}

} // namespace KsStore
