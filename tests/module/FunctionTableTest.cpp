// The exports and the eight table functions as a host drives them.
#include "ModuleHost.h"

#include "common/UniqueHandle.h"

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

TEST_F(DirectMessageTest, LogonSetsTheEnginesLogonEvent)
{
    Keelwork::unique_event logon(CreateEventW(nullptr, FALSE, FALSE, L"ZARN_{93048841-4F93-45C4-96F1-F20AF27EC5D9}"));
    ASSERT_TRUE(logon);
    EXPECT_EQ(table().directMessage(handle(), nullptr, L"SystemMonitor.UserSession.Logon", L"host", L""), 0u);
    EXPECT_EQ(WaitForSingleObject(logon.get(), 5000), WAIT_OBJECT_0);
}

} // namespace
} // namespace moduletest
