// The library's exports and its function table: maps handles to the broker they were opened on
// and keeps one broker alive while any handle is open.
#include "Broker.h"
#include "busapi/MessageBusApi.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#define MESSAGEBUS_EXPORT extern "C" __declspec(dllexport)

namespace {

using messagebus::Broker;

constexpr uint32_t kVersionNum = 1000000;
constexpr const char* kVersionStr = "1.0.0";

// Held only for map look-ups, never across a call into the broker: callbacks call back in here.
messagebus::SlimMutex g_mutex;
// Written under g_mutex. A closing handle stays mapped until its release finishes, so that
// unsubscribe and hand-over from callbacks during the release still reach its broker.
std::map<uint64_t, std::shared_ptr<Broker>>* g_handles = new std::map<uint64_t, std::shared_ptr<Broker>>;
std::shared_ptr<Broker>* g_current = new std::shared_ptr<Broker>;
// The maps above are never destroyed: at process exit the bus's threads are already gone, and
// destroying a broker then would try to join them.

std::atomic<uint64_t> g_nextHandle{1};

uint64_t idOf(void* handle)
{
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
}

void* handleOf(uint64_t id)
{
    return reinterpret_cast<void*>(static_cast<uintptr_t>(id));
}

std::shared_ptr<Broker> brokerOf(MessageBusHandle handle)
{
    std::lock_guard<messagebus::SlimMutex> lock(g_mutex);
    auto it = g_handles->find(idOf(handle));
    return it == g_handles->end() ? nullptr : it->second;
}

// Nothing may escape into the caller, which may not even be C++.
template <typename Fn>
uint32_t guarded(Fn&& fn)
{
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return MESSAGEBUS_STATUS_NO_MEMORY;
    } catch (...) {
        return MESSAGEBUS_STATUS_UNKNOWN_EXCEPTION;
    }
}

uint32_t __cdecl busOpen(MessageBusHandle* handle)
{
    if (!handle)
        return MESSAGEBUS_STATUS_INVALID_PARAMETER;
    return guarded([&] {
        std::lock_guard<messagebus::SlimMutex> lock(g_mutex);
        if (!*g_current)
            *g_current = std::make_shared<Broker>();
        const uint64_t id = g_nextHandle++;
        (*g_current)->openHandle(id);
        (*g_handles)[id] = *g_current;
        *handle = handleOf(id);
        return MESSAGEBUS_STATUS_SUCCESS;
    });
}

uint32_t __cdecl busRelease(MessageBusHandle handle)
{
    return guarded([&] {
        const uint64_t id = idOf(handle);
        std::shared_ptr<Broker> broker;
        bool last = false;
        {
            // Closing and the "last handle" decision happen under g_mutex so that no open can
            // slip in and find a broker that is about to shut down.
            std::lock_guard<messagebus::SlimMutex> lock(g_mutex);
            auto it = g_handles->find(id);
            if (it == g_handles->end())
                return MESSAGEBUS_STATUS_INVALID_HANDLE;
            broker = it->second;
            last = broker->isLastOpenHandle(id);
            // A worker cannot join itself; the handle stays open and usable.
            if (last && broker->isWorkerThread())
                return MESSAGEBUS_STATUS_INVALID_PARAMETER;
            if (!broker->closeHandle(id))
                return MESSAGEBUS_STATUS_INVALID_HANDLE;
            if (last && *g_current == broker)
                g_current->reset();
        }
        if (last)
            broker->shutdown();
        else
            broker->finishRelease(id);
        std::lock_guard<messagebus::SlimMutex> lock(g_mutex);
        g_handles->erase(id);
        return MESSAGEBUS_STATUS_SUCCESS;
    });
}

uint32_t publishOn(MessageBusHandle handle, const MessageOptions* options, const wchar_t* name,
                   const wchar_t* alias, const wchar_t* payload)
{
    if (!options || !name)
        return MESSAGEBUS_STATUS_INVALID_PARAMETER;
    return guarded([&] {
        std::shared_ptr<Broker> broker = brokerOf(handle);
        if (!broker)
            return MESSAGEBUS_STATUS_INVALID_HANDLE;
        return broker->publish(idOf(handle), *options, name, alias, payload);
    });
}

uint32_t __cdecl busPublish(MessageBusHandle handle, const MessageOptions* options, const wchar_t* name,
                            const wchar_t* alias, const wchar_t* payload)
{
    return publishOn(handle, options, name, alias, payload);
}

