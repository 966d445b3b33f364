// Makes a program file trusted for a test with one call: lists its digest in the (scratch)
// allow-list, as the installer does. Use inside a RegistryFixture test.
#pragma once

#include "execution/TrustedFileList.h"

#include <gtest/gtest.h>

#include <string>

namespace kstest {

// ASSERT_TRUE(kstest::trustForTest(path));
inline ::testing::AssertionResult trustForTest(const std::wstring& path)
{
    DWORD result = KsExecution::trustFile(path.c_str());
    if (result == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "trustFile failed with " << result;
}

} // namespace kstest
