// The qualified name a log line shows for a call site.
#include "logging/internal_logging.h"

#include <gtest/gtest.h>

TEST(FunctionName, DropsReturnTypeAndParameters)
{
    EXPECT_STREQ(ETWLogging::detail::FunctionName("virtual bool Keelwork::CRegKey::open(HKEY, const wchar_t*)").c_str(),
                 "Keelwork::CRegKey::open");
    EXPECT_STREQ(ETWLogging::detail::FunctionName("Keelwork::CRegKey::CRegKey()").c_str(), "Keelwork::CRegKey::CRegKey");
    EXPECT_STREQ(ETWLogging::detail::FunctionName("std::vector<std::pair<int, int> > ns::C<a b>::f(int) const").c_str(),
                 "ns::C<a b>::f");
}
