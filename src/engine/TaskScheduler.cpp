// CKsTaskScheduler: building the engine, its thread and wait loop, triggers, timers and the
// window procedure.
#include "engine/TaskScheduler.h"

#include "common/Clock.h"
#include "common/TimeText.h"
#include "platform/BootMode.h"
#include "engine/EngineNames.h"
#include "engine/SchedulerRegistry.h"
#include "engine/TSHandles.h"
#include "platform/InstallTimeStamp.h"
#include "engine/TaskManager.h"
#include "platform/NotQuiteNullDacl.h"
#include "platform/PlatformProbes.h"
#include "logging/internal_logging.h"
#include "message/Message.h"
#include "messagebus/MessageBusClient.h"
#include "registry/RegKey.h"

#include <objbase.h>
#include <objidl.h>

#include <exception>
#include <new>


namespace Keelwork::engine {
namespace {

constexpr wchar_t kInstallerComplete[] = L"Core.Installer.Complete";

constexpr DWORD kNoTaskManager = 13;
constexpr DWORD kThreadFailed = 0xFFFFFFFF;

// The waitable timer in 100-nanosecond units relative to now (negative).
bool armRelative(HANDLE timer, LONGLONG units)
{
    LARGE_INTEGER due;
    due.QuadPart = -units;
    return ::SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) != FALSE;
}

// How far the system clock is into its current second, in 100-nanosecond units.
LONGLONG subSecondUnits()
{
    FILETIME now;
    ::GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER units;
    units.LowPart = now.dwLowDateTime;
    units.HighPart = now.dwHighDateTime;
    return static_cast<LONGLONG>(units.QuadPart % 10000000);
}

} // namespace

CKsTaskScheduler::CKsTaskScheduler()
{
    m_settings.afterSuspendWait = 300;
    m_customization.Initialize();
}

CKsTaskScheduler::~CKsTaskScheduler()
{
    m_link.reset();
    if (m_pBus && m_bInstallSubscribed)
        m_pBus->unsubscribe(kInstallerComplete);
    m_pBus.reset();
    if (HWND window = m_hWnd.exchange(nullptr)) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        ::DestroyWindow(window);
    }
    if (m_atom)
        ::UnregisterClassW(kWindowClass, m_hInstance);
    if (m_hTimer)
        ::CancelWaitableTimer(m_hTimer.get());
    m_hTimer.reset();
    m_hNewTaskEvent.reset();
    m_hAMModeEvent.reset();
    m_pTaskManager.reset();
    if (m_pGIT) {
        m_pGIT->Release();
        m_pGIT = nullptr;
    }
}

bool CKsTaskScheduler::_CreateWindow()
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &CKsTaskScheduler::_WindowProc;
    windowClass.hInstance = m_hInstance;
    windowClass.lpszClassName = kWindowClass;
    m_atom = ::RegisterClassExW(&windowClass);
    if (!m_atom) {
        WNDCLASSW plain = {};
        plain.lpfnWndProc = &CKsTaskScheduler::_WindowProc;
        plain.hInstance = m_hInstance;
        plain.lpszClassName = kWindowClass;
        m_atom = ::RegisterClassW(&plain);
    }
    if (!m_atom) {
        KSLOG_ERROR(L"RegisterClass FAILED for Task Scheduler window. Error: %d", ::GetLastError());
        return false;
    }
    m_hWnd = ::CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                               m_hInstance, this);
    KSLOG_NORMAL(L"Intrenal window handle: %p", m_hWnd.load());
    return true;
}

bool CKsTaskScheduler::_CreateObjects()
{
    CRegKey schedulerKey;
    schedulerKey.create(HKEY_LOCAL_MACHINE, kSchedulerKey, KEY_ALL_ACCESS | KEY_WOW64_64KEY);
    schedulerKey.close();

    m_hTimer.reset(::CreateWaitableTimerW(nullptr, FALSE, kWaitableTimerName));
    KSLOG_NORMAL(L"Waitable timer: %p", m_hTimer.get());
    m_hNewTaskEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, kNewTaskEvent));
    KSLOG_NORMAL(L"New task event: %p", m_hNewTaskEvent.get());
    m_hAMModeEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    KSLOG_NORMAL(L"AM mode event: %p", m_hAMModeEvent.get());
    if (!m_hWnd || !m_hTimer || !m_hNewTaskEvent || !m_hAMModeEvent) {
        KSLOG_ERROR(L"Error creating resources. Exiting");
        return false;
    }
    bool built = false;
    const DWORD error = NotQuiteNullDacl::ApplyTo(m_hNewTaskEvent.get(), built);
    if (!built)
        KSLOG_ERROR(L"failed to create our DACl with error %ld", error);
    else if (error != ERROR_SUCCESS)
        KSLOG_ERROR(L"Error giving full permission to new task event. New tasks added from user's context cannot set "
                    L"this event. Error; %d",
                    error);
    else
        KSLOG_NORMAL(L"Successfully gave full permission to new task event so that it can be set in user's context");
    return true;
}

