// The examples of docs/protocol.md stay true: each request there is sent, in order, to the module
// as a host loads it, and the reply must be the one printed below it. Local-time texts depend on
// the machine's zone and are only checked to be texts; an example marked "(times vary)" depends
// on today's date, so its times are only checked to be numbers.
#include "ModuleHost.h"

#include "message/JSONFormatter.h"
#include "store/TaskHistory.h"

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

namespace moduletest {
namespace {

using Value = Tessel::JSONFormatter::Value;

struct Example {
    std::string kind;  // "request" or "reply"
    std::wstring name;
    bool timesVary = false;
    std::wstring json;
};

std::wstring widen(const std::string& utf8)
{
    const int chars = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(chars, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), chars);
    return wide;
}

std::vector<Example> examples()
{
    // The source tree as the Windows side sees it (Wine maps / to Z:).
    std::ifstream file(std::string("Z:") + KS_PROTOCOL_DOC);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::regex block("```(request|reply) (\\S+)( \\(times vary\\))?\\n([^`]*)```");
    std::vector<Example> found;
    for (std::sregex_iterator it(text.begin(), text.end(), block), end; it != end; ++it) {
        std::string json = (*it)[4].str();
        while (!json.empty() && json.back() == '\n')
            json.pop_back();
        found.push_back({(*it)[1].str(), widen((*it)[2].str()), (*it)[3].matched, widen(json)});
    }
    return found;
}

bool endsWith(const std::wstring& text, const wchar_t* tail)
{
    const size_t size = std::wcslen(tail);
    return text.size() >= size && text.compare(text.size() - size, size, tail) == 0;
}

// The same members in the same order with the same values, but for what the machine's zone and
// today's date decide.
bool sameReply(const Value& expected, const Value& actual, bool timesVary, const std::wstring& key = L"")
{
    if (endsWith(key, L"Local") || key == L"local")
        return expected.IsString() && actual.IsString();
    if (timesVary && key == L"time")
        return expected.IsNumber() && actual.IsNumber();
    if (expected.IsObject() != actual.IsObject() || expected.IsArray() != actual.IsArray())
        return false;
    if (expected.IsObject()) {
        if (expected.MemberCount() != actual.MemberCount())
            return false;
        for (auto e = expected.MemberBegin(), a = actual.MemberBegin(); e != expected.MemberEnd(); ++e, ++a)
            if (e->name != a->name || !sameReply(e->value, a->value, timesVary, e->name.GetString()))
                return false;
        return true;
    }
    if (expected.IsArray()) {
        if (expected.Size() != actual.Size())
            return false;
        for (rapidjson::SizeType i = 0; i < expected.Size(); ++i)
            if (!sameReply(expected[i], actual[i], timesVary, key))
                return false;
        return true;
    }
    return expected == actual;
}

class ProtocolDocTest : public ModuleHostFixture {};

TEST_F(ProtocolDocTest, EveryExampleGetsTheReplyItShows)
{
    const std::vector<Example> blocks = examples();
    ASSERT_GE(blocks.size(), 20u) << "the examples of " << KS_PROTOCOL_DOC << " were not found";
    for (size_t i = 0; i + 1 < blocks.size(); i += 2) {
        const Example& sent = blocks[i];
        const Example& reply = blocks[i + 1];
        SCOPED_TRACE(testing::PrintToString(sent.name) + " " + testing::PrintToString(sent.json));
        ASSERT_EQ(sent.kind, "request");
        ASSERT_EQ(reply.kind, "reply");
        // The history example tells a launch and a deferral the engine would have written.
        if (sent.name == L"TaskScheduler.Task.History") {
            using KsStore::HistoryEvent;
            ASSERT_TRUE(KsStore::TaskHistory::append(L"Nightly Scan", {1893456000, HistoryEvent::launched, true, 0, 0, 4210}));
            ASSERT_TRUE(KsStore::TaskHistory::append(L"Nightly Scan", {1893542400, HistoryEvent::deferred, false, 0, 0, 0,
                                                                       0, 3600, 0}));
        }
        const std::optional<Answer> answer = request(sent.name, sent.json);
        ASSERT_TRUE(answer) << "no reply";
        EXPECT_EQ(answer->name, reply.name);
        Tessel::JSONFormatter expected, actual;
        ASSERT_TRUE(expected.parse(reply.json)) << "the example reply is not JSON";
        ASSERT_TRUE(actual.parse(answer->payload)) << testing::PrintToString(answer->payload);
        EXPECT_TRUE(sameReply(expected.root(), actual.root(), reply.timesVary))
            << "the reply was\n" << testing::PrintToString(answer->payload);
    }
}

} // namespace
} // namespace moduletest
