// Tessel::TaskSchedulerImpl: the requests that ask the scheduler about its tasks (Explain, History,
// Preview) and RunNow. Each is answered from the engine's published state and the store, never by
// waiting for the engine thread; only Explain's "ifDueNow" asks the machine's probes, on a thread
// of the module's own.
#include "module/TaskSchedulerImpl.h"

#include "common/Clock.h"
#include "common/ComPtr.h"
#include "engine/DueNowDecision.h"
#include "engine/RunningEngine.h"
#include "insight/InsightNames.h"
#include "insight/InsightReplies.h"
#include "insight/TaskPicture.h"
#include "logging/internal_logging.h"
#include "message/Message.h"
#include "module/ModuleGuard.h"
#include "platform/AssumedProbeServices.h"
#include "platform/SystemProbeServices.h"

#include <exception>
#include <variant>

namespace Tessel {
namespace {

namespace I = KsInsight::names;

// errorReply logs each refusal as a Warning.
constexpr const wchar_t* kBusy =
    L"The module is busy with other \"ifDueNow\" questions; ask again later or without \"ifDueNow\".";
constexpr const wchar_t* kUnavailable = L"The module is stopping or out of resources; ask again without \"ifDueNow\".";

uint32_t now()
{
    return Keelwork::Clock::current().now();
}

KsPlatform::ProbeAssumptions probeAssumptions(const KsInsight::Assumptions& assume)
{
    return {assume.battery, assume.metered, assume.fullScreen, assume.connectedStandby, assume.userIdle};
}

// What the engine would decide now; nullopt when the task is gone or the probes failed (logged).
std::optional<KsInsight::IfDueNow> decideIfDueNow(const KsInsight::ExplainRequest& request, HANDLE stopEvent)
{
    try {
        Keelwork::ComInitialization com(COINIT_MULTITHREADED);
        KsPlatform::SystemProbeServices system(stopEvent);
        KsPlatform::AssumedProbeServices assumed(system, probeAssumptions(request.assume));
        const std::optional<Keelwork::engine::DueNowAnswer> answer = Keelwork::engine::decideIfDueNow(
            request.name, assumed.services(), Keelwork::engine::runningEngineView());
        if (answer)
            return KsInsight::IfDueNow{answer->run, answer->reason, answer->code, answer->delay};
    } catch (const std::exception& error) {
        KSLOG_ERROR(L"Could not work out whether task %s would run now: %hs", request.name.c_str(), error.what());
    } catch (...) {
        KSLOG_ERROR(L"Could not work out whether task %s would run now", request.name.c_str());
    }
    return std::nullopt;
}

} // namespace

void TaskSchedulerImpl::addInsightHandlers()
{
    m_handlers.emplace_back(I::kExplainRequest, [this](std::shared_ptr<Message> request) {
        return guardStatus([&] { return explain(request); });
    });
    m_handlers.emplace_back(I::kHistoryRequest, replyHandler(I::kHistoryResponse, [](const std::wstring& payload) {
        return KsInsight::historyReply(payload);
    }));
    m_handlers.emplace_back(I::kPreviewRequest, replyHandler(I::kPreviewResponse, [](const std::wstring& payload) {
        return KsInsight::previewReply(payload, now());
    }));
    m_handlers.emplace_back(I::kRunNowRequest, replyHandler(I::kRunNowResponse, [](const std::wstring& payload) {
        return KsInsight::runNowReply(payload, Keelwork::engine::askRunningEngineToRunNow);
    }));
}

TaskSchedulerImpl::Handler TaskSchedulerImpl::replyHandler(const wchar_t* replyName,
                                                           std::function<std::wstring(const std::wstring&)> reply)
{
    return [this, replyName, reply = std::move(reply)](std::shared_ptr<Message> request) {
        return guardStatus([&] {
            if (!request)
                return MODULE_STATUS_INVALID_PARAMETER;
            publishReply(*request, replyName, reply(request->payload()));
            return MODULE_STATUS_SUCCESS;
        });
    };
}

ModuleStatus TaskSchedulerImpl::explain(const std::shared_ptr<Message>& request)
{
    if (!request)
        return MODULE_STATUS_INVALID_PARAMETER;
    KsInsight::Parsed<KsInsight::ExplainRequest> parsed = KsInsight::parseExplainRequest(request->payload());
    if (const KsInsight::RequestError* error = std::get_if<KsInsight::RequestError>(&parsed)) {
        publishReply(*request, I::kExplainResponse, KsInsight::errorReply(I::kExplainRequest, *error));
        return MODULE_STATUS_SUCCESS;
    }
    const KsInsight::ExplainRequest explainRequest = std::get<KsInsight::ExplainRequest>(parsed);
    // An unknown task is answered at once: there is nothing to ask the probes about.
    if (!explainRequest.wantsIfDueNow || !KsInsight::isStoredTask(explainRequest.name)) {
        publishReply(*request, I::kExplainResponse,
                     KsInsight::explainReply(explainRequest, KsInsight::BoardStateSource(), now()));
        return MODULE_STATUS_SUCCESS;
    }
    const RequestWorkers::Handed handed = m_workers.run([this, request, explainRequest](HANDLE stopEvent) {
        guardStatus([&] {
            const std::optional<KsInsight::IfDueNow> ifDueNow = decideIfDueNow(explainRequest, stopEvent);
            publishReply(*request, I::kExplainResponse,
                         KsInsight::explainReply(explainRequest, KsInsight::BoardStateSource(), now(), ifDueNow));
            return MODULE_STATUS_SUCCESS;
        });
    });
    if (handed != RequestWorkers::Handed::accepted) {
        const KsInsight::RequestError error{explainRequest.name,
                                            handed == RequestWorkers::Handed::busy ? kBusy : kUnavailable};
        publishReply(*request, I::kExplainResponse, KsInsight::errorReply(I::kExplainRequest, error));
    }
    return MODULE_STATUS_SUCCESS;
}

} // namespace Tessel
