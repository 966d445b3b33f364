// A task's identity: the one form its name takes in the store and wherever it is looked up, the
// same whatever locale the calling thread has.
#include "ThreadLocale.h"

#include "common/WinInclude.h"
#include "store/TaskMemory.h"
#include "store/TaskName.h"

#include <gtest/gtest.h>

namespace {

using KsStore::TaskIdentity;
using KsStore::TaskNameFault;

struct IdentityCase {
    const char* label;
    std::wstring name;
    std::wstring key;  // the stored form, for a valid name
    TaskNameFault fault;
};

void PrintTo(const IdentityCase& row, std::ostream* out) { *out << row.label; }

class Identity : public ::testing::TestWithParam<IdentityCase> {
protected:
    // The rows are written for the system code page the test prefix has: Western European.
    void SetUp() override { ASSERT_EQ(::GetACP(), 1252u) << "the rows assume code page 1252"; }
};

TEST_P(Identity, FollowsTheStoresRuleWhateverTheThreadLocale)
{
    const IdentityCase& row = GetParam();
    const TaskIdentity identity(row.name);
    EXPECT_EQ(identity.fault(), row.fault);
    EXPECT_EQ(identity.valid(), row.fault == TaskNameFault::none);
    if (identity.valid())
        EXPECT_EQ(identity.key(), row.key);
    else
        EXPECT_NE(std::wstring(KsStore::taskNameFaultSentence(row.fault)), L"");

    kstest::OtherThreadLocale locale;
    const TaskIdentity elsewhere(row.name);
    EXPECT_EQ(elsewhere.key(), identity.key());
    EXPECT_EQ(elsewhere.fault(), identity.fault());
}

INSTANTIATE_TEST_SUITE_P(
    Names, Identity,
    ::testing::Values(
        IdentityCase{"Ascii", L"nightly report", L"nightly report", TaskNameFault::none},
        IdentityCase{"MixedCase", L"Nightly REPORT", L"nightly report", TaskNameFault::none},
        // Only A-Z are lower-cased; a letter of the code page keeps its case and its form.
        IdentityCase{"CodePageLetters", L"Caf\u00c9 caf\u00e9", L"caf\u00c9 caf\u00e9", TaskNameFault::none},
        IdentityCase{"OutsideTheCodePage", L"Bug \u0436\u0443\u043a", L"bug ???", TaskNameFault::none},
        IdentityCase{"OutsideTheBmp", L"smile \U0001F600", L"smile ??", TaskNameFault::none},
        IdentityCase{"Nul", std::wstring(L"say \"hi\" now\0zzz", 16), L"", TaskNameFault::containsNul},
        IdentityCase{"Empty", L"", L"", TaskNameFault::empty},
        IdentityCase{"LongestKept", std::wstring(127, L'X'), std::wstring(127, L'x'), TaskNameFault::none},
        IdentityCase{"TooLong", std::wstring(128, L'x'), L"", TaskNameFault::tooLong},
        IdentityCase{"LongestKeptOutsideTheCodePage", std::wstring(127, L'\u0436'), std::wstring(127, L'?'),
                     TaskNameFault::none},
        IdentityCase{"Backslash", L"a\\b", L"", TaskNameFault::notOneKey}),
    [](const auto& info) { return std::string(info.param.label); });

// What is kept of a task is dropped by a change under any name its one key holds: the registry
// folds the case of every letter, not only A-Z.
TEST(TaskMemoryNames, AChangeUnderAnyCaseOfTheKeysNameDropsWhatWasKept)
{
    const KsStore::TaskMemory::Hold memory;
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"weekly scan", L"WEEKLY SCAN"}, {L"\u00c9t\u00e9", L"\u00e9T\u00c9"}, {L"smile \U0001F600", L"SMILE \U0001F600"}};
    for (const auto& [kept, changed] : rows) {
        const uint64_t generation = KsStore::TaskMemory::generation(kept);
        KsStore::TaskMemory::keep(kept, generation, KsStore::TaskPicture{.nextRun = 7});
        ASSERT_TRUE(KsStore::TaskMemory::held(kept, generation));
        KsStore::TaskMemory::changed(changed);
        EXPECT_FALSE(KsStore::TaskMemory::held(kept, KsStore::TaskMemory::generation(kept))) << changed;
    }
}

} // namespace
