// The owned keys' table, and their check and repair.
#include "engine/OwnedKeys.h"

#include "logging/LogAs.h"
#include "platform/PlatformNames.h"
#include "registry/KeyGuard.h"
#include "registry/RegKey.h"
#include "state/RunNowRequest.h"
#include "state/StateKey.h"
#include "store/KsTaskInfo.h"

#include <string>
#include <vector>

namespace Keelwork::engine {
namespace {

constexpr const char* kFunction = "CKsTaskScheduler::checkOwnedKeys";
constexpr REGSAM kView = KEY_WOW64_64KEY;
constexpr REGSAM kCheckAccess =
    READ_CONTROL | WRITE_DAC | WRITE_OWNER | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | kView;
// A task's record sits one level below its parent key; nothing of ours goes deeper than this.
constexpr int kMaxDepth = 4;

struct OwnedKey {
    const wchar_t* path;
    KeyReaders readers;
    bool mustBeVolatile;
};

// The history, the state and the run-now requests are for administrators (the console tool
// runs as one). The task store and the trusted-file list keep whatever readers they were given,
// since what is worth hiding in them is protected or a digest; nobody else may write them.
constexpr OwnedKey kOwnedKeys[] = {
    {KsStore::kSchedulerKeyPath, KeyReaders::anyone, false},
    {KsStore::kSchedulerDisabledKeyPath, KeyReaders::anyone, false},
    {KsStore::kSchedulerHistoryKeyPath, KeyReaders::systemAndAdministrators, false},
    {KsState::kStateKeyPath, KeyReaders::systemAndAdministrators, true},
    {KsState::kRunNowKeyPath, KeyReaders::systemAndAdministrators, true},
    {KsPlatform::names::kTrustedFilesKey, KeyReaders::anyone, false},
};

void reportFailure(const std::wstring& path, LONG status)
{
    KSLOG_ERROR_AS(kFunction, L"The registry key HKLM\\%s could not be checked or put right, error %ld", path.c_str(),
                   status);
}

// Sets repaired when the key's access list let others in and the protected one was put back.
LONG checkAccessList(CRegKey& key, KeyReaders readers, bool& repaired)
{
    constexpr SECURITY_INFORMATION kParts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    std::vector<BYTE> descriptor;
    LONG status = key.getKeySecurity(kParts, descriptor);
    if (status != ERROR_SUCCESS || !isKeyTooOpen(descriptor.data(), readers))
        return status;
    status = key.buildSecurityDescriptor(descriptor);
    if (status == ERROR_SUCCESS)
        status = key.setKeySecurity(kParts, descriptor.data());
    repaired = status == ERROR_SUCCESS;
    return status;
}

// The key and every key below it: a sub-key made while the parent was open keeps that access.
void checkTree(const std::wstring& path, KeyReaders readers, int depth)
{
    CRegKey key;
    LONG status = key.open(HKEY_LOCAL_MACHINE, path.c_str(), kCheckAccess);
    if (status == ERROR_FILE_NOT_FOUND)
        return;
    bool repaired = false;
    if (status == ERROR_SUCCESS)
        status = checkAccessList(key, readers, repaired);
    if (repaired)
        KSLOG_WARNING_AS(kFunction,
                         L"The registry key HKLM\\%s was open to others than SYSTEM and Administrators; its protected "
                         L"access list is put back",
                         path.c_str());
    std::vector<std::wstring> names;
    if (status == ERROR_SUCCESS)
        status = key.enumSubKeys(names);
    if (status != ERROR_SUCCESS) {
        reportFailure(path, status);
        return;
    }
    if (depth < kMaxDepth)
        for (const std::wstring& name : names)
            checkTree(path + L"\\" + name, readers, depth + 1);
}

// What a volatile key holds is the engine's to write afresh at its start, so a lasting one is
// replaced whole, protected from its making: a key cannot become volatile in place.
LONG remakeVolatile(const std::wstring& path)
{
    const size_t split = path.rfind(L'\\');
    CRegKey parent;
    LONG status = parent.open(HKEY_LOCAL_MACHINE, path.substr(0, split).c_str(), KEY_READ | KEY_WRITE | kView);
    if (status == ERROR_SUCCESS)
        status = parent.deleteSubKeyTree(path.substr(split + 1).c_str());
    CRegKey key;
    DWORD disposition = 0;
    if (status == ERROR_SUCCESS)
        status = key.createSystemOnly(HKEY_LOCAL_MACHINE, path.c_str(), KEY_QUERY_VALUE | kView, &disposition,
                                      REG_OPTION_VOLATILE);
    // Made again by someone else in between: not ours to trust.
    if (status == ERROR_SUCCESS && disposition != REG_CREATED_NEW_KEY)
        status = ERROR_ALREADY_EXISTS;
    return status;
}

void checkVolatile(const std::wstring& path)
{
    CRegKey key;
    LONG status = key.open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_CREATE_SUB_KEY | kView);
    if (status == ERROR_FILE_NOT_FOUND)
        return;
    bool isVolatile = true;
    if (status == ERROR_SUCCESS)
        status = queryKeyVolatile(key, isVolatile);
    key.close();
    if (status == ERROR_SUCCESS && !isVolatile) {
        status = remakeVolatile(path);
        if (status == ERROR_SUCCESS)
            KSLOG_WARNING_AS(kFunction, L"The registry key HKLM\\%s was not volatile; it is made again, volatile and empty",
                             path.c_str());
    }
    if (status != ERROR_SUCCESS)
        reportFailure(path, status);
}

} // namespace

void checkOwnedKeys()
{
    for (const OwnedKey& owned : kOwnedKeys) {
        if (owned.mustBeVolatile)
            checkVolatile(owned.path);
        checkTree(owned.path, owned.readers, 0);
    }
}

} // namespace Keelwork::engine
