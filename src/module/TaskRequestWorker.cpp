// Request parsing and reply shaping of the task-management handlers.
#include "module/TaskRequestWorker.h"

#include "logging/internal_logging.h"
#include "message/JSONFormatter.h"
#include "message/PayloadLimit.h"
#include "module/SchedulerModuleNames.h"
#include "store/TaskName.h"

namespace Tessel {
namespace {

// The call's own JSON text becomes the reply; text that is not an object leaves an empty one.
void replaceByCallText(JSONFormatter& response, const std::wstring& text)
{
    response.parse(text);
}

// A name no task can have is refused whole (cut at a NUL, it would name another task): the reply
// says why, and so does a Warning line.
bool refusedName(const std::wstring& name, JSONFormatter& response)
{
    const KsStore::TaskIdentity identity(name);
    if (identity.fault() != KsStore::TaskNameFault::containsNul && identity.fault() != KsStore::TaskNameFault::tooLong)
        return false;
    const wchar_t* sentence = KsStore::taskNameFaultSentence(identity.fault());
    KSLOG_WARNING(L"Refused the request for task '%s': %s", name.c_str(), sentence);
    response.setString(ModuleNames::kErrorMember, sentence);
    return true;
}

// A payload too large is refused before it is parsed.
bool refusedPayload(const std::wstring& payload, JSONFormatter& response)
{
    if (!payloadTooLarge(payload))
        return false;
    KSLOG_WARNING(L"Refused a request of %lu characters: %s", static_cast<unsigned long>(payload.size()),
                  kPayloadTooLargeSentence);
    response.setString(ModuleNames::kErrorMember, kPayloadTooLargeSentence);
    return true;
}

} // namespace

ModuleStatus runSingleNameRequest(const std::wstring& payload, TaskReplyForm form, std::mutex& lock,
                                  const SingleNameCall& call, JSONFormatter& response)
{
    if (refusedPayload(payload, response))
        return MODULE_STATUS_DATA_ERROR;
    JSONFormatter request;
    if (!request.parse(payload))
        return MODULE_STATUS_DATA_ERROR;
    std::wstring name;
    if (!request.getString(ModuleNames::kNameMember, name) || name.empty())
        return MODULE_STATUS_DATA_ERROR;
    response.setString(ModuleNames::kNameMember, name);
    if (refusedName(name, response))
        return MODULE_STATUS_DATA_ERROR;

    std::wstring text;
    bool succeeded = false;
    {
        std::lock_guard<std::mutex> guard(lock);
        succeeded = call(name, payload, text);
    }
    if (!succeeded)
        return MODULE_STATUS_UNSUCCESSFUL;

    if (form == TaskReplyForm::CallTextAndName) {
        replaceByCallText(response, text);
        response.setString(ModuleNames::kNameMember, name);
    }
    response.setBool(ModuleNames::kStatusMember, true);
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus runNameListRequest(const std::wstring& payload, std::mutex& lock, const NameListCall& call,
                                JSONFormatter& response)
{
    if (refusedPayload(payload, response))
        return MODULE_STATUS_DATA_ERROR;
    JSONFormatter request;
    if (!request.parse(payload))
        return MODULE_STATUS_DATA_ERROR;
    std::vector<std::wstring> names;
    // Absent counts as empty: getStringArray answers true with nothing appended.
    if (!request.getStringArray(ModuleNames::kNameMember, names) || names.empty())
        return MODULE_STATUS_DATA_ERROR;
    for (const std::wstring& name : names)
        if (refusedName(name, response))
            return MODULE_STATUS_DATA_ERROR;

    std::wstring text;
    bool succeeded = false;
    {
        std::lock_guard<std::mutex> guard(lock);
        succeeded = call(names, text);
    }
    if (!succeeded)
        return MODULE_STATUS_UNSUCCESSFUL;

    replaceByCallText(response, text);
    response.setBool(ModuleNames::kStatusMember, true);
    return MODULE_STATUS_SUCCESS;
}

} // namespace Tessel
