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

TEST_F(KeelworkLogger, DefaultHandlerGivesWayToAnyHandler)
{
    CLogger::Log(Keelwork::KW_LOG_INFORMATION, "f", "g", 1, L"to the debugger");
    EXPECT_EQ(CLogger::CurrentHandler(), CLogger::DefaultHandler());
    EXPECT_EQ(CLogger::RegisterHandler(&first), 0u);
    EXPECT_EQ(CLogger::CurrentHandler(), &first);
}

TEST_F(KeelworkLogger, NullHandlerIsInvalidParameter)
{
    ASSERT_EQ(CLogger::RegisterHandler(&first), 0u);
    EXPECT_EQ(CLogger::RegisterHandler(nullptr), 87u);
    EXPECT_EQ(CLogger::UnregisterHandler(nullptr), 87u);
    ASSERT_EQ(first.records.size(), 2u);
    EXPECT_EQ(first.records[0].text, systemText(87) + L": Cannot Register (NULL) handler");
    EXPECT_EQ(first.records[1].text, systemText(87) + L": Cannot Unregister (NULL) handler");
    EXPECT_EQ(CLogger::CurrentHandler(), &first);
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

TEST_F(KeelworkLogger, LogFormatsAnyLengthAndSkipsLevelZero)
{
    ASSERT_EQ(CLogger::RegisterHandler(&first), 0u);
    std::wstring longText(3000, L'k');
    CLogger::Log(Keelwork::KW_LOG_NONE, "f", "g", 1, L"dropped");
    CLogger::Log(Keelwork::KW_LOG_INFORMATION, "f", "g", 1, L"%s|%hs|%lu", longText.c_str(), "narrow", 42ul);
    ASSERT_EQ(first.records.size(), 1u);
    EXPECT_EQ(first.records[0].level, 1u);
    EXPECT_EQ(first.records[0].text, longText + L"|narrow|42");
}

struct DefaultLineCase {
    uint32_t level;
    const wchar_t* expected;
};

class DefaultHandlerLine : public ::testing::TestWithParam<DefaultLineCase> {};

TEST_P(DefaultHandlerLine, FormatNamesLevel)
{
    EXPECT_EQ(Keelwork::CDefaultLoggingHandler::formatLine(GetParam().level, "RegKey.cpp", "Keelwork::CRegKey::open",
                                                           57, L"Invalid handle."),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, DefaultHandlerLine,
    ::testing::Values(DefaultLineCase{1, L"RegKey.cpp(57): [INFO]: [Keelwork::CRegKey::open]: Invalid handle.\n"},
                      DefaultLineCase{2, L"RegKey.cpp(57): [ERROR]: [Keelwork::CRegKey::open]: Invalid handle.\n"},
                      DefaultLineCase{3, L"RegKey.cpp(57): [UNKNOWN]: [Keelwork::CRegKey::open]: Invalid handle.\n"}));

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
                                           BridgeCase{2, L"-- (Error)$"}, BridgeCase{3, L"-- (Warning)$"},
                                           BridgeCase{7, L"-- (Warning)$"}));

// Level 0 writes nothing, so its mapping is only visible here.
TEST(KeelworkBridgeLevels, LevelZeroMapsToNormal)
{
    EXPECT_EQ(ETWLogging::CKeelworkLogHandler::mapLevel(0), 1u);
}

TEST_F(KeelworkLogger, BridgeUnregistersOnDestruction)
{
    {
        ETWLogging::CKeelworkLogHandler bridge;
        ASSERT_EQ(CLogger::RegisterHandler(&bridge), 0u);
    }
    EXPECT_EQ(CLogger::CurrentHandler(), nullptr);
}

} // namespace