bool CKsTaskScheduler::_Init(HANDLE exitEvent)
{
    m_hExitEvent = exitEvent;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&CKsTaskScheduler::_WindowProc), &m_hInstance);
    KSLOG_NORMAL(L"Task Scheduler started. Initializing... Current process instance: %p", m_hInstance);
    try {
        m_pBus = std::make_shared<Tessel::MessageBusClient>();
    } catch (...) {
        m_pBus.reset();  // no bus: no install-complete message and no bus reports
    }
    // Known before the subscription starts, so a completion that arrives at once is not lost.
    m_bInstalling = installationInProgress() ? 1 : 0;
    if (m_pBus) {
        const Tessel::ModuleStatus status =
            m_pBus->subscribeFilter(kInstallerComplete, kInstallerComplete, [this](std::shared_ptr<Tessel::Message> m) {
                return OnInstallComplete(m);
            });
        KSLOG_NORMAL(L"Subscribed for Install Complete,  bRet=%x", status);
        m_bInstallSubscribed = status == Tessel::MODULE_STATUS_SUCCESS;
    }
    if (!_CreateWindow() || !_CreateObjects())
        return false;

    m_pTaskManager.reset(new (std::nothrow) CKsTaskManager(0, exitEvent));
    if (!m_pTaskManager) {
        KSLOG_ERROR(L"Could not create task manager object. Memory error");
        return false;
    }
    if (m_pTaskManager->GatherAllTasks() != 0) {
        KSLOG_ERROR(L"There was an error while reading all tasks from registry");
        return false;
    }
    KSLOG_NORMAL(L"Successfully read all task information from registry");
    m_pTaskManager->InitTSStartTime();
    _OobeCheck();
    _ReadSettings();
    _CheckInstall();
    m_pTaskManager->DeleteAllZARNTasks();
    m_bStarted = 0;
    _CheckReboot();
    _CheckRestartAndSafeMode();

    HRESULT hr = ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, 0x17, IID_IGlobalInterfaceTable,
                                    reinterpret_cast<void**>(&m_pGIT));
    if (FAILED(hr)) {
        KSLOG_ERROR(L"Failed to create IGlobalInterfaceTable. error code = %x", hr);
        m_pGIT = nullptr;
    }
    m_link = std::make_unique<RunningEngineRegistration>(*this);
    return true;
}

void CKsTaskScheduler::_ReadSettings()
{
    SchedulerSettingsLoader(m_customization).load(m_settings, IsFirstStartSinceBoot());
    m_bAMEnabled = m_settings.amModeEnabled;
    m_dwAMFutureWindow = m_settings.futureTaskWindow;
    m_pTaskManager->SetFinishWait(m_settings.taskFinishWait);
}

void CKsTaskScheduler::_CheckInstall()
{
    // Read before the subscription; a completion may already have cleared it since.
    if (m_bInstalling || m_bInstallCompleted) {
        KSLOG_INFO(L"Product is currently getting installed, will run scheduler after install");
    } else if (m_pBus && m_bInstallSubscribed) {
        m_pBus->unsubscribe(kInstallerComplete);
        m_bInstallSubscribed = false;
    }
}

void CKsTaskScheduler::_CheckReboot()
{
    KSLOG_NORMAL(L"Checking if current start is a reboot");
    if (!IsFirstStartSinceBoot()) {
        m_bRebooted = 0;
        return;
    }
    KSLOG_NORMAL(L"Machine has just been rebooted");
    m_bRebooted = 1;
    m_dwRebootDelay = m_settings.rebootDelay;
    KSLOG_NORMAL(L"Adding reboot tasks to execution Q if they exist");
    m_pTaskManager->_AddToQ(KS_TASK_REBOOT, 0, 0, 0);
}

