// The deferral codes a launch reports, each with the reason word its report carries and the
// reason text its analytics event carries; defined once.
#pragma once

#include <cstdint>

namespace KsExecution {

enum class DeferralCode : uint32_t {
    battery = 0,
    metroMode = 1,
    metered = 2,
    scanModuleMissing = 3,
    scanRunning = 4,
    updateWhileScanRuns = 5,
    logonStartFailed = 7,
    rebootStartFailed = 8,
    startFailed = 9,
    validation = 10,
    unknown = 11,
};

// "battery", "metromode", "metered", "error", "ods", "failedToLaunch" or "validation".
const wchar_t* deferralReasonWord(DeferralCode code);
// "Battery Mode" ... "Validation Error"; "Unknown" for codes never raised.
const wchar_t* deferralReasonText(uint32_t code);

// A deferral that refuses the program (its file failed validation) or reports a start that
// failed, rather than one that waits for a better moment.
inline bool isRefusal(DeferralCode code) { return code == DeferralCode::validation; }
inline bool isFailedStart(DeferralCode code)
{
    return code == DeferralCode::logonStartFailed || code == DeferralCode::rebootStartFailed ||
           code == DeferralCode::startFailed;
}

} // namespace KsExecution
