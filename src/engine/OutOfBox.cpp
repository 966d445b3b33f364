// The out-of-box experience: the OEM set-up wait, the mode, the per-task holds and their end.
#include "engine/OutOfBox.h"

#include "customization/KsPartnerCustomizationCommon.h"
#include "engine/SchedulerRegistry.h"
#include "engine/SchedulerSettings.h"
#include "engine/TaskManager.h"
#include "logging/LogAs.h"
#include "platform/PlatformNames.h"
#include "registry/RegKey.h"

namespace Keelwork::engine {

// The functions the log contract gives these lines, whichever part writes them.
constexpr const char* kInit = "CKsTaskScheduler::_Init";
constexpr const char* kKickStart = "CKsTaskScheduler::InitialKickStart";
constexpr const char* kInitOobeWait = "CKsTaskScheduler::_InitOobeWaitPerTask";
constexpr const char* kRefreshOobeWait = "CKsTaskScheduler::_RefreshOobeWaitPerTask";
constexpr const char* kCheckOobedone = "CKsTaskScheduler::_CheckOobedone";
namespace {

constexpr DWORD kOobeDoneRereadMs = 30000;
constexpr DWORD kOobeWatchFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
constexpr uint32_t kShortDelayMs = 10;

bool exitSignalled(HANDLE exitEvent)
{
    return ::WaitForSingleObject(exitEvent, 0) == WAIT_OBJECT_0;
}

} // namespace

bool OutOfBox::check(HANDLE exitEvent, CKsTaskManager& tasks, KsZARNPartnerCustomization& customization,
                     const std::function<void()>& waiting)
{
    KSLOG_NORMAL_AS(kInit, L"Checking for OOBEDONE");
    if (!_CheckOobedone(exitEvent, waiting))
        return false;
    KSLOG_NORMAL_AS(kInit, L"Checking if we are in factory mode");
    tasks.SetOobeModeState(ReadOobeMode());
    if (tasks.IsOobeMode()) {
        KSLOG_NORMAL_AS(kInit, L"Checking if OOBE wait exists");
        m_dwOobeStartDelay = _InitOobeWaitPerTask(tasks, SchedulerSettingsLoader(customization).loadGlobalOobeWait());
    }
    return true;
}

uint32_t OutOfBox::startDelayMs() const
{
    KSLOG_NORMAL_AS(kKickStart, L"Kickstarting TS. But we are being asked to look for OOBE value. Looking for it...");
    return m_dwOobeStartDelay != 0 ? m_dwOobeStartDelay * 1000 : kShortDelayMs;
}

void OutOfBox::expire(CKsTaskManager& tasks)
{
    if (!tasks.IsOobeMode())
        return;
    if (!_RefreshOobeWaitPerTask(tasks) && tasks.GlobalOobeWaitElapsed())
        tasks.SetOobeModeState(0);
}

uint32_t OutOfBox::_InitOobeWaitPerTask(CKsTaskManager& tasks, uint32_t globalWait)
{
    KSLOG_NORMAL_AS(kInitOobeWait, L"InitOobeWaitPerTask() called");
    return tasks.InitOobeWaitPerTask(globalWait);
}

bool OutOfBox::_RefreshOobeWaitPerTask(CKsTaskManager& tasks)
{
    KSLOG_NORMAL_AS(kRefreshOobeWait, L"_RefreshOobeWaitPerTask() called");
    return tasks.RefreshOobeWaitPerTask();
}

bool OutOfBox::_CheckOobedone(HANDLE exitEvent, const std::function<void()>& waiting)
{
    CRegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, KsPlatform::names::kOemKey, KEY_READ | KEY_NOTIFY | KEY_WOW64_64KEY) !=
        ERROR_SUCCESS) {
        KSLOG_NORMAL_AS(kCheckOobedone, L"OEM Key / OOBEDONE not found; not a factory install");
        return true;
    }
    unique_event changed(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    LONG rc = changed ? key.notifyChange(false, kOobeWatchFilter, changed.get(), true) : ERROR_OUTOFMEMORY;
    if (rc != ERROR_SUCCESS) {
        KSLOG_ERROR_AS(kCheckOobedone, L"Could not monitor OEM Key ( error code %ld)", rc);
        return true;
    }
    for (bool told = false;; told = true) {
        DWORD type = REG_NONE;
        DWORD done = 0;
        DWORD size = sizeof done;
        if (key.queryValue(kOobeDoneValue, &type, &done, &size) != ERROR_SUCCESS || type != REG_DWORD ||
            size != sizeof done) {
            KSLOG_NORMAL_AS(kCheckOobedone, L"OOBEDONE not found; not a factory install");
            return true;
        }
        if (done != 0) {
            KSLOG_NORMAL_AS(kCheckOobedone, L"Found OOBEDONE != 0, continuing with OOBEMODE check");
            return true;
        }
        KSLOG_NORMAL_AS(kCheckOobedone, L"Found OOBEDONE=0; Waiting for OOBEDONE=1");
        if (!told && waiting)
            waiting();
        if (exitSignalled(exitEvent))
            return false;
        const HANDLE handles[] = {changed.get(), exitEvent};
        if (::WaitForMultipleObjects(2, handles, FALSE, kOobeDoneRereadMs) == WAIT_OBJECT_0 + 1)
            return false;
        // A notification fires once; watch again before reading, so no change is missed.
        key.notifyChange(false, kOobeWatchFilter, changed.get(), true);
    }
}

uint32_t OutOfBox::ReadOobeMode()
{
    CRegKey key;
    DWORD mode = 0;
    if (key.open(HKEY_LOCAL_MACHINE, KsPlatform::names::kOemKey, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY) ==
        ERROR_SUCCESS) {
        if (key.getDwordValue(kOobeModeValue, mode) != ERROR_SUCCESS)
            mode = 0;
        // One-shot: the next start is a normal one.
        key.deleteValue(kOobeModeValue);
    }
    return mode;
}

} // namespace Keelwork::engine
