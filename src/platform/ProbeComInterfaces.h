// The two COM interfaces the probes call, declared here with the identifiers Windows gives them
// (the toolchain's headers do not carry the app-visibility one).
#pragma once

#include "common/WinInclude.h"

#include <objbase.h>

namespace KsPlatform {

// {DCB00C01-570F-4A9B-8D69-199FDBA5723B}
inline constexpr CLSID kNetworkListManagerClsid = {0xDCB00C01, 0x570F, 0x4A9B, {0x8D, 0x69, 0x19, 0x9F, 0xDB, 0xA5, 0x72, 0x3B}};
// {DCB00008-570F-4A9B-8D69-199FDBA5723B}
inline constexpr IID kNetworkCostManagerIid = {0xDCB00008, 0x570F, 0x4A9B, {0x8D, 0x69, 0x19, 0x9F, 0xDB, 0xA5, 0x72, 0x3B}};
// {7E5FE3D9-985F-4908-91F9-EE19F9FD1514}
inline constexpr CLSID kAppVisibilityClsid = {0x7E5FE3D9, 0x985F, 0x4908, {0x91, 0xF9, 0xEE, 0x19, 0xF9, 0xFD, 0x15, 0x14}};
// {2246EA2D-CAEA-4444-A3C4-6DE827E44313}
inline constexpr IID kAppVisibilityIid = {0x2246EA2D, 0xCAEA, 0x4444, {0xA3, 0xC4, 0x6D, 0xE8, 0x27, 0xE4, 0x43, 0x13}};

struct INetworkCostManagerCalls : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCost(DWORD* cost, void* destinationSockAddr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataPlanStatus(void* status, void* destinationSockAddr) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDestinationAddresses(UINT32 length, void* addresses, BOOL append) = 0;
};

struct IAppVisibilityCalls : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetAppVisibilityOnMonitor(HMONITOR monitor, int* visibility) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsLauncherVisible(BOOL* visible) = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown* callback, DWORD* cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) = 0;
};

} // namespace KsPlatform
