// What the three reply builders share: the reply's opening members, a time with its local text
// beside it, the refusal of an unknown task, and the guard that keeps every failure inside.
#pragma once

#include "insight/InsightRequest.h"
#include "insight/TaskPicture.h"
#include "message/JSONFormatter.h"

#include <cstdint>
#include <functional>
#include <string>

namespace KsInsight {

// One object member of a reply, made in the reply's own allocator: a formatter of its own would
// take a memory pool of its own and be copied once more into the reply.
class ObjectWriter {
public:
    explicit ObjectWriter(Tessel::JSONFormatter& reply) : m_allocator(reply.allocator()) {}
    ObjectWriter& number(const wchar_t* key, uint32_t value);
    ObjectWriter& number(const wchar_t* key, uint64_t value);
    // "cpuMs" and "peakMemoryBytes" of a program's tree, each only when known.
    ObjectWriter& usage(const std::optional<uint64_t>& cpuMs, const std::optional<uint64_t>& peakMemoryBytes);
    ObjectWriter& text(const wchar_t* key, const std::wstring& value);
    ObjectWriter& flag(const wchar_t* key, bool value);
    // `key` as a number and `localKey` as ISO 8601 local text beside it.
    ObjectWriter& time(const wchar_t* key, const wchar_t* localKey, uint32_t time);
    // Moves the object out, as a reply member or an array element.
    Tessel::JSONFormatter::Value& value() { return m_object; }

private:
    Tessel::JSONFormatter::Allocator& m_allocator;
    Tessel::JSONFormatter::Value m_object{rapidjson::kObjectType};
};

// "name" (when given) and "status" first, as every reply opens.
void openReply(Tessel::JSONFormatter& reply, const std::optional<std::wstring>& name, bool status);
// "occasion": {"kind": "logon"|"boot", "every": N, "seen": n} of an occasion task.
void setOccasion(Tessel::JSONFormatter& reply, const TaskPicture& picture);
// The error reply for a request naming a task that is not stored.
std::wstring unknownTaskReply(const wchar_t* requestName, const std::wstring& name);
// The error reply for a request that could not look at what it needed or could not signal the
// engine: "errorCode" carries the Windows error, which tells this refusal from every answer.
std::wstring deniedReply(const wchar_t* requestName, const std::wstring& name, const std::wstring& sentence,
                         long error);
// The denied reply for a task whose `what` ("record", "history") could not be read.
std::wstring unreadableReply(const wchar_t* requestName, const std::wstring& name, const wchar_t* what, long error);
// The reply for a task whose record did not read: unknown when absent, unreadable when denied.
std::wstring unreadTaskReply(const wchar_t* requestName, const std::wstring& name, const Keelwork::ReadStatus& status);
// Runs `build`; anything it throws becomes an error reply with an Error line.
std::wstring guardReply(const wchar_t* requestName, const std::function<std::wstring()>& build);

} // namespace KsInsight
