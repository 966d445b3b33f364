// The task-management rows end to end: host -> bus -> TaskScheduler.dll -> registry -> reply.
#include "ModuleHost.h"

#include "management/JSONFormatter.h"

namespace moduletest {
namespace {

class TaskRequestTest : public ModuleHostFixture {
protected:
    // Creates a task through the module and checks the answer.
    void createTask(const std::wstring& name, unsigned defaultFreq, bool enabled = true)
    {
        auto answer = request(L"TaskScheduler.Task.Create", createPayload(name, defaultFreq, enabled));
        ASSERT_TRUE(answer);
        ASSERT_EQ(answer->payload, L"{\"name\":\"" + name + L"\",\"status\":true}");
    }

    static std::unique_ptr<Tessel::JSONFormatter> parsed(const Answer& answer)
    {
        auto json = std::make_unique<Tessel::JSONFormatter>();
        EXPECT_TRUE(json->parse(answer.payload)) << testing::PrintToString(answer.payload);
        return json;
    }
};

TEST_F(TaskRequestTest, ModifyDisableEnableAndDeleteMoveTheTaskKey)
{
    createTask(L"mover", 60);

    auto modified = request(L"TaskScheduler.Task.Modify", L"{\"name\":\"mover\",\"defaultFreq\":\"120\"}");
    ASSERT_TRUE(modified);
    EXPECT_EQ(modified->name, L"TaskScheduler.Task.Modified");
    EXPECT_EQ(modified->payload, L"{\"name\":\"mover\",\"status\":true}");

    auto disabled = request(L"TaskScheduler.Task.Disable", L"{\"name\":\"mover\"}");
    ASSERT_TRUE(disabled);
    EXPECT_EQ(disabled->name, L"TaskScheduler.Task.Disabled");
    EXPECT_EQ(disabled->payload, L"{\"name\":\"mover\",\"status\":true}");
    EXPECT_FALSE(keyExists(enabledKeyPath(L"mover").c_str()));
    EXPECT_TRUE(keyExists(disabledKeyPath(L"mover").c_str()));

    auto enabled = request(L"TaskScheduler.Task.Enable", L"{\"name\":\"mover\"}");
    ASSERT_TRUE(enabled);
    EXPECT_EQ(enabled->name, L"TaskScheduler.Task.Enabled");
    EXPECT_EQ(enabled->payload, L"{\"name\":\"mover\",\"status\":true}");
    EXPECT_TRUE(keyExists(enabledKeyPath(L"mover").c_str()));

    auto query = request(L"TaskScheduler.Task.Query", L"{\"name\":\"mover\"}");
    ASSERT_TRUE(query);
    std::wstring freq;
    EXPECT_TRUE(parsed(*query)->getString(L"defaultFreq", freq) && freq == L"120") << query->payload;

    auto deleted = request(L"TaskScheduler.Task.Delete", L"{\"name\":\"mover\"}");
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->name, L"TaskScheduler.Task.Deleted");
    EXPECT_EQ(deleted->payload, L"{\"name\":\"mover\",\"status\":true}");
    EXPECT_FALSE(keyExists(enabledKeyPath(L"mover").c_str()));
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
};

INSTANTIATE_TEST_SUITE_P(Rows, RefusedRequestTest, ::testing::ValuesIn(kRefusedRequests));

} // namespace
} // namespace moduletest
