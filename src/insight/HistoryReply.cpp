// The History reply: the task's stored launch outcomes, newest first. A damaged history reads as
// none (the store has logged it).
#include "insight/InsightNames.h"
#include "insight/InsightReplies.h"
#include "insight/ReplyWriting.h"
#include "insight/TaskPicture.h"

#include "execution/DeferralCodes.h"
#include "store/TaskHistory.h"

#include <memory>
#include <vector>

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
    }
    return names::kFailed;
}

std::shared_ptr<JSONFormatter> entryObject(const KsStore::HistoryEntry& entry)
{
    auto object = std::make_shared<JSONFormatter>();
    setTime(*object, names::kTime, names::kTimeLocal, entry.time);
    object->setString(names::kEvent, eventWord(entry.event));
    switch (entry.event) {
    case HistoryEvent::launched:
        // Without an exit code the engine did not wait for the program: there is no outcome to tell.
        if (entry.exitCodeKnown) {
            object->setUInt(names::kResult, entry.result);
            object->setUInt(names::kExitCode, entry.exitCode);
            object->setUInt(names::kDurationMs, entry.durationMs);
        }
        break;
    case HistoryEvent::deferred:
    case HistoryEvent::refused:
        object->setString(names::kReason,
                          KsExecution::deferralReasonWord(static_cast<KsExecution::DeferralCode>(entry.code)));
        object->setUInt(names::kCode, entry.code);
        object->setUInt(names::kDelay, entry.delay);
        object->setUInt(names::kErrorCode, entry.errorCode);
        break;
    case HistoryEvent::failed:
        object->setUInt(names::kResult, entry.result);
        break;
    }
    return object;
}

std::wstring buildHistoryReply(const HistoryRequest& request)
{
    if (!isStoredTask(request.name))
        return unknownTaskReply(names::kHistoryRequest, request.name);
    const size_t count = std::min<size_t>(request.count, KsStore::kMaxHistoryEntries);
    std::vector<std::shared_ptr<JSONFormatter>> entries;
    for (const KsStore::HistoryEntry& entry : KsStore::TaskHistory::read(request.name.c_str(), count).entries)
        entries.push_back(entryObject(entry));
    JSONFormatter reply;
    openReply(reply, request.name, true);
    reply.setObjectArray(names::kEntries, entries);
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
