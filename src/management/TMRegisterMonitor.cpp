// The change monitor of one task registered for broadcasts.
#include "management/TMRegisterMonitor.h"

#include "registry/monitored_reg_key.h"
#include "store/KsTaskInfo.h"
#include "store/TaskName.h"

namespace Orbis {
namespace {

constexpr REGSAM kTaskKeyAccess = 0x2001F;  // KEY_READ | KEY_WRITE
constexpr DWORD kNotifyFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

} // namespace

TMRegisterMonitor::TMRegisterMonitor(const std::wstring& taskName, Callback callback)
    : m_taskName(taskName), m_watcher(std::make_shared<Keelwork::monitored_reg_key>()), m_callback(std::move(callback))
{
    // The key name the store gives the task, so any spelling of the name finds it; a name that is
    // no task's would name the parent key instead.
    const KsStore::TaskIdentity identity(m_taskName);
    if (!identity.valid())
        return;
    const std::wstring path = std::wstring(KsStore::kSchedulerKeyPath) + L"\\" + identity.key();
    if (m_watcher->openKey(HKEY_LOCAL_MACHINE, path.c_str(), kTaskKeyAccess) != ERROR_SUCCESS)
        return;
    m_watcher->startMonitoring([this] { m_callback(m_taskName); }, true, kNotifyFilter);
}

TMRegisterMonitor::~TMRegisterMonitor()
{
    // The watcher stops first: a callback in flight still uses the name and the callback.
    m_watcher->stopMonitoring();
    m_watcher.reset();
}

bool TMRegisterMonitor::isWatching() const noexcept
{
    return m_watcher && m_watcher->hasWatcher();
}

} // namespace Orbis
