// Create, modify, delete, enable, disable and query against the real registry: where the task's
// key ends up, what is stored, what query answers, the log lines, and when the engine is woken.
#include "ExpectLogged.h"
#include "ManagementTestSupport.h"
#include "TestTask.h"
#include "management/TaskManagement.h"
#include "message/JSONFormatter.h"
#include "store/KsTask.h"

#include <gtest/gtest.h>

#include <string>

using mgmttest::disabledKeyExists;
using mgmttest::enabledKeyExists;
using kstest::storedDword;

namespace {

constexpr const wchar_t* kPresetCategoryKey = L"SOFTWARE\\Kestrel\\Platform\\Settings\\TaskSchedulePreset\\Nightly";

class TaskOperations : public kstest::RegistryFixture {
protected:
    // A minimal storable task: type, trigger and calendar.
    static std::wstring scheduledTask(const std::wstring& extra = L"")
    {
        return L"{\"taskType\":\"scheduled\",\"taskTrigger\":\"C:\\\\t.exe\",\"hour\":\"3\",\"minute\":\"4\"" + extra + L"}";
    }

    // Creates a minimal task and consumes the engine signal it gives.
    void createScheduled(const wchar_t* name)
    {
        ASSERT_TRUE(m_tasks.createTask(name, scheduledTask()));
        ASSERT_TRUE(m_engine.signalled());
    }

    std::wstring member(const std::wstring& name, const wchar_t* key)
    {
        std::wstring text;
        EXPECT_TRUE(m_tasks.queryTask(name, text));
        Tessel::JSONFormatter json;
        EXPECT_TRUE(json.parse(text)) << text;
        std::wstring value = L"<absent>";
        json.getString(key, value);
        return value;
    }

    static void addPreset(const wchar_t* id, DWORD interval, DWORD mask, DWORD hour, DWORD minute)
    {
        const std::wstring key = std::wstring(kPresetCategoryKey) + L"\\" + id;
        setDword(key.c_str(), L"Active", 1);
        setDword(key.c_str(), L"Interval", interval);
        setDword(key.c_str(), L"DayOfWeekMask", mask);
        setDword(key.c_str(), L"Hour", hour);
        setDword(key.c_str(), L"Minute", minute);
        setDword(key.c_str(), L"DescriptionResId", 1);
    }

