// Loading of MessageBus.dll for the tests, the fixture and the recording callbacks.
#include "BusDll.h"

#include <chrono>

namespace bustest {

void Recorder::add(Received received)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received.push_back(std::move(received));
    m_changed.notify_all();
}

bool Recorder::waitForCount(size_t count, unsigned timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_received.size() >= count; });
}

std::vector<Received> Recorder::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

size_t Recorder::count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received.size();
}

namespace {

Received describe(const MessageOptions* options, const wchar_t* name, const wchar_t* alias, const wchar_t* payload)
{
    Received received;
    received.threadId = GetCurrentThreadId();
    received.hasMessage = options != nullptr;
    if (options)
        received.options = *options;
    received.name = name ? name : L"";
    received.alias = alias ? alias : L"";
    received.payload = payload ? payload : L"";
    return received;
}

template <typename Fn>
Fn exportOf(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

BusLibrary loadBusLibrary()
{
    BusLibrary library;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder.resize(folder.find_last_of(L'\\') + 1);
    library.path = folder + L"MessageBus.dll";
    library.module.reset(LoadLibraryW(library.path.c_str()));
    if (!library.module)
        return library;
    HMODULE module = library.module.get();
    library.createObject = exportOf<MessageBusCreateObjectFn>(module, "CreateObject");
    library.releaseObject = exportOf<MessageBusReleaseObjectFn>(module, "ReleaseObject");
    library.getVersionNum = exportOf<MessageBusGetVersionNumFn>(module, "GetVersionNum");
    library.getVersionStr = exportOf<MessageBusGetVersionStrFn>(module, "GetVersionStr");
    if (library.createObject)
        library.functions = library.createObject(2001000);
    return library;
}

} // namespace

uint32_t __cdecl recordMessage(void* context, const MessageOptions* options, const wchar_t* name,
                               const wchar_t* alias, const wchar_t* payload)
{
    static_cast<Recorder*>(context)->add(describe(options, name, alias, payload));
    return 0;
}

uint32_t __cdecl recordReply(void* context, uint64_t replyIndex, const MessageOptions* options,
                             const wchar_t* name, const wchar_t* alias, const wchar_t* payload, uint32_t status)
{
    Received received = describe(options, name, alias, payload);
    received.replyIndex = replyIndex;
    received.status = status;
    static_cast<Recorder*>(context)->add(std::move(received));
    return 0;
}

MessageOptions plainOptions()
{
    MessageOptions options{};
    options.recordKind = MESSAGE_OPTIONS_RECORD_KIND;
    options.version = MESSAGE_OPTIONS_VERSION;
    options.versionTwoField = MESSAGE_OPTIONS_VERSION_TWO_DEFAULT;
    options.totalSize = MESSAGE_OPTIONS_SIZE;
    return options;
}

const BusLibrary& busLibrary()
{
    // Kept loaded for the whole program: unloading with the bus's threads gone is fine, but the
    // tests gain nothing from reloading.
    static const BusLibrary library = loadBusLibrary();
    return library;
}

void BusTest::SetUp()
{
    ASSERT_TRUE(busLibrary().module) << "cannot load " << std::string(busLibrary().path.begin(), busLibrary().path.end());
    ASSERT_NE(busLibrary().functions, nullptr);
    ASSERT_EQ(bus().open(&m_handle), 0u);
    ASSERT_NE(m_handle, nullptr);
}

void BusTest::TearDown()
{
    if (m_handle)
        releaseHandle();
}

uint32_t BusTest::releaseHandle()
{
    uint32_t status = bus().release(m_handle);
    m_handle = nullptr;
    return status;
}

uint32_t BusTest::publish(const wchar_t* name, const wchar_t* payload, const MessageOptions& options)
{
    return bus().publish(m_handle, &options, name, L"tester", payload);
}

MessageBusSubscription BusTest::subscribe(Recorder& recorder, const wchar_t* name)
{
    return bus().subscribe(m_handle, &recorder, recordMessage, name);
}

MessageBusSubscription BusTest::subscribeFilter(Recorder& recorder, const wchar_t* pattern)
{
    return bus().subscribeFilter(m_handle, &recorder, recordMessage, pattern);
}

} // namespace bustest
