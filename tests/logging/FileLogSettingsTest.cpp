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

class FileLogSettings : public ::testing::Test {
protected:
    FileLoggerSettings started()
    {
        logger = kstest::makeFileLogger(folder, clock);
        EXPECT_EQ(logger->initialize(L"grp", nullptr, L"h"), 0u);
        return logger->settings();
    }

    ScratchLogFolder folder;
    FixedClock clock;
    std::unique_ptr<ETWLogging::CLogging> logger;
};

struct BoundCase {
    const wchar_t* key;
    const wchar_t* stored;
    uint32_t FileLoggerSettings::*field;
    uint32_t expected;
};

class FileLogSettingBounds : public FileLogSettings, public ::testing::WithParamInterface<BoundCase> {};

TEST_P(FileLogSettingBounds, ValueFromIniIsKeptWithinBounds)
{
    folder.setIni(folder.base() + L"grp\\svc", GetParam().key, GetParam().stored);
    EXPECT_EQ(started().*GetParam().field, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, FileLogSettingBounds,
    ::testing::Values(BoundCase{L"Severity", L"0", &FileLoggerSettings::severity, 1},
                      BoundCase{L"Severity", L"9", &FileLoggerSettings::severity, 6},
                      BoundCase{L"MaxSize", L"1", &FileLoggerSettings::maxSize, 262144},
                      BoundCase{L"MaxSize", L"99999999", &FileLoggerSettings::maxSize, 10485760},
                      BoundCase{L"MaxEntries", L"1", &FileLoggerSettings::maxEntries, 2},
                      BoundCase{L"MaxEntries", L"500", &FileLoggerSettings::maxEntries, 100},
                      BoundCase{L"Options", L"60", &FileLoggerSettings::options, 60},
                      BoundCase{L"Enable", L"0", &FileLoggerSettings::enable, 0}));

TEST_F(FileLogSettings, DefaultsWithoutIniFiles)
{
    FileLoggerSettings s = started();
    EXPECT_EQ(s.enable, 1u);
    EXPECT_EQ(s.maxSize, 262144u);
    EXPECT_EQ(s.maxEntries, 3u);
    EXPECT_EQ(s.severity, 3u);
    EXPECT_EQ(s.options, 16u);
}

TEST_F(FileLogSettings, FolderFileWinsAndBaseFileFillsIn)
{
    folder.setIni(L"", L"Severity", L"5");
    folder.setIni(L"", L"MaxEntries", L"9");
    folder.setIni(folder.base() + L"grp\\svc", L"Severity", L"2");
    FileLoggerSettings s = started();
    EXPECT_EQ(s.severity, 2u);
    EXPECT_EQ(s.maxEntries, 9u);
}

TEST_F(FileLogSettings, UncreatableFolderSwitchesLoggerOff)
{
    // A file where the group folder should be: the log folder below it cannot be created.
    ScratchLogFolder::makeFile(folder.base() + L"grp", 10);
    started();
    EXPECT_NE(logger->writeLine(5, "f", "g", 1, L"m"), 0u);
    EXPECT_FALSE(logger->isLogEnabled(6));
    EXPECT_EQ(logger->writeLine(5, "f", "g", 1, L"m"), 87u);
}

} // namespace
