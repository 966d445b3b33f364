// What each handler returns to the bus client, and the base's initialization rules, with the
// module built in the test's own process over the real bus.
#include "ModuleHost.h"

#include "ExpectLogged.h"
#include "management/TaskManagement.h"
#include "message/Message.h"
#include "module/ModuleManagerShim.h"
#include "module/TaskSchedulerImpl.h"

#include <stdexcept>

namespace moduletest {
namespace {

std::shared_ptr<Tessel::internal::ModuleManagerShim> hostManager()
{
    return std::make_shared<Tessel::internal::ModuleManagerShim>(nullptr, nullptr);
}

class InProcessModuleTest : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        registerBusFolder();
        m_module = std::make_unique<Tessel::TaskSchedulerImpl>(nullptr, nullptr);
    }
    void TearDown() override
    {
        m_module.reset();
        RegistryFixture::TearDown();
    }

    Tessel::ModuleStatus deliver(const std::wstring& name, const std::wstring& payload)
    {
        for (const auto& [subscribed, handler] : m_module->handlers()) {
            if (subscribed == name)
                return handler(Tessel::Message::create(name, L"host", payload));
        }
        ADD_FAILURE() << "no handler for the message";
        return 0;
    }

    // As a host does, with a manager and a bus of its own.
    void initializeModule()
    {
        ASSERT_EQ(m_module->baseInitialize(kModuleName, kModuleAlias, {}, hostManager(),
                                           std::make_shared<Tessel::MessageBusClient>()),
                  0u);
        ASSERT_EQ(m_module->initialize(), 0u);
    }

    std::unique_ptr<Tessel::TaskSchedulerImpl> m_module;
};

TEST_F(InProcessModuleTest, NullModuleManagerIsRefusedAndTheBusNotStored)
{
    kstest::LogCapture log;
    EXPECT_EQ(m_module->baseInitialize(L"n", L"a", {}, nullptr, std::make_shared<Tessel::MessageBusClient>()),
              0x80000008u);
    EXPECT_EQ(m_module->messageBus(), nullptr);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_ERROR, L"Invalid module manager object passed to base initialize.");
    EXPECT_EQ(m_module->baseInitialize(L"n", L"a", {}, hostManager(), nullptr), 0x80000008u);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_ERROR, L"Invalid message bus object passed to base initialize.");
}

struct HandlerCase {
    const wchar_t* message;
    const wchar_t* payload;
    Tessel::ModuleStatus status;
};

class HandlerStatusTest : public InProcessModuleTest, public ::testing::WithParamInterface<HandlerCase> {};

TEST_P(HandlerStatusTest, ReturnsItsStatusToTheBusClient)
{
    ASSERT_NO_FATAL_FAILURE(initializeModule());
    EXPECT_EQ(deliver(GetParam().message, GetParam().payload), GetParam().status);
}

// One row per kind of answer: the replies each request gives are the end-to-end table's.
const HandlerCase kHandlerCases[] = {
    {L"TaskScheduler.Task.Delete", L"not json", 0x80000006},
    {L"TaskScheduler.Task.BroadcastRegister", L"{\"name\":\"one\"}", 0x80000006},
    {L"TaskScheduler.Task.Enable", L"{\"name\":\"absent\"}", 0x80000002},
    {L"TaskScheduler.Task.Create",
     L"{\"name\":\"made\",\"taskType\":\"scheduled\",\"triggerType\":\"process\",\"taskTrigger\":\"C:\\\\x.exe\"}", 0},
};

INSTANTIATE_TEST_SUITE_P(Rows, HandlerStatusTest, ::testing::ValuesIn(kHandlerCases));

// A running engine's switch is proven over the bus by the host's maintenance scenarios; without
// one the request is answered, not dropped.
TEST_F(InProcessModuleTest, AutoMaintenanceSwitchWithoutARunningEngineFails)
{
    ASSERT_NO_FATAL_FAILURE(initializeModule());
    kstest::LogCapture log;
    EXPECT_EQ(deliver(L"Set.Auto.Maintenance.Mode", L"{}"), 0x800000FFu);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_WARNING, L"Failed to get task scheduler instance.");
}

// Task management that fails by throwing, as a store gone bad might.
class ThrowingManagement final : public Orbis::TaskManagement {
public:
    bool queryTask(const std::wstring&, std::wstring&) override { throw std::runtime_error("store unreachable"); }
    BOOL deleteTask(const wchar_t*) override { throw 7; }
};

TEST_F(InProcessModuleTest, ExceptionInAHandlerIsLoggedAndAnsweredAsUnknownException)
{
    m_module = std::make_unique<Tessel::TaskSchedulerImpl>(nullptr, std::make_shared<ThrowingManagement>());
    ASSERT_NO_FATAL_FAILURE(initializeModule());
    kstest::LogCapture log;
    EXPECT_EQ(deliver(L"TaskScheduler.Task.Query", L"{\"name\":\"x\"}"), 0x8000000Fu);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_ERROR,
                  L"Exception caught: store unreachable. Returning MODULE_STATUS_UNKNOWN_EXCEPTION(2147483663).");
    EXPECT_EQ(deliver(L"TaskScheduler.Task.Delete", L"{\"name\":\"x\"}"), 0x8000000Fu);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_ERROR,
                  L"Unknown exception caught. Returning MODULE_STATUS_UNKNOWN_EXCEPTION(2147483663).");
}

} // namespace
} // namespace moduletest
