// What one request may cost the module: a payload or a name larger than the module keeps is
// refused before it is read further, and "ifDueNow" questions, however many arrive at once, are
// answered by a few threads, each with a decision or a busy refusal.
#include "LogFileReader.h"
#include "MessageInbox.h"
#include "ModuleHost.h"

#include "common/WinInclude.h"
#include "insight/InsightReplies.h"
#include "message/JSONFormatter.h"
#include "message/Message.h"
#include "message/Reply.h"
#include "module/TaskRequestWorker.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>

namespace moduletest {
namespace {

constexpr size_t kLimitChars = 64 * 1024 / sizeof(wchar_t);  // the bus carries UTF-16
constexpr const wchar_t* kTooLarge = L"The request is larger than 64 KiB; it was not read.";
constexpr const wchar_t* kBusy =  // as the reply's JSON writes it
    L"The module is busy with other \\\"ifDueNow\\\" questions; ask again later or without \\\"ifDueNow\\\".";
constexpr const wchar_t* kExplain = L"TaskScheduler.Task.Explain";
constexpr const wchar_t* kQuery = L"TaskScheduler.Task.Query";
constexpr const wchar_t* kRunNow = L"TaskScheduler.Task.RunNow";

// `{"name":NAME,"pad":"xx..."}` of exactly `chars` UTF-16 units; 0 leaves out the padding.
std::wstring payloadOf(const std::wstring& name, size_t chars)
{
    std::wstring text = L"{\"name\":\"" + name + L"\"";
    if (chars) {
        text += L",\"pad\":\"";
        text.append(chars - text.size() - 2, L'x');
        text += L"\"";
    }
    return text + L"}";
}

std::wstring replaced(std::wstring text, const std::wstring& name)
{
    for (size_t at = text.find(L'@'); at != std::wstring::npos; at = text.find(L'@', at + name.size()))
        text.replace(at, 1, name);
    return text;
}

struct LimitRow {
    const char* label;
    const wchar_t* message;
    size_t nameChars;     // the name is that many 'n's
    size_t payloadChars;  // 0: just the name
    std::wstring reply;   // '@' stands for the name
};

const std::wstring kUnknown = L"{\"name\":\"@\",\"status\":false,\"error\":\"No task of that name is stored.\"}";
const std::wstring kRefusedWhole = std::wstring(L"{\"status\":false,\"error\":\"") + kTooLarge + L"\"}";
const std::wstring kLongName = L"\"error\":\"A task name may have at most 127 characters.\"}";

const LimitRow kLimitRows[] = {
    {"ExplainAtTheLimit", kExplain, 4, kLimitChars, kUnknown},
    {"ExplainOneOver", kExplain, 4, kLimitChars + 1, kRefusedWhole},
    {"RunNowOneOver", kRunNow, 4, kLimitChars + 1, kRefusedWhole},
    {"QueryAtTheLimit", kQuery, 4, kLimitChars, L"{\"status\":false,\"name\":\"@\"}"},
    {"QueryOneOver", kQuery, 4, kLimitChars + 1, kRefusedWhole},
    {"ExplainNameAtTheLimit", kExplain, 127, 0, kUnknown},
    {"ExplainNameOneOver", kExplain, 128, 0, L"{\"name\":\"@\",\"status\":false," + kLongName},
    {"QueryNameAtTheLimit", kQuery, 127, 0, L"{\"status\":false,\"name\":\"@\"}"},
    {"QueryNameOneOver", kQuery, 128, 0, L"{\"status\":false,\"name\":\"@\"," + kLongName},
};

void PrintTo(const LimitRow& row, std::ostream* out)
{
    *out << row.label;
}

class RequestLimits : public ModuleHostFixture, public ::testing::WithParamInterface<LimitRow> {};

TEST_P(RequestLimits, RefuseWhatIsLargerThanTheModuleKeeps)
{
    const LimitRow& row = GetParam();
    const std::wstring name(row.nameChars, L'n');
    const std::wstring payload = payloadOf(name, row.payloadChars);
    ASSERT_TRUE(row.payloadChars == 0 || payload.size() == row.payloadChars);
    const std::optional<Answer> answer = request(row.message, payload);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->payload, replaced(row.reply, name));
}

// The refusal's Warning, seen in this process's log by taking both roads in: the task-management
// requests' and the insight requests'.
TEST(RequestLimitWarnings, AnOversizedPayloadIsLoggedByEitherRoad)
{
    const std::wstring payload = payloadOf(L"nnnn", kLimitChars + 1);
    const kstest::LogCapture log;
    std::mutex lock;
    Tessel::JSONFormatter response;
    bool called = false;
    EXPECT_EQ(Tessel::runSingleNameRequest(payload, Tessel::TaskReplyForm::StatusAndName, lock,
                                           [&](const std::wstring&, const std::wstring&, std::wstring&) {
                                               called = true;
                                               return true;
                                           },
                                           response),
              Tessel::MODULE_STATUS_DATA_ERROR);
    EXPECT_FALSE(called);
    KsInsight::runNowReply(payload, [&](const std::wstring&) {
        called = true;
        return KsInsight::RunNowOutcome::asked;
    });
    EXPECT_FALSE(called);
    EXPECT_TRUE(log.contains(std::wstring(L"characters: ") + kTooLarge) &&
                log.contains(std::wstring(L"Refused TaskScheduler.Task.RunNow: ") + kTooLarge))
        << kstest::narrowForReport(log.text());
}

INSTANTIATE_TEST_SUITE_P(Rows, RequestLimits, ::testing::ValuesIn(kLimitRows),
                         [](const auto& info) { return std::string(info.param.label); });

// Threads of this process that started in TaskScheduler.dll: the module's own, told apart from the
// bus library's and COM's by their start address.
size_t moduleThreads()
{
    using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    constexpr int kStartAddressClass = 9;  // ThreadQuerySetWin32StartAddress
    const auto query = reinterpret_cast<QueryThread>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    MODULEINFO dll{};
    EXPECT_TRUE(query && ::GetModuleInformation(::GetCurrentProcess(), ::GetModuleHandleW(L"TaskScheduler.dll"), &dll,
                                                sizeof(dll)));
    const auto base = reinterpret_cast<uintptr_t>(dll.lpBaseOfDll);
    Keelwork::unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    const HANDLE threads = snapshot.get();
    for (BOOL more = ::Thread32First(threads, &entry); more && query; more = ::Thread32Next(threads, &entry)) {
        Keelwork::unique_handle thread(::OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
        uintptr_t start = 0;
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId() && thread &&
            query(thread.get(), kStartAddressClass, &start, sizeof(start), nullptr) == 0)
            count += start >= base && start - base < dll.SizeOfImage;
    }
    return count;
}

constexpr size_t kWorkers = 4;
constexpr const wchar_t* kQuestion = L"{\"name\":\"probed\",\"ifDueNow\":true}";
constexpr int kQuestions = 200;

class RequestBounds : public ModuleHostFixture {
protected:
    // Every question the module asks first holds its worker until the test answers it.
    void holdConnectedStandbyQuestions()
    {
        ASSERT_EQ(client().subscribe(L"SystemMonitor.ConnectedStandby.Status.Request",
                                     [this](std::shared_ptr<Tessel::Message> m) { return m_held.deliver(m); }),
                  0u);
    }
    void answer(const Tessel::Message& question)
    {
        client().publish(
            Tessel::Message::createReply(question, L"SystemMonitor.ConnectedStandby.Off", L"ModuleTests", L""));
    }
    std::vector<std::shared_ptr<Tessel::Reply>> ask(int questions)
    {
        std::vector<std::shared_ptr<Tessel::Reply>> replies(questions);
        for (std::shared_ptr<Tessel::Reply>& reply : replies) {
            auto question = Tessel::Message::create(kExplain, L"ModuleTests", kQuestion);
            EXPECT_EQ(client().request(question, reply, kBoundMs), 0u);
        }
        return replies;
    }
    void SetUp() override
    {
        ModuleHostFixture::SetUp();
        ASSERT_TRUE(request(L"TaskScheduler.Task.Create", createPayload(L"probed", 3600)));
        holdConnectedStandbyQuestions();
    }
    static constexpr uint32_t kBoundMs = 6 * std::chrono::milliseconds(kAnswerBound).count();
    kstest::MessageInbox m_held;
};

TEST_F(RequestBounds, ManyIfDueNowQuestionsAtOnceAreAllAnsweredByAFewThreads)
{
    const std::vector<std::shared_ptr<Tessel::Reply>> replies = ask(kQuestions);
    // Each held question is answered in turn; the threads are counted while the rest wait.
    size_t most = 0;
    const auto allAnswered = [&] {
        return std::all_of(replies.begin(), replies.end(),
                           [](const auto& reply) { return reply->waitFor(0) != Tessel::REPLY_STATUS_PENDING; });
    };
    const auto deadline = std::chrono::steady_clock::now() + 6 * kAnswerBound;
    while (!allAnswered()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "questions left unanswered";
        if (std::shared_ptr<Tessel::Message> question = m_held.take(std::chrono::milliseconds(100))) {
            most = std::max(most, moduleThreads());
            answer(*question);
        }
    }
    const std::wstring busy = std::wstring(L"{\"name\":\"probed\",\"status\":false,\"error\":\"") + kBusy + L"\"}";
    int decided = 0, refused = 0;
    for (const std::shared_ptr<Tessel::Reply>& reply : replies) {
        ASSERT_EQ(reply->waitFor(0), Tessel::REPLY_STATUS_RECEIVED);
        const std::wstring payload = reply->getMessage()->payload();
        decided += payload.find(L",\"ifDueNow\":{\"decision\":") != std::wstring::npos;
        refused += payload == busy;
    }
    EXPECT_EQ(decided + refused, kQuestions);
    EXPECT_GT(decided, 0);
    EXPECT_GT(most, 0u) << "no thread of the module's was seen";
    EXPECT_LE(most, kWorkers);
}

// A stop while questions wait: the held ones end at the stop and every question taken is answered
// before StopModule returns, which leaves no worker behind.
TEST_F(RequestBounds, StopAnswersEveryQuestionTakenAndLeavesNoWorker)
{
    const std::vector<std::shared_ptr<Tessel::Reply>> replies = ask(20);
    ASSERT_TRUE(m_held.take()) << "no worker asked its question";
    ASSERT_EQ(table().stopModule(handle()), 0u);
    EXPECT_EQ(moduleThreads(), 0u);
    for (const std::shared_ptr<Tessel::Reply>& reply : replies) {
        ASSERT_EQ(reply->waitFor(kBoundMs), Tessel::REPLY_STATUS_RECEIVED);
        const std::wstring payload = reply->getMessage()->payload();
        EXPECT_EQ(payload.rfind(L"{\"name\":\"probed\",", 0), 0u) << testing::PrintToString(payload);
    }
}

} // namespace
} // namespace moduletest
