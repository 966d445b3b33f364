// The Preview reply: the next runs of a stored task, or of the schedule a create request would
// give, as the engine's own calendar code places them. Occasion tasks have no times to list.
#include "insight/InsightNames.h"
#include "insight/InsightReplies.h"
#include "insight/ReplyWriting.h"
#include "insight/TaskPicture.h"

#include "store/CalendarPreview.h"
#include "store/RunSpread.h"
#include "store/TaskName.h"

#include <vector>

namespace KsInsight {
namespace {

using Tessel::JSONFormatter;

TaskPicture pictureOf(const PreviewSchedule& schedule)
{
    TaskPicture picture;
    const KSTASKINFO& record = schedule.record;
    picture.type = record.dwTaskType;
    picture.defaultFreq = record.dwDefaultFreq;
    picture.rule = {record.dwDayOfWeekMask, record.dwInterval, record.dwHour, record.dwMinute};
    return picture;  // no next run stored: the first is the one a create would store
}

// taskKey names the stored task whose spread delay moves the runs; a schedule alone has none.
std::vector<KsCalendar::PreviewRun> runsOf(const TaskPicture& picture, const std::wstring& taskKey, uint32_t now,
                                           unsigned count)
{
    if (picture.type == KS_TASK_SCHEDULED)
        return KsCalendar::previewPeriodicRuns(picture.defaultFreq, picture.nextRun, now, count);
    if (isTimed(picture.type))
        return KsCalendar::previewCalendarRuns(KsSpread::spreadRule(picture.rule, taskKey, picture.spread),
                                               picture.nextRun, now, count);
    return {};
}

std::wstring buildPreviewReply(const PreviewRequest& request, uint32_t now)
{
    std::optional<TaskPicture> picture;
    Keelwork::ReadStatus status;
    if (request.schedule)
        picture = pictureOf(*request.schedule);
    else if (!(picture = readTaskPicture(request.name, status)))
        return unreadTaskReply(names::kPreviewRequest, request.name, status);

    JSONFormatter reply;
    openReply(reply, request.name.empty() ? std::nullopt : std::optional<std::wstring>(request.name), true);
    JSONFormatter::Value runs(rapidjson::kArrayType);
    const std::wstring taskKey = request.schedule ? L"" : KsStore::TaskIdentity(request.name).key();
    for (const KsCalendar::PreviewRun& run : runsOf(*picture, taskKey, now, request.count)) {
        ObjectWriter object(reply);
        object.time(names::kTime, names::kLocal, run.time).text(names::kNote, std::wstring(run.note));
        runs.PushBack(object.value(), reply.allocator());
    }
    reply.setValue(names::kRuns, runs);
    if (isOccasion(picture->type))
        setOccasion(reply, *picture);
    return reply.serialize();
}

} // namespace

std::wstring previewReply(const PreviewRequest& request, uint32_t now)
{
    return guardReply(names::kPreviewRequest, [&] { return buildPreviewReply(request, now); });
}

std::wstring previewReply(const std::wstring& payload, uint32_t now)
{
    return guardReply(names::kPreviewRequest, [&] {
        Parsed<PreviewRequest> parsed = parsePreviewRequest(payload);
        if (auto* error = std::get_if<RequestError>(&parsed))
            return errorReply(names::kPreviewRequest, *error);
        return buildPreviewReply(std::get<PreviewRequest>(parsed), now);
    });
}

} // namespace KsInsight
