// Damaged task histories, made from a value the real writer wrote: under its seal every change is
// refused; with a valid seal over damaged bytes the read gives every entry or none, warns when it
// gives none, and allocates no more than the value is long.
#include "AllocationWatch.h"
#include "ByteMutations.h"
#include "LogFileReader.h"
#include "RegistryFixture.h"
#include "StoreTestSupport.h"

#include "store/ProtectedValueCodec.h"
#include "store/TaskHistory.h"

#include <algorithm>
#include <iostream>
#include <optional>

namespace {

using namespace kstest;
using KsStore::HistoryEntry;
using KsStore::HistoryEvent;
namespace History = KsStore::TaskHistory;

const std::wstring kHistoryPath = KsStore::kSchedulerHistoryKeyPath;
constexpr const wchar_t* kTask = L"Nightly Scan";
constexpr const wchar_t* kValue = L"nightly scan";
constexpr size_t kHeaderBytes = 8, kEntryBytes = 40;
// More entries than a power of two holds: a list grown one entry at a time would outgrow the value.
constexpr uint32_t kRealEntries = 33;

Bytes sealed(const Bytes& plain)
{
    Bytes blob(plain.size() + KsStore::kProtectedOverheadBytes);
    blob.resize(KsStore::encodeProtectedValue(REG_BINARY, plain.data(), plain.size(), blob.data()));
    return blob;
}

class TaskHistoryFuzz : public RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        ASSERT_TRUE(storetest::storeFull(kTask));
        for (uint32_t i = 0; i < kRealEntries; ++i)
            ASSERT_TRUE(History::append(kTask, {1700000000 + i, HistoryEvent(i % 5), i % 2 == 0, i, 7, 100, 3, 60, 0, i, i * 1024}));
        const RawValue raw = readRaw(kHistoryPath, kValue);
        m_blob.assign(raw.bytes.begin(), raw.bytes.end());
        m_plain.resize(KsStore::kMaxProtectedDataBytes);
        size_t size = 0;
        ASSERT_EQ(KsStore::decodeProtectedValue(m_blob.data(), m_blob.size(), REG_BINARY, m_plain.data(), &size), 0u);
        m_plain.resize(size);
    }

    // Reads the history after storing `blob`; counts damaged reads and checks what any read must hold.
    void readBack(const Bytes& blob, size_t baseline)
    {
        writeRaw(kHistoryPath, kValue, REG_BINARY, blob.data(), blob.size());
        KsStore::HistoryRead read;
        const size_t largest = largestAllocation([&] { read = History::read(kTask); });
        // An entry read takes more room than its stored form, but never more entries than the value holds.
        EXPECT_LE(largest, std::max(baseline, blob.size() / kEntryBytes * sizeof(HistoryEntry)))
            << "value of " << blob.size() << " bytes";
        m_damaged += read.damaged ? 1 : 0;
        m_chunkDamaged += read.damaged ? 1 : 0;
        if (++m_chunkCases == kChunk)
            checkWarnings();
        const size_t room = blob.size() < kHeaderBytes + KsStore::kProtectedOverheadBytes
                                ? 0
                                : (blob.size() - kHeaderBytes - KsStore::kProtectedOverheadBytes) / kEntryBytes;
        EXPECT_LE(read.entries.size(), std::min(room, KsStore::kMaxHistoryEntries));
        EXPECT_TRUE(!read.damaged || read.entries.empty());
        for (const HistoryEntry& entry : read.entries)
            EXPECT_LE(entry.event, HistoryEvent::stopped);
    }

    // The largest allocation of a read that finds nothing, and of one that finds damage.
    size_t baseline()
    {
        storetest::deleteRaw(kHistoryPath, kValue);
        const size_t absent = largestAllocation([] { History::read(kTask); });
        writeRaw(kHistoryPath, kValue, REG_BINARY, nullptr, 0);
        return std::max(absent, largestAllocation([] { History::read(kTask); }));
    }

    // Every damaged read since the last check logged its Warning. Checked in chunks: a capture
    // follows one rotation of the log file, and a chunk's lines fill less than one file.
    void checkWarnings()
    {
        const std::vector<std::wstring> lines = m_log->lines();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::wstring& line) {
                      return line.find(L"(Warning)") != std::wstring::npos &&
                             line.find(L"is damaged and is read as empty") != std::wstring::npos;
                  }), static_cast<std::ptrdiff_t>(m_chunkDamaged));
        m_log.emplace();
        m_chunkCases = m_chunkDamaged = 0;
    }

    static constexpr size_t kChunk = 300;
    Bytes m_blob, m_plain;
    size_t m_damaged = 0, m_chunkCases = 0, m_chunkDamaged = 0;
    std::optional<LogCapture> m_log;
};

// The seal: every truncation and single-byte change of the real value, and random bytes, are refused.
TEST_F(TaskHistoryFuzz, TheSealRefusesEveryChange)
{
    std::vector<uint8_t> plain(KsStore::kMaxProtectedDataBytes);
    size_t accepted = 0;
    const size_t cases = forEachMutation(m_blob, everyByteChange(), 2000, KsStore::kMaxProtectedBlobBytes + 8,
                                         [&](const Bytes& blob) {
        size_t size = 0;
        accepted += KsStore::decodeProtectedValue(blob.data(), blob.size(), REG_BINARY, plain.data(), &size) == 0;
    });
    EXPECT_EQ(accepted, 0u);
    std::cout << "history seal fuzz: " << cases << " cases, 0 crashes\n";
}

// Through the registry: damaged seals, and damaged bytes under a valid seal (a value that declares
// 65535 entries among them), read as a whole history or as an empty one with a Warning.
TEST_F(TaskHistoryFuzz, DamagedHistoriesReadWholeOrEmptyWithAWarningNeverOverAllocated)
{
    const size_t bound = baseline();
    m_log.emplace();
    size_t cases = forEachMutation(m_blob, kFewByteChanges, 50, 512, [&](const Bytes& blob) { readBack(blob, bound); });
    const size_t sealDamage = m_damaged;
    EXPECT_EQ(sealDamage, cases);
    cases += forEachMutation(m_plain, kFewByteChanges, 100, KsStore::kMaxProtectedDataBytes,
                             [&](const Bytes& plain) { readBack(sealed(plain), bound); });
    Bytes hugeCount(m_plain.begin(), m_plain.begin() + kHeaderBytes);
    hugeCount[6] = hugeCount[7] = 0xFF;
    readBack(sealed(hugeCount), bound);
    checkWarnings();
    EXPECT_GT(m_damaged, sealDamage + 1) << "damage under a valid seal is found too";
    EXPECT_LT(m_damaged, cases + 1) << "changed times and results still read";
    std::cout << "history read fuzz: " << cases + 1 << " cases, " << m_damaged << " read as damaged, 0 crashes\n";
}

} // namespace
