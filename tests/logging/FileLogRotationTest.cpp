// Which file a line goes to: rotation at MaxSize through MaxEntries files, LastLogIdx and its wrap.
#include "LogFileReader.h"
#include "ScratchLogFolder.h"

#include "common/WinInclude.h"

#include <gtest/gtest.h>

#include <thread>

using kstest::FixedClock;
using kstest::ScratchLogFolder;

namespace {

constexpr size_t kMaxSize = 262144;
const std::wstring kLine = L"03/07/2024 02:05:09 PM$ -- (Error)$ [        svc.exe]$ m\r\n";

class FileLogRotation : public ::testing::Test {
protected:
    void SetUp() override { logFolder = folder.base() + L"grp\\svc"; }
    void start()
    {
        logger = kstest::makeFileLogger(folder, clock);
        ASSERT_EQ(logger->initialize(L"grp", nullptr, L"h"), 0u);
    }
    std::wstring file(int index) const { return logFolder + L"\\svc_h00" + std::to_wstring(index) + L".log"; }
    uint32_t lastLogIdx() const
    {
        return GetPrivateProfileIntW(L"Config", L"LastLogIdx", 999, (logFolder + L"\\log.ini").c_str());
    }
    uint32_t write() { return logger->writeLine(4, "f", "g", 1, L"m"); }

    ScratchLogFolder folder;
    FixedClock clock;
    std::wstring logFolder;
    std::unique_ptr<ETWLogging::CLogging> logger;
};

TEST_F(FileLogRotation, FullFileMovesToNextIndexWithFreshFile)
{
    start();
    ScratchLogFolder::makeFile(file(0), kMaxSize);
    ASSERT_EQ(write(), 0u);
    EXPECT_EQ(lastLogIdx(), 1u);
    EXPECT_EQ(kstest::readFileBytes(file(0)).size(), kMaxSize);
    std::vector<unsigned char> bytes = kstest::readFileBytes(file(1));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(kstest::readUtf16File(file(1)), kLine);
    EXPECT_EQ(logger->currentLogFilePath(), file(1));
}

TEST_F(FileLogRotation, IndexAtOrAboveMaxEntriesRestartsAtFreshFirstFile)
{
    folder.setIni(logFolder, L"LastLogIdx", L"3");
    start();
    ScratchLogFolder::makeFile(file(0), 500);
    ASSERT_EQ(write(), 0u);
    EXPECT_EQ(lastLogIdx(), 0u);
    EXPECT_EQ(kstest::readUtf16File(file(0)), kLine);
}

TEST_F(FileLogRotation, IndexChangedByAnotherWriterIsFollowed)
{
    start();
    // Two lines while log.ini is absent, then another writer of the folder rotates: log.ini appears,
    // and the next line here follows it at once.
    ASSERT_EQ(write(), 0u);
    ASSERT_EQ(write(), 0u);
    auto other = kstest::makeFileLogger(folder, clock);
    ASSERT_EQ(other->initialize(L"grp", nullptr, L"h"), 0u);
    ScratchLogFolder::makeFile(file(0), kMaxSize);
    ASSERT_EQ(other->writeLine(4, "f", "g", 1, L"m"), 0u);
    ASSERT_EQ(lastLogIdx(), 1u);
    ASSERT_EQ(write(), 0u);
    // A present log.ini is followed however it changed.
    folder.setIni(logFolder, L"LastLogIdx", L"2");
    ASSERT_EQ(write(), 0u);
    EXPECT_EQ(kstest::readUtf16File(file(1)), kLine + kLine);
    EXPECT_EQ(kstest::readUtf16File(file(2)), kLine);
    EXPECT_EQ(kstest::readFileBytes(file(0)).size(), kMaxSize);
}

TEST_F(FileLogRotation, LongRunKeepsAtMostMaxEntriesFilesAndWraps)
{
    start();
    const std::wstring message(2000, L'z');
    std::vector<uint32_t> seen;
    // 4 KB a line: a file fills after 64 lines, so 250 lines pass through every index and wrap.
    for (int i = 0; i < 250; ++i) {
        ASSERT_EQ(logger->writeLine(4, "f", "g", 1, message), 0u);
        uint32_t index = lastLogIdx();
        if (index != 999 && (seen.empty() || seen.back() != index))
            seen.push_back(index);
    }
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 0})) << "first file takes no LastLogIdx write";
    EXPECT_EQ(ScratchLogFolder::filesIn(logFolder),
              (std::vector<std::wstring>{L"log.ini", L"svc_h000.log", L"svc_h001.log", L"svc_h002.log"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_LE(kstest::readFileBytes(file(i)).size(), kMaxSize + 2 * (message.size() + 80));
}

// Each line after the first reopens and appends to the file: a second mark or a lost line shows.
TEST_F(FileLogRotation, ConcurrentWritersLoseNoLine)
{
    start();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this] {
            for (int i = 0; i < 50; ++i)
                logger->writeLine(4, "f", "g", 1, L"m");
        });
    for (std::thread& t : threads)
        t.join();
    std::wstring text = kstest::readUtf16File(file(0));
    std::wstring expected;
    for (int i = 0; i < 200; ++i)
        expected += kLine;
    EXPECT_EQ(text, expected);
}

} // namespace
