// The task-management rows end to end: host -> bus -> TaskScheduler.dll -> registry -> reply.
#include "ModuleHost.h"
#include "TestTask.h"

namespace moduletest {
namespace {

// One request on a stored task: the reply it gets and where the task's key is afterwards.
struct Step {
    const wchar_t* message;
    const wchar_t* payload;
    const wchar_t* replyName;
    bool enabledKey;
    bool disabledKey;
};

class TaskRequestTest : public ModuleHostFixture {};

TEST_F(TaskRequestTest, ModifyDisableEnableAndDeleteMoveTheTaskKey)
{
    const Step steps[] = {
        {L"TaskScheduler.Task.Create", nullptr, L"TaskScheduler.Task.Created", true, false},
        {L"TaskScheduler.Task.Modify", L"{\"name\":\"mover\",\"defaultFreq\":\"120\"}", L"TaskScheduler.Task.Modified",
         true, false},
        {L"TaskScheduler.Task.Disable", L"{\"name\":\"mover\"}", L"TaskScheduler.Task.Disabled", false, true},
        {L"TaskScheduler.Task.Enable", L"{\"name\":\"mover\"}", L"TaskScheduler.Task.Enabled", true, false},
        {L"TaskScheduler.Task.Delete", L"{\"name\":\"mover\"}", L"TaskScheduler.Task.Deleted", false, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(step.message)));
        auto answer = request(step.message, step.payload ? step.payload : createPayload(L"mover", 60));
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->name, step.replyName);
        EXPECT_EQ(answer->payload, L"{\"name\":\"mover\",\"status\":true}");
        EXPECT_EQ(keyExists(kstest::taskKeyPath(L"mover").c_str()), step.enabledKey);
        EXPECT_EQ(keyExists(kstest::taskKeyPath(L"mover", true).c_str()), step.disabledKey);
    }
}

// A request the module must refuse, and the only reply it may give.
struct RefusedRequest {
    const wchar_t* message;
    const wchar_t* payload;
    const wchar_t* replyName;
    const wchar_t* replyPayload;
};

class RefusedRequestTest : public ModuleHostFixture, public ::testing::WithParamInterface<RefusedRequest> {};

TEST_P(RefusedRequestTest, RepliesWithStatusFalse)
{
    const RefusedRequest& row = GetParam();
    auto answer = request(row.message, row.payload);
    ASSERT_TRUE(answer) << "no reply to " << testing::PrintToString(std::wstring(row.message));
    EXPECT_TRUE(answer->correlated);
    EXPECT_EQ(answer->name, row.replyName);
    EXPECT_EQ(answer->payload, row.replyPayload);
}

const RefusedRequest kRefusedRequests[] = {
    // Payload or "name" unusable: only "status".
    {L"TaskScheduler.Task.Delete", L"not json", L"TaskScheduler.Task.Deleted", L"{\"status\":false}"},
    {L"TaskScheduler.Task.Query", L"[\"q\"]", L"TaskScheduler.Task.Query.Response", L"{\"status\":false}"},
    {L"TaskScheduler.Task.Enable", L"{\"name\":\"\"}", L"TaskScheduler.Task.Enabled", L"{\"status\":false}"},
    {L"TaskScheduler.Task.Modify", L"{\"name\":5}", L"TaskScheduler.Task.Modified", L"{\"status\":false}"},
    {L"TaskScheduler.Task.Create", L"{\"taskType\":\"once\"}", L"TaskScheduler.Task.Created", L"{\"status\":false}"},
    {L"TaskScheduler.Task.Disable", L"{\"name\":[\"a\"]}", L"TaskScheduler.Task.Disabled", L"{\"status\":false}"},
    {L"TaskScheduler.Task.GetPresets", L"{\"name\":true}", L"TaskScheduler.Task.GetPresets.Response",
     L"{\"status\":false}"},
    {L"TaskScheduler.Task.BroadcastRegister", L"{}", L"TaskScheduler.Task.BroadcastRegistered", L"{\"status\":false}"},
    {L"TaskScheduler.Task.BroadcastRegister", L"{\"name\":[]}", L"TaskScheduler.Task.BroadcastRegistered",
     L"{\"status\":false}"},
    {L"TaskScheduler.Task.BroadcastRegister", L"{\"name\":\"one\"}", L"TaskScheduler.Task.BroadcastRegistered",
     L"{\"status\":false}"},
    {L"TaskScheduler.Task.BroadcastUnRegister", L"{\"name\":[\"a\",1]}", L"TaskScheduler.Task.BroadcastUnRegistered",
     L"{\"status\":false}"},
    {L"TaskScheduler.Task.BroadcastUnRegister", L"{\"name\":\"\"}", L"TaskScheduler.Task.BroadcastUnRegistered",
     L"{\"status\":false}"},
    // The operation failed: "status" false with the name read.
    {L"TaskScheduler.Task.Enable", L"{\"name\":\"absent\"}", L"TaskScheduler.Task.Enabled",
     L"{\"status\":false,\"name\":\"absent\"}"},
    {L"TaskScheduler.Task.Disable", L"{\"name\":\"absent\"}", L"TaskScheduler.Task.Disabled",
     L"{\"status\":false,\"name\":\"absent\"}"},
    {L"TaskScheduler.Task.Delete", L"{\"name\":\"absent\"}", L"TaskScheduler.Task.Deleted",
     L"{\"status\":false,\"name\":\"absent\"}"},
    {L"TaskScheduler.Task.Query", L"{\"name\":\"absent\"}", L"TaskScheduler.Task.Query.Response",
     L"{\"status\":false,\"name\":\"absent\"}"},
    {L"TaskScheduler.Task.Modify", L"{\"name\":\"absent\",\"defaultFreq\":\"5\"}", L"TaskScheduler.Task.Modified",
     L"{\"status\":false,\"name\":\"absent\"}"},
    {L"TaskScheduler.Task.Create", L"{\"name\":\"notrigger\",\"taskType\":\"scheduled\"}",
     L"TaskScheduler.Task.Created", L"{\"status\":false,\"name\":\"notrigger\"}"},
    {L"TaskScheduler.Task.BroadcastRegister", L"{\"name\":[\"absent\"]}", L"TaskScheduler.Task.BroadcastRegistered",
     L"{\"status\":false}"},
    // A name no task can have: refused whole, never cut at its NUL into another task's name.
    {L"TaskScheduler.Task.Create",
     L"{\"name\":\"say \\\"hi\\\" now\\u0000zzz\",\"taskType\":\"scheduled\",\"triggerType\":\"process\","
     L"\"taskTrigger\":\"C:\\\\Windows\\\\system32\\\\cmd.exe\",\"defaultFreq\":\"60\"}",
     L"TaskScheduler.Task.Created",
     L"{\"status\":false,\"name\":\"say \\\"hi\\\" now\\u0000zzz\",\"error\":\"A task name must not contain a NUL "
     L"character.\"}"},
    {L"TaskScheduler.Task.BroadcastRegister", L"{\"name\":[\"a\\u0000b\"]}", L"TaskScheduler.Task.BroadcastRegistered",
     L"{\"status\":false,\"error\":\"A task name must not contain a NUL character.\"}"},
};

INSTANTIATE_TEST_SUITE_P(Rows, RefusedRequestTest, ::testing::ValuesIn(kRefusedRequests));

} // namespace
} // namespace moduletest
