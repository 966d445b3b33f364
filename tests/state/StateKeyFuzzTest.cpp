// Damaged values in the state key, made from values the real writer wrote: each read keeps what is
// intact, leaves the damaged value out with a Warning, and allocates no more than the value is long.
#include "AllocationWatch.h"
#include "ByteMutations.h"
#include "LogFileReader.h"
#include "RegistryFixture.h"
#include "TestClock.h"

#include "state/MirroredState.h"
#include "state/StateKey.h"
#include "state/StateMirror.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

namespace {

using namespace kstest;
using namespace KsState;

struct StateKeyFuzz : RegistryFixture {
    void SetUp() override
    {
        RegistryFixture::SetUp();
        const TaskState task{true, false, TaskHold{HoldReason::idle, 1800000000, 1800000600},
                             LaunchOutcome{1800000001, 0, 7u, 1234}, DeferralOutcome{1800000005, 3, 300, 0}};
        ASSERT_EQ(StateMirror().write(EngineState{EnginePhase::running}, {{L"task", task}}), ERROR_SUCCESS);
        for (const wchar_t* name : {kEngineValueName, L"task"}) {
            const RawValue raw = readRaw(kStateKeyPath, name);
            m_real.emplace_back(name, Bytes(raw.bytes.begin(), raw.bytes.end()));
        }
    }
    TestClock m_clock;
    std::vector<std::pair<const wchar_t*, Bytes>> m_real;  // the engine's value, then the task's
};

size_t warningsIn(const LogCapture& log)
{
    const std::vector<std::wstring> lines = log.lines();
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [](const std::wstring& line) {
        return line.find(L"(Warning)") != std::wstring::npos && line.find(L"the state key is damaged") != std::wstring::npos;
    }));
}

// Every single-byte change of a real value decodes to a value or to nothing, and nothing else.
TEST_F(StateKeyFuzz, EverySingleByteChangeDecodesOrIsRefused)
{
    size_t refused = 0;
    for (const auto& [name, real] : m_real) {
        const bool isEngine = *name == L'\0';
        const size_t cases = forEachMutation(real, everyByteChange(), 2000, 2 * real.size(), [&](const Bytes& data) {
            const size_t largest = largestAllocation([&] {
                refused += (isEngine ? decodeEngine(data).has_value() : decodeTask(data).has_value()) ? 0 : 1;
            });
            EXPECT_EQ(largest, 0u);
        });
        std::cout << "state value decode fuzz, " << (isEngine ? "engine" : "task") << ": " << cases
                  << " cases, 0 crashes\n";
    }
    EXPECT_GT(refused, 0u);
}

// Through the registry: what is damaged is left out with a Warning, and the read allocates no more
// than it does for an intact value or than the damaged value is long.
TEST_F(StateKeyFuzz, DamagedValuesAreLeftOutWithAWarningNeverOverAllocated)
{
    for (const auto& [name, real] : m_real) {
        const bool isEngine = *name == L'\0';
        size_t baseline = 0, damaged = 0;
        for (const Bytes& sample : {Bytes{}, real}) {
            writeRaw(kStateKeyPath, name, REG_BINARY, sample.data(), sample.size());
            MirroredState read;
            baseline = std::max(baseline, largestAllocation([&] { readMirroredState(read); }));
        }
        LogCapture log;
        const size_t cases = forEachMutation(real, kFewByteChanges, 100, 256, [&](const Bytes& data) {
            writeRaw(kStateKeyPath, name, REG_BINARY, data.data(), data.size());
            MirroredState read;
            LONG status = ERROR_GEN_FAILURE;
            const size_t largest = largestAllocation([&] { status = readMirroredState(read); });
            ASSERT_EQ(status, ERROR_SUCCESS);
            EXPECT_LE(largest, std::max(baseline, data.size())) << "value of " << data.size() << " bytes";
            const bool kept = isEngine ? read.present : read.tasks.count(L"task") == 1;
            damaged += kept ? 0 : 1;
            // A damaged task leaves the engine's state; a damaged engine value leaves nothing.
            EXPECT_EQ(read.present, !isEngine || kept);
            EXPECT_EQ(read.tasks.size(), kept ? 1u : 0u);
        });
        writeRaw(kStateKeyPath, name, REG_BINARY, real.data(), real.size());
        EXPECT_EQ(warningsIn(log), damaged);
        EXPECT_GT(damaged, cases / 2);
        std::cout << "state key read fuzz, " << (isEngine ? "engine" : "task") << " value: " << cases << " cases, "
                  << damaged << " left out, 0 crashes\n";
    }
}

} // namespace
