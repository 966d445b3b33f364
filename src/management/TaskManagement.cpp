// Orbis::TaskManagement: create, modify, delete, enable, disable and query one task, and the
// conversions between a task's JSON form and its record.
#include "management/TaskManagement.h"

#include "customization/KsPartnerCustomizationCommon.h"
#include "logging/internal_logging.h"
#include "management/ManagementNames.h"
#include "customization/SchedulePresets.h"
#include "management/TaskFieldCodec.h"
#include "message/JSONFormatter.h"
#include "store/TaskWriteLock.h"
#include "store/KsTask.h"

#include <vector>

namespace Orbis {
namespace {

// Rows in table order; stops at the first value a codec refuses. Members of another JSON kind
// count as absent.
bool applyTaskFields(const Tessel::JSONFormatter& json, KSTASKINFO_LANE& record)
{
    std::wstring text;
    for (const TaskFieldCodec& row : taskFieldTable()) {
        if (!json.getString(row.key, text))
            continue;
        if (!row.parse(text, record))
            return false;
    }
    return true;
}

// An "enabled" string member means enabled unless it is exactly "false"; absent means fallback.
bool wantsEnabled(const Tessel::JSONFormatter& json, bool fallback)
{
    std::wstring text;
    if (!json.getString(Names::kEnabledMember, text))
        return fallback;
    return text != Names::kFalseText;
}

// Applies the first preset of the category whose id matches; the caller's enabled choice gives
// way to the category's setting.
void applyPreset(CKsTask& task, BOOL& enabled)
{
    KsTaskCustomization customization;
    customization.Initialize();
    std::vector<SchedulePreset> presets;
    if (task.pwszPresetCategory) {
        loadSchedulePresets(customization, task.pwszPresetCategory, presets);
        bool categoryEnabled = true;
        readPresetCategoryEnable(customization, task.pwszPresetCategory, categoryEnabled);
        enabled = categoryEnabled ? TRUE : FALSE;
    }
    if (const SchedulePreset* preset = findSchedulePreset(presets, task.dwPresetId))
        applySchedulePreset(*preset, task);
}

} // namespace

TaskManagement::TaskManagement() = default;

TaskManagement::~TaskManagement() = default;

bool TaskManagement::deserializeTask(const std::wstring& payload, KSTASKINFO_LANE& record)
{
    Tessel::JSONFormatter json;
    if (!json.parse(payload)) {
        KSLOG_ERROR(L"deserializeTask : Could not parse json %ls", payload.c_str());
        return false;
    }
    return applyTaskFields(json, record);
}

bool TaskManagement::serializeTask(CKsTask& task, std::wstring& text)
{
    Tessel::JSONFormatter json;
    std::wstring value;
    for (const TaskFieldCodec& row : taskFieldTable()) {
        if (row.serialize(task, value))
            json.setString(row.key, value);
    }
    // The task was just read, which already told which parent holds it.
    json.setString(Names::kEnabledMember, task.disabled() ? Names::kFalseText : Names::kTrueText);
    text = json.serialize();
    return true;
}

bool TaskManagement::createTask(const std::wstring& name, const std::wstring& payload)
{
    KSTASKINFO_LANE record = {};
    record.dwSize = sizeof(KSTASKINFO_LANE);
    if (!deserializeTask(payload, record)) {
        KsStore::freeStrings(record);
        return false;
    }
    bool ok = false;
    Tessel::JSONFormatter json;
    if (json.parse(payload))
        ok = ksCreateTask(name.c_str(), &record, wantsEnabled(json, true) ? TRUE : FALSE) != FALSE;
    else
        KSLOG_ERROR(L"createTask : Could not parse json %ls", payload.c_str());
    KsStore::freeStrings(record);
    return ok;
}

BOOL TaskManagement::ksCreateTask(const wchar_t* name, KSTASKINFO* record, BOOL enabled)
{
    if (!name || !record)
        return FALSE;
    CKsTask task(name);
    uint32_t code = task.Assign(record);
    if (code != ERROR_SUCCESS)
        KSLOG_ERROR(L"ksCreateTask %s failed on assign code = %d", name, code);
    if (task.dwTaskType == KS_TASK_PRESET)
        applyPreset(task, enabled);
    bool ok = task.Write();
    if (!enabled)
        task.Disable();
    if (ok)
        signalEngine(name);
    return ok ? TRUE : FALSE;
}

bool TaskManagement::modifyTask(const std::wstring& name, const std::wstring& payload)
{
    // Read, change and write as one step against the engine's next-run writes.
    std::lock_guard<std::mutex> storeLock(KsStore::taskWriteLock());
    CKsTask task(name.c_str());
    if (!task.Read())
        return false;
    const bool wasEnabled = !task.disabled();
    Tessel::JSONFormatter json;
    if (!json.parse(payload)) {
        KSLOG_ERROR(L"modifyTask : Could not parse json %ls", payload.c_str());
        return false;
    }
    const bool wanted = wantsEnabled(json, wasEnabled);
    if (wanted != wasEnabled && !(wanted ? task.Enable() : task.Disable()))
        return false;
    if (!deserializeTask(payload, task))
        return false;
    if (!task.Write())
        return false;
    signalEngine(name);
    return true;
}

BOOL TaskManagement::deleteTask(const wchar_t* name)
{
    if (!name)
        return FALSE;
    CKsTask task(name);
    if (!task.Read())
        return FALSE;
    if (task.name()[0] != L'\0' && !task.Delete())
        return FALSE;
    signalEngine(task.name());
    return TRUE;
}

BOOL TaskManagement::enableTask(const wchar_t* name)
{
    CKsTask task(name ? name : L"");
    if (!task.Read() || !task.Enable())
        return FALSE;
    signalEngine(task.name());
    return TRUE;
}

BOOL TaskManagement::disableTask(const wchar_t* name)
{
    CKsTask task(name ? name : L"");
    if (!task.Read() || !task.Disable())
        return FALSE;
    signalEngine(task.name());
    return TRUE;
}

bool TaskManagement::queryTask(const std::wstring& name, std::wstring& text)
{
    CKsTask task(name.c_str());
    if (!task.Read())
        return false;
    return serializeTask(task, text);
}

} // namespace Orbis
