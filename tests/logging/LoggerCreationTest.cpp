// Creation of the process-wide logger: the kind "Logging Mechanism" chooses, once only, with the
// identity given before it.
#include "RegistryFixture.h"

#include "logging/FileLogging.h"
#include "logging/LogBuilder.h"
#include "logging/ProcessLogger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace ETWLogging;

namespace {

const wchar_t* const kLoggingKey = L"SOFTWARE\\Kestrel\\Logging";

// Counts the loggers it makes and records the identity each was initialized with.
class CountingBuilder final : public CLogBuilderIf {
public:
    std::unique_ptr<CLoggingIf> createLogger(LoggerKind kind) override
    {
        ++created;
        return CDefaultLogBuilder().createLogger(kind);
    }
    std::atomic<int> created{0};
};

struct MechanismCase {
    const char* name;
    int dword;       // -1: value absent
    bool asString;   // stored as text instead of a number
    LoggerKind expected;
};

class LoggerCreationKind : public kstest::RegistryFixture, public ::testing::WithParamInterface<MechanismCase> {};

TEST_P(LoggerCreationKind, LoggingMechanismChoosesKind)
{
    const MechanismCase& c = GetParam();
    if (c.asString)
        setString(kLoggingKey, L"Logging Mechanism", L"1");
    else if (c.dword >= 0)
        setDword(kLoggingKey, L"Logging Mechanism", static_cast<DWORD>(c.dword));
    CDefaultLogBuilder builder;
    std::unique_ptr<CLoggingIf> logger = createConfiguredLogger(builder, LogIdentity{});
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(logger->kind(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, LoggerCreationKind,
    ::testing::Values(MechanismCase{"KeyAbsent", -1, false, LoggerKind::Etw},
                      MechanismCase{"One", 1, false, LoggerKind::File},
                      MechanismCase{"Two", 2, false, LoggerKind::Etw},
                      MechanismCase{"TextOne", 0, true, LoggerKind::Etw}),
    [](const ::testing::TestParamInfo<MechanismCase>& info) { return std::string(info.param.name); });

class LoggerCreation : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        setDword(kLoggingKey, L"Logging Mechanism", 1);
    }
};

TEST_F(LoggerCreation, ConcurrentFirstUsesCreateOneLogger)
{
    auto builder = std::make_unique<CountingBuilder>();
    CountingBuilder* counter = builder.get();
    ProcessLogger holder(std::move(builder));
    std::vector<CLoggingIf*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] { seen[i] = holder.get(); });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(counter->created.load(), 1);
    ASSERT_NE(seen[0], nullptr);
    for (CLoggingIf* logger : seen)
        EXPECT_EQ(logger, seen[0]);
}

TEST_F(LoggerCreation, IdentitySetBeforeCreationIsUsedAndLaterOnesIgnored)
{
    ProcessLogger holder;
    holder.setIdentity(L"TaskScheduler", nullptr, nullptr);
    auto* file = dynamic_cast<CLogging*>(holder.get());
    ASSERT_NE(file, nullptr);
    std::wstring path = file->currentLogFilePath();
    EXPECT_NE(path.find(L"\\Kestrel\\KSLOGS\\TaskScheduler\\logging_tests\\logging_tests000.log"), std::wstring::npos)
        << std::string(path.begin(), path.end());

    holder.setIdentity(L"Other", nullptr, L"host");
    EXPECT_EQ(holder.get()->currentLogFilePath(), path);
}

TEST_F(LoggerCreation, FailedInitializationLeavesNoLogger)
{
    auto builder = std::make_unique<CountingBuilder>();
    CountingBuilder* counter = builder.get();
    ProcessLogger holder(std::move(builder));
    holder.setIdentity(L"", nullptr, nullptr);
    EXPECT_EQ(holder.get(), nullptr);
    EXPECT_EQ(holder.get(), nullptr);
    EXPECT_EQ(counter->created.load(), 1);
}

} // namespace
