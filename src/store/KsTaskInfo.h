// The task record and the names of its registry home: field layout, enumerations, flag bits,
// priorities, value names and parent key paths. Everything that stores or reads a task uses these.
#pragma once

#include <cstddef>
#include <cstdint>

// Size-versioned task record; callers set dwSize to the size they know (128 base, 152 full, 168
// with the lane).
// Strings are wide, NUL-terminated heap copies owned by whoever holds the record; null = absent.
struct KSTASKINFO_BASE {
    uint32_t dwSize;
    uint32_t dwTaskType;
    uint32_t dwTaskTrigType;
    wchar_t* pwszTaskTrigger;
    wchar_t* pwszTaskParams;
    wchar_t* pwszTaskEventName;
    uint32_t dwNextRun;
    uint32_t dwDefaultFreq;
    uint32_t dwBatteryWise;
    uint32_t dwMeteredAccessWise;
    uint32_t dwReserved;
    uint32_t dwDayOfWeekMask;
    uint32_t dwInterval;
    uint32_t dwRunInUserContext;
    uint32_t dwHour;
    uint32_t dwMinute;
    int32_t nPriority;
    uint32_t dwRepeatTask;
    uint32_t dwRunWhenIdle;
    wchar_t* pwszPresetCategory;
    uint32_t dwPresetId;
    wchar_t* pwszUser;
    wchar_t* pwszDomain;
};

struct KSTASKINFO : KSTASKINFO_BASE {
    uint32_t dwRunInRetailMode;
    wchar_t* pwszAppid;
    wchar_t* pwszRuleName;
};

// How a started task may use the machine. Appended as a third size so that callers that know only
// 152 bytes keep working: their records leave the three as the task had them.
struct KSTASKINFO_LANE : KSTASKINFO {
    uint32_t dwMaxRunTime;  // seconds a run may last before its whole process tree is ended; 0 = no limit
    uint32_t dwBackground;  // non-zero: low processor, I/O and memory priority for the tree
    uint32_t dwSpread;      // seconds: each timed run moves later by the machine's offset below this; 0 = none
};

// Callers in other modules hand these records across by size, so the layout is part of the contract.
static_assert(sizeof(KSTASKINFO_BASE) == 128, "KSTASKINFO_BASE must stay 128 bytes");
static_assert(sizeof(KSTASKINFO) == 152, "KSTASKINFO must stay 152 bytes");
static_assert(sizeof(KSTASKINFO_LANE) == 168, "KSTASKINFO_LANE must stay 168 bytes");
static_assert(offsetof(KSTASKINFO_BASE, pwszTaskTrigger) == 16);
static_assert(offsetof(KSTASKINFO_BASE, dwNextRun) == 40);
static_assert(offsetof(KSTASKINFO_BASE, dwReserved) == 56);
static_assert(offsetof(KSTASKINFO_BASE, nPriority) == 80);
static_assert(offsetof(KSTASKINFO_BASE, pwszPresetCategory) == 96);
static_assert(offsetof(KSTASKINFO_BASE, dwPresetId) == 104);
static_assert(offsetof(KSTASKINFO_BASE, pwszUser) == 112);
static_assert(offsetof(KSTASKINFO_BASE, pwszDomain) == 120);

// The derived part extends the base, so the full record is not standard-layout; g++ still lays
// it out plainly and gives the offsets.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(KSTASKINFO, dwRunInRetailMode) == 128);
static_assert(offsetof(KSTASKINFO, pwszAppid) == 136);
static_assert(offsetof(KSTASKINFO, pwszRuleName) == 144);
static_assert(offsetof(KSTASKINFO_LANE, dwMaxRunTime) == 152);
static_assert(offsetof(KSTASKINFO_LANE, dwSpread) == 160);
#pragma GCC diagnostic pop

enum KsTaskType : uint32_t {
    KS_TASK_UNKNOWN = 0,
    KS_TASK_REBOOT = 1,
    KS_TASK_LOGON = 2,
    KS_TASK_SCHEDULED = 3,
    KS_TASK_ONCE = 4,
    KS_TASK_CUSTOM = 5,
    KS_TASK_PRESET = 6,
};

enum KsTaskTrigType : uint32_t {
    KS_TRIGGER_PROCESS = 0,
    KS_TRIGGER_EVENT = 1,
};

enum KsTaskInterval : uint32_t {
    KS_INTERVAL_NONE = 0,
    KS_INTERVAL_WEEKLY = 1,
    KS_INTERVAL_BIWEEKLY = 2,
    KS_INTERVAL_FIRST_IN_MONTH = 3,
    KS_INTERVAL_LAST_IN_MONTH = 4,
};

