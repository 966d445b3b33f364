// The ETW logger's level test as its configuration in the registry sets it.
#include "RegistryFixture.h"

#include "logging/EtwLogging.h"

#include <gtest/gtest.h>

using namespace ETWLogging;

namespace {

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

} // namespace
