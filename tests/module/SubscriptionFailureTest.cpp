// A bus that refuses subscriptions, handed to the module as the host's bus: the first refusal
// ends initialization.
#include "ModuleHost.h"


#include <atomic>

namespace moduletest {
namespace {

std::atomic<int> g_subscribeCalls{0};
int g_handle = 0;

uint32_t __cdecl fakeOpen(MessageBusHandle* handle)
{
    *handle = &g_handle;
    return 0;
}
uint32_t __cdecl fakeRelease(MessageBusHandle) { return 0; }
uint32_t __cdecl fakePublish(MessageBusHandle, const MessageOptions*, const wchar_t*, const wchar_t*, const wchar_t*)
{
    return 0;
}
uint32_t __cdecl fakeRequest(MessageBusHandle, void*, uint64_t, MessageBusReplyTrampoline, const MessageOptions*,
                             const wchar_t*, const wchar_t*, const wchar_t*, uint32_t)
{
    return MESSAGEBUS_STATUS_NO_SUBSCRIBERS;
}
MessageBusSubscription __cdecl refusingSubscribe(MessageBusHandle, void*, MessageBusMessageTrampoline, const wchar_t*)
{
    ++g_subscribeCalls;
    return nullptr;
}
void __cdecl fakeUnsubscribe(MessageBusHandle, MessageBusSubscription) {}
void __cdecl fakeHandOver(MessageBusHandle, MessageBusReplyTrampoline) {}

const MessageBusFunctions kRefusingBus = {fakeOpen,        fakeRelease,  fakePublish, fakeRequest,
                                          refusingSubscribe, refusingSubscribe, fakeUnsubscribe, fakeHandOver,
                                          fakePublish,     fakeRequest};

class SubscriptionFailureTest : public kstest::RegistryFixture {
protected:
    static void SetUpTestSuite() { moduleExports(); }
};

TEST_F(SubscriptionFailureTest, FirstRefusalStopsTheRestAndIsReturned)
{
    const ModuleFunctions& table = moduleTable();
    ModuleHandle handle = nullptr;
    ASSERT_EQ(table.newModule(&handle, kModuleName), 0u);
    g_subscribeCalls = 0;
    ModuleLogCapture log;
    EXPECT_EQ(table.initializeModuleV2(handle, kModuleName, kModuleAlias, 0, nullptr, nullptr, nullptr, nullptr,
                                       &g_handle, &kRefusingBus),
              0x80000002u);
    EXPECT_EQ(g_subscribeCalls.load(), 1);
    EXPECT_MODULE_LOGGED(log, L"Unable to subscribe to message SystemMonitor.UserSession.Logon : returning 2147483650.");
    EXPECT_EQ(table.destroyModule(handle), 0u);
}

} // namespace
} // namespace moduletest
