// CKsTask: taking a task's fields from a KSTASKINFO, whole or its base part.
#include "store/KsTask.h"

#include "common/WinInclude.h"
#include "logging/internal_logging.h"
#include "store/KsTaskInfo.h"

uint32_t CKsTask::Assign(const KSTASKINFO* pInfo)
{
    makeEnabledCurrent();
    if (!checkName())
        return ERROR_INVALID_PARAMETER;
    if (pInfo == nullptr)
        return ERROR_INVALID_PARAMETER;
    const uint32_t baseSize = sizeof(KSTASKINFO_BASE);
    const uint32_t fullSize = sizeof(KSTASKINFO);
    if (pInfo->dwSize < baseSize) {
        KSLOG_ERROR(L"The size of the KSTASKINFO struct passed in is %d, but a valid struct must have a size of at "
                    L"least the base struct size of %d",
                    pInfo->dwSize, baseSize);
        return ERROR_INVALID_PARAMETER;
    }
    if (pInfo->dwSize < fullSize) {
        KSLOG_INFO(L"The size of the KSTASKINFO struct passed in is %d, less that the derrived struct size of %d; "
                   L"therefore we will use only the base struct portion",
                   pInfo->dwSize, fullSize);
    }
    if (!assignBase(pInfo)) {
        KSLOG_ERROR(L"ksutil.dll KSTASKINFO size base assign failed");
        return ERROR_INVALID_PARAMETER;
    }
    if (pInfo->dwSize >= fullSize) {
        KsStore::replaceString(pwszAppid, pInfo->pwszAppid);
        KsStore::replaceString(pwszRuleName, pInfo->pwszRuleName);
        dwRunInRetailMode = pInfo->dwRunInRetailMode;
    }
    // A caller that knows no lane leaves the task's as it was.
    if (pInfo->dwSize >= sizeof(KSTASKINFO_LANE)) {
        const auto* lane = static_cast<const KSTASKINFO_LANE*>(pInfo);
        dwMaxRunTime = lane->dwMaxRunTime;
        dwBackground = lane->dwBackground;
        dwSpread = lane->dwSpread;
    }
    return ERROR_SUCCESS;
}

bool CKsTask::assignBase(const KSTASKINFO_BASE* pInfo)
{
    if (pInfo->dwSize < sizeof(KSTASKINFO_BASE) || pInfo->pwszTaskTrigger == nullptr)
        return false;
    KsStore::replaceString(pwszTaskTrigger, pInfo->pwszTaskTrigger);
    KsStore::replaceString(pwszTaskParams, pInfo->pwszTaskParams);
    KsStore::replaceString(pwszTaskEventName, pInfo->pwszTaskEventName);
    KsStore::replaceString(pwszUser, pInfo->pwszUser);
    KsStore::replaceString(pwszDomain, pInfo->pwszDomain);
    KsStore::replaceString(pwszPresetCategory, pInfo->pwszPresetCategory);
    dwTaskType = pInfo->dwTaskType;
    dwTaskTrigType = pInfo->dwTaskTrigType;
    dwNextRun = pInfo->dwNextRun;
    dwDefaultFreq = pInfo->dwDefaultFreq;
    dwBatteryWise = pInfo->dwBatteryWise;
    dwMeteredAccessWise = pInfo->dwMeteredAccessWise;
    dwDayOfWeekMask = pInfo->dwDayOfWeekMask;
    dwInterval = pInfo->dwInterval;
    dwRunInUserContext = pInfo->dwRunInUserContext;
    dwHour = pInfo->dwHour;
    dwMinute = pInfo->dwMinute;
    nPriority = pInfo->nPriority;
    dwRepeatTask = pInfo->dwRepeatTask;
    dwRunWhenIdle = pInfo->dwRunWhenIdle;
    dwPresetId = pInfo->dwPresetId;
    return true;
}
