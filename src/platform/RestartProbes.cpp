// Probes of values other components leave in the registry: restart pending and factory mode.
#include "platform/PlatformProbes.h"

#include "platform/PlatformNames.h"
#include "logging/internal_logging.h"
#include "registry/RegKey.h"
#include "store/ProtectedValue.h"

namespace {

enum class ReadOutcome { value, failed, wrongType };

// The plain REG_DWORD at the current place.
ReadOutcome readCurrentRestartValue(DWORD& value, LONG& error)
{
    Keelwork::CRegKey key;
    error = key.open(HKEY_LOCAL_MACHINE, KsPlatform::names::kVolatileZarnKey, KEY_READ);
    DWORD type = 0;
    DWORD size = sizeof(value);
    if (error == ERROR_SUCCESS)
        error = key.queryValue(KsPlatform::names::kRestartPendingValue, &type, &value, &size);
    if (error == ERROR_MORE_DATA)
        return ReadOutcome::wrongType;
    if (error != ERROR_SUCCESS)
        return ReadOutcome::failed;
    return type == REG_DWORD && size == sizeof(DWORD) ? ReadOutcome::value : ReadOutcome::wrongType;
}

// The protected value at the old place.
ReadOutcome readOldRestartValue(DWORD& value, uint32_t& error)
{
    Keelwork::CRegKey key;
    error = static_cast<uint32_t>(
        key.open(HKEY_LOCAL_MACHINE, KsPlatform::names::kOldRestartKey, KEY_READ | KEY_WOW64_64KEY));
    uint32_t stored = 0;
    if (error == 0)
        error = KsStore::readProtectedDword(key, KsPlatform::names::kRestartPendingValue, stored);
    if (error == ERROR_INVALID_DATA)
        return ReadOutcome::wrongType;
    if (error != 0)
        return ReadOutcome::failed;
    value = stored;
    return ReadOutcome::value;
}

} // namespace

bool IsRestartPending()
{
    KSLOG_NORMAL(L"Checking if restart is pending...");
    DWORD value = 0;
    LONG error = 0;
    ReadOutcome current = readCurrentRestartValue(value, error);
    if (current == ReadOutcome::wrongType) {
        KSLOG_WARNING(L"Invalid value type");
        return false;
    }
    if (current == ReadOutcome::failed) {
        KSLOG_WARNING(L"Failed to read IsRestartPending value from registry - error %d", static_cast<int>(error));
        uint32_t oldError = 0;
        ReadOutcome old = readOldRestartValue(value, oldError);
        if (old == ReadOutcome::wrongType) {
            KSLOG_WARNING(L"Invalid old value type");
            return false;
        }
        if (old == ReadOutcome::failed) {
            KSLOG_WARNING(L"Failed to read IsRestartPending value from old registry position - error %d",
                          static_cast<int>(oldError));
            return false;
        }
    }
    if (value == 1) {
        KSLOG_NORMAL(L"Restart is pending");
        return true;
    }
    KSLOG_NORMAL(L"No restart is pending");
    return false;
}

bool IsFactoryMode(Keelwork::unique_event* phEvent, const KsPlatform::ProbeServices& services)
{
    Keelwork::CRegKey key;
    DWORD mode = 0;
    if (key.open(HKEY_LOCAL_MACHINE, KsPlatform::names::kOemKey, KEY_READ) != ERROR_SUCCESS ||
        key.getDwordValue(KsPlatform::names::kFactoryModeValue, mode) != ERROR_SUCCESS || mode != 1)
        return false;
    Keelwork::unique_event event = services.namedObjects.createEvent(KsPlatform::names::kFactoryModeEvent, true, false);
    if (phEvent != nullptr)
        *phEvent = std::move(event);
    return true;
}
