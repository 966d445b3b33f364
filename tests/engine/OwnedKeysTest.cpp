// The keys the engine owns are put right at its start: keys made beforehand by someone else, open
// to Everyone and lasting, come out protected (and volatile where they must be), each with a
// Warning; keys that are right already are left as they are, without one.
#include "EngineLoopFixture.h"
#include "KeySecurity.h"
#include "StateKeyWait.h"

#include "platform/PlatformNames.h"
#include "state/RunNowRequest.h"
#include "state/StateKey.h"
#include "store/KsTaskInfo.h"

namespace kstest {
namespace {

constexpr const wchar_t* kOpenToEveryone = L"O:WDD:(A;CI;KA;;;WD)";
constexpr const wchar_t* kProtected = L"O:BAD:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)";
constexpr SECURITY_INFORMATION kOwnerAndDacl = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// A lasting key at `path` with the descriptor `sddl` and a value.
void makeKey(const std::wstring& path, const wchar_t* sddl)
{
    Keelwork::unique_hkey key;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    const Keelwork::unique_hlocal owner(descriptor);
    ASSERT_EQ(RegSetKeySecurity(key.get(), kOwnerAndDacl, descriptor), ERROR_SUCCESS);
    const DWORD data = 1;
    ASSERT_EQ(RegSetValueExW(key.get(), L"left", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data),
              ERROR_SUCCESS);
}

// Only a volatile key refuses a lasting sub-key.
bool isVolatile(const std::wstring& path)
{
    Keelwork::unique_hkey probe;
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, (path + L"\\probe").c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ, nullptr, probe.put(), nullptr) == ERROR_CHILD_MUST_BE_VOLATILE;
}

struct OwnedKeyCase {
    std::wstring path;
    bool mustBeVolatile;
};

class OwnedKeys : public EngineLoop {};

TEST_F(OwnedKeys, KeysMadeOpenAndLastingBeforeTheStartAreRepaired)
{
    const std::wstring history = KsStore::kSchedulerHistoryKeyPath;
    const OwnedKeyCase cases[] = {
        {KsStore::kSchedulerKeyPath, false},        {KsStore::kSchedulerDisabledKeyPath, false},
        {history, false},                           {history + L"\\Planted", false},
        {KsState::kStateKeyPath, true},             {KsState::kRunNowKeyPath, true},
        {KsPlatform::names::kTrustedFilesKey, false},
    };
    for (const OwnedKeyCase& owned : cases) {
        makeKey(owned.path, kOpenToEveryone);
        ASSERT_EQ(openAsNonAdministrator(owned.path.c_str(), KEY_SET_VALUE), ERROR_SUCCESS) << "what a squatter holds";
    }
    LogCapture log;
    start();
    EXPECT_TRUE(awaitMirroredState([](const auto& state) { return state.present; }, kBoundMs).present);
    EXPECT_FALSE(log.contains(L"could not be written")) << "the state key was remade under the engine's own writes";
    for (const OwnedKeyCase& owned : cases) {
        SCOPED_TRACE(narrowForReport(owned.path));
        const std::wstring named = L"The registry key HKLM\\" + owned.path + L" was ";
        EXPECT_TRUE(log.contains(named + (owned.mustBeVolatile ? L"not volatile" : L"open to others"))) << narrowForReport(log.text());
        EXPECT_EQ(openAsNonAdministrator(owned.path.c_str(), KEY_SET_VALUE), ERROR_ACCESS_DENIED);
        EXPECT_EQ(isVolatile(owned.path), owned.mustBeVolatile);
        if (owned.mustBeVolatile)
            EXPECT_FALSE(readDword(owned.path.c_str(), L"left")) << "a remade key starts empty";
        else
            EXPECT_EQ(daclText(owned.path.c_str(), kOwnerAndDacl), kProtected);
    }
}

TEST_F(OwnedKeys, KeysThatLetOthersOnlyReadWhereAllowedAreLeftAlone)
{
    const std::wstring readable = L"O:BAD:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)";
    makeKey(KsStore::kSchedulerKeyPath, readable.c_str());
    makeKey(KsStore::kSchedulerHistoryKeyPath, kProtected);
    LogCapture log;
    start();
    EXPECT_EQ(daclText(KsStore::kSchedulerKeyPath, kOwnerAndDacl), readable);
    EXPECT_FALSE(log.contains(L"The registry key HKLM\\")) << narrowForReport(log.text());
}

} // namespace
} // namespace kstest
