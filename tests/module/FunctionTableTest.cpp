// The exports and the eight table functions as a host drives them.
#include "ModuleHost.h"

#include "common/UniqueHandle.h"
#include "message/Message.h"
#include "message/Reply.h"

#include <future>

namespace moduletest {
namespace {

constexpr uint32_t kUnknownException = 0x8000000F;

class LifecycleTest : public kstest::RegistryFixture {
protected:
    static void SetUpTestSuite() { moduleExports(); }
    void SetUp() override
    {
        RegistryFixture::SetUp();
        registerBusFolder();
    }
    const ModuleFunctions& table() const { return moduleTable(); }
};

TEST_F(LifecycleTest, InitializeModuleV2WithoutABusThrowsInsideAndAnswersUnknownException)
{
    ModuleHandle handle = nullptr;
    ASSERT_EQ(table().newModule(&handle, L""), 0u);
    MessageBusFunctions functions{};
    EXPECT_EQ(table().initializeModuleV2(handle, kModuleName, kModuleAlias, 0, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, &functions),
              kUnknownException);
    int marker = 0;
    EXPECT_EQ(table().initializeModuleV2(handle, kModuleName, kModuleAlias, 0, nullptr, nullptr, nullptr, nullptr,
                                         &marker, nullptr),
              kUnknownException);
    // Never initialized: the module still stops and goes away cleanly.
    EXPECT_EQ(table().stopModule(handle), 0u);
    EXPECT_EQ(table().destroyModule(handle), 0u);
}

class DirectMessageTest : public ModuleHostFixture {};

// A direct message runs the module's own subscription; its reply still goes out over the bus.
TEST_F(DirectMessageTest, RoutesToTheHandlerOfItsName)
{
    auto promise = std::make_shared<std::promise<std::wstring>>();
    client().subscribe(L"TaskScheduler.Task.Created", L"direct",
                       [promise](std::shared_ptr<Tessel::Message> message) {
                           promise->set_value(message->payload());
                           return 0u;
                       });
    auto future = promise->get_future();
    EXPECT_EQ(table().directMessage(handle(), nullptr, L"TaskScheduler.Task.Create", L"",
                                    createPayload(L"direct", 60).c_str()),
              0u);
    ASSERT_EQ(future.wait_for(kAnswerBound), std::future_status::ready);
    EXPECT_EQ(future.get(), L"{\"name\":\"direct\",\"status\":true}");
    EXPECT_TRUE(keyExists(enabledKeyPath(L"direct").c_str()));
    client().unsubscribe(L"direct");
}

TEST_F(DirectMessageTest, LogonSetsTheEnginesLogonEvent)
{
    Keelwork::unique_event logon(CreateEventW(nullptr, FALSE, FALSE, L"ZARN_{93048841-4F93-45C4-96F1-F20AF27EC5D9}"));
    ASSERT_TRUE(logon);
    EXPECT_EQ(table().directMessage(handle(), nullptr, L"SystemMonitor.UserSession.Logon", L"host", L""), 0u);
    EXPECT_EQ(WaitForSingleObject(logon.get(), 5000), WAIT_OBJECT_0);
}

} // namespace
} // namespace moduletest
