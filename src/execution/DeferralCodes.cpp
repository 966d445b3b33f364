// The reason words and texts of the deferral codes.
#include "execution/DeferralCodes.h"

namespace KsExecution {
namespace {

struct Reason {
    const wchar_t* word;
    const wchar_t* text;
};

// Indexed by code; 6 and 11 are never raised.
constexpr Reason kReasons[12] = {
    {L"battery", L"Battery Mode"},          {L"metromode", L"Metro Mode"},
    {L"metered", L"Metered Mode"},          {L"error", L"Update Get Failed"},
    {L"error", L"Update In Progress"},      {L"ods", L"ODS In Progress"},
    {L"", L"Unknown"},                      {L"failedToLaunch", L"OnLogin Failed"},
    {L"failedToLaunch", L"OnReboot Failed"}, {L"failedToLaunch", L"Failed to launch"},
    {L"validation", L"Validation Error"},   {L"", L"Unknown"},
};

} // namespace

const wchar_t* deferralReasonWord(DeferralCode code)
{
    const auto index = static_cast<uint32_t>(code);
    return index < 12 ? kReasons[index].word : L"";
}

const wchar_t* deferralReasonText(uint32_t code)
{
    return kReasons[code < 12 ? code : 11].text;
}

} // namespace KsExecution
