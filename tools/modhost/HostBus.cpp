// The host's bus handle over MessageBus.dll's function table.
#include "HostBus.h"

#include <chrono>
#include <cstring>

namespace modhost {

namespace {

// The bus answers every request itself when its time-out expires; this only bounds our wait in
// case a broken bus never does.
constexpr uint32_t kReplyWaitMarginMs = 2000;
constexpr uint32_t kBusVersion = 2001000;

std::wstring lastErrorText(const wchar_t* what, DWORD error)
{
    wchar_t number[16] = {};
    _snwprintf(number, 15, L"%lu", static_cast<unsigned long>(error));
    return std::wstring(what) + L" (Windows error " + number + L")";
}

} // namespace

MessageOptions senderOptions(const std::wstring& name, const std::wstring& alias, const std::wstring& payload)
{
    MessageOptions options{};
    options.recordKind = MESSAGE_OPTIONS_RECORD_KIND;
    options.version = MESSAGE_OPTIONS_VERSION;
    options.versionTwoField = MESSAGE_OPTIONS_VERSION_TWO_DEFAULT;
    options.totalSize = static_cast<uint32_t>(MESSAGE_OPTIONS_SIZE + 2 * (name.size() + alias.size() + payload.size() + 3));
    return options;
}

std::unique_ptr<HostBus> HostBus::open(const std::wstring& libraryPath, std::wstring& error)
{
    std::unique_ptr<HostBus> bus(new HostBus());
    bus->m_library.reset(LoadLibraryW(libraryPath.c_str()));
    if (!bus->m_library) {
        DWORD loadError = GetLastError();
        error = lastErrorText((L"cannot load the bus library " + libraryPath).c_str(), loadError);
        return nullptr;
    }
    auto createObject = reinterpret_cast<MessageBusCreateObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(bus->m_library.get(), "CreateObject")));
    if (!createObject || !(bus->m_functions = createObject(kBusVersion))) {
        error = L"the bus library " + libraryPath + L" has no CreateObject table";
        return nullptr;
    }
    uint32_t status = bus->m_functions->open(&bus->m_handle);
    if (status != 0 || !bus->m_handle) {
        error = L"the bus library refused to open a handle: " + std::to_wstring(status);
        bus->m_handle = nullptr;
        return nullptr;
    }
    return bus;
}

HostBus::~HostBus()
{
    if (!m_handle)
        return;
    std::vector<std::unique_ptr<Subscriber>> subscribers;
    {
        std::lock_guard<std::mutex> lock(m_subscribersMutex);
        subscribers.swap(m_subscribers);
    }
    // Unsubscribe waits for a delivery in flight, so the handlers stay alive until it returns.
    for (const auto& subscriber : subscribers)
        m_functions->unsubscribe(m_handle, subscriber->subscription);
    m_functions->release(m_handle);
}

uint32_t HostBus::publish(const std::wstring& name, const std::wstring& payload)
{
    MessageOptions options = senderOptions(name, kHostAlias, payload);
    return m_functions->publish(m_handle, &options, name.c_str(), kHostAlias, payload.c_str());
}

uint32_t HostBus::reply(const SeenMessage& request, const std::wstring& name, const std::wstring& payload)
{
    MessageOptions options = senderOptions(name, kHostAlias, payload);
    options.flags |= 1u << MESSAGE_FLAG_BIT_REPLY;
    std::memcpy(options.replyTarget, request.options.origin, sizeof options.replyTarget);
    std::memcpy(options.inReplyTo, request.options.messageId, sizeof options.inReplyTo);
    options.replyToken = request.options.requestToken;
    return m_functions->publish(m_handle, &options, name.c_str(), kHostAlias, payload.c_str());
}

HostBus::RequestResult HostBus::request(const std::wstring& name, const std::wstring& payload, uint32_t timeoutMs)
{
    auto pending = std::make_shared<PendingReply>();
    uint64_t index = 0;
    {
        std::lock_guard<std::mutex> lock(m_replyMutex);
        index = m_nextReplyIndex++;
        m_pending.emplace(index, pending);
    }
    MessageOptions options = senderOptions(name, kHostAlias, payload);
    uint32_t status = m_functions->request(m_handle, this, index, &HostBus::onReply, &options, name.c_str(),
                                           kHostAlias, payload.c_str(), timeoutMs);
    std::unique_lock<std::mutex> lock(m_replyMutex);
    if (status == 0) {
        auto bound = std::chrono::milliseconds(static_cast<uint64_t>(timeoutMs) + kReplyWaitMarginMs);
        if (!m_replyArrived.wait_for(lock, bound, [&] { return pending->done; }))
            pending->result.status = MESSAGEBUS_STATUS_TIMEOUT;
    } else {
        pending->result.status = status;
    }
    // A reply that comes after this finds no entry and is dropped.
    m_pending.erase(index);
    return pending->result;
}

bool HostBus::subscribePattern(const std::wstring& pattern, Handler handler)
{
    return subscribe(m_functions->subscribeFilter, pattern, std::move(handler));
}

bool HostBus::subscribeName(const std::wstring& name, Handler handler)
{
    return subscribe(m_functions->subscribe, name, std::move(handler));
}

bool HostBus::subscribe(MessageBusSubscribeFn fn, const std::wstring& nameOrPattern, Handler handler)
{
    auto subscriber = std::make_unique<Subscriber>();
    subscriber->handler = std::move(handler);
    // The subscriber's address is the bus's context from now on: it lives in the list until the
    // destructor has unsubscribed it.
    std::lock_guard<std::mutex> lock(m_subscribersMutex);
    subscriber->subscription = fn(m_handle, subscriber.get(), &HostBus::onMessage, nameOrPattern.c_str());
    if (!subscriber->subscription)
        return false;
    m_subscribers.push_back(std::move(subscriber));
    return true;
}

uint32_t __cdecl HostBus::onMessage(void* context, const MessageOptions* options, const wchar_t* name,
                                    const wchar_t* alias, const wchar_t* payload)
{
    try {
        static_cast<Subscriber*>(context)->handler(copyMessage(options, name, alias, payload));
    } catch (...) {
        // Nothing may cross back into the bus; a handler that failed has nothing to add.
    }
    return 0;
}

uint32_t __cdecl HostBus::onReply(void* context, uint64_t replyIndex, const MessageOptions* options,
                                  const wchar_t* name, const wchar_t* alias, const wchar_t* payload, uint32_t status)
{
    try {
        auto* self = static_cast<HostBus*>(context);
        std::lock_guard<std::mutex> lock(self->m_replyMutex);
        auto found = self->m_pending.find(replyIndex);
        if (found == self->m_pending.end())
            return 0;
        PendingReply& pending = *found->second;
        pending.result.status = status;
        pending.result.replied = options != nullptr && status == 0;
        if (pending.result.replied)
            pending.result.reply = copyMessage(options, name, alias, payload);
        pending.done = true;
        self->m_replyArrived.notify_all();
    } catch (...) {
    }
    return 0;
}

} // namespace modhost
