// The task list's retail demo names: the tasks the retail demo mode keeps from running.
#include "engine/TaskList.h"

#include "engine/SchedulerRegistry.h"
#include "registry/RegKey.h"
#include "store/TaskName.h"

#include <cwctype>
#include <mutex>

namespace Keelwork::engine {

namespace {

// "DisabledInRetailModeTasks" is read into 2080 bytes, terminator included.
constexpr size_t kRetailListMaxChars = 2080 / sizeof(wchar_t) - 1;
// How the retail list and a task name meet: as the task's identity, so a name the code page
// cannot hold still matches its task, then with every letter lower-cased, the list's own rule.
std::wstring retailListKey(const std::wstring& name)
{
    std::wstring key = KsStore::TaskIdentity(name).key();
    for (wchar_t& c : key)
        c = static_cast<wchar_t>(std::towlower(c));
    return key;
}

} // namespace

bool TaskList::loadRetailDisabled()
{
    std::wstring list;
    CRegKey key;
    bool read = key.open(HKEY_LOCAL_MACHINE, kSchedulerKey, KEY_QUERY_VALUE | KEY_WOW64_64KEY) == ERROR_SUCCESS;
    LONG rc = read ? key.getStringValue(kDisabledInRetailModeTasksValue, list) : ERROR_FILE_NOT_FOUND;
    if (rc != ERROR_SUCCESS)
        list.clear();
    if (list.size() > kRetailListMaxChars)
        list.resize(kRetailListMaxChars);
    std::lock_guard<std::mutex> lock(m_retailMutex);
    m_retailDisabled.clear();
    for (size_t begin = 0; !list.empty() && begin <= list.size();) {
        size_t end = list.find(L',', begin);
        if (end == std::wstring::npos)
            end = list.size();
        m_retailDisabled.insert(retailListKey(list.substr(begin, end - begin)));
        begin = end + 1;
    }
    // An absent value is an empty list, not a failure.
    return read && (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND);
}

bool TaskList::allowedInRetailMode(const std::wstring& name)
{
    const std::wstring key = retailListKey(name);
    std::lock_guard<std::mutex> lock(m_retailMutex);
    return m_retailDisabled.count(key) == 0;
}

} // namespace Keelwork::engine
