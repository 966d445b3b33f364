// The update manager helper: the running-update event and the update phase value.
#include "platform/KsUpdateMgr/KsUpdateMgr_Helper.h"

#include "platform/PlatformNames.h"
#include "logging/internal_logging.h"
#include "registry/RegKey.h"

#include <cwchar>

namespace {
constexpr size_t kMaxPackageChars = 259;
constexpr DWORD kUpdateEventAccess = SYNCHRONIZE | EVENT_MODIFY_STATE; // 0x100002
}

CKsUpdateMgr_Helper::CKsUpdateMgr_Helper(const wchar_t* pwszPackage, KsPlatform::INamedObjects& namedObjects)
    : m_package(pwszPackage != nullptr ? pwszPackage : L""), m_namedObjects(namedObjects)
{
    if (m_package.size() > kMaxPackageChars)
        m_package.resize(kMaxPackageChars);
}

HRESULT CKsUpdateMgr_Helper::CancelUpdate() { return E_NOTIMPL; }
HRESULT CKsUpdateMgr_Helper::CancelUpdate2() { return E_NOTIMPL; }
HRESULT CKsUpdateMgr_Helper::IsRestartPending(BOOL*) { return E_NOTIMPL; }

std::wstring CKsUpdateMgr_Helper::eventName() const
{
    wchar_t name[MAX_PATH * 2] = {};
    _snwprintf(name, std::size(name) - 1, L"%s%s", KsPlatform::names::kUpdateEventPrefix, m_package.c_str());
    return name;
}

HRESULT CKsUpdateMgr_Helper::IsUpdateRunning(BOOL* pbRunning)
{
    if (pbRunning == nullptr) {
        KSLOG_ERROR(L"Invalid parameter!");
        return E_POINTER;
    }
    KSLOG_NORMAL(L"Checking if an update is currently running....");
    Keelwork::unique_handle event = m_namedObjects.openEvent(kUpdateEventAccess, eventName());
    *pbRunning = event ? TRUE : FALSE;
    if (event)
        KSLOG_NORMAL(L"An update is running.");
    else
        KSLOG_NORMAL(L"An update is NOT running.");
    return S_OK;
}

HRESULT CKsUpdateMgr_Helper::IsUpdateRunning2(BOOL* pbRunning, DWORD* pdwPhase)
{
    if (pbRunning == nullptr || pdwPhase == nullptr) {
        KSLOG_ERROR(L"The pbRunning or pbRemindPending or pdwPhase is invalid!");
        return E_POINTER;
    }
    *pdwPhase = 0;
    HRESULT hr = IsUpdateRunning(pbRunning);
    if (FAILED(hr) || !*pbRunning)
        return S_OK;
    wchar_t path[MAX_PATH] = {};
    _snwprintf(path, MAX_PATH - 1, L"%s\\Update\\pkg_%s", KsPlatform::names::kUpdateManagerKey, m_package.c_str());
    Keelwork::CRegKey key;
    DWORD phase = 0;
    LONG error = key.open(HKEY_LOCAL_MACHINE, path, KEY_READ);
    if (error == ERROR_SUCCESS)
        error = key.getDwordValue(KsPlatform::names::kUpdatePhaseValue, phase);
    if (error != ERROR_SUCCESS) {
        KSLOG_WARNING(L"Failed to read update phase from the registry - error %d", static_cast<int>(error));
        phase = 0;
    }
    *pdwPhase = phase;
    return S_OK;
}

HRESULT CKsUpdateMgr_Helper::RemindRestart()
{
    Keelwork::unique_handle event = m_namedObjects.openEvent(EVENT_MODIFY_STATE, eventName());
    if (!event) {
        DWORD error = ::GetLastError();
        KSLOG_ERROR(L"Failed to open remind restart event - error %d", static_cast<int>(error));
        return HRESULT_FROM_WIN32(error);
    }
    if (!::SetEvent(event.get()))
        return HRESULT_FROM_WIN32(::GetLastError());
    return S_OK;
}
