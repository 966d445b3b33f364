// Reading every stored task once for the list: its record, its newest outcomes, and its verdict
// through the same function the Explain answer uses.
#include "TaskListing.h"
#include "TriggerText.h"

#include "common/TimeText.h"
#include "common/WinInclude.h"
#include "execution/DeferralCodes.h"
#include "insight/TaskPicture.h"
#include "insight/Verdict.h"
#include "message/JSONFormatter.h"
#include "registry/RegKey.h"
#include "store/KsTaskInfo.h"
#include "store/TaskHistory.h"
#include "store/TaskName.h"

#include <algorithm>

namespace KsTaskTool {
namespace {

using KsStore::HistoryEvent;

std::wstring resultText(const std::vector<KsStore::HistoryEntry>& history)
{
    if (history.empty())
        return L"-";
    const KsStore::HistoryEntry& newest = history.front();
    const std::wstring reason =
        KsExecution::deferralReasonWord(static_cast<KsExecution::DeferralCode>(newest.code));
    switch (newest.event) {
    case HistoryEvent::launched:
        return newest.exitCodeKnown ? L"exit " + std::to_wstring(newest.exitCode) : L"started";
    case HistoryEvent::deferred: return L"deferred: " + reason;
    case HistoryEvent::refused: return L"refused: " + reason;
    case HistoryEvent::failed: return L"failed: error " + std::to_wstring(newest.result);
    case HistoryEvent::stopped: return L"stopped: " + std::wstring(KsStore::stopReasonWord(newest.code));
    }
    return L"-";
}

// ERROR_SUCCESS with the row, or the error of a history that may not be read.
long rowOf(const std::wstring& name, const KsInsight::TaskPicture& picture, const KsInsight::StateSource& source,
           uint32_t now, ListRow& row)
{
    const KsStore::HistoryRead read = KsStore::TaskHistory::read(name.c_str());
    if (read.status.denied())
        return read.status.error;
    const std::vector<KsStore::HistoryEntry>& history = read.entries;
    auto [engine, task] = source.read(KsStore::TaskIdentity(name).key());
    if (!task.lastLaunch || !task.lastDeferral)
        KsInsight::completeFromHistory(task, history);
    row.name = name;
    row.trigger = triggerText(picture);
    if (!picture.disabled && KsInsight::isTimed(picture.type))
        row.nextRun = picture.nextRun;
    row.verdict = KsInsight::verdictWord(KsInsight::explainTask(engine, task, picture, now).verdict);
    row.lastResult = resultText(history);
    return ERROR_SUCCESS;
}

long collectParent(const wchar_t* parent, const KsInsight::StateSource& source, uint32_t now,
                   std::vector<ListRow>& rows)
{
    Keelwork::CRegKey key;
    const auto opened = Keelwork::ReadStatus::of(key.open(HKEY_LOCAL_MACHINE, parent, KEY_READ | KEY_WOW64_64KEY));
    if (!opened.read())
        return opened.denied() ? opened.error : ERROR_SUCCESS;
    std::vector<std::wstring> names;
    long error = key.enumSubKeys(names);
    if (error != ERROR_SUCCESS)
        return error;
    for (const std::wstring& name : names) {
        // A key that is not a task's is no task: the engine does not load it either. One that may
        // not be read may well be a task, so the list would be short of it.
        Keelwork::ReadStatus status;
        const auto picture = KsInsight::readTaskPicture(name, status);
        if (status.denied())
            return status.error;
        if (picture && (error = rowOf(name, *picture, source, now, rows.emplace_back())) != ERROR_SUCCESS)
            return error;
    }
    return ERROR_SUCCESS;
}

std::wstring padded(const std::wstring& text, size_t width)
{
    return text.size() >= width ? text : text + std::wstring(width - text.size(), L' ');
}

std::wstring nextRunText(uint32_t nextRun)
{
    return nextRun == 0 ? L"-" : Keelwork::localTimeText(nextRun);
}

} // namespace

long collectTaskRows(const KsInsight::StateSource& source, bool all, uint32_t now, std::vector<ListRow>& rows)
{
    rows.clear();
    long error = collectParent(KsStore::kSchedulerKeyPath, source, now, rows);
    if (error == ERROR_SUCCESS && all)
        error = collectParent(KsStore::kSchedulerDisabledKeyPath, source, now, rows);
    std::sort(rows.begin(), rows.end(), [](const ListRow& a, const ListRow& b) {
        if ((a.nextRun == 0) != (b.nextRun == 0))
            return b.nextRun == 0;
        return a.nextRun != b.nextRun ? a.nextRun < b.nextRun : a.name < b.name;
    });
    return error;
}

std::wstring listText(const std::vector<ListRow>& rows)
{
    std::vector<std::vector<std::wstring>> cells{{L"NAME", L"TRIGGER", L"NEXT RUN", L"VERDICT", L"LAST RESULT"}};
    for (const ListRow& row : rows)
        cells.push_back({row.name, row.trigger, nextRunText(row.nextRun), row.verdict, row.lastResult});
    std::vector<size_t> widths(cells.front().size(), 0);
    for (const auto& line : cells)
        for (size_t column = 0; column < line.size(); ++column)
            widths[column] = std::max(widths[column], line[column].size());
    std::wstring text;
    for (const auto& line : cells) {
        std::wstring out;
        for (size_t column = 0; column + 1 < line.size(); ++column)
            out += padded(line[column], widths[column]) + L"  ";
        text += out + line.back() + L"\n";
    }
    return text;
}

std::wstring listJson(const std::vector<ListRow>& rows)
{
    // Each object is the JSON writer's text; only the array's brackets and commas are added here.
    std::wstring text = L"[";
    for (const ListRow& row : rows) {
        Tessel::JSONFormatter object;
        object.setString(L"name", row.name);
        object.setString(L"trigger", row.trigger);
        object.setUInt(L"nextRun", row.nextRun);
        if (row.nextRun != 0)
            object.setString(L"nextRunLocal", Keelwork::isoLocalTimeText(row.nextRun));
        object.setString(L"verdict", row.verdict);
        object.setString(L"lastResult", row.lastResult);
        text += (text.size() > 1 ? L"," : L"") + object.serialize();
    }
    return text + L"]";
}

} // namespace KsTaskTool