uint32_t __cdecl busPublishSecond(MessageBusHandle handle, const MessageOptions* options, const wchar_t* name,
                                  const wchar_t* alias, const wchar_t* payload)
{
    return publishOn(handle, options, name, alias, payload);
}

uint32_t requestOn(MessageBusHandle handle, void* replyContext, uint64_t replyIndex,
                   MessageBusReplyTrampoline trampoline, const MessageOptions* options, const wchar_t* name,
                   const wchar_t* alias, const wchar_t* payload, uint32_t timeoutMs)
{
    if (!options || !name || !trampoline)
        return MESSAGEBUS_STATUS_INVALID_PARAMETER;
    return guarded([&] {
        std::shared_ptr<Broker> broker = brokerOf(handle);
        if (!broker)
            return MESSAGEBUS_STATUS_INVALID_HANDLE;
        return broker->request(idOf(handle), Broker::ReplyTarget{replyContext, replyIndex, trampoline}, *options,
                               name, alias, payload, timeoutMs);
    });
}

uint32_t __cdecl busRequest(MessageBusHandle handle, void* replyContext, uint64_t replyIndex,
                            MessageBusReplyTrampoline trampoline, const MessageOptions* options,
                            const wchar_t* name, const wchar_t* alias, const wchar_t* payload, uint32_t timeoutMs)
{
    return requestOn(handle, replyContext, replyIndex, trampoline, options, name, alias, payload, timeoutMs);
}

uint32_t __cdecl busRequestSecond(MessageBusHandle handle, void* replyContext, uint64_t replyIndex,
                                  MessageBusReplyTrampoline trampoline, const MessageOptions* options,
                                  const wchar_t* name, const wchar_t* alias, const wchar_t* payload,
                                  uint32_t timeoutMs)
{
    return requestOn(handle, replyContext, replyIndex, trampoline, options, name, alias, payload, timeoutMs);
}

MessageBusSubscription subscribeOn(MessageBusHandle handle, void* context, MessageBusMessageTrampoline trampoline,
                                   const wchar_t* nameOrPattern, bool isPattern)
{
    uint64_t id = 0;
    guarded([&] {
        if (std::shared_ptr<Broker> broker = brokerOf(handle))
            id = broker->subscribe(idOf(handle), context, trampoline, nameOrPattern, isPattern);
        return MESSAGEBUS_STATUS_SUCCESS;
    });
    return handleOf(id);
}

MessageBusSubscription __cdecl busSubscribe(MessageBusHandle handle, void* context,
                                            MessageBusMessageTrampoline trampoline, const wchar_t* name)
{
    return subscribeOn(handle, context, trampoline, name, false);
}

MessageBusSubscription __cdecl busSubscribeFilter(MessageBusHandle handle, void* context,
                                                  MessageBusMessageTrampoline trampoline, const wchar_t* pattern)
{
    return subscribeOn(handle, context, trampoline, pattern, true);
}

void __cdecl busUnsubscribe(MessageBusHandle handle, MessageBusSubscription subscription)
{
    guarded([&] {
        if (std::shared_ptr<Broker> broker = brokerOf(handle))
            broker->unsubscribe(idOf(handle), idOf(subscription));
        return MESSAGEBUS_STATUS_SUCCESS;
    });
}

void __cdecl busHandOverReply(MessageBusHandle handle, MessageBusReplyTrampoline trampoline)
{
    guarded([&] {
        if (std::shared_ptr<Broker> broker = brokerOf(handle))
            broker->handOverReply(idOf(handle), trampoline);
        return MESSAGEBUS_STATUS_SUCCESS;
    });
}

const MessageBusFunctions g_functions = {
    busOpen,      busRelease,     busPublish,       busRequest,       busSubscribe,
    busSubscribeFilter, busUnsubscribe, busHandOverReply, busPublishSecond, busRequestSecond,
};

} // namespace

MESSAGEBUS_EXPORT const MessageBusFunctions* __cdecl CreateObject(uint32_t version)
{
    return version == 0 ? nullptr : &g_functions;
}

MESSAGEBUS_EXPORT void __cdecl ReleaseObject(const void*) {}

MESSAGEBUS_EXPORT uint32_t __cdecl GetVersionNum()
{
    return kVersionNum;
}

MESSAGEBUS_EXPORT const char* __cdecl GetVersionStr()
{
    return kVersionStr;
}
