// Test support for driving MessageBus.dll through its raw table: loading it from beside the test
// program, a fixture holding one open handle, and recorders the bus's callbacks write into.
#pragma once

#include "common/UniqueHandle.h"
#include "busapi/MessageBusApi.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace bustest {

// Bound of every wait in these tests.
inline constexpr unsigned kWaitMs = 5000;

// What one callback saw.
struct Received {
    uint32_t threadId = 0;
    bool hasMessage = false;
    MessageOptions options{};
    std::wstring name;
    std::wstring alias;
    std::wstring payload;
    uint64_t replyIndex = 0;
    uint32_t status = 0;
};

// Collects callbacks; waitForCount is the event tests wait on.
class Recorder {
public:
    void add(Received received);
    bool waitForCount(size_t count, unsigned timeoutMs = kWaitMs);
    std::vector<Received> snapshot() const;
    size_t count() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Received> m_received;  // written under m_mutex
};

// Message trampoline recording into the Recorder given as context.
uint32_t __cdecl recordMessage(void* context, const MessageOptions* options, const wchar_t* name,
                               const wchar_t* alias, const wchar_t* payload);
// Reply trampoline recording into the Recorder given as reply context.
uint32_t __cdecl recordReply(void* context, uint64_t replyIndex, const MessageOptions* options,
                             const wchar_t* name, const wchar_t* alias, const wchar_t* payload, uint32_t status);

// A version-2 options record as a sender builds it: kind 1, version 2, default field, rest 0.
MessageOptions plainOptions();

// The library, loaded once per test program from the program's own folder.
struct BusLibrary {
    Keelwork::unique_hmodule module;
    const MessageBusFunctions* functions = nullptr;
    MessageBusGetVersionNumFn getVersionNum = nullptr;
    MessageBusGetVersionStrFn getVersionStr = nullptr;
    MessageBusCreateObjectFn createObject = nullptr;
    MessageBusReleaseObjectFn releaseObject = nullptr;
    std::wstring path;
};
const BusLibrary& busLibrary();

// Opens one handle per test and releases it (if the test has not) at the end.
class BusTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const MessageBusFunctions& bus() const { return *busLibrary().functions; }
    // Releases the fixture's handle now: drains and answers everything of it.
    uint32_t releaseHandle();

    uint32_t publish(const wchar_t* name, const wchar_t* payload, const MessageOptions& options = plainOptions());
    MessageBusSubscription subscribe(Recorder& recorder, const wchar_t* name);
    MessageBusSubscription subscribeFilter(Recorder& recorder, const wchar_t* pattern);

    MessageBusHandle m_handle = nullptr;
};

} // namespace bustest
