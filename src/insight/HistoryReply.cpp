// The History reply: the task's stored launch outcomes, newest first. A damaged history reads as
// none (the store has logged it).
#include "insight/InsightNames.h"
#include "insight/InsightReplies.h"
#include "insight/ReplyWriting.h"
#include "insight/TaskPicture.h"

#include "common/TimeText.h"
#include "execution/DeferralCodes.h"
#include "store/TaskHistory.h"


namespace KsInsight {
namespace {

using KsStore::HistoryEvent;
using Tessel::JSONFormatter;

const wchar_t* eventWord(HistoryEvent event)
{
    switch (event) {
    case HistoryEvent::launched: return names::kLaunched;
    case HistoryEvent::deferred: return names::kDeferred;
    case HistoryEvent::refused: return names::kRefused;
    case HistoryEvent::failed: return names::kFailed;
    case HistoryEvent::stopped: return names::kStopped;
    }
    return names::kFailed;
}

void writeEntry(ObjectWriter& out, const KsStore::HistoryEntry& entry)
{
    out.number(names::kTime, entry.time);
    out.text(names::kTimeLocal, Keelwork::isoLocalTimeText(entry.time));
    out.text(names::kEvent, eventWord(entry.event));
    switch (entry.event) {
    case HistoryEvent::launched:
        // Without an exit code the engine did not wait for the program: there is no outcome to tell.
        if (entry.exitCodeKnown) {
            out.number(names::kResult, entry.result);
            out.number(names::kExitCode, entry.exitCode);
            out.number(names::kDurationMs, entry.durationMs);
            out.usage(entry.cpuMs, entry.peakMemoryBytes);
        }
        break;
    case HistoryEvent::deferred:
    case HistoryEvent::refused:
        out.text(names::kReason, KsExecution::deferralReasonWord(static_cast<KsExecution::DeferralCode>(entry.code)));
        out.number(names::kCode, entry.code);
        out.number(names::kDelay, entry.delay);
        out.number(names::kErrorCode, entry.errorCode);
        break;
    case HistoryEvent::failed:
        out.number(names::kResult, entry.result);
        break;
    case HistoryEvent::stopped:
        out.text(names::kReason, KsStore::stopReasonWord(entry.code));
        out.usage(entry.cpuMs, entry.peakMemoryBytes);
        break;
    }
}

std::wstring buildHistoryReply(const HistoryRequest& request)
{
    const Keelwork::ReadStatus found = findStoredTask(request.name);
    if (!found.read())
        return unreadTaskReply(names::kHistoryRequest, request.name, found);
    const size_t count = std::min<size_t>(request.count, KsStore::kMaxHistoryEntries);
    // An empty list says that nothing is recorded: a history that could not be looked at is not.
    const KsStore::HistoryRead history = KsStore::TaskHistory::read(request.name.c_str(), count);
    if (history.status.denied())
        return unreadableReply(names::kHistoryRequest, request.name, L"history", history.status.error);
    JSONFormatter reply;
    openReply(reply, request.name, true);
    JSONFormatter::Value entries(rapidjson::kArrayType);
    for (const KsStore::HistoryEntry& entry : history.entries) {
        ObjectWriter object(reply);
        writeEntry(object, entry);
        entries.PushBack(object.value(), reply.allocator());
    }
    reply.setValue(names::kEntries, entries);
    return reply.serialize();
}

} // namespace

std::wstring historyReply(const HistoryRequest& request)
{
    return guardReply(names::kHistoryRequest, [&] { return buildHistoryReply(request); });
}

std::wstring historyReply(const std::wstring& payload)
{
    return guardReply(names::kHistoryRequest, [&] {
        Parsed<HistoryRequest> parsed = parseHistoryRequest(payload);
        if (auto* error = std::get_if<RequestError>(&parsed))
            return errorReply(names::kHistoryRequest, *error);
        return buildHistoryReply(std::get<HistoryRequest>(parsed));
    });
}

} // namespace KsInsight
