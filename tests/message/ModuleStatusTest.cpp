// moduleStatusName: the fixed text of every status, and the fallback for anything else.
#include "message/ModuleStatus.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct StatusCase {
    uint32_t status;
    const wchar_t* text;
};

class ModuleStatusName : public ::testing::TestWithParam<StatusCase> {};

TEST_P(ModuleStatusName, GivesFixedText)
{
    EXPECT_EQ(std::wstring(Tessel::moduleStatusName(GetParam().status)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Known, ModuleStatusName,
    ::testing::Values(StatusCase{0x00000000, L"MODULE_STATUS_SUCCESS"},
                      StatusCase{0x80000001, L"MODULE_STATUS_NOT_SUPPORTED"},
                      StatusCase{0x80000002, L"MODULE_STATUS_UNSUCCESSFUL"},
                      StatusCase{0x80000003, L"MODULE_STATUS_BUFFER_TOO_SMALL"},
                      StatusCase{0x80000004, L"MODULE_STATUS_NOT_IMPLEMENTED"},
                      StatusCase{0x80000005, L"MODULE_STATUS_INVALID_BUFFER_SIZE"},
                      StatusCase{0x80000006, L"MODULE_STATUS_DATA_ERROR"},
                      StatusCase{0x80000007, L"MODULE_STATUS_INVALID_HANDLE"},
                      StatusCase{0x80000008, L"MODULE_STATUS_INVALID_PARAMETER"},
                      StatusCase{0x80000009, L"MODULE_STATUS_NO_MEMORY"},
                      StatusCase{0x8000000A, L"MODULE_STATUS_NOT_FOUND"},
                      StatusCase{0x8000000B, L"MODULE_STATUS_ON_DEMAND_ENABLED"},
                      StatusCase{0x8000000C, L"MODULE_STATUS_PROPERTY_NOT_FOUND"},
                      StatusCase{0x8000000D, L"MODULE_STATUS_TIMEOUT"},
                      StatusCase{0x8000000E, L"MODULE_STATUS_NO_SUBSCRIBERS"},
                      StatusCase{0x8000000F, L"MODULE_STATUS_UNKNOWN_EXCEPTION"},
                      StatusCase{0x80000010, L"MODULE_STATUS_DUPLICATE_MODULE"},
                      StatusCase{0x80000011, L"MODULE_STATUS_PARTIAL_SUCCESS"},
                      StatusCase{0x80000012, L"MODULE_STATUS_UWP_APP_NOT_INSTALLED"},
                      StatusCase{0x80000013, L"MODULE_STATUS_APP_SERVICE_UNAVAILABLE"},
                      StatusCase{0x80000014, L"MODULE_STATUS_APP_SERVICE_UNAUTHORIZED"},
                      StatusCase{0x80000015, L"MODULE_STATUS_SESSION_INVALID"},
                      StatusCase{0x800000FF, L"MODULE_STATUS_INVALID_STATE"}));

// Neighbours of the known values, the gap before 0x800000FF, and plain Windows codes.
INSTANTIATE_TEST_SUITE_P(
    Unknown, ModuleStatusName,
    ::testing::Values(StatusCase{0x80000000, L"MODULE_STATUS_UNKNOWN"}, StatusCase{0x80000016, L"MODULE_STATUS_UNKNOWN"},
                      StatusCase{0x800000FE, L"MODULE_STATUS_UNKNOWN"}, StatusCase{0x80000100, L"MODULE_STATUS_UNKNOWN"},
                      StatusCase{0x00000001, L"MODULE_STATUS_UNKNOWN"}, StatusCase{0x00000057, L"MODULE_STATUS_UNKNOWN"},
                      StatusCase{0xFFFFFFFF, L"MODULE_STATUS_UNKNOWN"}));

} // namespace
