// Loading tasks: every stored value, missing or refused, either rejects its task or falls back to
// its default, and never stops the other tasks from loading. Which damage a protected value
// refuses is the protected-value tests' concern; the store treats every refusal alike.
#include "RegistryFixture.h"
#include "StoreTestSupport.h"

#include "store/ProtectedValueCodec.h"
#include "store/TaskEnumeration.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <functional>

namespace {

using namespace storetest;
namespace V = KsStore::ValueName;

enum class Damage { missing, flippedByte, noTerminator };

const char* const kDamageNames[] = {"Missing", "FlippedByte", "NoTerminator"};

struct ValueCase {
    const wchar_t* name;
    const char* label;
    bool mandatory;
    // Does the loaded task hold what was stored (true) or the default (false)?
    std::function<bool(const CKsTask&)> holdsStored;
    std::function<bool(const CKsTask&)> holdsDefault;
    wchar_t* KSTASKINFO::*text = nullptr;  // strings only
};

bool sameText(const wchar_t* a, const wchar_t* b) { return a && b && std::wcscmp(a, b) == 0; }

const KSTASKINFO& reference()
{
    static const KSTASKINFO record = makeFullRecord(KS_TASK_SCHEDULED);
    return record;
}

#define NUMBER_CASE(valueName, field, defaultValue, isMandatory)                                                      \
    ValueCase{valueName, #field, isMandatory,                                                                          \
              [](const CKsTask& t) { return t.field == reference().field; },                                           \
              [](const CKsTask& t) { return t.field == (defaultValue); }}

#define STRING_CASE(valueName, field, isMandatory)                                                                     \
    ValueCase{valueName, #field, isMandatory,                                                                          \
              [](const CKsTask& t) { return sameText(t.field, reference().field); },                                   \
              [](const CKsTask& t) { return t.field == nullptr; }, &KSTASKINFO::field}

std::vector<ValueCase> numberCases()
{
    return {
        NUMBER_CASE(V::TaskType, dwTaskType, 0u, true),
        NUMBER_CASE(V::NextRun, dwNextRun, 0u, true),
        NUMBER_CASE(V::DefaultFreq, dwDefaultFreq, 0u, true),
        NUMBER_CASE(V::TaskBatteryWise, dwBatteryWise, 0u, false),
        NUMBER_CASE(V::TaskMeteredAccessWise, dwMeteredAccessWise, 0u, false),
        NUMBER_CASE(V::DayOfWeekMask, dwDayOfWeekMask, 0u, false),
        NUMBER_CASE(V::Interval, dwInterval, 0u, false),
        NUMBER_CASE(V::Hour, dwHour, 0u, false),
        NUMBER_CASE(V::Minute, dwMinute, 0u, false),
        NUMBER_CASE(V::RunInUserContext, dwRunInUserContext, 0u, false),
        NUMBER_CASE(V::RepeatTask, dwRepeatTask, 0u, false),
        NUMBER_CASE(V::RunWhenIdle, dwRunWhenIdle, 0u, false),
        NUMBER_CASE(V::Priority, nPriority, -1, false),
        NUMBER_CASE(V::PresetId, dwPresetId, 0u, false),
        NUMBER_CASE(V::RunInRetailMode, dwRunInRetailMode, 1u, false),
    };
}

std::vector<ValueCase> stringCases()
{
    return {
        STRING_CASE(V::TaskTrigger, pwszTaskTrigger, true),
        STRING_CASE(V::TaskParams, pwszTaskParams, false),
        STRING_CASE(V::TaskEventName, pwszTaskEventName, false),
        STRING_CASE(V::User, pwszUser, false),
        STRING_CASE(V::Domain, pwszDomain, false),
        STRING_CASE(V::Appid, pwszAppid, false),
        STRING_CASE(V::RuleName, pwszRuleName, false),
        STRING_CASE(V::PresetCategory, pwszPresetCategory, false),
    };
}

using DamageCase = std::tuple<ValueCase, Damage>;

class DamagedValue : public kstest::RegistryFixture, public ::testing::WithParamInterface<DamageCase> {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        ASSERT_TRUE(storeTask(L"victim", reference()));
        ASSERT_TRUE(storeFull(L"neighbour", KS_TASK_LOGON));
    }

