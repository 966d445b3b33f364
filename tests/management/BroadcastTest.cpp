// Per-task change broadcasts over the real bus library: registration replies, the immediate
// update, updates after a change of the task's key, the unregister request for a task that can
// no longer be read, and unregistration.
#include "management/TaskManagement.h"

#include "ExpectLogged.h"
#include "LogFileReader.h"
#include "MessageInbox.h"
#include "RegistryFixture.h"
#include "ResourceDllPaths.h"
#include "TestTask.h"
#include "message/JSONFormatter.h"
#include "message/Message.h"
#include "messagebus/MessageBusClient.h"
#include "messagebus/MessageBusConstants.h"
#include "registry/RegKey.h"
#include "store/KsTask.h"
#include "store/ProtectedValue.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using kstest::storeTask;
using Tessel::JSONFormatter;
using Tessel::Message;

namespace {

constexpr const wchar_t* kUpdate = L"TaskScheduler.Task.Update";
constexpr const wchar_t* kUnregister = L"TaskScheduler.Task.BroadcastUnRegister";

using Inbox = kstest::MessageInbox;

// One task object of an update, as a subscriber reads it.
struct UpdatedTask {
    std::wstring name;
    uint64_t type = 0;
    std::wstring completeEvent;
    uint64_t defaultFrequency = 0;
    uint64_t nextRun = 0;
    std::wstring trigger;
    std::wstring params;
    bool operator==(const UpdatedTask&) const = default;
};

std::vector<UpdatedTask> tasksOf(const Message& update)
{
    JSONFormatter payload;
    EXPECT_TRUE(payload.parse(update.payload())) << update.payload();
    std::vector<std::shared_ptr<JSONFormatter>> items;
    EXPECT_TRUE(payload.getObjectArray(L"tasks", items)) << update.payload();
    std::vector<UpdatedTask> tasks;
    for (const auto& item : items) {
        UpdatedTask task;
        EXPECT_TRUE(item->getString(L"name", task.name)) << update.payload();
        EXPECT_TRUE(item->getUInt64(L"type", task.type)) << update.payload();
        EXPECT_TRUE(item->getString(L"complete_event", task.completeEvent)) << update.payload();
        EXPECT_TRUE(item->getUInt64(L"default_frequency", task.defaultFrequency)) << update.payload();
        EXPECT_TRUE(item->getUInt64(L"next_run", task.nextRun)) << update.payload();
        EXPECT_TRUE(item->getString(L"trigger", task.trigger)) << update.payload();
        EXPECT_TRUE(item->getString(L"params", task.params)) << update.payload();
        tasks.push_back(task);
    }
    return tasks;
}

std::vector<std::wstring> namesOf(const std::wstring& text)
{
    JSONFormatter reply;
    EXPECT_TRUE(reply.parse(text)) << text;
    std::vector<std::wstring> names;
    EXPECT_TRUE(reply.getStringArray(L"name", names)) << text;
    return names;
}

class Broadcasts : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        setString(Tessel::kHearthKeyPath, Tessel::kHearthInstallDirValue, kstest::testProgramFolder());
        m_subscriber = std::make_shared<Tessel::MessageBusClient>();
        ASSERT_EQ(m_subscriber->subscribe(kUpdate, [this](std::shared_ptr<Message> m) -> uint32_t {
            m_updates.deliver(std::move(m));
            return 0;
        }), Tessel::MODULE_STATUS_SUCCESS);
        ASSERT_EQ(m_subscriber->subscribe(kUnregister, [this](std::shared_ptr<Message> m) -> uint32_t {
            m_unregisters.deliver(std::move(m));
            return 0;
        }), Tessel::MODULE_STATUS_SUCCESS);
    }

    void TearDown() override
    {
        m_subscriber.reset();
        RegistryFixture::TearDown();
    }

    static Keelwork::CRegKey openTaskKey(const wchar_t* name)
    {
        Keelwork::CRegKey key;
        const std::wstring path = std::wstring(KsStore::kSchedulerKeyPath) + L"\\" + name;
        EXPECT_EQ(key.open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS | KEY_WOW64_64KEY), ERROR_SUCCESS);
        return key;
    }

    // Registers the names and takes the update the registration publishes at once.
    std::shared_ptr<Message> registerAndTakeUpdate(Orbis::TaskManagement& management,
                                                   const std::vector<std::wstring>& names, std::wstring& reply)
    {
        EXPECT_TRUE(management.registerBroadcast(names, reply));
        return m_updates.take();
    }

    Inbox m_updates;
    Inbox m_unregisters;
    std::shared_ptr<Tessel::MessageBusClient> m_subscriber;
};

