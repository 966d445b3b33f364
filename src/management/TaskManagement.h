// Orbis::TaskManagement: the operations behind the task requests. Each works on one task name
// through a fresh CKsTask, converts between the JSON form and the task record, writes the store
// and, on success, wakes the engine through its new-task event. The same class serves schedule
// presets (TaskManagementPresets.cpp) and per-task change broadcasts (TaskManagementBroadcast.cpp).
//
// The module calls every operation under its own lock; only broadcastTasksUpdate also runs on
// watcher threads, without that lock.
#pragma once

#include "common/WinInclude.h"
#include "store/KsTaskInfo.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class CKsTask;

namespace Orbis {

class TMRegisterMonitor;

class TaskManagement {
public:
    TaskManagement();
    TaskManagement(const TaskManagement&) = delete;
    TaskManagement& operator=(const TaskManagement&) = delete;

    virtual ~TaskManagement();
    virtual bool modifyTask(const std::wstring& name, const std::wstring& payload);
    virtual bool createTask(const std::wstring& name, const std::wstring& payload);
    virtual BOOL deleteTask(const wchar_t* name);
    virtual BOOL enableTask(const wchar_t* name);
    virtual BOOL disableTask(const wchar_t* name);
    virtual bool queryTask(const std::wstring& name, std::wstring& text);
    // True when at least one name is registered; text is the reply object.
    virtual bool registerBroadcast(const std::vector<std::wstring>& names, std::wstring& text);
    virtual void broadcastTasksUpdate(const std::vector<std::wstring>& names);
    // True when at least one name was removed; text is the reply object.
    virtual bool unregisterBroadcast(const std::vector<std::wstring>& names, std::wstring& text);
    virtual bool getPresets(const std::wstring& category, std::wstring& text);

    // The store step of createTask: assigns, applies a preset, writes, disables when asked and
    // signals the engine. The record stays the caller's.
    BOOL ksCreateTask(const wchar_t* name, KSTASKINFO* record, BOOL enabled);

    // JSON members of the task field table into record; false on unparsable text or a value a
    // codec refuses (earlier fields stay changed). Strings stored are new C-heap copies and the
    // ones they replace are freed: the record must own its strings (see KsTaskInfo.h).
    static bool deserializeTask(const std::wstring& payload, KSTASKINFO_LANE& record);
    // The stored task's members in table order, then "enabled". Always true.
    static bool serializeTask(CKsTask& task, std::wstring& text);

    // Tells the engine that the task `name` changed: through this process's inbox when the engine
    // runs here, else by its named event.
    static void signalEngine(const std::wstring& name);

private:
    // Tasks registered for change broadcasts, by exact name.
    std::map<std::wstring, std::shared_ptr<TMRegisterMonitor>> m_broadcastRegistrations;
};

} // namespace Orbis
