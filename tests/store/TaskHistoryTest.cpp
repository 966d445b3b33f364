// Task history: what goes in comes out newest first, 50 at most; a damaged value reads as empty;
// the history leaves with its task; the key is closed to everyone but SYSTEM and Administrators.
#include "ExpectLogged.h"
#include "KeySecurity.h"
#include "RegistryFixture.h"
#include "StoreTestSupport.h"

#include "store/TaskHistory.h"


#include <algorithm>
#include <iterator>

namespace {

using namespace storetest;
using KsStore::HistoryEntry;
using KsStore::HistoryEvent;
namespace History = KsStore::TaskHistory;

const std::wstring kHistoryPath = KsStore::kSchedulerHistoryKeyPath;
constexpr const wchar_t* kValue = L"nightly scan";

// time, event, exit code known, result, exitCode, durationMs, code, delay, errorCode, cpuMs, peak
const HistoryEntry kEntries[] = {
    {1700000000, HistoryEvent::launched, true, 0, 3, 1250, 0, 0, 0, 312, 70u << 20},
    {1700000030, HistoryEvent::stopped, false, 0, 0, 2000, 1, 0, 0, 0, std::nullopt},
    {1700000060, HistoryEvent::launched, false, 0, 0, 0, 0, 0, 0},
    {1700000120, HistoryEvent::deferred, false, 0, 0, 0, 1, 300, 0},
    {1700000180, HistoryEvent::refused, false, 0, 0, 0, 10, 3600, 5},
    {1700000240, HistoryEvent::failed, false, 1359, 0, 0, 8, 60, 1359},
    {0xFFFFFFFF, HistoryEvent::launched, true, 0xFFFFFFFF, 0xC0000005, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
};

class TaskHistory : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        ASSERT_TRUE(storeFull(L"Nightly Scan"));
    }

    static HistoryEntry at(uint32_t time) { return {time, HistoryEvent::deferred, false, 0, 0, 0, 3, 60, 0}; }
};

TEST_F(TaskHistory, GivesBackEveryKindNewestFirstUnderTheTasksKeyName)
{
    for (const HistoryEntry& e : kEntries)
        ASSERT_TRUE(History::append(L"Nightly Scan", e));

    const KsStore::HistoryRead all = History::read(L"NIGHTLY scan");
    EXPECT_FALSE(all.damaged);
    EXPECT_TRUE(std::equal(all.entries.begin(), all.entries.end(), std::rbegin(kEntries), std::rend(kEntries)));
    EXPECT_EQ(all.entries.size(), std::size(kEntries));
    EXPECT_EQ(History::read(L"Nightly Scan", 2).entries, (std::vector<HistoryEntry>{kEntries[6], kEntries[5]}));

    EXPECT_EQ(valueNames(kHistoryPath), std::vector<std::wstring>{kValue});
    const kstest::RawValue raw = readRaw(kHistoryPath, kValue);
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(raw.bytes.size(), KsStore::kProtectedOverheadBytes + 8 + 40 * std::size(kEntries));
}

void resealed(kstest::RawValue& v, void (*change)(std::vector<uint8_t>&));

// A history written before the tree's usage was kept: 32-byte entries under version 1.
TEST_F(TaskHistory, AFirstVersionValueStillReadsAndTheNextAppendKeepsItsEntries)
{
    ASSERT_TRUE(History::append(L"Nightly Scan", at(1)) && History::append(L"Nightly Scan", kEntries[0]));
    kstest::RawValue v = readRaw(kHistoryPath, kValue);
    resealed(v, [](std::vector<uint8_t>& p) {
        p[4] = 1;
        for (size_t entry = 2; entry-- > 0;) {
            p[8 + entry * 40 + 5] &= 1;
            p.erase(p.begin() + static_cast<ptrdiff_t>(8 + entry * 40 + 32), p.begin() + static_cast<ptrdiff_t>(8 + entry * 40 + 40));
        }
    });
    writeRaw(kHistoryPath, kValue, v.type, v.bytes.data(), v.bytes.size());
    HistoryEntry withoutUsage = kEntries[0];
    withoutUsage.cpuMs = withoutUsage.peakMemoryBytes = std::nullopt;
    EXPECT_EQ(History::read(L"Nightly Scan").entries, (std::vector<HistoryEntry>{withoutUsage, at(1)}));
    ASSERT_TRUE(History::append(L"Nightly Scan", kEntries[1]));
    EXPECT_EQ(History::read(L"Nightly Scan").entries, (std::vector<HistoryEntry>{kEntries[1], withoutUsage, at(1)}));
}

