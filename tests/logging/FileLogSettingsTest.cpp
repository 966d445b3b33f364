// The file logger's settings from log.ini: bounds, folder file before base file, initialization
// codes, and switching off when the log folder cannot be made.
#include "LogFileReader.h"
#include "ScratchLogFolder.h"

#include "common/WinInclude.h"

#include <gtest/gtest.h>

using ETWLogging::FileLoggerSettings;
using kstest::FixedClock;
using kstest::ScratchLogFolder;

namespace {

struct BoundCase {
    const wchar_t* key;
    const wchar_t* stored;
    uint32_t FileLoggerSettings::*field;
    uint32_t expected;
};

class FileLogSettingBounds : public ::testing::TestWithParam<BoundCase> {};

TEST_P(FileLogSettingBounds, ValueFromIniIsKeptWithinBounds)
{
    ScratchLogFolder folder;
    FixedClock clock;
    folder.setIni(folder.base() + L"grp\\svc", GetParam().key, GetParam().stored);
    auto logger = kstest::makeFileLogger(folder, clock);
    ASSERT_EQ(logger->initialize(L"grp", nullptr, L"h"), 0u);
    EXPECT_EQ(logger->settings().*GetParam().field, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, FileLogSettingBounds,
    ::testing::Values(BoundCase{L"Severity", L"0", &FileLoggerSettings::severity, 1},
                      BoundCase{L"Severity", L"4", &FileLoggerSettings::severity, 4},
                      BoundCase{L"Severity", L"9", &FileLoggerSettings::severity, 6},
                      BoundCase{L"MaxSize", L"1", &FileLoggerSettings::maxSize, 262144},
                      BoundCase{L"MaxSize", L"1048576", &FileLoggerSettings::maxSize, 1048576},
                      BoundCase{L"MaxSize", L"99999999", &FileLoggerSettings::maxSize, 10485760},
                      BoundCase{L"MaxEntries", L"1", &FileLoggerSettings::maxEntries, 2},
                      BoundCase{L"MaxEntries", L"7", &FileLoggerSettings::maxEntries, 7},
                      BoundCase{L"MaxEntries", L"500", &FileLoggerSettings::maxEntries, 100},
                      BoundCase{L"Options", L"60", &FileLoggerSettings::options, 60},
                      BoundCase{L"Enable", L"0", &FileLoggerSettings::enable, 0}));

TEST(FileLogSettings, DefaultsWithoutIniFiles)
{
    ScratchLogFolder folder;
    FixedClock clock;
    auto logger = kstest::makeFileLogger(folder, clock);
    ASSERT_EQ(logger->initialize(L"grp", nullptr, L"h"), 0u);
    FileLoggerSettings s = logger->settings();
    EXPECT_EQ(s.enable, 1u);
    EXPECT_EQ(s.maxSize, 262144u);
    EXPECT_EQ(s.maxEntries, 3u);
    EXPECT_EQ(s.severity, 3u);
    EXPECT_EQ(s.options, 16u);
}

TEST(FileLogSettings, FolderFileWinsAndBaseFileFillsIn)
{
    ScratchLogFolder folder;
    FixedClock clock;
    folder.setIni(L"", L"Severity", L"5");
    folder.setIni(L"", L"MaxEntries", L"9");
    folder.setIni(folder.base() + L"grp\\svc", L"Severity", L"2");
    auto logger = kstest::makeFileLogger(folder, clock);
    ASSERT_EQ(logger->initialize(L"grp", nullptr, L"h"), 0u);
    EXPECT_EQ(logger->settings().severity, 2u);
    EXPECT_EQ(logger->settings().maxEntries, 9u);
}

TEST(FileLogSettings, SeverityDecidesWhichLevelsAreEnabled)
{
    ScratchLogFolder folder;
    FixedClock clock;
    folder.setIni(L"", L"Severity", L"4");
    auto logger = kstest::makeFileLogger(folder, clock);
    ASSERT_EQ(logger->initialize(L"grp", nullptr, L"h"), 0u);
    EXPECT_FALSE(logger->isLogEnabled(3));
    EXPECT_TRUE(logger->isLogEnabled(4));
    EXPECT_TRUE(logger->isLogEnabled(5));
}

TEST(FileLogSettings, DisabledLoggerRejectsWrites)
{
    ScratchLogFolder folder;
    FixedClock clock;
    folder.setIni(L"", L"Enable", L"0");
    auto logger = kstest::makeFileLogger(folder, clock);
    ASSERT_EQ(logger->initialize(L"grp", nullptr, L"h"), 0u);
    EXPECT_EQ(logger->writeLine(5, "f", "g", 1, L"m"), 87u);
    EXPECT_TRUE(ScratchLogFolder::filesIn(logger->logFolder()).empty());
}

TEST(FileLogInitialization, CodesForEmptyIdentityRepeatAndClose)
{
    ScratchLogFolder folder;
    FixedClock clock;
    EXPECT_EQ(kstest::makeFileLogger(folder, clock)->initialize(L"", nullptr, L"h"), 87u);
    EXPECT_EQ(kstest::makeFileLogger(folder, clock)->initialize(L"grp", nullptr, L""), 87u);
    EXPECT_EQ(kstest::makeFileLogger(folder, clock)->close(), 20002u);

    auto logger = kstest::makeFileLogger(folder, clock);
    EXPECT_EQ(logger->initialize(L"grp", nullptr, L"h"), 0u);
    EXPECT_EQ(logger->initialize(L"grp", nullptr, L"h"), 20001u);
    EXPECT_EQ(logger->close(), 0u);
    EXPECT_EQ(logger->close(), 20002u);
}

TEST(FileLogInitialization, NoGroupAndNoHostShortenFolderAndFileName)
{
    ScratchLogFolder folder;
    FixedClock clock;
    auto logger = kstest::makeFileLogger(folder, clock);
    ASSERT_EQ(logger->initialize(nullptr, nullptr, nullptr), 0u);
    ASSERT_EQ(logger->writeLine(4, "f", "g", 1, L"m"), 0u);
    EXPECT_EQ(logger->currentLogFilePath(), folder.base() + L"svc\\svc000.log");
    EXPECT_FALSE(kstest::readUtf16File(folder.base() + L"svc\\svc000.log").empty());
}

TEST(FileLogInitialization, UncreatableFolderSwitchesLoggerOff)
{
    ScratchLogFolder folder;
    FixedClock clock;
    // A file where the group folder should be: the log folder below it cannot be created.
    ScratchLogFolder::makeFile(folder.base() + L"grp", 10);
    auto logger = kstest::makeFileLogger(folder, clock);
    ASSERT_EQ(logger->initialize(L"grp", nullptr, L"h"), 0u);
    EXPECT_NE(logger->writeLine(5, "f", "g", 1, L"m"), 0u);
    EXPECT_FALSE(logger->isLogEnabled(6));
    EXPECT_EQ(logger->writeLine(5, "f", "g", 1, L"m"), 87u);
}

} // namespace