TEST_F(Broadcasts, RegistrationReportsReadableTasksAndPublishesTheirStateAtOnce)
{
    storeTask({.name = L"alpha", .params = L"-quick", .completeEvent = L"Global\\AlphaDone", .nextRun = 1700000123});
    Orbis::TaskManagement management;
    kstest::LogCapture log;
    std::wstring reply;
    auto update = registerAndTakeUpdate(management, {L"alpha", L"beta"}, reply);

    EXPECT_EQ(namesOf(reply), std::vector<std::wstring>{L"alpha"});
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_ERROR, L"Unable to register due to read failure,task beta");
    ASSERT_NE(update, nullptr) << "no update within the bound";
    EXPECT_EQ(update->alias(), L"TaskScheduler");
    // The complete event is not broadcast.
    EXPECT_EQ(tasksOf(*update), (std::vector<UpdatedTask>{{L"alpha", KS_TASK_SCHEDULED, L"", 3600, 1700000123,
                                                           kstest::sampleTaskPath(), L"-quick"}}))
        << update->payload();
}

// A client holding the registration's reply misses no change made right after it: the watch is
// armed before registerBroadcast returns. Many rounds, since a watch armed late loses a change
// only now and then.
TEST_F(Broadcasts, ChangeMadeRightAfterTheReplyIsNeverMissed)
{
    storeTask({.name = L"alpha"});
    Orbis::TaskManagement management;
    Keelwork::CRegKey key = openTaskKey(L"alpha");
    for (uint32_t round = 1; round <= 200; ++round) {
        std::wstring reply;
        ASSERT_TRUE(management.registerBroadcast({L"alpha"}, reply)) << round;
        const uint32_t written = 1800000000 + round;
        ASSERT_EQ(KsStore::writeProtectedDword(key, KsStore::ValueName::NextRun, written), 0u);
        // The registration's own update carries the value from before the change; only the
        // change's update carries the new one.
        bool seen = false;
        while (!seen) {
            auto update = m_updates.take();
            ASSERT_NE(update, nullptr) << "the change of round " << round << " was missed";
            auto tasks = tasksOf(*update);
            seen = tasks.size() == 1 && tasks[0].nextRun == written;
        }
        ASSERT_TRUE(management.unregisterBroadcast({L"alpha"}, reply)) << round;
    }
}

TEST_F(Broadcasts, UnreadableTaskAsksForItsUnregistrationAndPublishesAnEmptyUpdate)
{
    storeTask({.name = L"alpha"});
    Orbis::TaskManagement management;
    std::wstring reply;
    ASSERT_NE(registerAndTakeUpdate(management, {L"alpha"}, reply), nullptr);

    kstest::LogCapture log;
    Keelwork::CRegKey key = openTaskKey(L"alpha");
    ASSERT_EQ(key.deleteValue(KsStore::ValueName::TaskType), ERROR_SUCCESS);
    auto unregister = m_unregisters.take();
    ASSERT_NE(unregister, nullptr) << "no unregister request";
    EXPECT_EQ(unregister->alias(), L"TaskScheduler");
    EXPECT_EQ(namesOf(unregister->payload()), std::vector<std::wstring>{L"alpha"});
    auto update = m_updates.take();
    ASSERT_NE(update, nullptr);
    EXPECT_EQ(update->payload(), L"{}");
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_WARNING, L"In BroadcastTasksUpdate, Failed to read task alpha");
}

TEST_F(Broadcasts, UnregisteredTaskIsNoLongerBroadcast)
{
    storeTask({.name = L"alpha"});
    storeTask({.name = L"beta"});
    Orbis::TaskManagement management;
    std::wstring reply;
    ASSERT_NE(registerAndTakeUpdate(management, {L"alpha"}, reply), nullptr);

    EXPECT_TRUE(management.unregisterBroadcast({L"alpha", L"gamma"}, reply));
    EXPECT_EQ(namesOf(reply), std::vector<std::wstring>{L"alpha"});
    EXPECT_FALSE(management.unregisterBroadcast({L"alpha"}, reply));
    EXPECT_EQ(reply, L"{}");

    Keelwork::CRegKey key = openTaskKey(L"alpha");
    for (uint32_t nextRun : {1800000001u, 1800000002u, 1800000003u})
        ASSERT_EQ(KsStore::writeProtectedDword(key, KsStore::ValueName::NextRun, nextRun), 0u);
    // Updates reach the subscriber in publication order: a stray update for the changed task
    // would come before the one this registration publishes.
    auto update = registerAndTakeUpdate(management, {L"beta"}, reply);
    ASSERT_NE(update, nullptr);
    auto tasks = tasksOf(*update);
    ASSERT_EQ(tasks.size(), 1u) << update->payload();
    EXPECT_EQ(tasks[0].name, L"beta");
}

} // namespace
