// The cross-process write lock of a log folder: one owner at a time, a bounded wait, a hand-over
// on release, and a take-over from an owner whose process has ended.
#include "logging/FolderWriteLock.h"

#include "common/WinInclude.h"

#include <gtest/gtest.h>

#include <future>

using ETWLogging::FolderWriteLock;

namespace {

std::wstring lockName()
{
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    return L"kstest.FolderWriteLock." + std::to_wstring(GetCurrentProcessId()) + std::wstring(test.begin(), test.end());
}

constexpr unsigned long kBound = 7000;

TEST(FolderWriteLock, HeldLockMakesOthersWaitAndPassesOnRelease)
{
    FolderWriteLock first(lockName());
    FolderWriteLock second(lockName());
    ASSERT_TRUE(first.isShared());
    ASSERT_TRUE(first.acquire(0));
    EXPECT_FALSE(second.acquire(0));
    std::future<bool> waiter = std::async(std::launch::async, [&] { return second.acquire(kBound); });
    first.release();
    EXPECT_TRUE(waiter.get());
    EXPECT_FALSE(first.acquire(0));
    second.release();
    EXPECT_TRUE(first.acquire(0));
    first.release();
}

struct StaleOwner {
    const char* name;
    uint64_t owner;
    bool takenOver;
};

class FolderWriteLockOwner : public ::testing::TestWithParam<StaleOwner> {};

TEST_P(FolderWriteLockOwner, OnlyAnEndedOwnerIsTakenOver)
{
    FolderWriteLock stale(lockName(), GetParam().owner);
    ASSERT_TRUE(stale.acquire(0));
    FolderWriteLock live(lockName());
    // Long enough for the waiter to look at the owner a few times.
    EXPECT_EQ(live.acquire(GetParam().takenOver ? kBound : 300), GetParam().takenOver);
}

const uint64_t kSelf = FolderWriteLock::processOwner();
INSTANTIATE_TEST_SUITE_P(Owners, FolderWriteLockOwner,
                         ::testing::Values(StaleOwner{"NoSuchProcess", 0xFFFFFFF0ull << 32 | 1, true},
                                           StaleOwner{"IdReusedByALaterProcess", kSelf + 2, true},
                                           StaleOwner{"Running", kSelf, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