void CKsTaskScheduler::_CheckRestartAndSafeMode()
{
    m_bSuspended = IsRestartPending() ? 1 : 0;
    if (m_bSuspended) {
        KSLOG_CRITICAL(L"Wait a min. An update that required reboot had happened and the machine has not yet been "
                       L"reboted. Scheduler will SUSPEND ALL EXECUTION");
        return;
    }
    KSLOG_NORMAL(L"Now checking if we are in safe mode");
    if (KsPlatform::BootMode::current().cleanBoot() != 0) {
        KSLOG_CRITICAL(L"This is not a normal boot. It is some kind of safe mode boot. Scheduler will SUSPEND ALL "
                       L"EXECUTION");
        m_bSuspended = 1;
        m_bSafeMode = true;
    }
}

DWORD WINAPI CKsTaskScheduler::TSThread(void* param)
{
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    DWORD result = kThreadFailed;
    // Nothing thrown on this thread may reach the host's process: the engine ends instead, its
    // objects released on the way out, and the module can start a fresh one.
    try {
        result = runThread(static_cast<const _tagTSHANDLES*>(param));
    } catch (const std::exception& error) {
        KSLOG_ERROR(L"The task scheduler thread ended on an unexpected exception: %hs", error.what());
    } catch (...) {
        KSLOG_ERROR(L"The task scheduler thread ended on an unexpected exception");
    }
    if (SUCCEEDED(com))
        ::CoUninitialize();
    return result;
}

DWORD CKsTaskScheduler::runThread(const _tagTSHANDLES* handles)
{
    if (!handles || !handles->hExitEvent || !handles->hStartedEvent) {
        KSLOG_CRITICAL(L"ERROR in parameters passed to task scheduler thread. Not running");
        return kThreadFailed;
    }
    // Created signalled: the logon tasks are looked at once, about 30 seconds after every start.
    unique_event logonEvent(::CreateEventW(nullptr, FALSE, TRUE, kLogonEvent));
    if (!logonEvent) {
        KSLOG_CRITICAL(L"Error creating the onlogin event. Error: %u. Not running...", ::GetLastError());
        return kThreadFailed;
    }
    auto engine = std::make_unique<CKsTaskScheduler>();
    if (!engine->_Init(handles->hExitEvent)) {
        engine.reset();
        KSLOG_CRITICAL(L"Could not create an instance of the task scheduler object. TASK SCHEDULER FUNCTIONALITY IS "
                       L"NOT AVAILABLE");
        return kThreadFailed;
    }
    ::SetEvent(handles->hStartedEvent);
    KSLOG_NORMAL(L"Checking if we are in factory mode");
    if (engine->m_pTaskManager->IsOobeMode()) {
        KSLOG_WARNING(L"WE ARE IN FACTORY MODE. TS will be halted");
        engine->m_bSuspended = 1;
        KsPlatform::writeInstallTimeStamp();
        engine->_OobeStart();
    } else {
        KsPlatform::writeInstallTimeStamp();
        engine->InitialKickStart(false);
    }
    const bool orderly = engine->_Run(handles->hExitEvent, logonEvent.get());
    engine->SetAMMode(false, nullptr, true);
    engine->_CancelTimer();
    return orderly ? 0 : kThreadFailed;
}

