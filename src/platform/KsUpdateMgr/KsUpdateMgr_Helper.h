// CKsUpdateMgr_Helper: what the scheduler asks of the suite's update manager through the
// objects that manager keeps: its per-package "update running" event and its phase value.
#pragma once

#include "platform/SystemProbeServices.h"

#include <string>

class CKsUpdateMgr_Helper {
public:
    // The package is cut to 259 characters; the engine uses "default".
    explicit CKsUpdateMgr_Helper(const wchar_t* pwszPackage,
                                 KsPlatform::INamedObjects& namedObjects =
                                     KsPlatform::systemNamedObjects());
    virtual ~CKsUpdateMgr_Helper() = default;

    // Cancelling updates and the manager's own restart flag belong to other clients of the
    // update manager; this module never calls them, and they answer E_NOTIMPL.
    virtual HRESULT CancelUpdate();
    virtual HRESULT CancelUpdate2();
    // 0, or 0x80004003 for a null pointer.
    virtual HRESULT IsUpdateRunning(BOOL* pbRunning);
    // As IsUpdateRunning; while an update runs, *pdwPhase is its phase (0 when unreadable).
    virtual HRESULT IsUpdateRunning2(BOOL* pbRunning, DWORD* pdwPhase);
    virtual HRESULT IsRestartPending(BOOL* pbPending);
    // Sets the package's event to remind the update manager of a pending restart.
    virtual HRESULT RemindRestart();

private:
    std::wstring eventName() const;

    std::wstring m_package;
    KsPlatform::INamedObjects& m_namedObjects;
};
