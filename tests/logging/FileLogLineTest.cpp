// The file logger's line layout, byte for byte: timestamp, header, Options fields, line end, cuts.
#include "LogFileReader.h"
#include "ScratchLogFolder.h"

#include "common/WinInclude.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cwchar>

using ETWLogging::CLogging;
using kstest::FixedClock;
using kstest::ScratchLogFolder;

namespace {

uint32_t writeFormatted(CLogging& logger, uint32_t level, const char* file, const char* function, int line,
                        const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    uint32_t rc = logger.writeLogV(level, file, function, line, format, args);
    va_end(args);
    return rc;
}

class FileLogLine : public ::testing::Test {
protected:
    void start(uint32_t options, const std::wstring& imagePath = L"C:\\bin\\svc.exe", HINSTANCE__* module = nullptr)
    {
        folder.setIni(L"", L"Options", std::to_wstring(options));
        logger = kstest::makeFileLogger(folder, clock, imagePath);
        ASSERT_EQ(logger->initialize(L"grp", module, L"h"), 0u);
    }
    std::wstring logFile() const { return logger->currentLogFilePath(); }
    std::wstring written() const { return kstest::readUtf16File(logFile()); }

    ScratchLogFolder folder;
    FixedClock clock;
    std::unique_ptr<CLogging> logger;
};

TEST_F(FileLogLine, ModuleNamesTheLogAndDropsImageField)
{
    start(16, L"C:\\bin\\svc.exe", GetModuleHandleW(nullptr));
    ASSERT_EQ(logger->writeLine(2, "f", "g", 1, L"File not found."), 0u);
    EXPECT_EQ(logger->logName(), L"logging_tests");
    EXPECT_EQ(written(), L"03/07/2024 02:05:09 PM$ -- (Warning)$ File not found.\r\n");
}

TEST_F(FileLogLine, LineEndAddedOnlyWhenMessageLacksNewline)
{
    start(0);
    ASSERT_EQ(logger->writeLine(4, "f", "g", 1, L"ends\n"), 0u);
    ASSERT_EQ(logger->writeLine(4, "f", "g", 1, L"ends crlf\r\n"), 0u);
    ASSERT_EQ(logger->writeLine(4, "f", "g", 1, L"plain\n."), 0u);
    EXPECT_EQ(written(), L"03/07/2024 02:05:09 PM$ -- (Error)$ ends\n"
                         L"03/07/2024 02:05:09 PM$ -- (Error)$ ends crlf\r\n"
                         L"03/07/2024 02:05:09 PM$ -- (Error)$ plain\n.\r\n");
}

TEST_F(FileLogLine, EmptyMessageAndLevelsOutsideRangeWriteNothing)
{
    start(16);
    EXPECT_EQ(logger->writeLine(0, "f", "g", 1, L"x"), 87u);
    EXPECT_EQ(logger->writeLine(7, "f", "g", 1, L"x"), 87u);
    EXPECT_EQ(logger->writeLine(3, "f", "g", 1, L""), 87u);
    EXPECT_TRUE(kstest::readFileBytes(logFile()).empty());
}

// ---- Header: 12-hour clock and level name ----

struct HeaderCase {
    uint32_t level;
    unsigned short hour;
    const wchar_t* expected;
};

class FileLogHeader : public FileLogLine, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(FileLogHeader, TwelveHourClockAndLevelName)
{
    start(0);
    clock.time = {2031, 12, 1, GetParam().hour, 0, 7};
    ASSERT_EQ(logger->writeLine(GetParam().level, "f", "g", 1, L"m"), 0u);
    EXPECT_EQ(written(), std::wstring(GetParam().expected) + L" m\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    LevelsAndHours, FileLogHeader,
    ::testing::Values(HeaderCase{1, 14, L"12/01/2031 02:00:07 PM$ -- (Normal)$"},
                      HeaderCase{2, 0, L"12/01/2031 12:00:07 AM$ -- (Warning)$"},
                      HeaderCase{3, 12, L"12/01/2031 12:00:07 PM$ -- (Information)$"},
                      HeaderCase{4, 13, L"12/01/2031 01:00:07 PM$ -- (Error)$"},
                      HeaderCase{5, 9, L"12/01/2031 09:00:07 AM$ -- (Critical)$"},
                      HeaderCase{6, 23, L"12/01/2031 11:00:07 PM$ -- (Information)$"}));

// ---- Options fields ----

struct FieldCase {
    const char* name;
    uint32_t options;
    const wchar_t* imagePath;
    const char* file;
    int line;
    const char* function;
    const wchar_t* expectedFields; // between the header and the message; "<PT>" stands for the ids field
};

class FileLogFields : public FileLogLine, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(FileLogFields, FieldsInOrderWithTheirCuts)
{
    const FieldCase& c = GetParam();
    start(c.options, c.imagePath);
    ASSERT_EQ(logger->writeLine(3, c.file, c.function, c.line, L"msg"), 0u);

