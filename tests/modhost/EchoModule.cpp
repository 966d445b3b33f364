// EchoModule.dll: a small real module for the host's tests. It answers "Echo.Request" with
// "Echo.Reply" (a correlated reply when asked as a request) plus a plain "Echo.Seen", turns a
// direct message into "Echo.Direct", announces "Echo.Started" with its settings, asks the module
// manager once at initialization, and refuses to start when the setting failStart is "1".
#include "common/WinInclude.h"
#include "module/ModuleFunctions.h"

#include <cstring>
#include <map>
#include <string>

struct ModuleHandleRecord {
    std::wstring name;
    std::map<std::wstring, std::wstring> settings;
    HMODULE ownLibrary = nullptr;  // InitializeModule only: the bus library the module loaded
    MessageBusHandle bus = nullptr;
    const MessageBusFunctions* functions = nullptr;
    bool ownsBus = false;
    MessageBusSubscription subscription = nullptr;
};

namespace {

constexpr uint32_t kInvalidParameter = 0x80000008;
constexpr uint32_t kUnsuccessful = 0x80000002;

MessageOptions optionsFor(const std::wstring& name, const std::wstring& alias, const std::wstring& payload)
{
    MessageOptions options{};
    options.recordKind = MESSAGE_OPTIONS_RECORD_KIND;
    options.version = MESSAGE_OPTIONS_VERSION;
    options.versionTwoField = MESSAGE_OPTIONS_VERSION_TWO_DEFAULT;
    options.totalSize = static_cast<uint32_t>(MESSAGE_OPTIONS_SIZE + 2 * (name.size() + alias.size() + payload.size() + 3));
    return options;
}

void publish(ModuleHandleRecord* module, const std::wstring& name, const std::wstring& payload,
             const MessageOptions* request = nullptr)
{
    MessageOptions options = optionsFor(name, module->name, payload);
    if (request && ((request->flags >> MESSAGE_FLAG_BIT_EXPECTS_REPLY) & 1u)) {
        options.flags |= 1u << MESSAGE_FLAG_BIT_REPLY;
        std::memcpy(options.replyTarget, request->origin, sizeof options.replyTarget);
        std::memcpy(options.inReplyTo, request->messageId, sizeof options.inReplyTo);
        options.replyToken = request->requestToken;
    }
    module->functions->publish(module->bus, &options, name.c_str(), module->name.c_str(), payload.c_str());
}

uint32_t __cdecl onEchoRequest(void* context, const MessageOptions* options, const wchar_t*, const wchar_t*,
                               const wchar_t* payload)
{
    auto* module = static_cast<ModuleHandleRecord*>(context);
    const std::wstring text = payload ? payload : L"";
    publish(module, L"Echo.Reply", text, options);
    publish(module, L"Echo.Seen", text);
    return 0;
}

std::wstring settingsText(const ModuleHandleRecord& module)
{
    std::wstring text;
    for (const auto& [key, value] : module.settings)
        text += (text.empty() ? L"" : L";") + key + L"=" + value;
    return text;
}

bool openOwnBus(ModuleHandleRecord* module)
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&openOwnBus), &self);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring busPath(path);
    busPath = busPath.substr(0, busPath.find_last_of(L'\\') + 1) + L"MessageBus.dll";
    module->ownLibrary = LoadLibraryW(busPath.c_str());
    if (!module->ownLibrary)
        return false;
    auto createObject = reinterpret_cast<MessageBusCreateObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module->ownLibrary, "CreateObject")));
    module->functions = createObject ? createObject(2001000) : nullptr;
    module->ownsBus = module->functions && module->functions->open(&module->bus) == 0;
    return module->ownsBus;
}

uint32_t initializeCommon(ModuleHandleRecord* module, const wchar_t* name, uint32_t count, const wchar_t* const* keys,
                          const wchar_t* const* values, void* managerContext, ModuleManagerCallback manager)
{
    module->name = name ? name : L"";
    for (uint32_t i = 0; i < count; ++i)
        module->settings.emplace(keys[i], values[i]);
    if (manager)
        manager(managerContext, const_cast<wchar_t*>(module->name.c_str()), nullptr);
    module->subscription = module->functions->subscribe(module->bus, module, &onEchoRequest, L"Echo.Request");
    return module->subscription ? 0 : kUnsuccessful;
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
    if (handle->ownLibrary)
        FreeLibrary(handle->ownLibrary);
    delete handle;
    return 0;
}

uint32_t __cdecl initializeModule(ModuleHandle handle, const wchar_t* name, const wchar_t*, uint32_t count,
                                  const wchar_t* const* keys, const wchar_t* const* values, void* managerContext,
                                  ModuleManagerCallback manager)
{
    if (!handle || !openOwnBus(handle))
        return kUnsuccessful;
    return initializeCommon(handle, name, count, keys, values, managerContext, manager);
}

uint32_t __cdecl initializeModuleV2(ModuleHandle handle, const wchar_t* name, const wchar_t*, uint32_t count,
                                    const wchar_t* const* keys, const wchar_t* const* values, void* managerContext,
                                    ModuleManagerCallback manager, MessageBusHandle bus,
                                    const MessageBusFunctions* functions)
{
    if (!handle || !bus || !functions)
        return kInvalidParameter;
    handle->bus = bus;
    handle->functions = functions;
    return initializeCommon(handle, name, count, keys, values, managerContext, manager);
}

uint32_t __cdecl startModule(ModuleHandle handle)
{
    if (!handle || !handle->functions)
        return kInvalidParameter;
    auto failStart = handle->settings.find(L"failStart");
    if (failStart != handle->settings.end() && failStart->second == L"1")
        return kUnsuccessful;
    publish(handle, L"Echo.Started", settingsText(*handle));
    return 0;
}

uint32_t __cdecl stopModule(ModuleHandle handle)
{
    return handle ? 0 : kInvalidParameter;
}

uint32_t __cdecl uninitializeModule(ModuleHandle handle)
{
    if (!handle)
        return kInvalidParameter;
    if (handle->subscription)
        handle->functions->unsubscribe(handle->bus, handle->subscription);
    handle->subscription = nullptr;
    if (handle->ownsBus)
        handle->functions->release(handle->bus);
    handle->ownsBus = false;
    return 0;
}

uint32_t __cdecl directMessage(ModuleHandle handle, const MessageOptions*, const wchar_t*, const wchar_t*,
                               const wchar_t* payload)
{
    if (!handle || !handle->functions)
        return kInvalidParameter;
    publish(handle, L"Echo.Direct", payload ? payload : L"");
    return 0;
}

const ModuleFunctions kTable = {newModule,  destroyModule,      initializeModule, startModule,
                                stopModule, uninitializeModule, directMessage,    initializeModuleV2};

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
