// Each command: its request built as the bus would carry it, answered by the same reply builders
// the module uses, and shown as that JSON text or as text for a reader.
#include "KsTaskTool.h"
#include "CommandLine.h"
#include "MirroredStateSource.h"
#include "ReplyText.h"
#include "TaskListing.h"

#include "common/ReadStatus.h"
#include "common/WinInclude.h"
#include "insight/InsightNames.h"
#include "insight/InsightReplies.h"
#include "insight/TaskPicture.h"
#include "message/JSONFormatter.h"
#include "registry/RegKey.h"
#include "state/RunNowRequest.h"
#include "store/KsTaskInfo.h"

#include <exception>
#include <functional>

namespace KsTaskTool {
namespace {

namespace names = KsInsight::names;

Outcome registryUnreadable(long error)
{
    return {kRegistryUnreadable, L"", L"The registry cannot be read (error " + std::to_wstring(error) + L").\n"};
}

// A missing key is fine (nothing stored yet); any other failure to open it is not.
long storeReadable()
{
    Keelwork::CRegKey key;
    const auto opened =
        Keelwork::ReadStatus::of(key.open(HKEY_LOCAL_MACHINE, KsStore::kSchedulerKeyPath, KEY_READ | KEY_WOW64_64KEY));
    return opened.denied() ? opened.error : ERROR_SUCCESS;
}

// The request's payload as the bus would carry it.
std::wstring payloadOf(const Command& command)
{
    Tessel::JSONFormatter payload;
    if (!command.name.empty())
        payload.setString(names::kName, command.name);
    for (const auto& [member, value] : command.schedule)
        payload.setString(member, value);
    if (command.count)
        payload.setUInt(names::kCount, *command.count);
    return payload.serialize();
}

// A reply shown as it is (--json) or as text. A refusal that carries an error code could not look
// at what it needed (or signal the engine); any other is an unknown task (for run: any refusal),
// the only refusal a checked command line leaves.
Outcome show(const Command& command, const std::wstring& reply,
             const std::function<std::wstring(const std::wstring&)>& render)
{
    Tessel::JSONFormatter json;
    bool status = false;
    const bool answered = json.parse(reply) && json.getBool(names::kStatus, status) && status;
    uint32_t errorCode = 0;
    const int refused = !answered && json.getUInt(names::kErrorCode, errorCode) ? kRegistryUnreadable : kUnknownTask;
    if (command.json)
        return {answered ? kDone : refused, reply + L"\n", L""};
    if (answered)
        return {kDone, render(reply), L""};
    std::wstring error;
    json.getString(names::kError, error);
    return {refused, L"", command.name + L": " + error + L"\n"};
}

Outcome list(const Command& command, const MirroredStateSource& source, uint32_t now)
{
    std::vector<ListRow> rows;
    if (const long error = collectTaskRows(source, command.all, now, rows))
        return registryUnreadable(error);
    if (command.json)
        return {kDone, listJson(rows) + L"\n", L""};
    // The verdicts then rest on a stopped engine; the reader is told why.
    std::wstring note;
    if (!source.mirrored().present)
        note = L"No engine has written its state since the machine started.\n";
    else if (source.ownerGone())
        note = L"The module that wrote the engine's state is no longer running.\n";
    return {kDone, listText(rows) + note, L""};
}

// The bus's reply for the same request: the engine hears it through the request key and answers
// through the same door as a bus request, and the reply is built by the module's own builder.
Outcome run(const Command& command)
{
    const std::wstring reply = KsInsight::runNowReply(
        payloadOf(command), [](const std::wstring& name) { return KsState::askEngineToRunNow(name); });
    return show(command, reply, [&](const std::wstring&) { return L"Asked the engine to run " + command.name + L" now.\n"; });
}

Outcome dispatch(const Command& command, uint32_t now)
{
    if (command.verb == Verb::help)
        return {kDone, kUsageText, L""};
    if (const long error = storeReadable())
        return registryUnreadable(error);
    switch (command.verb) {
    case Verb::history: return show(command, KsInsight::historyReply(payloadOf(command)), historyText);
    case Verb::preview: return show(command, KsInsight::previewReply(payloadOf(command), now), previewText);
    case Verb::run: return run(command);
    default: break;
    }
    KsState::MirroredState mirrored;
    if (const long error = KsState::readMirroredState(mirrored))
        return registryUnreadable(error);
    const MirroredStateSource source(std::move(mirrored));
    if (command.verb == Verb::list)
        return list(command, source, now);
    const std::wstring reply = KsInsight::explainReply(payloadOf(command), source, now);
    return show(command, reply, [&](const std::wstring& text) { return explainText(text, source.mirrored()); });
}

} // namespace

Outcome runTool(const std::vector<std::wstring>& args, uint32_t now)
{
    try {
        const std::optional<Command> command = parseCommandLine(args);
        if (!command)
            return {kBadUsage, L"", kUsageText};
        return dispatch(*command, now);
    } catch (const std::exception&) {
        // Out of memory, the one thing that can throw here: said, never carried out of the tool.
        return {kRegistryUnreadable, L"", L"kstask ran out of memory.\n"};
    }
}

} // namespace KsTaskTool
