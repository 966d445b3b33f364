// Parsing the Explain, History and Preview payloads: each member's JSON type is checked before its
// value is taken, so a wrong type is refused with a sentence rather than read as a default.
#include "insight/InsightRequest.h"
#include "insight/InsightNames.h"

#include "management/TaskFieldCodec.h"
#include "message/JSONFormatter.h"
#include "message/PayloadLimit.h"
#include "store/TaskName.h"

#include <algorithm>
#include <iterator>

namespace KsInsight {
namespace {

using Value = Tessel::JSONFormatter::Value;

constexpr const wchar_t* kNotAnObject = L"The request is not a JSON object.";
constexpr const wchar_t* kBadName = L"The request must name a task: \"name\" must be a non-empty string.";
constexpr const wchar_t* kBadHistoryCount = L"\"count\" must be a positive whole number.";
constexpr const wchar_t* kBadPreviewCount = L"\"count\" must be a whole number from 1 to 100.";
constexpr const wchar_t* kBadIfDueNow = L"\"ifDueNow\" must be true or false.";
constexpr const wchar_t* kBadAssume = L"\"assume\" may hold only \"battery\", \"metered\", \"fullScreen\", "
                                      L"\"connectedStandby\" and \"userIdle\", each true or false.";
constexpr const wchar_t* kNameOrSchedule = L"The request must name a task or give a schedule, not both.";
constexpr const wchar_t* kPeriodicOrCalendar =
    L"A schedule is either periodic (\"defaultFreq\") or a calendar, not both.";

const Value* member(const Value& object, const wchar_t* name)
{
    auto found = object.FindMember(name);
    return found == object.MemberEnd() ? nullptr : &found->value;
}

// The payload's root object, or the error when it is not one; one too large is not parsed at all.
struct Payload {
    Tessel::JSONFormatter document;
    const wchar_t* error = nullptr;
    explicit Payload(const std::wstring& text)
        : error(Tessel::payloadTooLarge(text) ? Tessel::kPayloadTooLargeSentence
                : document.parse(text)        ? nullptr
                                              : kNotAnObject)
    {
    }
    const Value& root() const { return document.root(); }
};

// The task name: absent is `absentOk`'s business; a present one must be a non-empty string.
std::optional<RequestError> takeName(const Value& root, std::wstring& name, bool absentOk)
{
    const Value* value = member(root, names::kName);
    if (!value)
        return absentOk ? std::nullopt : std::optional<RequestError>(RequestError{std::nullopt, kBadName});
    if (!value->IsString())
        return RequestError{std::nullopt, kBadName};
    name.assign(value->GetString(), value->GetStringLength());
    if (name.empty())
        return RequestError{name, kBadName};
    // A name no task can have is refused whole: cut at a NUL, say, it would name another task.
    const KsStore::TaskIdentity identity(name);
    if (identity.fault() == KsStore::TaskNameFault::containsNul || identity.fault() == KsStore::TaskNameFault::tooLong)
        return RequestError{name, KsStore::taskNameFaultSentence(identity.fault())};
    return std::nullopt;
}

// A whole number in [low, high]; absent leaves `count` as it is. Larger than high is clamped when
// `clamp`, refused otherwise.
bool takeCount(const Value& root, unsigned& count, unsigned low, unsigned high, bool clamp)
{
    const Value* value = member(root, names::kCount);
    if (!value)
        return true;
    if (!value->IsUint64() || value->GetUint64() < low || (!clamp && value->GetUint64() > high))
        return false;
    count = static_cast<unsigned>(std::min<uint64_t>(value->GetUint64(), high));
    return true;
}

bool takeAssumptions(const Value& assume, Assumptions& out)
{
    if (!assume.IsObject())
        return false;
    const std::pair<const wchar_t*, std::optional<bool> Assumptions::*> flags[] = {
        {names::kBattery, &Assumptions::battery},
        {names::kMetered, &Assumptions::metered},
        {names::kFullScreen, &Assumptions::fullScreen},
        {names::kConnectedStandby, &Assumptions::connectedStandby},
        {names::kUserIdle, &Assumptions::userIdle}};
    for (auto it = assume.MemberBegin(); it != assume.MemberEnd(); ++it) {
        const std::wstring key(it->name.GetString(), it->name.GetStringLength());
        auto flag = std::find_if(std::begin(flags), std::end(flags), [&](const auto& f) { return key == f.first; });
        if (flag == std::end(flags) || !it->value.IsBool())
            return false;
        out.*(flag->second) = it->value.GetBool();
    }
    return true;
}

// A schedule member's text as a create request gives it: a string as it stands, a whole number in
// decimal.
bool scheduleText(const Value& value, std::wstring& text)
{
    if (value.IsString())
        text.assign(value.GetString(), value.GetStringLength());
    else if (value.IsUint())
        text = std::to_wstring(value.GetUint());
    else
        return false;
    return true;
}

// The schedule members present, taken by their create codecs; nullopt with no error when none is.
std::optional<PreviewSchedule> takeSchedule(const Value& root, std::optional<std::wstring>& error)
{
    PreviewSchedule schedule;
    bool calendar = false;
    for (const Orbis::TaskFieldCodec& codec : Orbis::taskFieldTable()) {
        const std::wstring key = codec.key;
        const bool isPeriod = key == names::kDefaultFreq;
        const bool isCalendar = std::any_of(std::begin(names::kCalendarMembers), std::end(names::kCalendarMembers),
                                            [&](const wchar_t* m) { return key == m; });
        const Value* value = (isPeriod || isCalendar) ? member(root, codec.key) : nullptr;
        if (!value)
            continue;
        std::wstring text;
        if (!scheduleText(*value, text) || !codec.parse(text, schedule.record)) {
            error = L"\"" + key + L"\" is not a valid schedule value.";
            return std::nullopt;
        }
        schedule.periodic = schedule.periodic || isPeriod;
        calendar = calendar || isCalendar;
    }
    if (schedule.periodic && calendar) {
        error = kPeriodicOrCalendar;
        return std::nullopt;
    }
    if (!schedule.periodic && !calendar)
        return std::nullopt;
    schedule.record.dwSize = sizeof(KSTASKINFO_LANE);
    schedule.record.dwTaskType = schedule.periodic ? KS_TASK_SCHEDULED : KS_TASK_CUSTOM;
    return schedule;
}

} // namespace

Parsed<ExplainRequest> parseExplainRequest(const std::wstring& payload)
{
    Payload p(payload);
    if (p.error)
        return RequestError{std::nullopt, p.error};
    ExplainRequest request;
    if (auto error = takeName(p.root(), request.name, false))
        return *error;
    if (const Value* ifDueNow = member(p.root(), names::kIfDueNow)) {
        if (!ifDueNow->IsBool())
            return RequestError{request.name, kBadIfDueNow};
        request.wantsIfDueNow = ifDueNow->GetBool();
    }
    if (const Value* assume = member(p.root(), names::kAssume)) {
        if (!takeAssumptions(*assume, request.assume))
            return RequestError{request.name, kBadAssume};
        request.wantsIfDueNow = true;
    }
    return request;
}

Parsed<HistoryRequest> parseHistoryRequest(const std::wstring& payload)
{
    Payload p(payload);
    if (p.error)
        return RequestError{std::nullopt, p.error};
    HistoryRequest request;
    if (auto error = takeName(p.root(), request.name, false))
        return *error;
    // More than the history keeps just gives all there is.
    if (!takeCount(p.root(), request.count, 1, UINT32_MAX, true))
        return RequestError{request.name, kBadHistoryCount};
    return request;
}

Parsed<RunNowRequest> parseRunNowRequest(const std::wstring& payload)
{
    Payload p(payload);
    if (p.error)
        return RequestError{std::nullopt, p.error};
    RunNowRequest request;
    if (auto error = takeName(p.root(), request.name, false))
        return *error;
    return request;
}

Parsed<PreviewRequest> parsePreviewRequest(const std::wstring& payload)
{
    Payload p(payload);
    if (p.error)
        return RequestError{std::nullopt, p.error};
    PreviewRequest request;
    if (auto error = takeName(p.root(), request.name, true))
        return *error;
    std::optional<std::wstring> scheduleError;
    request.schedule = takeSchedule(p.root(), scheduleError);
    const std::optional<std::wstring> name =
        request.name.empty() ? std::nullopt : std::optional<std::wstring>(request.name);
    if (scheduleError)
        return RequestError{name, *scheduleError};
    if (request.name.empty() == !request.schedule)
        return RequestError{name, kNameOrSchedule};
    if (!takeCount(p.root(), request.count, 1, kMostPreviewRuns, false))
        return RequestError{name, kBadPreviewCount};
    return request;
}

} // namespace KsInsight
