// kstask for a caller the registry, the engine's event or the engine's process turn away: each
// command exits 3 with a sentence, and only says "nothing recorded" or "not running" when it saw
// nothing there. The refusals are real: access lists that deny this process, set on the very keys,
// event and process the tool opens. "--" lets a name start with '-'.
#include "RegistryFixture.h"
#include "TestTask.h"

#include "KsTaskTool.h"

#include "common/UniqueHandle.h"
#include "state/RunNowRequest.h"
#include "state/StateKey.h"
#include "store/KsTaskInfo.h"
#include "store/TaskHistory.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <memory>

namespace {

using KsTaskTool::runTool;

constexpr uint32_t kNow = 1800000000;
// Everyone may do anything but what `deny` names.
std::wstring denyingEveryone(const wchar_t* deny) { return L"D:P(D;;" + std::wstring(deny) + L";;;WD)(A;;GA;;;WD)"; }

Keelwork::unique_hlocal descriptorOf(const std::wstring& sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                                       nullptr));
    return Keelwork::unique_hlocal(descriptor);
}

// Denies everyone reading a key under the test's HKEY_LOCAL_MACHINE until it goes; the handle,
// opened before, keeps the right to put the key's own list back.
class DeniedKey {
public:
    explicit DeniedKey(const std::wstring& path)
    {
        EXPECT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, READ_CONTROL | WRITE_DAC | KEY_WOW64_64KEY,
                                  m_key.put()),
                  ERROR_SUCCESS)
            << testing::PrintToString(path);
        DWORD size = 0;
        ::RegGetKeySecurity(m_key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
        m_saved.resize(size);
        EXPECT_EQ(::RegGetKeySecurity(m_key.get(), DACL_SECURITY_INFORMATION, m_saved.data(), &size), ERROR_SUCCESS);
        const Keelwork::unique_hlocal denying = descriptorOf(denyingEveryone(L"KR"));
        EXPECT_EQ(::RegSetKeySecurity(m_key.get(), DACL_SECURITY_INFORMATION, denying.get()), ERROR_SUCCESS);
    }
    ~DeniedKey() { ::RegSetKeySecurity(m_key.get(), DACL_SECURITY_INFORMATION, m_saved.data()); }

private:
    Keelwork::unique_hkey m_key;
    std::vector<BYTE> m_saved;
};

// The engine's run-now event, made first by the test with a list that denies signalling it.
class DeniedEvent {
public:
    DeniedEvent()
    {
        const Keelwork::unique_hlocal descriptor = descriptorOf(denyingEveryone(L"0x2"));  // EVENT_MODIFY_STATE
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
        m_event.reset(::CreateEventW(&attributes, FALSE, FALSE, KsState::kRunNowEvent));
        EXPECT_TRUE(m_event && ::GetLastError() != ERROR_ALREADY_EXISTS);
    }

private:
    Keelwork::unique_event m_event;
};

