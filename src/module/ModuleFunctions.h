// The host's view of TaskScheduler.dll: the four exports, the eight-entry module function table
// they hand out, the opaque module handle and the host's module-manager callback.
//
// What a host does
//   Load the library, find the exports by name, call CreateObject() and drive each module through
//   the table: NewModule, InitializeModule or InitializeModuleV2, StartModule, any number of
//   DirectMessage, StopModule, UninitializeModule, DestroyModule. The table is static and read-only;
//   it is never freed and CreateObject returns the same address every time.
//
// Types
//   Every table function returns a ModuleStatus (uint32_t: 0 success, failures 0x80000001 to
//   0x80000015 and 0x800000FF). Strings are NUL-terminated UTF-16; the host keeps ownership of
//   everything it passes and the module copies what it keeps. No exception crosses this interface.
//
// Threads
//   The table takes no locks: the host serializes the life-cycle calls of one handle. DirectMessage
//   may be called from any host thread.
#pragma once

#include "busapi/MessageBusApi.h"

#include <cstdint>

// Opaque: owned by the module library from NewModule until DestroyModule.
struct ModuleHandleRecord;
typedef ModuleHandleRecord* ModuleHandle;

extern "C" {

// The host's module manager: called with (context, argument, null). The module stores it and
// never calls it today; the result, if any, is ignored.
typedef uint32_t(__cdecl* ModuleManagerCallback)(void* context, void* argument, void* reserved);

typedef uint32_t(__cdecl* NewModuleFn)(ModuleHandle* handle, const wchar_t* name);                 // 0
typedef uint32_t(__cdecl* DestroyModuleFn)(ModuleHandle handle);                                   // 1
typedef uint32_t(__cdecl* InitializeModuleFn)(ModuleHandle handle, const wchar_t* name,            // 2
                                              const wchar_t* alias, uint32_t settingCount,
                                              const wchar_t* const* settingKeys,
                                              const wchar_t* const* settingValues,
                                              void* moduleManagerContext,
                                              ModuleManagerCallback moduleManagerCallback);
typedef uint32_t(__cdecl* StartModuleFn)(ModuleHandle handle);                                     // 3
typedef uint32_t(__cdecl* StopModuleFn)(ModuleHandle handle);                                      // 4
typedef uint32_t(__cdecl* UninitializeModuleFn)(ModuleHandle handle);                              // 5
// A null `options` leaves the message's default options record.
typedef uint32_t(__cdecl* DirectMessageFn)(ModuleHandle handle, const MessageOptions* options,     // 6
                                           const wchar_t* name, const wchar_t* alias,
                                           const wchar_t* payload);
// As InitializeModuleFn, over the host's open bus instead of a bus the module loads itself.
typedef uint32_t(__cdecl* InitializeModuleV2Fn)(ModuleHandle handle, const wchar_t* name,          // 7
                                                const wchar_t* alias, uint32_t settingCount,
                                                const wchar_t* const* settingKeys,
                                                const wchar_t* const* settingValues,
                                                void* moduleManagerContext,
                                                ModuleManagerCallback moduleManagerCallback,
                                                MessageBusHandle busHandle,
                                                const MessageBusFunctions* busFunctions);

// The host indexes this table: the order of the entries is part of the interface.
struct ModuleFunctions {
    NewModuleFn newModule;                   // 0
    DestroyModuleFn destroyModule;           // 1
    InitializeModuleFn initializeModule;     // 2
    StartModuleFn startModule;               // 3
    StopModuleFn stopModule;                 // 4
    UninitializeModuleFn uninitializeModule; // 5
    DirectMessageFn directMessage;           // 6
    InitializeModuleV2Fn initializeModuleV2; // 7
};

// Exports, found by name: CreateObject returns the static table; ReleaseObject does nothing;
// GetVersionNum is major * 1000000 + minor * 1000 + patch; GetVersionStr is static storage.
typedef const ModuleFunctions*(__cdecl* ModuleCreateObjectFn)();
typedef void(__cdecl* ModuleReleaseObjectFn)(const void* object);
typedef uint32_t(__cdecl* ModuleGetVersionNumFn)();
typedef const char*(__cdecl* ModuleGetVersionStrFn)();

} // extern "C"

static_assert(sizeof(ModuleFunctions) == 8 * sizeof(void*));

inline constexpr uint32_t TASK_SCHEDULER_VERSION_NUM = 2001000;
inline constexpr const char TASK_SCHEDULER_VERSION_STR[] = "2.1.0";
