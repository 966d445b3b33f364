// The worker steps shared by the task-management handlers: read the request's "name", make the
// one task-management call under the module's lock and leave the reply object in `response`.
// The caller has already set "status": false in it and publishes it whatever the result.
#pragma once

#include "message/ModuleStatus.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace Tessel {

class JSONFormatter;

// How a successful call shapes the reply.
enum class TaskReplyForm {
    StatusAndName,    // {"status": true, "name": ...}
    CallTextAndName,  // the call's JSON text, plus "name" and "status": true
};

// (name, request payload, out text) -> success; the text is used only by
// TaskReplyForm::CallTextAndName.
using SingleNameCall = std::function<bool(const std::wstring& name, const std::wstring& payload, std::wstring& text)>;
// (names, out text) -> success; the text is the reply object.
using NameListCall = std::function<bool(const std::vector<std::wstring>& names, std::wstring& text)>;

// Requests whose "name" is one non-empty JSON string.
ModuleStatus runSingleNameRequest(const std::wstring& payload, TaskReplyForm form, std::mutex& lock,
                                  const SingleNameCall& call, JSONFormatter& response);

// Requests whose "name" is a non-empty array of JSON strings; the reply carries no single name.
ModuleStatus runNameListRequest(const std::wstring& payload, std::mutex& lock, const NameListCall& call,
                                JSONFormatter& response);

} // namespace Tessel
