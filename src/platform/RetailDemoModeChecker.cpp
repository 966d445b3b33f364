// The retail demo probe: automation overrides under the product key, else the Windows Runtime's
// retail information, reached through combase so that the module still loads where it is absent.
#include "platform/RetailDemoModeChecker.h"

#include "common/ComPtr.h"
#include "common/UniqueHandle.h"
#include "platform/PlatformNames.h"
#include "logging/internal_logging.h"
#include "registry/RegKey.h"

#include <inspectable.h>
#include <roapi.h>
#include <winstring.h>

namespace KsPlatform {

using Keelwork::ComPtr;
using Keelwork::CRegKey;
using Keelwork::unique_hmodule;
using namespace names;
namespace {

constexpr wchar_t kAutomationModeCheckValue[] = L"AutomationModeCheck";
constexpr wchar_t kRetailModeInAutomationValue[] = L"RetailModeInAutomation";
constexpr wchar_t kRetailInfoClass[] = L"Windows.System.Profile.RetailInfo";

// {0712C6B8-8B92-4F2A-8499-031F1798D6EF}
constexpr IID kIID_IRetailInfoStatics = {0x0712C6B8, 0x8B92, 0x4F2A, {0x84, 0x99, 0x03, 0x1F, 0x17, 0x98, 0xD6, 0xEF}};

struct IRetailInfoStatics : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_IsDemoModeEnabled(boolean* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Properties(void** value) = 0;
};

bool isWindows10OrLater()
{
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto rtlGetVersion =
        reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"),
                                                                                   "RtlGetVersion")));
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return rtlGetVersion && rtlGetVersion(&version) == 0 && version.dwMajorVersion >= 10;
}

// The runtime's entry points, looked up once per question.
struct WinRtApi {
    unique_hmodule combase{::LoadLibraryExW(L"combase.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)};
    decltype(&::RoInitialize) roInitialize = proc<decltype(&::RoInitialize)>("RoInitialize");
    decltype(&::RoUninitialize) roUninitialize = proc<decltype(&::RoUninitialize)>("RoUninitialize");
    decltype(&::RoGetActivationFactory) getFactory =
        proc<decltype(&::RoGetActivationFactory)>("RoGetActivationFactory");
    decltype(&::WindowsCreateStringReference) stringReference =
        proc<decltype(&::WindowsCreateStringReference)>("WindowsCreateStringReference");

    template <typename F>
    F proc(const char* name) const
    {
        return combase ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(combase.get(), name)))
                       : nullptr;
    }
    bool complete() const { return roInitialize && roUninitialize && getFactory && stringReference; }
};

bool askRetailInfo()
{
    WinRtApi api;
    if (!api.complete()) {
        KSLOG_ERROR(L"GetActivationFactory failed (%x)\n",
                    static_cast<unsigned>(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)));
        return false;
    }
    // A thread already in the multithreaded apartment keeps it; the activation works there too.
    const HRESULT init = api.roInitialize(RO_INIT_SINGLETHREADED);
    bool demo = false;
    {
        HSTRING_HEADER header;
        HSTRING className = nullptr;
        ComPtr<IRetailInfoStatics> statics;
        HRESULT hr = api.stringReference(kRetailInfoClass, static_cast<UINT32>(std::size(kRetailInfoClass) - 1),
                                         &header, &className);
        if (SUCCEEDED(hr))
            hr = api.getFactory(className, kIID_IRetailInfoStatics, reinterpret_cast<void**>(statics.put()));
        if (FAILED(hr) || !statics) {
            KSLOG_ERROR(L"GetActivationFactory failed (%x)\n", static_cast<unsigned>(hr));
        } else {
            boolean enabled = 0;
            hr = statics->get_IsDemoModeEnabled(&enabled);
            if (FAILED(hr))
                KSLOG_ERROR(L"get_IsDemoModeEnabled failed %d\n", static_cast<int>(hr));
            else
                demo = enabled != 0;
        }
    }
    if (SUCCEEDED(init))
        api.roUninitialize();
    return demo;
}

} // namespace

bool checkRetailModeInAutomation(bool& result)
{
    CRegKey key;
    DWORD check = 0;
    if (key.open(HKEY_LOCAL_MACHINE, kProductKey, KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS ||
        key.getDwordValue(kAutomationModeCheckValue, check) != ERROR_SUCCESS)
        return false;
    KSLOG_NORMAL(L"Automation mode check registry present. Value: 0x%x.", static_cast<unsigned>(check));
    if (check != 1)
        return false;
    DWORD inAutomation = 0;
    if (key.getDwordValue(kRetailModeInAutomationValue, inAutomation) != ERROR_SUCCESS) {
        KSLOG_ERROR(L"Failed to read ReailModeInAutomation value");
        return false;
    }
    if (inAutomation >= 2) {
        KSLOG_ERROR(L"Undefined ReailModeInAutomation value %d", static_cast<int>(inAutomation));
        return false;
    }
    result = inAutomation == 1;
    return true;
}

bool checkForRetailDemoMode()
{
    if (!isWindows10OrLater()) {
        KSLOG_NORMAL(L"Retail mode is not supported before WIN10");
        return false;
    }
    bool result = false;
    if (checkRetailModeInAutomation(result))
        return result;
    return askRetailInfo();
}

bool SystemRetailDemoModeChecker::isRetailDemoMode() { return checkForRetailDemoMode(); }

} // namespace KsPlatform