    void damage(const ValueCase& value, Damage how)
    {
        const wchar_t* name = value.name;
        const std::wstring path = enabledPath(L"victim");
        RawValue raw = readRaw(path, name);
        ASSERT_EQ(raw.status, ERROR_SUCCESS);
        switch (how) {
        case Damage::missing:
            deleteRaw(path, name);
            break;
        case Damage::flippedByte:
            raw.bytes[KsStore::kProtectedHeaderBytes + 1] ^= 0x10;
            writeRaw(path, name, REG_BINARY, raw.bytes.data(), raw.bytes.size());
            break;
        case Damage::noTerminator: {
            // The same text, stored without its terminator: a complete value, not a damaged one.
            const std::wstring text = reference().*value.text;  // ASCII
            writeProtectedAnsi(path, name, std::string(text.begin(), text.end()), false);
            break;
        }
        }
    }
};

TEST_P(DamagedValue, RejectsTaskOrTakesDefault)
{
    const auto& [value, how] = GetParam();
    {
        CKsTask before(L"victim");
        ASSERT_TRUE(before.Read());
        ASSERT_TRUE(value.holdsStored(before));
        ASSERT_FALSE(value.holdsDefault(before)) << "the stored value must differ from the default";
    }
    damage(value, how);

    std::vector<std::wstring> names;
    ASSERT_EQ(KsStore::enumerateTaskNames(KsStore::TaskParent::enabled, names), 0u);
    ASSERT_EQ(names.size(), 2u);
    for (const std::wstring& name : names) {
        CKsTask task(name.c_str());
        const bool loaded = task.Read();
        if (name == L"neighbour")
            EXPECT_TRUE(loaded) << "a damaged task must not stop the others";
        else if (how == Damage::noTerminator)
            EXPECT_TRUE(loaded && value.holdsStored(task));
        else if (value.mandatory)
            EXPECT_FALSE(loaded);
        else
            EXPECT_TRUE(loaded && value.holdsDefault(task));
    }
}

std::string caseName(const ::testing::TestParamInfo<DamageCase>& info)
{
    return std::string(std::get<0>(info.param).label) + "_" + kDamageNames[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Numbers, DamagedValue,
                         ::testing::Combine(::testing::ValuesIn(numberCases()),
                                            ::testing::Values(Damage::missing, Damage::flippedByte)),
                         caseName);

INSTANTIATE_TEST_SUITE_P(Strings, DamagedValue,
                         ::testing::Combine(::testing::ValuesIn(stringCases()),
                                            ::testing::Values(Damage::missing, Damage::flippedByte,
                                                              Damage::noTerminator)),
                         caseName);

// TaskTrigType defaults to 0, and a stored 1 stops TaskParams from being read at all.
class TriggerType : public kstest::RegistryFixture {};

TEST_F(TriggerType, EventTriggerNeverLoadsParams)
{
    ASSERT_TRUE(storeTask(L"victim", reference()));
    writeProtectedDword(enabledPath(L"victim"), V::TaskTrigType, KS_TRIGGER_EVENT);
    CKsTask task(L"victim");
    ASSERT_TRUE(task.Read());
    EXPECT_EQ(task.dwTaskTrigType, static_cast<uint32_t>(KS_TRIGGER_EVENT));
    EXPECT_EQ(task.pwszTaskParams, nullptr);

    kstest::RegistryFixture::setDword(enabledPath(L"victim").c_str(), V::TaskTrigType, KS_TRIGGER_EVENT);
    CKsTask plain(L"victim");
    ASSERT_TRUE(plain.Read());
    EXPECT_EQ(plain.dwTaskTrigType, static_cast<uint32_t>(KS_TRIGGER_PROCESS)) << "a plain value is no value";
    EXPECT_TRUE(sameText(plain.pwszTaskParams, reference().pwszTaskParams));
}

} // namespace
