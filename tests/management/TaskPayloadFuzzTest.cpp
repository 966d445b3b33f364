// Seeded fuzzing of create, modify and query with random and mutated payloads: every call
// returns, nothing crashes, and the store stays readable afterwards.
#include "ManagementTestSupport.h"
#include "management/TaskManagement.h"
#include "message/JSONFormatter.h"
#include "store/TaskEnumeration.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kSeed = 20261205;
constexpr int kPayloads = 100000;

class PayloadGenerator {
public:
    explicit PayloadGenerator(uint32_t seed) : m_rng(seed) {}

    std::wstring next()
    {
        // Mostly payloads that fail early; one in eight is built to reach the store.
        switch (pick(8)) {
        case 0: case 1: case 2: return randomText(pick(64));
        case 3: case 4: case 5: return mutate(base());
        case 6: return withOddValue();
        default: return withRandomWords();
        }
    }

private:
    size_t pick(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(m_rng) : 0; }

    wchar_t randomChar()
    {
        static const wchar_t kAlphabet[] = L"{}[]\":,\\ \t\n0123456789-+.eEtrufalsn/abcxyzAZ\u00e9\u4e2d\xd800\xdc00\x01";
        return kAlphabet[pick(sizeof(kAlphabet) / sizeof(wchar_t) - 1)];
    }

    std::wstring randomText(size_t length)
    {
        std::wstring text;
        for (size_t i = 0; i < length; ++i)
            text += randomChar();
        return text;
    }

    std::wstring base()
    {
        static const std::array<std::wstring, 3> kBases = {
            mgmttest::fullTaskPayload(),
            L"{\"taskType\":\"scheduled\",\"taskTrigger\":\"C:\\\\t.exe\",\"hour\":\"3\",\"enabled\":\"false\"}",
            L"{\"taskType\":\"preset\",\"taskTrigger\":\"e\",\"triggerType\":\"event\",\"presetCategory\":\"c\",\"presetId\":\"1\"}"};
        return kBases[pick(kBases.size())];
    }

    std::wstring mutate(std::wstring text)
    {
        for (size_t edits = 1 + pick(4); edits > 0 && !text.empty(); --edits) {
            const size_t at = pick(text.size());
            switch (pick(4)) {
            case 0: text[at] = randomChar(); break;
            case 1: text.erase(at, 1 + pick(8)); break;
            case 2: text.insert(at, randomText(1 + pick(8))); break;
            default: text.insert(at, text.substr(at, 1 + pick(16))); break;
            }
        }
        return text;
    }

    // A valid payload with one member given as a value of another kind, a very long text or a
    // deep nest of brackets.
    std::wstring withOddValue()
    {
        static const wchar_t* kKeys[] = {L"taskType", L"hour", L"taskTrigger", L"daysOfWeek", L"enabled", L"adminWise"};
        std::wstring value;
        switch (pick(5)) {
        case 0: value = std::to_wstring(static_cast<long long>(m_rng()) - 2147483648LL); break;
        case 1: value = L"[\"" + randomText(4) + L"\"]"; break;
        case 2: value = L"\"" + std::wstring(1 + pick(6000), L'x') + L"\""; break;
        case 3: {
            const size_t depth = 1 + pick(3000);
            value = std::wstring(depth, L'[') + std::wstring(pick(2) ? depth : depth / 2, L']');
            break;
        }
        default: value = L"{\"a\":null}"; break;
        }
        std::wstring text = base();
        return text.insert(1, L"\"" + std::wstring(kKeys[pick(6)]) + L"\":" + value + L",");
    }

    // A payload of table members whose texts come from valid and invalid words, so many reach
    // the store.
    std::wstring withRandomWords()
    {
        static const wchar_t* kKeys[] = {L"taskType", L"triggerType", L"interval", L"priority", L"hour", L"minute",
                                         L"daysOfWeek", L"repeat", L"metroModeWise", L"nextRun", L"presetId",
                                         L"cmdParams", L"enabled", L"userName"};
        static const wchar_t* kWords[] = {L"scheduled", L"custom", L"reboot", L"logon", L"once", L"event", L"process",
                                          L"weekly", L"lastInMonth", L"default", L"realtime", L"true", L"false",
                                          L"135", L"0", L"-1", L"4294967296", L" 12x", L"", L"Scheduled", L"8"};
        std::wstring text = L"{\"taskTrigger\":\"C:\\\\w.exe\"";
        for (size_t members = pick(8); members > 0; --members)
            text += L",\"" + std::wstring(kKeys[pick(14)]) + L"\":\"" + kWords[pick(21)] + L"\"";
        return text + L"}";
    }

    std::mt19937 m_rng;
};

class TaskPayloadFuzz : public kstest::RegistryFixture {};

TEST_F(TaskPayloadFuzz, RandomAndMutatedPayloadsLeaveAReadableStore)
{
    const std::array<std::wstring, 3> names = {L"fuzz0", L"Fuzz1", L"fuzz2"};
    Orbis::TaskManagement tasks;
    PayloadGenerator generator(kSeed);
    int created = 0;
    int refused = 0;
    int modified = 0;
    for (int i = 0; i < kPayloads; ++i) {
        const std::wstring payload = generator.next();
        const std::wstring& name = names[i % names.size()];
        if (tasks.createTask(name, payload))
            ++created;
        else
            ++refused;
        if (i % 16 == 0 && tasks.modifyTask(name, payload))
            ++modified;
        if (i % 32 == 0) {
            std::wstring text;
            if (tasks.queryTask(name, text)) {
                Tessel::JSONFormatter json;
                ASSERT_TRUE(json.parse(text)) << "seed " << kSeed << " payload " << i;
            }
        }
    }
    // The generator must reach both the refusals and the store, or the run proves little.
    EXPECT_GT(created, 1000);
    EXPECT_GT(refused, kPayloads / 2);
    EXPECT_GT(modified, 100);

    for (KsStore::TaskParent parent : {KsStore::TaskParent::enabled, KsStore::TaskParent::disabled}) {
        std::vector<std::wstring> listed;
        EXPECT_EQ(KsStore::enumerateTaskNames(parent, listed), 0u);
        for (const std::wstring& name : listed) {
            std::wstring text;
            if (tasks.queryTask(name, text)) {
                Tessel::JSONFormatter json;
                EXPECT_TRUE(json.parse(text)) << text;
                std::wstring enabled;
                EXPECT_TRUE(json.getString(L"enabled", enabled)) << text;
            }
        }
    }
    // A valid create still works on the store the fuzzing left behind, once the name's enabled and
    // disabled copies are gone (a disabled copy would answer the query).
    for (int copies = 0; copies < 2 && tasks.deleteTask(L"fuzz0"); ++copies) {
    }
    EXPECT_TRUE(tasks.createTask(L"fuzz0", mgmttest::fullTaskPayload()));
    std::wstring text;
    ASSERT_TRUE(tasks.queryTask(L"fuzz0", text));
    EXPECT_EQ(text, mgmttest::fullTaskQuery(L"fuzz0"));
}

} // namespace
