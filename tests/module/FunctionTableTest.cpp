// The exports and the eight table functions as a host drives them.
#include "ModuleHost.h"

#include "common/UniqueHandle.h"
#include "message/Message.h"
#include "message/Reply.h"

#include <future>

namespace moduletest {
namespace {

constexpr uint32_t kInvalidParameter = 0x80000008;
constexpr uint32_t kUnknownException = 0x8000000F;

class ExportsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { moduleExports(); }
};

TEST_F(ExportsTest, VersionAndTheSameStaticTable)
{
    const ModuleExports& exports = moduleExports();
    ASSERT_TRUE(exports.createObject && exports.releaseObject && exports.getVersionNum && exports.getVersionStr);
    EXPECT_EQ(exports.getVersionNum(), 2001000u);
    EXPECT_STREQ(exports.getVersionStr(), "2.1.0");
    const ModuleFunctions* first = exports.createObject();
    exports.releaseObject(first);
    exports.releaseObject(nullptr);
    EXPECT_EQ(exports.createObject(), first);
    EXPECT_NE(first->newModule, nullptr);
    EXPECT_NE(first->initializeModuleV2, nullptr);
}

TEST_F(ExportsTest, NewModuleWithoutOutPointerIsRefused)
{
    ModuleLogCapture log;
    EXPECT_EQ(moduleTable().newModule(nullptr, L"TaskScheduler"), kInvalidParameter);
    EXPECT_MODULE_LOGGED(log, L"Invalid handle address.");
}

// Every function taking a handle refuses a null one.
using HandleCall = uint32_t (*)(const ModuleFunctions&);
class NullHandleTest : public ExportsTest, public ::testing::WithParamInterface<HandleCall> {};

TEST_P(NullHandleTest, IsRefusedAndLogged)
{
    ModuleLogCapture log;
    EXPECT_EQ(GetParam()(moduleTable()), kInvalidParameter);
    EXPECT_MODULE_LOGGED(log, L"Invalid handle.");
}

INSTANTIATE_TEST_SUITE_P(
    TableFunctions, NullHandleTest,
    ::testing::Values([](const ModuleFunctions& t) { return t.destroyModule(nullptr); },
                      [](const ModuleFunctions& t) {
                          return t.initializeModule(nullptr, L"n", L"a", 0, nullptr, nullptr, nullptr, nullptr);
                      },
                      [](const ModuleFunctions& t) { return t.startModule(nullptr); },
                      [](const ModuleFunctions& t) { return t.stopModule(nullptr); },
                      [](const ModuleFunctions& t) { return t.uninitializeModule(nullptr); },
                      [](const ModuleFunctions& t) { return t.directMessage(nullptr, nullptr, L"n", L"a", L"{}"); },
                      [](const ModuleFunctions& t) {
                          return t.initializeModuleV2(nullptr, L"n", L"a", 0, nullptr, nullptr, nullptr, nullptr,
                                                      nullptr, nullptr);
                      }));

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

// The host's own open bus, handed over through InitializeModuleV2, carries the module's traffic.
TEST_F(LifecycleTest, InitializeModuleV2WorksOverTheHostsBus)
{
    wchar_t path[MAX_PATH] = {};
    std::wstring program(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    Keelwork::unique_hmodule busLibrary(
        LoadLibraryW((program.substr(0, program.find_last_of(L'\\')) + L"\\MessageBus.dll").c_str()));
    ASSERT_TRUE(busLibrary);
    auto createBus = exportOf<MessageBusCreateObjectFn>(busLibrary.get(), "CreateObject");
    ASSERT_NE(createBus, nullptr);
    const MessageBusFunctions* bus = createBus(1000000);
    ASSERT_NE(bus, nullptr);
    MessageBusHandle busHandle = nullptr;
    ASSERT_EQ(bus->open(&busHandle), 0u);

    ModuleHandle handle = nullptr;
    ASSERT_EQ(table().newModule(&handle, kModuleName), 0u);
    ASSERT_EQ(table().initializeModuleV2(handle, kModuleName, kModuleAlias, 0, nullptr, nullptr, nullptr, nullptr,
                                         busHandle, bus),
              0u);
    {
        Tessel::MessageBusClient client;
        std::shared_ptr<Tessel::Reply> reply;
        auto message = Tessel::Message::create(L"TaskScheduler.Task.Query", L"host", L"{\"name\":\"absent\"}");
        ASSERT_EQ(client.request(message, reply, 10000), 0u);
        ASSERT_EQ(reply->waitFor(10000), Tessel::REPLY_STATUS_RECEIVED);
        EXPECT_EQ(reply->getMessage()->payload(), L"{\"status\":false,\"name\":\"absent\"}");
    }
    EXPECT_EQ(table().destroyModule(handle), 0u);
    EXPECT_EQ(bus->release(busHandle), 0u);
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

// With no engine running, the auto-maintenance switch has nobody to reach.
TEST_F(DirectMessageTest, AutoMaintenanceWithoutEngineIsLoggedAsWarning)
{
    for (const wchar_t* name : {L"Set.Auto.Maintenance.Mode", L"Stop.Auto.Maintenance.Mode"}) {
        ModuleLogCapture log;
        EXPECT_EQ(table().directMessage(handle(), nullptr, name, L"host", L"{}"), 0u);
        EXPECT_MODULE_LOGGED(log, L"Failed to get task scheduler instance.");
    }
}

} // namespace
} // namespace moduletest
