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

ObjectWriter& ObjectWriter::number(const wchar_t* key, uint32_t value)
{
    m_object.AddMember(rapidjson::StringRef(key), Tessel::JSONFormatter::Value(value), m_allocator);
    return *this;
}

ObjectWriter& ObjectWriter::number(const wchar_t* key, uint64_t value)
{
    m_object.AddMember(rapidjson::StringRef(key), Tessel::JSONFormatter::Value(value), m_allocator);
    return *this;
}

ObjectWriter& ObjectWriter::flag(const wchar_t* key, bool value)
{
    m_object.AddMember(rapidjson::StringRef(key), Tessel::JSONFormatter::Value(value), m_allocator);
    return *this;
}

ObjectWriter& ObjectWriter::usage(const std::optional<uint64_t>& cpuMs, const std::optional<uint64_t>& peakMemoryBytes)
{
    if (cpuMs)
        number(names::kCpuMs, *cpuMs);
    if (peakMemoryBytes)
        number(names::kPeakMemoryBytes, *peakMemoryBytes);
    return *this;
}

ObjectWriter& ObjectWriter::text(const wchar_t* key, const std::wstring& value)
{
    m_object.AddMember(rapidjson::StringRef(key),
                       Tessel::JSONFormatter::Value(value.c_str(), static_cast<rapidjson::SizeType>(value.size()),
                                                    m_allocator),
                       m_allocator);
    return *this;
}

ObjectWriter& ObjectWriter::time(const wchar_t* key, const wchar_t* localKey, uint32_t time)
{
    return number(key, time).text(localKey, Keelwork::isoLocalTimeText(time));
}

void setOccasion(Tessel::JSONFormatter& reply, const TaskPicture& picture)
{
    ObjectWriter occasion(reply);
    occasion.text(names::kKind, picture.type == KS_TASK_LOGON ? names::kLogon : names::kBoot)
        .number(names::kEvery, picture.defaultFreq)
        .number(names::kSeen, picture.nextRun);
    reply.setValue(names::kOccasion, occasion.value());
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

std::wstring unreadableReply(const wchar_t* requestName, const std::wstring& name, const wchar_t* what, long error)
{
    const std::wstring sentence =
        L"The task's " + std::wstring(what) + L" cannot be read (error " + std::to_wstring(error) + L").";
    return deniedReply(requestName, name, sentence, error);
}

std::wstring deniedReply(const wchar_t* requestName, const std::wstring& name, const std::wstring& sentence,
                         long error)
{
    KSLOG_WARNING(L"Refused %s for task '%s': %s", requestName, name.c_str(), sentence.c_str());
    Tessel::JSONFormatter reply;
    openReply(reply, name, false);
    reply.setString(names::kError, sentence);
    reply.setUInt(names::kErrorCode, static_cast<uint32_t>(error));
    return reply.serialize();
}

std::wstring unreadTaskReply(const wchar_t* requestName, const std::wstring& name, const Keelwork::ReadStatus& status)
{
    if (status.denied())
        return unreadableReply(requestName, name, L"record", status.error);
    return unknownTaskReply(requestName, name);
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
