// Judging a key: which descriptors let others in for each audience, and volatility as a probe
// sub-key tells it.
#include "RegistryFixture.h"
#include "common/UniqueHandle.h"
#include "registry/KeyGuard.h"
#include "registry/RegKey.h"

#include <gtest/gtest.h>

#include <sddl.h>

using Keelwork::KeyReaders;

namespace {

struct DescriptorCase {
    const wchar_t* sddl;
    bool openForAdministratorsOnly;  // too open where only SYSTEM and Administrators may read
    bool openForAnyReader;           // too open where anyone may read
};

const DescriptorCase kDescriptorCases[] = {
    {L"O:BAD:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)", false, false},
    {L"O:SYD:(A;;KA;;;SY)", false, false},
    {L"O:BAD:(A;CIIO;GR;;;BU)(A;;KA;;;BA)", true, false},   // readers of sub-keys to come
    {L"O:BAD:(A;CI;KR;;;BU)(A;CI;KA;;;BA)", true, false},
    {L"O:BAD:(A;CIIO;GA;;;CO)(A;CI;KA;;;BA)", true, true},  // writers of sub-keys to come
    {L"O:BAD:(A;;KW;;;BU)", true, true},
    {L"O:BAD:(A;;0x2;;;WD)", true, true},                   // set value alone
    {L"O:BAD:(D;;KA;;;WD)(A;;KA;;;BA)", false, false},      // a denial only narrows
    {L"O:WDD:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)", true, true},   // an owner rewrites the DACL
};

TEST(KeyGuard, DescriptorsAreJudgedByWhoElseMayReadOrWrite)
{
    for (const DescriptorCase& c : kDescriptorCases) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1, &descriptor, nullptr));
        const Keelwork::unique_hlocal owner(descriptor);
        EXPECT_EQ(Keelwork::isKeyTooOpen(descriptor, KeyReaders::systemAndAdministrators), c.openForAdministratorsOnly)
            << testing::PrintToString(std::wstring(c.sddl));
        EXPECT_EQ(Keelwork::isKeyTooOpen(descriptor, KeyReaders::anyone), c.openForAnyReader)
            << testing::PrintToString(std::wstring(c.sddl));
    }
}

TEST(KeyGuard, ANullDaclLetsEveryoneIn)
{
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&descriptor, administrators, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    EXPECT_TRUE(Keelwork::isKeyTooOpen(&descriptor, KeyReaders::anyone));
}

class KeyVolatility : public kstest::RegistryFixture {};

TEST_F(KeyVolatility, OnlyAVolatileKeyIsSeenVolatileAndTheProbeLeavesNothing)
{
    for (const DWORD options : {DWORD{REG_OPTION_VOLATILE}, DWORD{REG_OPTION_NON_VOLATILE}}) {
        const wchar_t* path = options == REG_OPTION_VOLATILE ? L"KsVolatile" : L"KsLasting";
        Keelwork::unique_hkey made, leftover;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, made.put(),
                                  nullptr), ERROR_SUCCESS);
        // A probe key left by an interrupted look does not decide the answer.
        ASSERT_EQ(RegCreateKeyExW(made.get(), L"~VolatilityProbe", 0, nullptr, options, KEY_ALL_ACCESS, nullptr,
                                  leftover.put(), nullptr), ERROR_SUCCESS);
        Keelwork::CRegKey key;
        ASSERT_EQ(key.open(HKEY_LOCAL_MACHINE, path, KEY_READ | KEY_CREATE_SUB_KEY), ERROR_SUCCESS);
        bool isVolatile = options != REG_OPTION_VOLATILE;
        EXPECT_EQ(Keelwork::queryKeyVolatile(key, isVolatile), ERROR_SUCCESS);
        EXPECT_EQ(isVolatile, options == REG_OPTION_VOLATILE);
        std::vector<std::wstring> names;
        EXPECT_EQ(key.enumSubKeys(names), ERROR_SUCCESS);
        EXPECT_TRUE(names.empty());
    }
}

} // namespace
