// The qualified name a log line shows for a call site.
#include "logging/internal_logging.h"

#include <gtest/gtest.h>

namespace {

struct Probe {
    static const char* method() { static const ETWLogging::detail::FunctionName n(__PRETTY_FUNCTION__); return n.c_str(); }
    template <typename T>
    T templated() { static const ETWLogging::detail::FunctionName n(__PRETTY_FUNCTION__); return T(n.c_str()); }
};

} // namespace

TEST(FunctionName, DropsReturnTypeAndParameters)
{
    EXPECT_STREQ(ETWLogging::detail::FunctionName("virtual bool Keelwork::CRegKey::open(HKEY, const wchar_t*)").c_str(),
                 "Keelwork::CRegKey::open");
    EXPECT_STREQ(ETWLogging::detail::FunctionName("Keelwork::CRegKey::CRegKey()").c_str(), "Keelwork::CRegKey::CRegKey");
    EXPECT_STREQ(ETWLogging::detail::FunctionName("std::vector<std::pair<int, int> > ns::C<a b>::f(int) const").c_str(),
                 "ns::C<a b>::f");
}

TEST(FunctionName, RealCallSitesGiveQualifiedNames)
{
    EXPECT_STREQ(Probe::method(), "{anonymous}::Probe::method");
    EXPECT_EQ(Probe().templated<std::string>(), "{anonymous}::Probe::templated");
}
