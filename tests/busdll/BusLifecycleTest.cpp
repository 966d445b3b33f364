// The library's exports and the life of a handle: open, release, drain, threads joined.
#include "BusDll.h"

#include <tlhelp32.h>

#include <vector>

namespace bustest {
namespace {

size_t threadsOfThisProcess()
{
    Keelwork::unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot)
        return 0;
    size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    return count;
}

std::wstring fileVersionOf(const std::wstring& path)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
        return {};
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\FileVersion", reinterpret_cast<void**>(&text), &length))
        return {};
    return std::wstring(text, length > 0 ? length - 1 : 0);
}

TEST(BusExports, DescribeTheLibrary)
{
    const BusLibrary& library = busLibrary();
    ASSERT_TRUE(library.module);
    ASSERT_NE(library.createObject, nullptr);
    ASSERT_NE(library.releaseObject, nullptr);
    ASSERT_NE(library.getVersionNum, nullptr);
    ASSERT_NE(library.getVersionStr, nullptr);
    EXPECT_EQ(library.createObject(2001000), library.functions);
    EXPECT_EQ(library.createObject(0), nullptr);
    library.releaseObject(library.functions);
    EXPECT_EQ(library.createObject(2001000), library.functions);
    EXPECT_EQ(library.getVersionNum(), 1000000u);
    EXPECT_STREQ(library.getVersionStr(), "1.0.0");
    EXPECT_EQ(fileVersionOf(library.path), L"1.0.0.0");
}

TEST(BusExports, OpenRejectsNullOutPointer)
{
    ASSERT_NE(busLibrary().functions, nullptr);
    EXPECT_EQ(busLibrary().functions->open(nullptr), MESSAGEBUS_STATUS_INVALID_PARAMETER);
}

TEST(BusLifecycle, ReleaseOfLastHandleDeliversQueuedAndJoinsThreads)
{
    const MessageBusFunctions* bus = busLibrary().functions;
    ASSERT_NE(bus, nullptr);
    const size_t threadsBefore = threadsOfThisProcess();
    MessageBusHandle handle = nullptr;
    ASSERT_EQ(bus->open(&handle), 0u);
    Recorder recorder;
    ASSERT_NE(bus->subscribe(handle, &recorder, recordMessage, L"Test.Drain"), nullptr);
    const MessageOptions options = plainOptions();
    constexpr size_t kCount = 300;
    for (size_t i = 0; i < kCount; ++i)
        ASSERT_EQ(bus->publish(handle, &options, L"Test.Drain", L"t", L""), 0u);
    ASSERT_EQ(bus->release(handle), 0u);
    EXPECT_EQ(recorder.count(), kCount);
    EXPECT_EQ(threadsOfThisProcess(), threadsBefore);
}

TEST(BusLifecycle, ReleaseOfOneHandleEndsOnlyItsSubscriptions)
{
    const MessageBusFunctions* bus = busLibrary().functions;
    ASSERT_NE(bus, nullptr);
    MessageBusHandle first = nullptr;
    MessageBusHandle second = nullptr;
    ASSERT_EQ(bus->open(&first), 0u);
    ASSERT_EQ(bus->open(&second), 0u);
    Recorder ofFirst;
    Recorder ofSecond;
    ASSERT_NE(bus->subscribe(first, &ofFirst, recordMessage, L"Test.Two"), nullptr);
    ASSERT_NE(bus->subscribe(second, &ofSecond, recordMessage, L"Test.Two"), nullptr);
    const MessageOptions options = plainOptions();
    ASSERT_EQ(bus->publish(second, &options, L"Test.Two", L"t", L"1"), 0u);
    ASSERT_EQ(bus->release(first), 0u);
    EXPECT_EQ(ofFirst.count(), 1u) << "release delivers what was queued before it";
    ASSERT_EQ(bus->publish(second, &options, L"Test.Two", L"t", L"2"), 0u);
    ASSERT_EQ(bus->release(second), 0u);
    EXPECT_EQ(ofFirst.count(), 1u);
    EXPECT_EQ(ofSecond.count(), 2u);
}

TEST(BusLifecycle, ReleasedHandleIsRefused)
{
    const MessageBusFunctions* bus = busLibrary().functions;
    ASSERT_NE(bus, nullptr);
    MessageBusHandle handle = nullptr;
    ASSERT_EQ(bus->open(&handle), 0u);
    ASSERT_EQ(bus->release(handle), 0u);
    const MessageOptions options = plainOptions();
    Recorder recorder;
    EXPECT_EQ(bus->publish(handle, &options, L"Test.Gone", L"t", L""), MESSAGEBUS_STATUS_INVALID_HANDLE);
    EXPECT_EQ(bus->subscribe(handle, &recorder, recordMessage, L"Test.Gone"), nullptr);
    EXPECT_EQ(bus->release(handle), MESSAGEBUS_STATUS_INVALID_HANDLE);
    // Tolerated after release, as a client tearing down in any order may call them.
    bus->handOverReply(handle, recordReply);
    bus->unsubscribe(handle, nullptr);
}

// Tries to release the only handle from inside a delivery: the bus cannot join its own thread.
struct ReleasingSubscriber {
    explicit ReleasingSubscriber(const MessageBusFunctions* b) : bus(b) {}
    const MessageBusFunctions* bus;
    MessageBusHandle handle = nullptr;
    Recorder statuses;

    static uint32_t __cdecl onMessage(void* context, const MessageOptions*, const wchar_t*, const wchar_t*,
                                      const wchar_t*)
    {
        auto* self = static_cast<ReleasingSubscriber*>(context);
        Received received;
        received.status = self->bus->release(self->handle);
        self->statuses.add(received);
        return 0;
    }
};

TEST(BusLifecycle, LastReleaseFromDeliveryIsRefusedAndHandleStaysUsable)
{
    const MessageBusFunctions* bus = busLibrary().functions;
    ASSERT_NE(bus, nullptr);
    ReleasingSubscriber subscriber(bus);
    ASSERT_EQ(bus->open(&subscriber.handle), 0u);
    ASSERT_NE(bus->subscribe(subscriber.handle, &subscriber, ReleasingSubscriber::onMessage, L"Test.Self"), nullptr);
    const MessageOptions options = plainOptions();
    ASSERT_EQ(bus->publish(subscriber.handle, &options, L"Test.Self", L"t", L""), 0u);
    ASSERT_TRUE(subscriber.statuses.waitForCount(1));
    EXPECT_EQ(subscriber.statuses.snapshot()[0].status, MESSAGEBUS_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(bus->publish(subscriber.handle, &options, L"Test.Other", L"t", L""), 0u);
    EXPECT_EQ(bus->release(subscriber.handle), 0u);
}

} // namespace
} // namespace bustest
