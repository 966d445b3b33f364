// Writes the installation time stamp at the first engine start that finds none.
#include "platform/InstallTimeStamp.h"

#include "common/Clock.h"
#include "platform/PlatformNames.h"
#include "logging/internal_logging.h"
#include "registry/RegKey.h"

namespace KsPlatform {

using Keelwork::CRegKey;
using namespace names;

namespace {

// What a missing or mistyped stamp reads as; no real stamp can take this value before 2106.
constexpr DWORD kNoTimeStamp = 0xFFFFFFFF;

} // namespace

void writeInstallTimeStamp()
{
    KSLOG_NORMAL(L"Writing a time stamp if it does not already exist");
    CRegKey reader;
    if (reader.open(HKEY_LOCAL_MACHINE, kProductKey, KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        return;
    DWORD stamp = kNoTimeStamp;
    if (reader.getDwordValue(kInstallTimeStampValue, stamp) != ERROR_SUCCESS)
        stamp = kNoTimeStamp;
    if (stamp != kNoTimeStamp) {
        KSLOG_NORMAL(L"A time stamp already exists (%d). Not writing a new one", stamp);
        return;
    }
    CRegKey writer;
    if (writer.open(HKEY_LOCAL_MACHINE, kProductKey, KEY_SET_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        return;
    const uint32_t now = Keelwork::Clock::current().now();
    KSLOG_NORMAL(L"Writing a new time stamp: %d", now);
    writer.setDwordValue(kInstallTimeStampValue, now);
}

} // namespace KsPlatform