bool CKsTaskScheduler::_Run(HANDLE exitEvent, HANDLE logonEvent)
{
    const HANDLE handles[] = {m_hTimer.get(), m_hNewTaskEvent.get(), exitEvent, logonEvent, m_hAMModeEvent.get()};
    constexpr DWORD kCount = static_cast<DWORD>(std::size(handles));
    for (;;) {
        // Input already in the queue wakes the wait too: a WM_QUIT, or the end of a task, ends a
        // draining early and leaves the messages behind it unread, which a plain wait would sleep
        // through.
        const DWORD wait =
            ::MsgWaitForMultipleObjectsEx(kCount, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        switch (wait) {
        case WAIT_OBJECT_0:
            KSLOG_NORMAL(L"Waitable timer HIT. Canceling the timer. It will be set again after a trigger.");
            if (_ConnectedStandby()) {
                KSLOG_NORMAL(L"CS is ON, Set a large timer");
                _SetTimer(kConnectedStandbyRearmSeconds);
            } else {
                SetAMMode(false, nullptr, true);
                _CancelTimer();
                Trigger();
            }
            break;
        case WAIT_OBJECT_0 + 1:
            KSLOG_NORMAL(L"A new task was either added or deleted. Refreshing internal task list");
            Refresh();
            break;
        case WAIT_OBJECT_0 + 2:
            KSLOG_NORMAL(L"EXIT Event set. Task Scheduler will now exit...");
            return true;
        case WAIT_OBJECT_0 + 3:
            KSLOG_NORMAL(L"Login event set. A user has logged on");
            KSLOG_NORMAL(L"A user logged in. Letting task scheduler know...");
            ::SetTimer(m_hWnd.load(), kLogonTimer, kLogonTimerMs, nullptr);
            break;
        case WAIT_OBJECT_0 + 4:
            KSLOG_INFO(L"Received AM mode event");
            _CancelTimer();
            m_pTaskManager->Refresh();
            Trigger();
            break;
        case WAIT_OBJECT_0 + kCount: {
            // A WM_QUIT ends only this draining, never the engine. The pump re-posts its message
            // after each task, so the queue would never run dry during a batch: back to the wait
            // after each task, so that a stop, a task change or an AM request is served between
            // two tasks rather than after the whole batch.
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT)
                    break;
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
                if (message.message == kPumpMessage || m_bWindowFailed)
                    break;
            }
            if (m_bWindowFailed)
                return false;
            break;
        }
        default:
            return true;
        }
    }
}

DWORD CKsTaskScheduler::Trigger()
{
    KSLOG_INFO(L"Task scheduler triggered");
    if (!m_pTaskManager)
        return kNoTaskManager;
    KSLOG_NORMAL(L"Checking if we are supposed to run any task at all (we could be delaying startup after reboot)");
    if (m_bStarted == 0) {
        KSLOG_NORMAL(L"Not triggering the task. We are still in wait mode");
        return 0;
    }
    KSLOG_NORMAL(L"Creating a Q of overdue tasks");
    bool queued = true;
    for (DWORD type : {KS_TASK_CUSTOM, KS_TASK_PRESET, KS_TASK_SCHEDULED}) {
        if (m_pTaskManager->_AddToQ(type, 0, m_bAMMode, m_dwAMFutureWindow) != 0) {
            queued = false;  // out of memory: the rest waits for the next trigger
            break;
        }
    }
    if (queued)
        m_pTaskManager->AddDeferredOccasionsToQ();
    if (!m_pTaskManager->queue().empty()) {
        KSLOG_INFO(L"There are some items in the Q. Starting task pump");
        ::PostMessageW(m_hWnd.load(), kPumpMessage, 0, 0);
    } else {
        KSLOG_INFO(L"There is nothing in the Q. Nothing to execute. Setting waitable timer");
        _SetTaskWaitableTimer(0);
    }
    return 0;
}

DWORD CKsTaskScheduler::Refresh()
{
    if (!m_pTaskManager)
        return kNoTaskManager;
    KSLOG_NORMAL(L"Refreshing task scheduler data and then triggering it immediately");
    m_pTaskManager->Refresh();
    if (!m_bSuspended && !m_bStarted && m_pTaskManager->IsOobeMode()) {
        m_bStarted = 1;
        KSLOG_NORMAL(L"We will allow the triger() to work as a less oobe_wait time task may has been added");
    }
    return Trigger();
}

void CKsTaskScheduler::_UserLoginDetected()
{
    if (!m_pTaskManager)
        return;
    KSLOG_NORMAL(L"A user logged in. Adding login tasks to Q if they exist. Then triggering scheduler");
    m_pTaskManager->_AddToQ(KS_TASK_LOGON, 0, 0, 0);
    Trigger();
}

void CKsTaskScheduler::_CancelTimer()
{
    if (m_hTimer)
        ::CancelWaitableTimer(m_hTimer.get());
}

void CKsTaskScheduler::_SetTimer(DWORD seconds)
{
    if (armRelative(m_hTimer.get(), static_cast<LONGLONG>(seconds) * 10000000))
        KSLOG_NORMAL(L"Successfully set waitable timer. Seconds:%d", seconds);
    else
        KSLOG_CRITICAL(L"CRITICAL ERROR. Could not set waitable timer. Task scheduler cannot get triggered. Error: %d",
                       ::GetLastError());
}

