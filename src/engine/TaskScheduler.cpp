// CKsTaskScheduler: building the engine on its thread, the start-up checks in their order, and the
// thread procedure with its boundary.
#include "engine/TaskScheduler.h"

#include "common/Clock.h"
#include "engine/EngineCodes.h"
#include "engine/EngineNames.h"
#include "engine/EngineObjects.h"
#include "engine/OwnedKeys.h"
#include "engine/SchedulerRegistry.h"
#include "engine/TSHandles.h"
#include "engine/TaskManager.h"
#include "logging/LogAs.h"
#include "message/Message.h"
#include "messagebus/MessageBusClient.h"
#include "platform/InstallTimeStamp.h"
#include "platform/NotQuiteNullDacl.h"
#include "platform/PlatformProbes.h"
#include "registry/RegKey.h"

#include <objbase.h>

#include <exception>
#include <new>

namespace Keelwork::engine {
namespace {

constexpr wchar_t kInstallerComplete[] = L"Core.Installer.Complete";
constexpr DWORD kThreadFailed = 0xFFFFFFFF;

// The bus client, and the installer's completion heard on it once the install state is known.
void subscribeInstaller(EngineParts& parts, EngineEvents& events, BusSubscription& installer)
{
    try {
        parts.m_pBus = std::make_shared<Tessel::MessageBusClient>();
    } catch (...) {
        parts.m_pBus.reset();  // no bus: no install-complete message and no bus reports
    }
    // Known before the subscription starts, so a completion that arrives at once is not lost.
    parts.m_gate.readInstallState();
    if (!parts.m_pBus)
        return;
    parts.m_probes.useBus(parts.m_pBus);
    const Tessel::ModuleStatus status = parts.m_pBus->subscribeFilter(
        kInstallerComplete, kInstallerComplete,
        [&events](std::shared_ptr<Tessel::Message> m) { return events.OnInstallComplete(m); });
    KSLOG_NORMAL_AS("CKsTaskScheduler::subscribeInstaller", L"Subscribed for Install Complete,  bRet=%x", status);
    if (status == Tessel::MODULE_STATUS_SUCCESS)
        installer.hold(parts.m_pBus, kInstallerComplete);
}

bool createObjects(EngineParts& parts)
{
    CRegKey schedulerKey;
    schedulerKey.createSystemOnly(HKEY_LOCAL_MACHINE, kSchedulerKey, KEY_ALL_ACCESS | KEY_WOW64_64KEY);
    schedulerKey.close();

    // Made before they are logged: a log line's arguments are not evaluated when its level is off.
    const HANDLE timer = parts.m_loop.createTimer();
    KSLOG_NORMAL_AS("CKsTaskScheduler::createObjects", L"Waitable timer: %p", timer);
    const HANDLE newTask = parts.m_loop.createNewTaskEvent();
    KSLOG_NORMAL_AS("CKsTaskScheduler::createObjects", L"New task event: %p", newTask);
    const HANDLE amEvent = parts.m_am.createEvent();
    KSLOG_NORMAL_AS("CKsTaskScheduler::createObjects", L"AM mode event: %p", amEvent);
    if (!parts.m_window.get() || !timer || !newTask || !amEvent) {
        KSLOG_ERROR_AS("CKsTaskScheduler::createObjects", L"Error creating resources. Exiting");
        return false;
    }
    bool built = false;
    const DWORD error = NotQuiteNullDacl::ApplyTo(newTask, built);
    if (!built)
        KSLOG_ERROR_AS("CKsTaskScheduler::createObjects", L"failed to create our DACl with error %ld", error);
    else if (error != ERROR_SUCCESS)
        KSLOG_ERROR_AS(
            "CKsTaskScheduler::createObjects",
            L"Error giving full permission to new task event. New tasks added from user's context cannot set "
            L"this event. Error; %d",
            error);
    else
        KSLOG_NORMAL_AS("CKsTaskScheduler::createObjects",
                        L"Successfully gave full permission to new task event so that it can be set in user's context");
    return true;
}

void readSettings(EngineParts& parts)
{
    SchedulerSettingsLoader(parts.m_customization).load(parts.m_settings, IsFirstStartSinceBoot());
    parts.m_am.setEnabled(parts.m_settings.amModeEnabled);
    parts.m_pTaskManager->SetFinishWait(parts.m_settings.taskFinishWait);
}

void checkInstall(EngineParts& parts, BusSubscription& installer)
{
    // Read before the subscription; a completion may already have cleared it since.
    if (parts.m_gate.installing() || parts.m_gate.installCompleted()) {
        KSLOG_INFO_AS("CKsTaskScheduler::checkInstall",
                      L"Product is currently getting installed, will run scheduler after install");
    } else {
        installer.end();
    }
}

} // namespace

CKsTaskScheduler::CKsTaskScheduler(HANDLE exitEvent) : m_parts(exitEvent) {}

// The members' destruction is the teardown (see their declaration).
CKsTaskScheduler::~CKsTaskScheduler() = default;

bool CKsTaskScheduler::_Init(HANDLE exitEvent)
{
    m_parts.m_hExitEvent = exitEvent;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&CKsTaskScheduler::TSThread), &m_parts.m_hInstance);
    KSLOG_NORMAL(L"Task Scheduler started. Initializing... Current process instance: %p", m_parts.m_hInstance);
    subscribeInstaller(m_parts, m_events, m_installer);
    if (!m_parts.m_window.create(m_parts.m_hInstance, m_events) || !createObjects(m_parts))
        return false;
    // Before anything is read from them: keys someone else made or changed are put right first.
    checkOwnedKeys();

    // Launches take the hives this engine found at its start rather than look for them again: the
    // look costs more than half a millisecond between the timer and the program's start.
    TaskManagerServices services;
    services.launch.customization = &m_parts.m_customization;
    // A task's run takes its whole loop step: told when the program has started, not only after.
    services.launch.stillRunning = [this] { m_parts.m_mirror.follow(*m_parts.m_board); };
    m_parts.m_pTaskManager.reset(new (std::nothrow) CKsTaskManager(0, exitEvent, std::move(services)));
    if (!m_parts.m_pTaskManager) {
        KSLOG_ERROR(L"Could not create task manager object. Memory error");
        return false;
    }
    m_parts.m_pTaskManager->UseStateBoard(m_parts.m_board);
    if (m_parts.m_pTaskManager->GatherAllTasks() != 0) {
        KSLOG_ERROR(L"There was an error while reading all tasks from registry");
        return false;
    }
    KSLOG_NORMAL(L"Successfully read all task information from registry");
    m_parts.m_pTaskManager->InitTSStartTime();
    // The OEM set-up wait can last for hours before the loop's first step: told to other
    // processes at once. A stop during it ends the wait; the mode is then not read.
    m_parts.m_outOfBox.check(m_parts.m_hExitEvent, *m_parts.m_pTaskManager, m_parts.m_customization, [this] {
        m_steps.move({EngineEvent::oemSetUpRuns});
        m_parts.m_mirror.follow(*m_parts.m_board);
    });
    readSettings(m_parts);
    checkInstall(m_parts, m_installer);
    m_parts.m_pTaskManager->DeleteAllZARNTasks();
    if (m_parts.m_gate.checkReboot(m_parts.m_settings.rebootDelay)) {
        KSLOG_NORMAL(L"Adding reboot tasks to execution Q if they exist");
        m_parts.m_pTaskManager->_AddToQ(KS_TASK_REBOOT, 0, 0, 0);
    }
    const EngineReason suspension = m_parts.m_gate.checkRestartAndSafeMode();
    if (suspension != EngineReason::none)
        m_steps.move({EngineEvent::suspend, 0, suspension});

    const HRESULT hr = m_parts.m_am.createInterfaceTable();
    if (FAILED(hr))
        KSLOG_ERROR(L"Failed to create IGlobalInterfaceTable. error code = %x", hr);
    m_link = std::make_unique<RunningEngineRegistration>(*this);
    // Without it the engine still runs; only requests from other processes cannot reach it.
    if (!m_parts.m_loop.startRunNowListener())
        KSLOG_WARNING(L"Could not create the run-now event. Error: %u", ::GetLastError());
    return true;
}

