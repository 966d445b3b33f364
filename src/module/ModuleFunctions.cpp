// The eight functions of the module function table: each checks its handle, then runs its body
// inside a catch-all guard, so no exception ever reaches the host.
#include "module/ModuleFunctionTable.h"

#include "logging/internal_logging.h"
#include "message/Message.h"
#include "messagebus/MessageBusClient.h"
#include "messagebus/MessageBusShimImpl.h"
#include "module/BaseModule.h"
#include "module/ModuleFactory.h"
#include "module/ModuleGuard.h"
#include "module/ModuleManagerShim.h"

#include <functional>

struct ModuleHandleRecord {
    std::function<void(Tessel::Module*)> deleter;
    Tessel::Module* module = nullptr;
};

using Tessel::ModuleStatus;

namespace {

std::wstring textOrEmpty(const wchar_t* text)
{
    return text ? std::wstring(text) : std::wstring();
}

// Keys compare case-sensitively; when a key repeats, its first value stays.
Tessel::ModuleSettings buildSettings(uint32_t count, const wchar_t* const* keys, const wchar_t* const* values)
{
    Tessel::ModuleSettings settings;
    if (!keys || !values)
        return settings;
    for (uint32_t i = 0; i < count; ++i) {
        if (keys[i])
            settings.emplace(keys[i], textOrEmpty(values[i]));
    }
    return settings;
}

bool holdsModule(ModuleHandle handle)
{
    return handle && handle->module;
}

// The common tail of both initializations once the bus client exists.
ModuleStatus initializeWith(Tessel::BaseModule& module, const wchar_t* name, const wchar_t* alias, uint32_t count,
                            const wchar_t* const* keys, const wchar_t* const* values, void* mmContext,
                            ModuleManagerCallback mmCallback, std::shared_ptr<Tessel::MessageBus> bus)
{
    auto moduleManager = std::make_shared<Tessel::internal::ModuleManagerShim>(mmContext, mmCallback);
    ModuleStatus status = module.baseInitialize(textOrEmpty(name), textOrEmpty(alias),
                                                buildSettings(count, keys, values), std::move(moduleManager),
                                                std::move(bus));
    if (status != Tessel::MODULE_STATUS_SUCCESS) {
        KSLOG_ERROR(L"Failed to initialize base module. Error code %lu.", static_cast<unsigned long>(status));
        return status;
    }
    return module.initialize();
}

} // namespace

// The table functions stay outside any namespace: log lines name them by their bare names.
static ModuleStatus __cdecl NewModule(ModuleHandle* out, const wchar_t* name)
{
    if (!out) {
        KSLOG_ERROR(L"Invalid handle address.");
        return Tessel::MODULE_STATUS_INVALID_PARAMETER;
    }
    return Tessel::guardTableCall([&] {
        if (name && *name)
            ETWLogging::setLogIdentity(name, nullptr, nullptr);
        std::unique_ptr<Tessel::Module> module;
        ModuleStatus created = Tessel::guardTableCall([&] {
            module = Tessel::createModule();
            return Tessel::MODULE_STATUS_SUCCESS;
        });
        if (created != Tessel::MODULE_STATUS_SUCCESS)
            return created;
        if (!module)
            return Tessel::MODULE_STATUS_UNSUCCESSFUL;
        auto record = std::make_unique<ModuleHandleRecord>();
        record->deleter = [](Tessel::Module* doomed) { delete doomed; };
        record->module = module.release();
        *out = record.release();
        return Tessel::MODULE_STATUS_SUCCESS;
    });
}

static ModuleStatus __cdecl DestroyModule(ModuleHandle handle)
{
    if (!handle) {
        KSLOG_ERROR(L"Invalid handle.");
        return Tessel::MODULE_STATUS_INVALID_PARAMETER;
    }
    return Tessel::guardTableCall([&] {
        std::unique_ptr<ModuleHandleRecord> record(handle);
        if (record->module)
            record->deleter(record->module);
        return Tessel::MODULE_STATUS_SUCCESS;
    });
}