TEST_F(TaskHistory, KeepsTheNewestFifty)
{
    for (uint32_t t = 1; t <= 120; ++t)
        ASSERT_TRUE(History::append(L"Nightly Scan", at(t)));
    for (size_t wanted : {size_t{200}, size_t{50}, size_t{20}, size_t{0}}) {
        std::vector<HistoryEntry> expected;
        for (uint32_t t = 120; t > 120 - std::min<size_t>(wanted, 50); --t)
            expected.push_back(at(t));
        EXPECT_EQ(History::read(L"Nightly Scan", wanted).entries, expected) << wanted;
    }
}

TEST_F(TaskHistory, IsKeptOnlyForAStoredTaskAndMovesWithIt)
{
    EXPECT_FALSE(History::append(L"Never Stored", at(1)));
    EXPECT_EQ(readRaw(kHistoryPath, L"never stored").status, ERROR_FILE_NOT_FOUND);

    ASSERT_TRUE(History::append(L"Nightly Scan", at(1)));
    CKsTask task(L"Nightly Scan");
    ASSERT_TRUE(task.Read() && task.Disable());
    EXPECT_TRUE(History::append(L"Nightly Scan", at(2)));
    ASSERT_TRUE(task.Enable());
    EXPECT_EQ(History::read(L"Nightly Scan").entries, (std::vector<HistoryEntry>{at(2), at(1)}));
}

TEST_F(TaskHistory, LeavesWithItsTaskOnly)
{
    ASSERT_TRUE(storeFull(L"Paused") && storeFull(L"Kept"));
    CKsTask paused(L"Paused");
    ASSERT_TRUE(paused.Read() && paused.Disable());
    for (const wchar_t* name : {L"Nightly Scan", L"Paused", L"Kept"})
        ASSERT_TRUE(History::append(name, at(7)));

    for (const wchar_t* name : {L"Nightly Scan", L"Paused"}) {
        CKsTask task(name);
        ASSERT_TRUE(task.Read() && task.Delete());
    }
    EXPECT_EQ(valueNames(kHistoryPath), std::vector<std::wstring>{L"kept"});
    EXPECT_FALSE(History::append(L"Paused", at(8))) << "a run that ends after its task was deleted";
    EXPECT_TRUE(History::remove(L"Kept"));
    EXPECT_TRUE(History::remove(L"Kept")) << "already gone";
    EXPECT_TRUE(valueNames(kHistoryPath).empty());
}

// --- Damage -------------------------------------------------------------------------------------

// Re-enciphers the value after changing its plain bytes, so only the history's own checks see it.
void resealed(kstest::RawValue& v, void (*change)(std::vector<uint8_t>&))
{
    std::vector<uint8_t> plain(KsStore::kMaxProtectedDataBytes);
    size_t size = 0;
    ASSERT_EQ(KsStore::decodeProtectedValue(v.bytes.data(), v.bytes.size(), REG_BINARY, plain.data(), &size), 0u);
    plain.resize(size);
    change(plain);
    v.bytes.resize(plain.size() + KsStore::kProtectedOverheadBytes);
    KsStore::encodeProtectedValue(REG_BINARY, plain.data(), plain.size(), v.bytes.data());
}