void CKsTaskScheduler::_SetTaskWaitableTimer(uint32_t hint)
{
    SetAMMode(false, nullptr, true);
    _OobeExpiry();
    uint32_t target = m_pTaskManager->FindMinNextRunTime();
    if (hint != 0) {
        KSLOG_NORMAL(L"Next run time passed in to SetWaitableTimer. we may use next run value: %u", hint);
        target = std::min(target, hint);
    }
    const uint32_t now = Clock::current().now();
    KSLOG_NORMAL(L"Current Time: %s", localTimeText(now).c_str());
    KSLOG_NORMAL(L"Earliest Next-Run time: %s", localTimeText(target).c_str());
    unsigned long long seconds = 0;
    bool armed = false;
    if (now < target) {
        seconds = target - now;
        KSLOG_NORMAL(L"No task current. First one due after %llu seconds", seconds);
        // "now" counts whole seconds: without the part of this second already gone, the timer
        // would fire up to a second after the due time.
        const LONGLONG units = static_cast<LONGLONG>(seconds) * 10000000 - subSecondUnits();
        armed = armRelative(m_hTimer.get(), std::max<LONGLONG>(units, 1));
    } else {
        KSLOG_NORMAL(L"Some task is already current. Waitable timer will be due immediately");
        armed = armRelative(m_hTimer.get(), 1);
    }
    if (!armed)
        KSLOG_CRITICAL(L"CRITICAL ERROR. Could not set waitable timer. Task scheduler cannot get triggered. Error: %d",
                       ::GetLastError());
    else
        KSLOG_INFO(L"Successfully set waitable timer for %llu seconds", seconds);
}

void CKsTaskScheduler::InitialKickStart(bool bOobe)
{
    UINT delayMs = 10;
    if (!bOobe) {
        KSLOG_NORMAL(L"Kickstarting TS");
        if (m_bRebooted)
            delayMs = m_dwRebootDelay * 1000;
        if (m_bInstallCompleted) {
            KSLOG_NORMAL(L"Installation Completed before KickStart Start, So resetting final wait time to zero");
            delayMs = 0;
        }
    } else {
        KSLOG_NORMAL(L"Kickstarting TS. But we are being asked to look for OOBE value. Looking for it...");
        if (m_dwOobeStartDelay != 0)
            delayMs = m_dwOobeStartDelay * 1000;
    }
    KSLOG_NORMAL(L"Setting a timer of %u milli-seconds. The scheduler will kick off after this time", delayMs);
    ::SetTimer(m_hWnd.load(), kStartDelayTimer, delayMs, nullptr);
}

uint32_t CKsTaskScheduler::OnInstallComplete(const std::shared_ptr<Tessel::Message>& message)
{
    if (m_bInstalling.exchange(0) != 0) {
        m_bInstallCompleted = 1;
        KSLOG_INFO(L"Received message on Install Complete %s", message ? message->payload().c_str() : L"");
        // Before the window exists the start-up sees the completion and starts without delay.
        if (HWND window = m_hWnd.load())
            ::PostMessageW(window, WM_TIMER, kStartDelayTimer, 0);
    }
    return 0;
}

bool CKsTaskScheduler::_ConnectedStandby()
{
    return IsConnectedStandby(nullptr, KsPlatform::SystemProbeServices(m_hExitEvent));
}

void CKsTaskScheduler::SetAMMode(bool bAMMode, void*, bool bInternalCall)
{
    if (std::unique_ptr<AutoMaintenanceResponse> response = decideAMMode(bAMMode, bInternalCall))
        response->publish();
}

std::unique_ptr<AutoMaintenanceResponse> CKsTaskScheduler::requestAMMode(bool on)
{
    return decideAMMode(on, false);
}

// The response goes out through the engine's own client once the lock is released: a client made
// per response loads the bus library, and publishing under the lock stalls every other caller.
std::unique_ptr<AutoMaintenanceResponse> CKsTaskScheduler::decideAMMode(bool bAMMode, bool bInternalCall)
{
    bool respond = true;
    m_lock.Lock();
    KSLOG_INFO(L"CKsTaskScheduler::SetAMMode is called, m_bAMMode = %d, bAMMode = %d, bInternalCall = %d",
               m_bAMMode.load(), bAMMode, bInternalCall);
    if (!bAMMode) {
        m_bAMMode = 0;
    } else if (!m_bSuspended && m_bStarted && m_bAMEnabled && m_pGIT) {
        m_bAMMode = 1;
        ::SetEvent(m_hAMModeEvent.get());
        respond = false;
    }
    m_lock.Unlock();
    return respond ? std::make_unique<AutoMaintenanceResponse>(m_pBus) : nullptr;
}

