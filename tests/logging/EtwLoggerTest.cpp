// The ETW logger: the event it emits for a line (header, packed record, UTF-8 message, cut),
// its level test, and its configuration from the registry.
#include "RegistryFixture.h"

#include "logging/EtwEvent.h"
#include "logging/EtwLogging.h"
#include "common/MessageFormat.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>

using namespace ETWLogging;

namespace {

// Reads the packed record back field by field.
class RecordReader {
public:
    explicit RecordReader(const std::vector<unsigned char>& bytes) : m_bytes(bytes) {}
    template <typename T>
    T number()
    {
        T value{};
        if (m_pos + sizeof value <= m_bytes.size())
            std::memcpy(&value, m_bytes.data() + m_pos, sizeof value);
        m_pos += sizeof value;
        return value;
    }
    std::wstring text()
    {
        uint16_t count = number<uint16_t>();
        std::wstring value(count, L'\0');
        if (m_pos + count * 2 <= m_bytes.size())
            std::memcpy(value.data(), m_bytes.data() + m_pos, count * 2);
        m_pos += count * 2;
        return value;
    }
    bool atEnd() const { return m_pos == m_bytes.size(); }

private:
    const std::vector<unsigned char>& m_bytes;
    size_t m_pos = 0;
};

EtwEventFields sampleFields()
{
    EtwEventFields f;
    f.processId = 4242;
    f.threadId = 77;
    f.processImageName = L"svchost.exe";
    f.file = "SingleTask.cpp";
    f.function = "CSingleTask::Launch";
    f.line = 312;
    f.fileVersion = L"2.1.0.5";
    f.productVersion = L"2.1.0.0";
    f.group = L"TaskScheduler";
    return f;
}

TEST(EtwEvent, PackedRecordHoldsFieldsInOrderThenMessageLength)
{
    const std::wstring message = L"Gr\u00FC\u00DFe \u20AC";
    EtwEventPayload payload = buildEtwEventPayload(sampleFields(), message);
    RecordReader r(payload.record);
    EXPECT_EQ(r.number<uint32_t>(), 4242u);
    EXPECT_EQ(r.number<uint32_t>(), 77u);
    EXPECT_EQ(r.text(), L"svchost.exe");
    EXPECT_EQ(r.text(), L"SingleTask.cpp");
    EXPECT_EQ(r.text(), L"CSingleTask::Launch");
    EXPECT_EQ(r.number<uint32_t>(), 312u);
    EXPECT_EQ(r.text(), L"2.1.0.5");
    EXPECT_EQ(r.text(), L"2.1.0.0");
    EXPECT_EQ(r.text(), L"TaskScheduler");
    EXPECT_EQ(r.number<uint64_t>(), payload.utf8Message.size());
    EXPECT_TRUE(r.atEnd());
    EXPECT_EQ(payload.utf8Message, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC");
}

TEST(EtwEvent, HeaderCarriesFlagsClassAndBothParts)
{
    EtwEventPayload payload = buildEtwEventPayload(sampleFields(), L"hello");
    EtwTraceEvent event;
    fillEtwTraceEvent(event, 4, payload);
    EXPECT_EQ(event.header.Size, sizeof event);
    EXPECT_EQ(event.header.Flags, 0x120000u);
    const GUID expected{0xCD1DAAD0, 0x54CC, 0x11E0, {0xB8, 0xAF, 0x08, 0x00, 0x20, 0x0C, 0x9A, 0x66}};
    EXPECT_EQ(std::memcmp(&event.header.Guid, &expected, sizeof expected), 0);
    EXPECT_EQ(event.header.Class.Type, 1);
    EXPECT_EQ(event.header.Class.Version, 2);
    EXPECT_EQ(event.header.Class.Level, 4);
    EXPECT_EQ(event.parts[0].DataPtr, reinterpret_cast<ULONG64>(payload.record.data()));
    EXPECT_EQ(event.parts[0].Length, payload.record.size());
    EXPECT_EQ(event.parts[1].DataPtr, reinterpret_cast<ULONG64>(payload.utf8Message.data()));
    EXPECT_EQ(event.parts[1].Length, 5u);
}

class EtwEventLevel : public ::testing::TestWithParam<std::pair<uint32_t, int>> {};

TEST_P(EtwEventLevel, LevelsOutsideOneToFiveBecomeThree)
{
    EtwEventPayload payload = buildEtwEventPayload(sampleFields(), L"m");
    EtwTraceEvent event;
    fillEtwTraceEvent(event, GetParam().first, payload);
    EXPECT_EQ(event.header.Class.Level, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Levels, EtwEventLevel,
                         ::testing::Values(std::pair{0u, 3}, std::pair{1u, 1}, std::pair{2u, 2}, std::pair{3u, 3},
                                           std::pair{4u, 4}, std::pair{5u, 5}, std::pair{6u, 3}, std::pair{99u, 3}));

std::wstring formatLimited(size_t limit, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = formatMessageLimited(format, args, limit);
    va_end(args);
    return text;
}

TEST(EtwEvent, MessageIsCutAt2080Characters)
{
    std::wstring longText(3000, L'q');
    EXPECT_EQ(formatLimited(kMaxMessageChars, L"%s!", longText.c_str()), longText.substr(0, 2080));
    std::wstring exact(2079, L'q');
    EXPECT_EQ(formatLimited(kMaxMessageChars, L"%s!", exact.c_str()), exact + L"!");
    EXPECT_EQ(formatLimited(kMaxMessageChars, L"%hs/%s", "narrow", L"wide"), L"narrow/wide");
}

TEST(EtwLogger, StartsOnWithThresholdThreeAndAlwaysPassesInformation)
{
    CETWLogging logger;
    EXPECT_FALSE(logger.isLogEnabled(1));
    EXPECT_FALSE(logger.isLogEnabled(2));
    EXPECT_TRUE(logger.isLogEnabled(3));
    EXPECT_TRUE(logger.isLogEnabled(5));
    logger.configure(true, 5);
    EXPECT_TRUE(logger.isLogEnabled(3));
    EXPECT_FALSE(logger.isLogEnabled(4));
    EXPECT_TRUE(logger.isLogEnabled(6));
    logger.configure(false, 1);
    EXPECT_FALSE(logger.isLogEnabled(3));
    EXPECT_FALSE(logger.isLogEnabled(5));
}

TEST(EtwLogger, InitializationCodes)
{
    EXPECT_EQ(CETWLogging().initialize(L"", nullptr, nullptr), 87u);
    EXPECT_EQ(CETWLogging().close(), 20002u);
    CETWLogging logger;
    EXPECT_EQ(logger.initialize(L"grp", nullptr, nullptr), 0u);
    EXPECT_EQ(logger.initialize(L"grp", nullptr, nullptr), 20001u);
    EXPECT_EQ(logger.close(), 0u);
}

class EtwConfiguration : public kstest::RegistryFixture {};

TEST_F(EtwConfiguration, SeverityAndEnableComeFromLoggingKey)
{
    setDword(L"SOFTWARE\\Kestrel\\Logging", L"Severity", 9);
    CETWLogging logger;
    CETWConfigurationListener().readConfiguration(logger);
    EXPECT_FALSE(logger.isLogEnabled(5));
    EXPECT_TRUE(logger.isLogEnabled(6));

    setDword(L"SOFTWARE\\Kestrel\\Logging", L"Severity", 0);
    CETWConfigurationListener().readConfiguration(logger);
    EXPECT_TRUE(logger.isLogEnabled(1));

    setDword(L"SOFTWARE\\Kestrel\\Logging", L"Enable", 0);
    CETWConfigurationListener().readConfiguration(logger);
    EXPECT_FALSE(logger.isLogEnabled(5));
}

TEST_F(EtwConfiguration, MissingKeyKeepsDefaults)
{
    CETWLogging logger;
    logger.configure(false, 6);
    CETWConfigurationListener().readConfiguration(logger);
    EXPECT_FALSE(logger.isLogEnabled(2));
    EXPECT_TRUE(logger.isLogEnabled(4));
}

} // namespace
