// The support library's logger: handler registration codes and messages, formatting, the default
// handler's line and the bridge into the process-wide logger.
#include "LogFileReader.h"

#include "common/WinInclude.h"
#include "logging/KeelworkLogHandler.h"
#include "common/KeelworkLogger.h"

#include <gtest/gtest.h>

#include <cstdio>

using Keelwork::CLogger;

namespace {

struct Record {
    uint32_t level;
    std::wstring text;
};

class CaptureHandler final : public Keelwork::ILoggingHandler {
public:
    void handle(uint32_t level, const char*, const char*, int, const wchar_t* text) override
    {
        records.push_back({level, text});
    }
    std::vector<Record> records;
};

std::wstring systemText(DWORD code)
{
    wchar_t buffer[512] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer, 512,
                             nullptr);
    std::wstring text(buffer, n);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

std::wstring hex(const void* p)
{
    wchar_t text[16];
    _snwprintf(text, 16, L"0x%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)));
    return text;
}

// Empties the handler slot for the test and puts the process's own handler back afterwards.
class KeelworkLogger : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = CLogger::CurrentHandler();
        if (saved) {
            ASSERT_EQ(CLogger::UnregisterHandler(saved), 0u);
        }
    }
    void TearDown() override
    {
        if (Keelwork::ILoggingHandler* current = CLogger::CurrentHandler()) {
            CLogger::UnregisterHandler(current);
        }
        if (saved)
            CLogger::RegisterHandler(saved);
    }
    Keelwork::ILoggingHandler* saved = nullptr;
    CaptureHandler first;
    CaptureHandler second;
};

TEST_F(KeelworkLogger, SecondHandlerIsRefusedAndFirstKept)
{
    ASSERT_EQ(CLogger::RegisterHandler(&first), 0u);
    EXPECT_EQ(CLogger::RegisterHandler(&first), 0u);
    EXPECT_EQ(CLogger::RegisterHandler(&second), 5023u);
    EXPECT_EQ(CLogger::CurrentHandler(), &first);
    ASSERT_EQ(first.records.size(), 1u);
    EXPECT_EQ(first.records[0].level, 2u);
    EXPECT_EQ(first.records[0].text, systemText(5023) + L": Registered Logging Handler " + hex(&first) +
                                         L" cannot be replaced with " + hex(&second));
    EXPECT_TRUE(second.records.empty());
}

TEST_F(KeelworkLogger, UnregisterOnlyTheRegisteredHandler)
{
    EXPECT_EQ(CLogger::UnregisterHandler(&first), 5023u);
    ASSERT_EQ(CLogger::UnregisterHandler(CLogger::DefaultHandler()), 0u);

    ASSERT_EQ(CLogger::RegisterHandler(&first), 0u);
    EXPECT_EQ(CLogger::UnregisterHandler(&second), 5023u);
    EXPECT_EQ(CLogger::CurrentHandler(), &first);
    ASSERT_EQ(first.records.size(), 1u);
    EXPECT_EQ(first.records[0].text, systemText(5023) + L": Failed to Unregister Logging handler (requested handler " +
                                         hex(&second) + L" != registered handler " + hex(&first) + L")");
    EXPECT_EQ(CLogger::UnregisterHandler(&first), 0u);
    EXPECT_EQ(CLogger::CurrentHandler(), nullptr);
}

// ---- The bridge into the process-wide file logger ----

struct BridgeCase {
    uint32_t keelworkLevel;
    const wchar_t* header; // null: nothing reaches the file (support level 0 writes nothing)
};

class KeelworkBridge : public ::testing::TestWithParam<BridgeCase> {};

TEST_P(KeelworkBridge, LinesReachFileLogWithMappedLevel)
{
    ASSERT_NE(dynamic_cast<ETWLogging::CKeelworkLogHandler*>(CLogger::CurrentHandler()), nullptr);
    kstest::LogCapture capture;
    CLogger::Log(GetParam().keelworkLevel, "monitored_reg_key.cpp", "Keelwork::monitored_reg_key::start", 9,
                 L"bridge line %lu", GetParam().keelworkLevel);
    std::wstring text = capture.text();
    if (!GetParam().header) {
        EXPECT_EQ(text.find(L"bridge line"), std::wstring::npos);
        return;
    }
    EXPECT_NE(text.find(std::wstring(GetParam().header) + L" bridge line " + std::to_wstring(GetParam().keelworkLevel) +
                        L"\r\n"),
              std::wstring::npos)
        << std::string(text.begin(), text.end());
}

INSTANTIATE_TEST_SUITE_P(Levels, KeelworkBridge,
                         ::testing::Values(BridgeCase{0, nullptr}, BridgeCase{1, L"-- (Normal)$"},
                                           BridgeCase{2, L"-- (Error)$"}, BridgeCase{3, L"-- (Warning)$"}));

} // namespace