    wchar_t ids[64];
    _snwprintf(ids, 64, L"[PID:%5lu TID:%5lu]$", GetCurrentProcessId(), GetCurrentThreadId());
    std::wstring fields = c.expectedFields;
    if (size_t at = fields.find(L"<PT>"); at != std::wstring::npos)
        fields.replace(at, 4, ids);
    EXPECT_EQ(written(), L"03/07/2024 02:05:09 PM$ -- (Information)$" + fields + L" msg\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Options, FileLogFields,
    ::testing::Values(
        FieldCase{"None", 0, L"C:\\bin\\svc.exe", "a.cpp", 1, "f", L""},
        FieldCase{"LongImageCutTo15", 16, L"D:\\x\\averyveryverylongname.exe", "a.cpp", 1, "f", L" [averyveryverylo]$"},
        FieldCase{"SourceAfterLastBackslash", 8, L"C:\\bin\\svc.exe", "C:\\src\\engine\\TaskScheduler.cpp", 1234, "f",
                  L" [   TaskScheduler.cpp: 1234]$"},
        FieldCase{"LongSourceCutTo20", 8, L"C:\\bin\\svc.exe", "ThisIsAVeryLongSourceFileName.cpp", 7, "f",
                  L" [ThisIsAVeryLongSourc:    7]$"},
        FieldCase{"LongFunctionCutTo40", 32, L"C:\\bin\\svc.exe", "a.cpp", 1,
                  "Orbis::TaskManagement::internal::deserializeTaskMembersWithDefaults",
                  L" [Orbis::TaskManagement::internal::deseria()]$"},
        FieldCase{"AllInFixedOrder", 1 | 4 | 8 | 16 | 32, L"C:\\bin\\svc.exe", "KsTask.cpp", 88, "CKsTask::Save",
                  L" [        svc.exe]$ <PT> [          KsTask.cpp:   88]$ [                           CKsTask::Save()]$"}),
    [](const ::testing::TestParamInfo<FieldCase>& info) { return std::string(info.param.name); });

// ---- Overlong messages ----

struct CutCase {
    size_t length;
    size_t kept;
};

class FileLogCut : public FileLogLine, public ::testing::WithParamInterface<CutCase> {};

TEST_P(FileLogCut, MessagesAbove4160CutTo2080)
{
    start(0);
    std::wstring message(GetParam().length, L'a');
    message[0] = L'b';
    ASSERT_EQ(writeFormatted(*logger, 4, "f", "g", 1, L"%s", message.c_str()), 0u);
    EXPECT_EQ(written(), L"03/07/2024 02:05:09 PM$ -- (Error)$ " + message.substr(0, GetParam().kept) + L"\r\n");
}

INSTANTIATE_TEST_SUITE_P(Lengths, FileLogCut,
                         ::testing::Values(CutCase{4160, 4160}, CutCase{4161, 2080}));

} // namespace