LRESULT CALLBACK CKsTaskScheduler::_WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        if (!create || !create->lpCreateParams)
            return -1;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return 0;
    }
    auto* engine = reinterpret_cast<CKsTaskScheduler*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!engine)
        return ::DefWindowProcW(window, message, wParam, lParam);
    // An exception must not unwind through the system's message dispatch: the engine ends at
    // the loop instead.
    try {
        return engine->_HandleMessage(window, message, wParam, lParam);
    } catch (const std::exception& error) {
        KSLOG_ERROR(L"The task scheduler thread ended on an unexpected exception: %hs", error.what());
    } catch (...) {
        KSLOG_ERROR(L"The task scheduler thread ended on an unexpected exception");
    }
    engine->m_bWindowFailed = true;
    return 0;
}

LRESULT CKsTaskScheduler::_HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        ::PostQuitMessage(0);
        break;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMSUSPEND)
            _JustBeforeSuspend();
        else if (wParam == PBT_APMQUERYSUSPENDFAILED)
            _SuspendWasAborted();
        else if (wParam == PBT_APMRESUMESUSPEND || wParam == PBT_APMRESUMEAUTOMATIC)
            _ResumeAfterSuspend();
        break;
    case WM_TIMER:
        if (m_bSuspended) {
            KSLOG_NORMAL(L"Task scheduler has been SUSPENDED. Not processing any messages");
            // The log-on timer repeats too: left alone it would wake and log every 30 seconds
            // for the engine's whole suspended life.
            ::KillTimer(window, kStartDelayTimer);
            ::KillTimer(window, kLogonTimer);
            break;
        }
        if (_Handle_WM_TIMER(wParam))
            return 0;
        break;
    case kLogonMessage:
        if (m_bSuspended) {
            KSLOG_NORMAL(L"Task scheduler has been SUSPENDED. Not processing any messages");
            break;
        }
        _UserLoginDetected();
        return 0;
    case kPumpMessage:
        if (m_bSuspended) {
            KSLOG_INFO(L"Task scheduler has been SUSPENDED. Not processing any messages");
            break;
        }
        _TaskExecutionPump();
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

bool CKsTaskScheduler::_Handle_WM_TIMER(UINT_PTR id)
{
    if (id == kStartDelayTimer) {
        ::KillTimer(m_hWnd.load(), kStartDelayTimer);
        KSLOG_NORMAL(L"Start delay timer has hit. Operation now begins");
        m_bStarted = 1;
        if (!_ConnectedStandby())
            Trigger();
        else
            KSLOG_NORMAL(L"CS mode, don't trigger the task");
        return true;
    }
    if (id == kLogonTimer) {
        ::KillTimer(m_hWnd.load(), kLogonTimer);
        ::PostMessageW(m_hWnd.load(), kLogonMessage, 0, 0);
        return true;
    }
    return false;
}

void CKsTaskScheduler::_JustBeforeSuspend()
{
    KSLOG_INFO(L"Suspend was initiated");
    m_bStarted = 0;
    _CancelTimer();
    ::KillTimer(m_hWnd.load(), kStartDelayTimer);
}

void CKsTaskScheduler::_SuspendWasAborted()
{
    KSLOG_INFO(L"Suspend was aborted");
    _ResumeAfterSuspend();
}

void CKsTaskScheduler::_ResumeAfterSuspend()
{
    KSLOG_INFO(L"Resumed after suspend");
    _CancelTimer();
    Keelwork::unique_event factoryEvent;
    if (IsFactoryMode(&factoryEvent))
        return;  // the engine does not wait on the factory event: the owner closes it here
    m_bRebooted = 1;
    m_bStarted = 0;
    const uint32_t wait = SchedulerSettingsLoader(m_customization).loadAfterSuspendWait();
    ::SetTimer(m_hWnd.load(), kStartDelayTimer, wait * 1000, nullptr);
}

} // namespace Keelwork::engine
