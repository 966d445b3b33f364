// The registry change monitor: watcher thread, callback invocation and stopping.
#include "registry/monitored_reg_key.h"

#include "common/KeelworkLogger.h"

#include <exception>
#include <system_error>

namespace Keelwork {

monitored_reg_key::~monitored_reg_key()
{
    stopMonitoring();
    m_changeEvent.reset();
    m_stopEvent.reset();
    m_callback = nullptr;
    m_key.close();
}

LONG monitored_reg_key::createKey(HKEY root, const wchar_t* path, REGSAM access)
{
    stopAndClose();
    return m_key.create(root, path, access);
}

LONG monitored_reg_key::openKey(HKEY root, const wchar_t* path, REGSAM access)
{
    stopAndClose();
    return m_key.open(root, path, access);
}

void monitored_reg_key::closeKey()
{
    stopMonitoring();
    m_key.close();
}

bool monitored_reg_key::startMonitoring(callback_type callback, bool watchSubtree, DWORD filter)
{
    stopMonitoring();
    if (!m_key.isOpen() || !callback || m_thread.joinable())
        return false;

    m_callback = std::move(callback);
    m_stopEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_changeEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!m_stopEvent || !m_changeEvent)
        return false;
    // Armed here, before the caller goes on: a change made once this returns is never missed,
    // however late the watcher thread starts. Thread-agnostic, so the watch outlives this thread.
    if (arm(watchSubtree, filter) != ERROR_SUCCESS)
        return false;

    try {
        m_thread = std::thread([this, watchSubtree, filter] { registry_callback_thread(watchSubtree, filter); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool monitored_reg_key::stopMonitoring()
{
    // Refused before anything changes, so a watcher that tried to stop itself keeps watching.
    if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id())
        throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));

    if (m_stopEvent)
        ::SetEvent(m_stopEvent.get());
    // The events close only after the join: the watcher may still be arming or waiting on them.
    if (m_thread.joinable())
        m_thread.join();
    m_changeEvent.reset();
    m_stopEvent.reset();
    return true;
}

void monitored_reg_key::stopAndClose()
{
    stopMonitoring();
    m_key.close();
}

LONG monitored_reg_key::arm(bool watchSubtree, DWORD filter)
{
    return m_key.notifyChange(watchSubtree, filter | REG_NOTIFY_THREAD_AGNOSTIC, m_changeEvent.get(), true);
}

DWORD monitored_reg_key::registry_callback_thread(bool watchSubtree, DWORD filter)
{
    // The first watch was armed by startMonitoring, so this thread begins by waiting; each later
    // watch is armed once the callback has returned.
    const HANDLE handles[] = {m_stopEvent.get(), m_changeEvent.get()};
    for (;;) {
        // Stop comes first in the array so it wins when both are signalled.
        DWORD wait = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (wait != WAIT_OBJECT_0 + 1 || !m_callback)
            return ERROR_SUCCESS;
        invokeCallback();
        LONG status = arm(watchSubtree, filter);
        if (status != ERROR_SUCCESS)
            return static_cast<DWORD>(status);
    }
}

void monitored_reg_key::invokeCallback() noexcept
{
    try {
        m_callback();
    } catch (const std::exception& e) {
        KWLOG_ERROR(L"STL exception caught while invoking registry key monitor callback: %hs.", e.what());
    } catch (...) {
        KWLOG_ERROR(L"Unexpected exception caught while invoking registry key monitor callback.");
    }
}

} // namespace Keelwork
