// Label-and-value lines for Explain, a table for History and Preview.
#include "ReplyText.h"

#include "common/TimeText.h"
#include "insight/InsightNames.h"
#include "message/JSONFormatter.h"

namespace KsTaskTool {
namespace {

namespace names = KsInsight::names;
using Value = Tessel::JSONFormatter::Value;

const Value* member(const Value& object, const wchar_t* key)
{
    if (!object.IsObject())
        return nullptr;
    const auto found = object.FindMember(key);
    return found == object.MemberEnd() ? nullptr : &found->value;
}

std::wstring text(const Value& object, const wchar_t* key)
{
    const Value* value = member(object, key);
    return value && value->IsString() ? value->GetString() : L"";
}

uint32_t number(const Value& object, const wchar_t* key)
{
    const Value* value = member(object, key);
    return value && value->IsUint() ? value->GetUint() : 0;
}

bool has(const Value& object, const wchar_t* key) { return member(object, key) != nullptr; }

// ", cpu 312 ms, peak memory 70.0 MB": what is known of the tree's usage.
std::wstring usageText(const Value& object)
{
    std::wstring out;
    if (const Value* cpu = member(object, names::kCpuMs); cpu && cpu->IsUint64())
        out += L", cpu " + std::to_wstring(cpu->GetUint64()) + L" ms";
    if (const Value* peak = member(object, names::kPeakMemoryBytes); peak && peak->IsUint64()) {
        wchar_t megabytes[32];
        _snwprintf(megabytes, std::size(megabytes), L"%.1f", static_cast<double>(peak->GetUint64()) / (1024.0 * 1024.0));
        out += L", peak memory " + std::wstring(megabytes) + L" MB";
    }
    return out;
}

std::wstring timeOf(const Value& object, const wchar_t* key)
{
    return Keelwork::localTimeText(number(object, key));
}

std::wstring line(const wchar_t* label, const std::wstring& value)
{
    std::wstring out = label;
    out.resize(15, L' ');
    return out + value + L"\n";
}

// "since 2026-12-06 14:02:11 until 2026-12-06 14:32:11": the times that are known.
std::wstring span(const Value& object)
{
    std::wstring out;
    if (number(object, names::kSince) != 0)
        out += L" since " + timeOf(object, names::kSince);
    if (number(object, names::kUntil) != 0)
        out += L" until " + timeOf(object, names::kUntil);
    return out;
}

std::wstring engineLine(const Value& engine, const KsState::MirroredState& mirrored)
{
    if (!mirrored.present)
        return L"no engine has written its state since the machine started";
    if (!mirrored.ownerRunning && mirrored.engine.phase != KsState::EnginePhase::stopped)
        return L"the module that wrote this state is no longer running (process " +
               std::to_wstring(mirrored.ownerPid) + L", last written " + Keelwork::localTimeText(mirrored.written) +
               L"); its last phase is not trusted";
    const std::wstring reason = text(engine, names::kReason);
    return text(engine, names::kPhase) + (reason.empty() ? L"" : L" (" + reason + L")") + span(engine);
}

std::wstring launchText(const Value& launch)
{
    std::wstring out = timeOf(launch, names::kTime) + L", result " + std::to_wstring(number(launch, names::kResult));
    if (has(launch, names::kExitCode))
        out += L", exit code " + std::to_wstring(number(launch, names::kExitCode));
    return out + L", " + std::to_wstring(number(launch, names::kDurationMs)) + L" ms" + usageText(launch);
}

// The deferral members of a lastDeferral object or a history entry.
std::wstring deferralText(const Value& deferral)
{
    std::wstring out = text(deferral, names::kReason) + L" (code " + std::to_wstring(number(deferral, names::kCode)) +
                       L"), looked at again after " + std::to_wstring(number(deferral, names::kDelay)) + L" s";
    if (number(deferral, names::kErrorCode) != 0)
        out += L", error " + std::to_wstring(number(deferral, names::kErrorCode));
    return out;
}

// "ended after 7200 s, background, spread over 600 s": what is set of the task's lane; empty for none.
std::wstring laneText(const Value& lane)
{
    std::wstring out;
    auto add = [&out](const std::wstring& part) { out += (out.empty() ? L"" : L", ") + part; };
    if (const uint32_t limit = number(lane, names::kMaxRunTime))
        add(L"ended after " + std::to_wstring(limit) + L" s");
    if (const Value* background = member(lane, names::kBackground); background && background->IsTrue())
        add(L"background");
    if (const uint32_t spread = number(lane, names::kSpread))
        add(L"spread over " + std::to_wstring(spread) + L" s");
    return out;
}

std::wstring occasionText(const Value& occasion)
{
    return L"every " + std::to_wstring(number(occasion, names::kEvery)) + L" " + text(occasion, names::kKind) +
           L"s, " + std::to_wstring(number(occasion, names::kSeen)) + L" seen since it last ran";
}

std::wstring historyDetail(const Value& entry)
{
    const std::wstring event = text(entry, names::kEvent);
    if (event == names::kLaunched) {
        if (!has(entry, names::kExitCode))
            return L"not waited for";
        return L"result " + std::to_wstring(number(entry, names::kResult)) + L", exit code " +
               std::to_wstring(number(entry, names::kExitCode)) + L", " +
               std::to_wstring(number(entry, names::kDurationMs)) + L" ms" + usageText(entry);
    }
    if (event == names::kStopped)
        return text(entry, names::kReason) + usageText(entry);
    if (event == names::kFailed)
        return L"did not start, error " + std::to_wstring(number(entry, names::kResult));
    return deferralText(entry);
}

// The daylight-saving note beside a run, with what it means for the reader.
std::wstring noteText(const std::wstring& note)
{
    if (note.empty())
        return L"";
    if (note == L"shifted")
        return L"  shifted: the clock skips this hour that night; the run is at the later instant";
    if (note == L"repeated hour")
        return L"  repeated hour: the clock shows this hour twice that night; the run is at the first";
    return L"  " + note;
}

std::wstring padded(const std::wstring& value, size_t width)
{
    return value.size() >= width ? value : value + std::wstring(width - value.size(), L' ');
}

} // namespace

std::wstring explainText(const std::wstring& reply, const KsState::MirroredState& mirrored)
{
    Tessel::JSONFormatter json;
    if (!json.parse(reply))
        return reply + L"\n";
    const Value& root = json.root();
    std::wstring out = line(L"Task", text(root, names::kName));
    out += line(L"Verdict", text(root, names::kVerdict));
    out += line(L"Why", text(root, names::kWhy));
    if (has(root, names::kNextRun))
        out += line(L"Next run", number(root, names::kNextRun) == 0 ? L"-" : timeOf(root, names::kNextRun));
    if (const Value* occasion = member(root, names::kOccasion))
        out += line(L"Occasion", occasionText(*occasion));
    if (const Value* lane = member(root, names::kLane); lane && !laneText(*lane).empty())
        out += line(L"Lane", laneText(*lane));
    if (const Value* hold = member(root, names::kHold))
        out += line(L"Hold", text(*hold, names::kReason) + span(*hold));
    if (const Value* launch = member(root, names::kLastLaunch))
        out += line(L"Last launch", launchText(*launch));
    if (const Value* deferral = member(root, names::kLastDeferral))
        out += line(L"Last deferral", timeOf(*deferral, names::kTime) + L", " + deferralText(*deferral));
    if (const Value* engine = member(root, names::kEngine))
        out += line(L"Engine", engineLine(*engine, mirrored));
    return out;
}

std::wstring historyText(const std::wstring& reply)
{
    Tessel::JSONFormatter json;
    const Value* entries = json.parse(reply) ? member(json.root(), names::kEntries) : nullptr;
    if (!entries || !entries->IsArray())
        return reply + L"\n";
    if (entries->Empty())
        return L"No launch outcome is recorded for " + text(json.root(), names::kName) + L".\n";
    std::wstring out = padded(L"TIME", 21) + padded(L"EVENT", 10) + L"DETAIL\n";
    for (const Value& entry : entries->GetArray())
        out += padded(timeOf(entry, names::kTime), 21) + padded(text(entry, names::kEvent), 10) +
               historyDetail(entry) + L"\n";
    return out;
}

std::wstring previewText(const std::wstring& reply)
{
    Tessel::JSONFormatter json;
    const Value* runs = json.parse(reply) ? member(json.root(), names::kRuns) : nullptr;
    if (!runs || !runs->IsArray())
        return reply + L"\n";
    if (const Value* occasion = member(json.root(), names::kOccasion))
        return L"No timed runs: it runs at " + occasionText(*occasion) + L".\n";
    if (runs->Empty())
        return L"No run is ahead.\n";
    std::wstring out;
    for (const Value& run : runs->GetArray()) {
        out += timeOf(run, names::kTime) + noteText(text(run, names::kNote)) + L"\n";
    }
    return out;
}

} // namespace KsTaskTool
