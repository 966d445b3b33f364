// The shared pieces of the reply texts, and the error reply.
#include "insight/ReplyWriting.h"
#include "insight/InsightNames.h"
#include "insight/InsightReplies.h"

#include "common/TimeText.h"
#include "logging/internal_logging.h"
#include "store/KsTaskInfo.h"

namespace KsInsight {

void openReply(Tessel::JSONFormatter& reply, const std::optional<std::wstring>& name, bool status)
{
    if (name)
        reply.setString(names::kName, *name);
    reply.setBool(names::kStatus, status);
}

void setTime(Tessel::JSONFormatter& object, const wchar_t* key, const wchar_t* localKey, uint32_t time)
{
    object.setUInt(key, time);
    object.setString(localKey, Keelwork::isoLocalTimeText(time));
}

void setOccasion(Tessel::JSONFormatter& reply, const TaskPicture& picture)
{
    Tessel::JSONFormatter occasion;
    occasion.setString(names::kKind, picture.type == KS_TASK_LOGON ? names::kLogon : names::kBoot);
    occasion.setUInt(names::kEvery, picture.defaultFreq);
    occasion.setUInt(names::kSeen, picture.nextRun);
    reply.setObject(names::kOccasion, occasion);
}

std::wstring errorReply(const wchar_t* requestName, const RequestError& error)
{
    if (error.name)
        KSLOG_WARNING(L"Refused %s for task '%s': %s", requestName, error.name->c_str(), error.sentence.c_str());
    else
        KSLOG_WARNING(L"Refused %s: %s", requestName, error.sentence.c_str());
    Tessel::JSONFormatter reply;
    openReply(reply, error.name, false);
    reply.setString(names::kError, error.sentence);
    return reply.serialize();
}

std::wstring unknownTaskReply(const wchar_t* requestName, const std::wstring& name)
{
    return errorReply(requestName, RequestError{name, L"No task of that name is stored."});
}

std::wstring guardReply(const wchar_t* requestName, const std::function<std::wstring()>& build)
{
    try {
        return build();
    } catch (...) {
        KSLOG_ERROR(L"The answer to %s could not be built", requestName);
    }
    try {
        return L"{\"status\":false,\"error\":\"The answer could not be built.\"}";
    } catch (...) {
        return {};
    }
}

} // namespace KsInsight