using Damage = std::pair<const char*, void (*)(kstest::RawValue&)>;

const Damage kDamage[] = {
    {"WrongType", [](kstest::RawValue& v) { v.type = REG_DWORD; v.bytes.resize(4); }},
    {"Empty", [](kstest::RawValue& v) { v.bytes.clear(); }},
    {"CutShort", [](kstest::RawValue& v) { v.bytes.pop_back(); }},
    {"TooLong", [](kstest::RawValue& v) { v.bytes.resize(KsStore::kMaxProtectedBlobBytes + 1); }},
    {"FlippedByte", [](kstest::RawValue& v) { v.bytes[30] ^= 0x04; }},
    {"OtherMagic", [](kstest::RawValue& v) { resealed(v, [](std::vector<uint8_t>& p) { p[1] = 'x'; }); }},
    {"OtherVersion", [](kstest::RawValue& v) { resealed(v, [](std::vector<uint8_t>& p) { p[4] = 3; }); }},
    {"CountBeyondSize", [](kstest::RawValue& v) { resealed(v, [](std::vector<uint8_t>& p) { p[6] = 3; }); }},
    {"FirstVersionSize", [](kstest::RawValue& v) { resealed(v, [](std::vector<uint8_t>& p) { p[4] = 1; }); }},
    {"EntryCut", [](kstest::RawValue& v) { resealed(v, [](std::vector<uint8_t>& p) { p.pop_back(); }); }},
    {"UnknownEvent", [](kstest::RawValue& v) { resealed(v, [](std::vector<uint8_t>& p) { p[8 + 40 + 4] = 5; }); }},
    {"UnknownFlag", [](kstest::RawValue& v) { resealed(v, [](std::vector<uint8_t>& p) { p[8 + 5] = 8; }); }},
};

class DamagedHistory : public TaskHistory, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedHistory, ReadsAsEmptyWithAWarningAndTheNextAppendStartsAfresh)
{
    ASSERT_TRUE(History::append(L"Nightly Scan", kEntries[0]) && History::append(L"Nightly Scan", kEntries[2]));
    kstest::RawValue v = readRaw(kHistoryPath, kValue);
    GetParam().second(v);
    writeRaw(kHistoryPath, kValue, v.type, v.bytes.data(), v.bytes.size());
    kstest::LogCapture capture;

    const KsStore::HistoryRead read = History::read(L"Nightly Scan");
    EXPECT_TRUE(read.damaged);
    EXPECT_TRUE(read.entries.empty());
    EXPECT_LOGGED(capture, ::ETWLogging::LOG_LEVEL_WARNING,
                  L"The history of task nightly scan is damaged and is read as empty");

    ASSERT_TRUE(History::append(L"Nightly Scan", kEntries[3]));
    const KsStore::HistoryRead fresh = History::read(L"Nightly Scan");
    EXPECT_FALSE(fresh.damaged);
    EXPECT_EQ(fresh.entries, std::vector<HistoryEntry>{kEntries[3]});
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedHistory, ::testing::ValuesIn(kDamage),
                         [](const auto& info) { return std::string(info.param.first); });

// --- Security -----------------------------------------------------------------------------------

// Wine does not apply a descriptor given to RegCreateKeyExW; what is checked here is the one the
// key carries once the first append has created it, and Wine does enforce that one on open.
TEST_F(TaskHistory, KeyIsClosedToAllButSystemAndAdministrators)
{
    ASSERT_TRUE(History::append(L"Nightly Scan", at(1)));
    EXPECT_EQ(kstest::daclText(kHistoryPath.c_str()), L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)");
    // A member of Users and Everyone who is no administrator: refused here, let into the task's key.
    EXPECT_EQ(kstest::openAsNonAdministrator(kHistoryPath.c_str()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(kstest::openAsNonAdministrator(enabledPath(kValue).c_str()), ERROR_SUCCESS);
}

} // namespace