void CKsTaskScheduler::start()
{
    KSLOG_NORMAL(L"Checking if we are in factory mode");
    if (m_parts.m_pTaskManager->IsOobeMode()) {
        KSLOG_WARNING(L"WE ARE IN FACTORY MODE. TS will be halted");
        KsPlatform::writeInstallTimeStamp();
        // Suspended at the start (safe mode, a restart pending) stays suspended; a restart
        // pending since then suspends it now.
        if (isSuspended(*m_parts.m_board))
            return;
        if (IsRestartPending()) {
            m_steps.move({EngineEvent::suspend, 0, EngineReason::restartPending});
            return;
        }
        KSLOG_NORMAL(L"Refreshing task scheduler data and then triggering it immediately");
        m_parts.m_pTaskManager->Refresh();
        m_steps.Trigger();
        m_steps.InitialKickStart(true);
    } else {
        KsPlatform::writeInstallTimeStamp();
        m_steps.InitialKickStart(false);
    }
}

DWORD WINAPI CKsTaskScheduler::TSThread(void* param)
{
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    DWORD result = kThreadFailed;
    // Nothing thrown on this thread may reach the host's process: the engine ends instead, its
    // objects released on the way out, and the module can start a fresh one.
    try {
        result = [](const _tagTSHANDLES* handles) -> DWORD {
            if (!handles || !handles->hExitEvent || !handles->hStartedEvent) {
                KSLOG_CRITICAL(L"ERROR in parameters passed to task scheduler thread. Not running");
                return kThreadFailed;
            }
            // Created signalled: the logon tasks are looked at once, about 30 seconds after every start.
            unique_event logonEvent = createEngineEvent({kLogonEvent}, true);
            if (!logonEvent) {
                KSLOG_CRITICAL(L"Error creating the onlogin event. Error: %u. Not running...", ::GetLastError());
                return kThreadFailed;
            }
            auto engine = std::make_unique<CKsTaskScheduler>(handles->hExitEvent);
            if (!engine->_Init(handles->hExitEvent)) {
                engine.reset();
                KSLOG_CRITICAL(L"Could not create an instance of the task scheduler object. TASK SCHEDULER "
                               L"FUNCTIONALITY IS NOT AVAILABLE");
                return kThreadFailed;
            }
            ::SetEvent(handles->hStartedEvent);
            engine->start();
            const bool orderly =
                engine->m_parts.m_loop.run(handles->hExitEvent, logonEvent.get(), engine->m_parts.m_am.event(),
                                           engine->m_parts.m_window, engine->m_events);
            engine->m_steps.move({EngineEvent::stopRequested});
            engine->m_steps.SetAMMode(false);
            engine->m_parts.m_loop.cancelTimer();
            return orderly ? 0 : kThreadFailed;
        }(static_cast<const _tagTSHANDLES*>(param));
    } catch (const std::exception& error) {
        KSLOG_ERROR(L"The task scheduler thread ended on an unexpected exception: %hs", error.what());
    } catch (...) {
        KSLOG_ERROR(L"The task scheduler thread ended on an unexpected exception");
    }
    if (SUCCEEDED(com))
        ::CoUninitialize();
    return result;
}

} // namespace Keelwork::engine
