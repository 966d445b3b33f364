// Entry point of every test program: installs the shared test environment.
#include "RegistryFixture.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new kstest::TestEnvironment);
    return RUN_ALL_TESTS();
}