    Orbis::TaskManagement m_tasks;
    mgmttest::EngineEvent m_engine;
};

TEST_F(TaskOperations, CreateWithOnlyTaskTypeFailsOnAssignAndSignalsNothing)
{
    kstest::LogCapture capture;
    EXPECT_FALSE(m_tasks.createTask(L"OnlyType", L"{\"taskType\":\"scheduled\"}"));
    EXPECT_LOGGED(capture, ::ETWLogging::LOG_LEVEL_ERROR, L"ksCreateTask OnlyType failed on assign code = 87");
    EXPECT_FALSE(enabledKeyExists(L"onlytype"));
    EXPECT_FALSE(m_engine.pending());
}

struct EnabledCase {
    const wchar_t* member;
    bool enabled;
};

void PrintTo(const EnabledCase& c, std::ostream* os)
{
    *os << '[' << mgmttest::printable(c.member) << ']';
}

class CreateEnabledMember : public TaskOperations, public ::testing::WithParamInterface<EnabledCase> {};

TEST_P(CreateEnabledMember, OnlyExactFalseStoresDisabled)
{
    ASSERT_TRUE(m_tasks.createTask(L"Toggle", scheduledTask(GetParam().member)));
    EXPECT_EQ(enabledKeyExists(L"toggle"), GetParam().enabled);
    EXPECT_EQ(disabledKeyExists(L"toggle"), !GetParam().enabled);
    EXPECT_EQ(member(L"toggle", L"enabled"), GetParam().enabled ? L"true" : L"false");
    EXPECT_TRUE(m_engine.signalled());
}

INSTANTIATE_TEST_SUITE_P(Texts, CreateEnabledMember, ::testing::Values(
    EnabledCase{L",\"enabled\":\"false\"", false}, EnabledCase{L",\"enabled\":\"no\"", true},
    EnabledCase{L",\"enabled\":\"False\"", true}, EnabledCase{L"", true},
    EnabledCase{L",\"enabled\":false", true}, EnabledCase{L",\"enabled\":\"true\"", true}));

TEST_F(TaskOperations, PresetCategoryWithEnableTaskZeroStoresDisabledWithPresetCalendar)
{
    addPreset(L"2", 1, 0x14, 22, 30);
    setDword(kPresetCategoryKey, L"EnableTask", 0);
    ASSERT_TRUE(m_tasks.createTask(L"FromPreset",
        L"{\"taskType\":\"preset\",\"taskTrigger\":\"C:\\\\p.exe\",\"presetCategory\":\"Nightly\",\"presetId\":\"2\","
        L"\"hour\":\"5\",\"enabled\":\"true\"}"));
    EXPECT_FALSE(enabledKeyExists(L"frompreset"));
    ASSERT_TRUE(disabledKeyExists(L"frompreset"));
    EXPECT_EQ(storedDword(L"frompreset", L"Hour", true), 22u);
    EXPECT_EQ(storedDword(L"frompreset", L"Minute", true), 30u);
    EXPECT_EQ(storedDword(L"frompreset", L"DayOfWeekMask", true), 0x14u);
    EXPECT_EQ(storedDword(L"frompreset", L"Interval", true), 1u);
    EXPECT_EQ(member(L"frompreset", L"presetId"), L"2");
}

TEST_F(TaskOperations, PresetCategoryEnabledOverridesTheCallersFalse)
{
    addPreset(L"3", 2, 0x02, 1, 2);
    ASSERT_TRUE(m_tasks.createTask(L"FromPreset",
        L"{\"taskType\":\"preset\",\"taskTrigger\":\"C:\\\\p.exe\",\"presetCategory\":\"Nightly\",\"presetId\":\"3\","
        L"\"enabled\":\"false\"}"));
    EXPECT_TRUE(enabledKeyExists(L"frompreset"));
    EXPECT_FALSE(disabledKeyExists(L"frompreset"));
    EXPECT_EQ(storedDword(L"frompreset", L"Hour"), 1u);
}

// Every member is stored by create and given back by query; modify replaces only those it names,
// and a lane member set back to its default leaves neither a stored value nor a query member.
TEST_F(TaskOperations, CreateStoresEveryMemberAndModifyReplacesOnlyTheGivenOnes)
{
    ASSERT_TRUE(m_tasks.createTask(L"Mod", mgmttest::fullTaskPayload()));
    ASSERT_TRUE(m_engine.signalled());
    ASSERT_TRUE(m_tasks.modifyTask(L"Mod", L"{\"hour\":\"2\",\"cmdParams\":\"/full\",\"adminWise\":\"false\","
                                           L"\"maxRunTime\":\"0\"}"));
    EXPECT_TRUE(m_engine.signalled());
    std::wstring expected = mgmttest::fullTaskPayload();
    expected.replace(expected.find(L"\"hour\":\"13\""), 11, L"\"hour\":\"2\"");
    expected.replace(expected.find(L"/quick"), 6, L"/full");
    expected.replace(expected.find(L"\"adminWise\":\"true\""), 18, L"\"adminWise\":\"false\"");
    expected.erase(expected.find(L"\"maxRunTime\":\"7200\","), 20);
    std::wstring text;
    ASSERT_TRUE(m_tasks.queryTask(L"mod", text));
    EXPECT_EQ(text, expected);
    EXPECT_EQ(storedDword(L"mod", L"MaxRunTime"), 0xDEAD0000u | ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(storedDword(L"mod", L"Background"), 1u);
}

TEST_F(TaskOperations, ModifyWithOnlyEnabledFalseMovesTheTask)
{
    createScheduled(L"Mover");
    EXPECT_TRUE(m_tasks.modifyTask(L"Mover", L"{\"enabled\":\"false\"}"));
    EXPECT_FALSE(enabledKeyExists(L"mover"));
    EXPECT_TRUE(disabledKeyExists(L"mover"));
    EXPECT_EQ(storedDword(L"mover", L"Hour", true), 3u);
    EXPECT_TRUE(m_engine.signalled());
    EXPECT_TRUE(m_tasks.modifyTask(L"Mover", L"{\"enabled\":\"yes\",\"hour\":\"8\"}"));
    EXPECT_TRUE(enabledKeyExists(L"mover"));
    EXPECT_FALSE(disabledKeyExists(L"mover"));
    EXPECT_EQ(storedDword(L"mover", L"Hour"), 8u);
}

// An unparsable payload is logged; a refused value is not; either way the stored task stays.
TEST_F(TaskOperations, ModifyWithUnparsableOrRefusedPayloadKeepsTheTask)
{
    createScheduled(L"Keep");
    const std::pair<std::wstring, bool> payloads[] = {{L"{\"hour\":", true},
                                                      {L"{\"hour\":\"5\",\"repeat\":\"yes\"}", false}};
    for (const auto& [payload, unparsable] : payloads) {
        kstest::LogCapture capture;
        EXPECT_FALSE(m_tasks.modifyTask(L"Keep", payload));
        EXPECT_EQ(kstest::loggedAt(capture, ::ETWLogging::LOG_LEVEL_ERROR, L"modifyTask : Could not parse json " + payload), unparsable)
            << payload;
        EXPECT_EQ(storedDword(L"keep", L"Hour"), 3u);
        EXPECT_FALSE(m_engine.pending());
    }
}

enum class Operation { remove, enable, disable };

void PrintTo(Operation operation, std::ostream* os)
{
    *os << (operation == Operation::remove ? "delete" : operation == Operation::enable ? "enable" : "disable");
}

class MissingTaskOperation : public TaskOperations, public ::testing::WithParamInterface<Operation> {};

TEST_P(MissingTaskOperation, ReturnsZeroWithoutSignal)
{
    const wchar_t* name = L"nothing";
    BOOL result = TRUE;
    switch (GetParam()) {
    case Operation::remove: result = m_tasks.deleteTask(name); break;
    case Operation::enable: result = m_tasks.enableTask(name); break;
    case Operation::disable: result = m_tasks.disableTask(name); break;
    }
    EXPECT_EQ(result, FALSE);
    EXPECT_FALSE(m_engine.pending());
    std::wstring text = L"untouched";
    EXPECT_FALSE(m_tasks.queryTask(name, text));
    EXPECT_EQ(text, L"untouched");
}

INSTANTIATE_TEST_SUITE_P(Operations, MissingTaskOperation,
                         ::testing::Values(Operation::remove, Operation::enable, Operation::disable));

TEST_F(TaskOperations, NullOrRefusedNamesFailWithoutSignal)
{
    EXPECT_EQ(m_tasks.deleteTask(nullptr), FALSE);
    EXPECT_EQ(m_tasks.enableTask(nullptr), FALSE);
    EXPECT_EQ(m_tasks.disableTask(nullptr), FALSE);
    KSTASKINFO record = {};
    record.dwSize = sizeof(record);
    EXPECT_EQ(m_tasks.ksCreateTask(nullptr, &record, TRUE), FALSE);
    EXPECT_EQ(m_tasks.ksCreateTask(L"x", nullptr, TRUE), FALSE);
    // Names the store refuses fail too.
    EXPECT_FALSE(m_tasks.createTask(L"a\\b", scheduledTask()));
    EXPECT_FALSE(m_tasks.createTask(L"", scheduledTask()));
    EXPECT_FALSE(enabledKeyExists(L"a"));
    EXPECT_FALSE(m_engine.pending());
}

} // namespace