static ModuleStatus __cdecl InitializeModule(ModuleHandle handle, const wchar_t* name, const wchar_t* alias, uint32_t count,
                                      const wchar_t* const* keys, const wchar_t* const* values, void* mmContext,
                                      ModuleManagerCallback mmCallback)
{
    if (!holdsModule(handle)) {
        KSLOG_ERROR(L"Invalid handle.");
        return Tessel::MODULE_STATUS_INVALID_PARAMETER;
    }
    return Tessel::guardTableCall([&] {
        auto* module = dynamic_cast<Tessel::BaseModule*>(handle->module);
        if (!module)
            return handle->module->initialize();
        auto bus = std::make_shared<Tessel::MessageBusClient>();
        return initializeWith(*module, name, alias, count, keys, values, mmContext, mmCallback, std::move(bus));
    });
}

static ModuleStatus __cdecl InitializeModuleV2(ModuleHandle handle, const wchar_t* name, const wchar_t* alias,
                                        uint32_t count, const wchar_t* const* keys, const wchar_t* const* values,
                                        void* mmContext, ModuleManagerCallback mmCallback, MessageBusHandle busHandle,
                                        const MessageBusFunctions* busFunctions)
{
    if (!holdsModule(handle)) {
        KSLOG_ERROR(L"Invalid handle.");
        return Tessel::MODULE_STATUS_INVALID_PARAMETER;
    }
    return Tessel::guardTableCall([&] {
        auto* module = dynamic_cast<Tessel::BaseModule*>(handle->module);
        if (!module)
            return handle->module->initialize();
        // The shim throws for a null handle or table; the guard turns that into a status.
        auto shim = std::make_shared<Tessel::MessageBusShimImpl>(busHandle, busFunctions);
        auto bus = std::make_shared<Tessel::MessageBusClient>(std::move(shim), nullptr);
        return initializeWith(*module, name, alias, count, keys, values, mmContext, mmCallback, std::move(bus));
    });
}

static ModuleStatus __cdecl StartModule(ModuleHandle handle)
{
    if (!holdsModule(handle)) {
        KSLOG_ERROR(L"Invalid handle.");
        return Tessel::MODULE_STATUS_INVALID_PARAMETER;
    }
    return Tessel::guardTableCall([&] { return handle->module->start(); });
}

static ModuleStatus __cdecl StopModule(ModuleHandle handle)
{
    if (!holdsModule(handle)) {
        KSLOG_ERROR(L"Invalid handle.");
        return Tessel::MODULE_STATUS_INVALID_PARAMETER;
    }
    return Tessel::guardTableCall([&] { return handle->module->stop(); });
}

static ModuleStatus __cdecl UninitializeModule(ModuleHandle handle)
{
    if (!holdsModule(handle)) {
        KSLOG_ERROR(L"Invalid handle.");
        return Tessel::MODULE_STATUS_INVALID_PARAMETER;
    }
    return Tessel::guardTableCall([&] { return handle->module->uninitialize(); });
}

static ModuleStatus __cdecl DirectMessage(ModuleHandle handle, const MessageOptions* options, const wchar_t* name,
                                   const wchar_t* alias, const wchar_t* payload)
{
    if (!holdsModule(handle)) {
        KSLOG_ERROR(L"Invalid handle.");
        return Tessel::MODULE_STATUS_INVALID_PARAMETER;
    }
    return Tessel::guardTableCall([&] {
        std::shared_ptr<Tessel::Message> message =
            Tessel::Message::create(textOrEmpty(name), textOrEmpty(alias), textOrEmpty(payload));
        if (!message)
            return Tessel::MODULE_STATUS_UNSUCCESSFUL;
        message->setOptions(options);
        auto* module = dynamic_cast<Tessel::BaseModule*>(handle->module);
        return module ? module->directMessage(message) : Tessel::MODULE_STATUS_SUCCESS;
    });
}

static const ModuleFunctions kModuleFunctions = {
    NewModule,
    DestroyModule,
    InitializeModule,
    StartModule,
    StopModule,
    UninitializeModule,
    DirectMessage,
    InitializeModuleV2,
};

namespace Tessel {

const ModuleFunctions* moduleFunctionTable()
{
    return &kModuleFunctions;
}

} // namespace Tessel
