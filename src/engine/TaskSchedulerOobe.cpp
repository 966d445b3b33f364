// CKsTaskScheduler's out-of-box experience: waiting for the OEM set-up to finish, reading the
// one-shot OOBE mode, the start that follows it, and leaving OOBE mode once every hold ran out.
#include "engine/TaskScheduler.h"

#include "engine/SchedulerRegistry.h"
#include "engine/TaskManager.h"
#include "platform/PlatformNames.h"
#include "platform/PlatformProbes.h"
#include "logging/internal_logging.h"
#include "registry/RegKey.h"

namespace Keelwork::engine {
namespace {

constexpr DWORD kOobeDoneRereadMs = 30000;
constexpr DWORD kOobeWatchFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

bool exitSignalled(HANDLE exitEvent)
{
    return ::WaitForSingleObject(exitEvent, 0) == WAIT_OBJECT_0;
}

} // namespace

void CKsTaskScheduler::_OobeCheck()
{
    KSLOG_NORMAL(L"Checking for OOBEDONE");
    if (!_CheckOobedone(m_hExitEvent))
        return;
    KSLOG_NORMAL(L"Checking if we are in factory mode");
    m_pTaskManager->SetOobeModeState(ReadOobeMode());
    if (!m_pTaskManager->IsOobeMode())
        return;
    KSLOG_NORMAL(L"Checking if OOBE wait exists");
    m_dwOobeStartDelay = _InitOobeWaitPerTask(SchedulerSettingsLoader(m_customization).loadGlobalOobeWait());
}

bool CKsTaskScheduler::_CheckOobedone(HANDLE exitEvent)
{
    CRegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, KsPlatform::names::kOemKey, KEY_READ | KEY_NOTIFY | KEY_WOW64_64KEY) !=
        ERROR_SUCCESS) {
        KSLOG_NORMAL(L"OEM Key / OOBEDONE not found; not a factory install");
        return true;
    }
    unique_event changed(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    LONG rc = changed ? key.notifyChange(false, kOobeWatchFilter, changed.get(), true) : ERROR_OUTOFMEMORY;
    if (rc != ERROR_SUCCESS) {
        KSLOG_ERROR(L"Could not monitor OEM Key ( error code %ld)", rc);
        return true;
    }
    for (;;) {
        DWORD type = REG_NONE;
        DWORD done = 0;
        DWORD size = sizeof done;
        if (key.queryValue(kOobeDoneValue, &type, &done, &size) != ERROR_SUCCESS || type != REG_DWORD ||
            size != sizeof done) {
            KSLOG_NORMAL(L"OOBEDONE not found; not a factory install");
            return true;
        }
        if (done != 0) {
            KSLOG_NORMAL(L"Found OOBEDONE != 0, continuing with OOBEMODE check");
            return true;
        }
        KSLOG_NORMAL(L"Found OOBEDONE=0; Waiting for OOBEDONE=1");
        if (exitSignalled(exitEvent))
            return false;
        const HANDLE handles[] = {changed.get(), exitEvent};
        if (::WaitForMultipleObjects(2, handles, FALSE, kOobeDoneRereadMs) == WAIT_OBJECT_0 + 1)
            return false;
        // A notification fires once; watch again before reading, so no change is missed.
        key.notifyChange(false, kOobeWatchFilter, changed.get(), true);
    }
}

DWORD CKsTaskScheduler::ReadOobeMode()
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

DWORD CKsTaskScheduler::_InitOobeWaitPerTask(DWORD seconds)
{
    KSLOG_NORMAL(L"InitOobeWaitPerTask() called");
    return m_pTaskManager ? m_pTaskManager->InitOobeWaitPerTask(seconds) : 0;
}

bool CKsTaskScheduler::_RefreshOobeWaitPerTask()
{
    KSLOG_NORMAL(L"_RefreshOobeWaitPerTask() called");
    return m_pTaskManager && m_pTaskManager->RefreshOobeWaitPerTask();
}

void CKsTaskScheduler::_OobeStart()
{
    // In safe mode nothing runs, out-of-box start or not.
    if (IsRestartPending() || m_bSafeMode)
        return;
    m_bSuspended = 0;
    KSLOG_NORMAL(L"Refreshing task scheduler data and then triggering it immediately");
    m_pTaskManager->Refresh();
    Trigger();
    InitialKickStart(true);
}

void CKsTaskScheduler::_OobeExpiry()
{
    if (!m_pTaskManager || !m_pTaskManager->IsOobeMode())
        return;
    if (!_RefreshOobeWaitPerTask() && m_pTaskManager->GlobalOobeWaitElapsed())
        m_pTaskManager->SetOobeModeState(0);
}

} // namespace Keelwork::engine