// Bits of dwMeteredAccessWise.
enum KsMeteredAccessFlag : uint32_t {
    KS_METERED_ACCESS_WISE = 0x01,
    KS_METRO_MODE_WISE = 0x02,
    KS_ADMIN_WISE = 0x04,
    KS_AM_TASK_EXCLUSION_WISE = 0x08,
    KS_AM_FUTURE_TASK_EXCLUSION_WISE = 0x10,
    KS_LONG_OVERDUE_TASK_WISE = 0x20,
};

enum KsTaskPriority : int32_t {
    KS_PRIORITY_DEFAULT = -1,
    KS_PRIORITY_LOWEST = 0,
    KS_PRIORITY_LOW = 1,
    KS_PRIORITY_NORMAL = 9,
    KS_PRIORITY_HIGH = 10,
    KS_PRIORITY_HIGHEST = 90,
    KS_PRIORITY_REALTIME = 100,
};

namespace KsStore {

inline constexpr const wchar_t* kSchedulerKeyPath = L"SOFTWARE\\Kestrel\\Platform\\Scheduler";
inline constexpr const wchar_t* kSchedulerDisabledKeyPath = L"SOFTWARE\\Kestrel\\Platform\\SchedulerDisabled";
// One REG_BINARY value per task, named by its key name: the task's last launch outcomes.
inline constexpr const wchar_t* kSchedulerHistoryKeyPath = L"SOFTWARE\\Kestrel\\Platform\\SchedulerHistory";

// Longest task name kept as a key name, and the buffer the "%s\%s" key path is built in.
inline constexpr size_t kMaxTaskNameChars = 127;
inline constexpr size_t kKeyPathChars = 388;

inline constexpr uint32_t kDefaultRunInRetailMode = 1;

namespace ValueName {
inline constexpr const wchar_t* TaskType = L"TaskType";
inline constexpr const wchar_t* TaskTrigType = L"TaskTrigType";
inline constexpr const wchar_t* TaskTrigger = L"TaskTrigger";
inline constexpr const wchar_t* TaskParams = L"TaskParams";
inline constexpr const wchar_t* TaskEventName = L"TaskEventName";
inline constexpr const wchar_t* NextRun = L"NextRun";
inline constexpr const wchar_t* DefaultFreq = L"DefaultFreq";
inline constexpr const wchar_t* TaskBatteryWise = L"TaskBatteryWise";
inline constexpr const wchar_t* TaskMeteredAccessWise = L"TaskMeteredAccessWise";
inline constexpr const wchar_t* DayOfWeekMask = L"DayOfWeekMask";
inline constexpr const wchar_t* Interval = L"Interval";
inline constexpr const wchar_t* Hour = L"Hour";
inline constexpr const wchar_t* Minute = L"Minute";
inline constexpr const wchar_t* RunInUserContext = L"RunInUserContext";
inline constexpr const wchar_t* RepeatTask = L"RepeatTask";
inline constexpr const wchar_t* RunWhenIdle = L"RunWhenIdle";
inline constexpr const wchar_t* Priority = L"Priority";
inline constexpr const wchar_t* PresetCategory = L"PresetCategory";
inline constexpr const wchar_t* PresetId = L"PresetId";
inline constexpr const wchar_t* User = L"User";
inline constexpr const wchar_t* Domain = L"Domain";
inline constexpr const wchar_t* RunInRetailMode = L"RunInRetailMode";
inline constexpr const wchar_t* Appid = L"Appid";
inline constexpr const wchar_t* RuleName = L"RuleName";
// The lane: stored only while non-zero, so a task without one keeps today's key.
inline constexpr const wchar_t* MaxRunTime = L"MaxRunTime";
inline constexpr const wchar_t* Background = L"Background";
inline constexpr const wchar_t* Spread = L"Spread";
inline constexpr const wchar_t* LogonNextRun = L"LogonNextRun";
inline constexpr const wchar_t* Postponed = L"postponed";
inline constexpr const wchar_t* UpdRun = L"UpdRun";
inline constexpr const wchar_t* FirstUpdate = L"FirstUpdate";
} // namespace ValueName

// The record's strings live on the C heap: whoever fills a record for the store uses these, and
// whoever holds one frees it with freeStrings().
wchar_t* duplicateString(const wchar_t* text);
void replaceString(wchar_t*& field, const wchar_t* text);
void freeString(wchar_t*& field);
void freeStrings(KSTASKINFO& record);
// Replaces every string pointer by a copy of its own (after a shallow copy of another record).
void duplicateStrings(KSTASKINFO& record);

} // namespace KsStore