// The state key written by an engine whose process this caller may not open: it runs all the same.
class UnopenableOwner {
public:
    UnopenableOwner()
    {
        const Keelwork::unique_hlocal descriptor = descriptorOf(denyingEveryone(L"0x1400"));  // query access
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        std::wstring command = L"\"" + kstest::sampleTaskPath() + L"\" --exit 0";
        EXPECT_TRUE(::CreateProcessW(nullptr, command.data(), &attributes, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                     nullptr, &startup, &started));
        m_process.adopt(started);
        FILETIME created, exited, kernel, user;
        EXPECT_TRUE(::GetProcessTimes(m_process.process.get(), &created, &exited, &kernel, &user));
        const uint64_t start = static_cast<uint64_t>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
        const KsState::MirroredEngine engine{
            {KsState::EnginePhase::running, KsState::EngineReason::none, kNow, 0}, {m_process.processId, start}, kNow};
        const std::vector<uint8_t> bytes = KsState::encodeEngine(engine);
        Keelwork::CRegKey key;
        EXPECT_EQ(key.open(HKEY_LOCAL_MACHINE, KsState::kStateKeyPath, KEY_SET_VALUE | KEY_WOW64_64KEY), ERROR_SUCCESS);
        EXPECT_EQ(key.setBinaryValue(KsState::kEngineValueName, bytes.data(), static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }
    // The value goes with its writer, so that no later row sees an engine.
    ~UnopenableOwner()
    {
        ::TerminateProcess(m_process.process.get(), 0);
        ::WaitForSingleObject(m_process.process.get(), 10000);
        ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, KsState::kStateKeyPath, KsState::kEngineValueName);
    }

private:
    Keelwork::unique_process_information m_process;
};

class KsTaskRefused : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        for (const wchar_t* name : {L"quiet", L"bare", L"-dash"})
            kstest::storeTask({.name = name, .nextRun = kNow + 60});
        ASSERT_TRUE(KsStore::TaskHistory::append(L"quiet", {.time = kNow - 60, .exitCodeKnown = true}));
        Keelwork::CRegKey state;  // empty: no engine has written it
        ASSERT_EQ(state.create(HKEY_LOCAL_MACHINE, KsState::kStateKeyPath, KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
    }
};

enum class Refusal { none, historyKey, taskKey, stateKey, event, owner };

struct Row {
    std::vector<std::wstring> args;
    Refusal refusal;
    int exitCode;
    std::wstring firstLine;  // of standard error when the exit code is not 0, else of standard output
};

TEST_F(KsTaskRefused, DeniedExitsThreeAndOnlyAbsenceSaysNothingIsThere)
{
    const std::wstring taskKey = std::wstring(KsStore::kSchedulerKeyPath) + L"\\quiet";
    const std::wstring history = L"quiet: The task's history cannot be read (error 5).";
    const std::wstring record = L"quiet: The task's record cannot be read (error 5).";
    const std::wstring unreadable = L"The registry cannot be read (error 5).";
    const std::wstring unknown = L"nosuch: No task of that name is stored.";
    const std::wstring noEngine = L"quiet: The task scheduler engine is not running; the task was not run.";
    const Row rows[] = {
        {{L"history", L"bare"}, Refusal::none, 0, L"No launch outcome is recorded for bare."},
        {{L"history", L"quiet"}, Refusal::historyKey, 3, history},
        {{L"history", L"quiet"}, Refusal::taskKey, 3, record},
        {{L"history", L"nosuch"}, Refusal::none, 1, unknown},
        {{L"explain", L"quiet"}, Refusal::historyKey, 3, history},
        {{L"explain", L"quiet"}, Refusal::taskKey, 3, record},
        {{L"explain", L"nosuch"}, Refusal::none, 1, unknown},
        {{L"preview", L"quiet"}, Refusal::taskKey, 3, record},
        {{L"preview", L"nosuch"}, Refusal::none, 1, unknown},
        {{L"run", L"quiet"}, Refusal::none, 1, noEngine},
        {{L"run", L"quiet"}, Refusal::taskKey, 3, record},
        {{L"run", L"quiet"}, Refusal::event, 3,
         L"quiet: This user may not signal the task scheduler engine (access denied); the task was not run."},
        {{L"list"}, Refusal::taskKey, 3, unreadable},
        {{L"list"}, Refusal::historyKey, 3, unreadable},
        {{L"list"}, Refusal::stateKey, 3, unreadable},
        {{L"explain", L"quiet"}, Refusal::stateKey, 3, unreadable},
        {{L"list"}, Refusal::none, 0, L"NAME"},
        // An engine this caller may not open still runs; its key's phase stands.
        {{L"explain", L"quiet"}, Refusal::owner, 0, L"Task           quiet"},
        {{L"list"}, Refusal::owner, 0, L"NAME"},
        // "--" ends the options: a name that starts with '-' is a name.
        {{L"explain", L"--", L"-dash"}, Refusal::none, 0, L"Task           -dash"},
        {{L"history", L"-n", L"3", L"--", L"-dash"}, Refusal::none, 0, L"No launch outcome is recorded for -dash."},
        {{L"preview", L"--json", L"--", L"-dash"}, Refusal::none, 0, L"{\"name\":\"-dash\",\"status\":true"},
        {{L"--", L"run", L"-dash"}, Refusal::none, 1, L"-dash: The task scheduler engine is not running;"},
        {{L"explain", L"-dash"}, Refusal::none, 2, L"usage: kstask <command> [--json]"},
        {{L"explain", L"--", L"-dash", L"--json"}, Refusal::none, 2, L"usage: kstask <command> [--json]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args) + " refused " + std::to_string(static_cast<int>(row.refusal)));
        const std::unique_ptr<DeniedKey> deniedKey(
            row.refusal == Refusal::taskKey      ? new DeniedKey(taskKey)
            : row.refusal == Refusal::historyKey ? new DeniedKey(KsStore::kSchedulerHistoryKeyPath)
            : row.refusal == Refusal::stateKey   ? new DeniedKey(KsState::kStateKeyPath)
                                                 : nullptr);
        const std::unique_ptr<DeniedEvent> deniedEvent(row.refusal == Refusal::event ? new DeniedEvent : nullptr);
        const std::unique_ptr<UnopenableOwner> owner(row.refusal == Refusal::owner ? new UnopenableOwner : nullptr);
        const KsTaskTool::Outcome outcome = runTool(row.args, kNow);
        EXPECT_EQ(outcome.exitCode, row.exitCode) << testing::PrintToString(outcome.out + outcome.err);
        const std::wstring& text = row.exitCode == 0 ? outcome.out : outcome.err;
        EXPECT_EQ(text.substr(0, row.firstLine.size()), row.firstLine) << testing::PrintToString(text);
        if (row.refusal == Refusal::owner) {
            EXPECT_EQ(text.find(L"no longer running"), std::wstring::npos) << testing::PrintToString(text);
        }
    }
}

} // namespace
