// EchoModule.dll: the smallest real module for the host's tests. Every call of its table
// succeeds, except that it refuses to start when the setting failStart is "on purpose"; it asks
// the module manager once at initialization. Messages over the host's bus are proved by the
// scheduler module's tests, so this one needs no bus of its own.
#include "module/ModuleFunctions.h"

#include <string>

struct ModuleHandleRecord {
    bool failStart = false;
};

namespace {

constexpr uint32_t kInvalidParameter = 0x80000008;
constexpr uint32_t kUnsuccessful = 0x80000002;

uint32_t initializeCommon(ModuleHandleRecord* module, const wchar_t* name, uint32_t count, const wchar_t* const* keys,
                          const wchar_t* const* values, void* managerContext, ModuleManagerCallback manager)
{
    // The test gives a value with a space after another setting: every setting must arrive whole.
    for (uint32_t i = 0; i < count; ++i)
        if (std::wstring(keys[i]) == L"failStart")
            module->failStart = std::wstring(values[i]) == L"on purpose";
    if (manager)
        manager(managerContext, const_cast<wchar_t*>(name), nullptr);
    return 0;
}

uint32_t __cdecl newModule(ModuleHandle* handle, const wchar_t*)
{
    if (!handle)
        return kInvalidParameter;
    *handle = new ModuleHandleRecord();
    return 0;
}

uint32_t __cdecl destroyModule(ModuleHandle handle)
{
    if (!handle)
        return kInvalidParameter;
    delete handle;
    return 0;
}

uint32_t __cdecl initializeModule(ModuleHandle handle, const wchar_t* name, const wchar_t*, uint32_t count,
                                  const wchar_t* const* keys, const wchar_t* const* values, void* managerContext,
                                  ModuleManagerCallback manager)
{
    if (!handle)
        return kInvalidParameter;
    return initializeCommon(handle, name, count, keys, values, managerContext, manager);
}

// The host's own bus must be handed over here.
uint32_t __cdecl initializeModuleV2(ModuleHandle handle, const wchar_t* name, const wchar_t*, uint32_t count,
                                    const wchar_t* const* keys, const wchar_t* const* values, void* managerContext,
                                    ModuleManagerCallback manager, MessageBusHandle bus,
                                    const MessageBusFunctions* functions)
{
    if (!handle || !bus || !functions)
        return kInvalidParameter;
    return initializeCommon(handle, name, count, keys, values, managerContext, manager);
}

uint32_t __cdecl startModule(ModuleHandle handle)
{
    if (!handle)
        return kInvalidParameter;
    return handle->failStart ? kUnsuccessful : 0;
}

uint32_t __cdecl stopOrUninitializeModule(ModuleHandle handle)
{
    return handle ? 0 : kInvalidParameter;
}

uint32_t __cdecl directMessage(ModuleHandle handle, const MessageOptions*, const wchar_t*, const wchar_t*,
                               const wchar_t*)
{
    return handle ? 0 : kInvalidParameter;
}

const ModuleFunctions kTable = {newModule, destroyModule, initializeModule, startModule,
                                stopOrUninitializeModule, stopOrUninitializeModule, directMessage, initializeModuleV2};

} // namespace

extern "C" {
__declspec(dllexport) const ModuleFunctions* __cdecl CreateObject()
{
    return &kTable;
}
__declspec(dllexport) void __cdecl ReleaseObject(const void*) {}
__declspec(dllexport) uint32_t __cdecl GetVersionNum()
{
    return 1000000;
}
__declspec(dllexport) const char* __cdecl GetVersionStr()
{
    return "1.0.0";
}
}
