// Walking the sub-keys of a task parent key.
#include "store/TaskEnumeration.h"

#include "common/WinInclude.h"
#include "registry/RegKey.h"
#include "store/KsTaskInfo.h"
#include "store/TaskName.h"

namespace KsStore {

uint32_t enumerateTaskNames(TaskParent parent, std::vector<std::wstring>& names)
{
    names.clear();
    const wchar_t* path = parent == TaskParent::enabled ? kSchedulerKeyPath : kSchedulerDisabledKeyPath;
    Keelwork::CRegKey key;
    LONG rc = key.open(HKEY_LOCAL_MACHINE, path, KEY_READ | KEY_WOW64_64KEY);
    if (rc != ERROR_SUCCESS)
        return static_cast<uint32_t>(rc);
    for (DWORD index = 0;; ++index) {
        std::wstring name;
        rc = key.enumSubKey(index, name);
        if (rc == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (rc != ERROR_SUCCESS)
            return static_cast<uint32_t>(rc);
        if (name.empty())
            return ERROR_SUCCESS;
        // A key that is no task's name (too long, say) holds no task.
        if (const TaskIdentity identity(name); identity.valid())
            names.push_back(identity.key());
    }
}

} // namespace KsStore
