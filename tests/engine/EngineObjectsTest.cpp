// The engine's names taken first by another process, as a standard user could before the service
// starts: every object found is refused (logged Error), the engine runs a due task with stand-ins,
// and its loop does not spin on objects held signalled; a handle held set starves nothing else.
// Then the rule itself, over owners and access lists a test process under one user cannot make.
#include "ExpectLogged.h"
#include "EngineLoopFixture.h"

#include "engine/EngineLoop.h"
#include "engine/EngineObjects.h"
#include "state/RunNowRequest.h"

#include <gtest/gtest.h>

#include <sddl.h>

namespace {

using namespace kstest;
using Keelwork::engine::kSettableByEveryone;

const std::wstring kTakenNames[] = {Keelwork::engine::kWaitableTimerName, Keelwork::kNewTaskEvent,
                                    Keelwork::kLogonEvent, KsState::kRunNowEvent};

// squatter.exe holding every engine name (its own list of them) until the test ends.
class Squatter {
public:
    explicit Squatter(bool locked)
    {
        std::wstring command = L"\"" + testProgramFolder() + L"\\squatter.exe\" --ready " + m_readyName + L" --quit " +
                               m_quitName + (locked ? L" --locked" : L"");
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            m_process.adopt(info);
    }
    ~Squatter()
    {
        ::SetEvent(m_quit.get());
        ::WaitForSingleObject(m_process.process.get(), kBoundMs);
    }
    // Whether it holds every name.
    bool holds() const
    {
        const HANDLE either[] = {m_ready.get(), m_process.process.get()};
        return m_process.process && ::WaitForMultipleObjects(2, either, FALSE, kBoundMs) == WAIT_OBJECT_0;
    }

private:
    std::wstring m_readyName = uniqueEventName(L"ks-squatter-ready-");
    std::wstring m_quitName = uniqueEventName(L"ks-squatter-quit-");
    Keelwork::unique_event m_ready{::CreateEventW(nullptr, TRUE, FALSE, m_readyName.c_str())};
    Keelwork::unique_event m_quit{::CreateEventW(nullptr, TRUE, FALSE, m_quitName.c_str())};
    Keelwork::unique_process_information m_process;
};

size_t countOf(const std::wstring& text, const std::wstring& fragment)
{
    size_t count = 0;
    for (size_t at = text.find(fragment); at != std::wstring::npos; at = text.find(fragment, at + 1))
        ++count;
    return count;
}

// Open: anyone may do anything with the objects found. Locked: the engine may not even open them.
class SquattedNames : public EngineLoop, public ::testing::WithParamInterface<bool> {};

TEST_P(SquattedNames, EngineRefusesEachAndRunsADueTaskWithoutSpinning)
{
    const Squatter squatter(GetParam());
    ASSERT_TRUE(squatter.holds());
    storeTask({.name = L"due", .params = L"--set-event " + ranEventName()});
    LogCapture log;
    start();
    EXPECT_EQ(::WaitForSingleObject(m_ran.get(), kBoundMs), DWORD{WAIT_OBJECT_0}) << "the due task did not run";
    send(WM_NULL);  // the loop still serves its window
    for (const std::wstring& name : kTakenNames)
        EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_ERROR, L"Refused the object " + name + L":");
    // Signalled objects in the wait would wake it thousands of times by now; the logon stand-in,
    // made set, wakes it once, and the task's run may leave one timer hit.
    const std::wstring text = log.text();
    EXPECT_EQ(countOf(text, L"Login event set. A user has logged on"), 1u);
    EXPECT_EQ(countOf(text, L"A new task was either added or deleted"), 0u);
    EXPECT_LE(countOf(text, L"Waitable timer HIT"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Access, SquattedNames, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Locked" : "Open"); });

// The loop alone, its log-on handle held set: the first turn serves it and then the window's
// message, which stops the loop. Held set for ever, it would otherwise come first every time;
// after a thousand turns it lets the loop go.
class HeldHandleProbe final : public Keelwork::engine::EngineLoopHandler,
                              public Keelwork::engine::EngineWindowHandler {
public:
    void onTimer() override {}
    void onNewTask() override {}
    void onChangedTasks() override {}
    void onAutoMaintenance() override {}
    void onReadAhead() override {}
    void betweenSteps() override {}
    void onLogon() override
    {
        if (++logons == 1)
            ::PostMessageW(window.get(), WM_APP, 0, 0);
        else if (logons == 1000)
            ::SetEvent(exit.get());
    }
    LRESULT onWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message != WM_APP)
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
        logonsBeforeMessage = logons;
        ::SetEvent(exit.get());
        return 0;
    }

    Keelwork::unique_event exit{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    Keelwork::engine::EngineWindow window;
    int logons = 0;
    int logonsBeforeMessage = 0;
};

TEST(EngineLoopTurn, HandleHeldSetStarvesNeitherMessagesNorStop)
{
    HeldHandleProbe probe;
    ASSERT_TRUE(probe.window.create(::GetModuleHandleW(nullptr), probe) && probe.window.get());
    Keelwork::engine::EngineLoop loop;
    ASSERT_TRUE(loop.createTimer() && loop.createNewTaskEvent());
    const Keelwork::unique_event held(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    const Keelwork::unique_event maintenance(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    EXPECT_TRUE(loop.run(probe.exit.get(), held.get(), maintenance.get(), probe.window, probe));
    EXPECT_EQ(probe.logonsBeforeMessage, 1) << "the message waited " << probe.logons << " turns";
}

struct KindCase {
    const wchar_t* descriptor;  // owner and access list, as SDDL
    ACCESS_MASK othersMayHold;
    bool engines;
    bool nullList = false;  // the descriptor's owner with a null access list instead
};

// Owners: SY system, BA administrators, BU users, WD everyone. "D:P" alone is an empty list.
constexpr KindCase kKindCases[] = {
    {L"O:SYD:P(A;;GA;;;SY)(A;;GA;;;BA)", 0, true},
    {L"O:BAD:P(A;;GA;;;SY)(A;;GR;;;BA)", 0, true},
    {L"O:BAD:P", 0, true},
    {L"O:BUD:P(A;;GA;;;SY)(A;;GA;;;BA)", 0, false},                    // a user's own object
    {L"O:SY", 0, false},                                                // no list at all
    {L"O:SY", 0, false, true},                                          // a null list
    {L"O:SYD:P(A;;GA;;;SY)(A;;0x2;;;BU)", 0, false},                    // users may set it
    {L"O:SYD:P(A;;GA;;;SY)(A;;0x100000;;;WD)", 0, false},               // everyone may wait on it
    {L"O:SYD:P(A;OICIIO;GA;;;WD)(A;;GA;;;SY)", 0, true},                // for children only
    {L"O:SYD:P(D;;GA;;;WD)(A;;GA;;;WD)", 0, true},                      // everyone denied first
    {L"O:SYD:P(A;;GA;;;WD)(D;;GA;;;WD)", 0, false},                     // denied too late
    {L"O:SYD:P(D;;GA;;;BU)(A;;GA;;;WD)", 0, false},                     // denied to users only
    {L"O:SYD:P(AU;SA;GA;;;WD)", 0, false},                              // an entry of another type
    {L"O:SYD:P(D;;0x50000;;;WD)(A;;GA;;;WD)", kSettableByEveryone, true},  // the new-task event's
    {L"O:SYD:P(A;;GA;;;WD)", kSettableByEveryone, false},              // ... without its denial
};

TEST(EngineObjectKind, OwnerAndAccessListDecide)
{
    for (const KindCase& c : kKindCases) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(c.descriptor, SDDL_REVISION_1, &descriptor,
                                                                           nullptr))
            << narrowForReport(c.descriptor);
        const Keelwork::unique_hlocal held(descriptor);
        SECURITY_DESCRIPTOR withNullList;
        if (c.nullList) {
            PSID owner = nullptr;
            BOOL defaulted = FALSE;
            ::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
            ::InitializeSecurityDescriptor(&withNullList, SECURITY_DESCRIPTOR_REVISION);
            ::SetSecurityDescriptorOwner(&withNullList, owner, FALSE);
            ::SetSecurityDescriptorDacl(&withNullList, TRUE, nullptr, FALSE);
        }
        EXPECT_EQ(Keelwork::engine::isEnginesOwnKind(c.nullList ? &withNullList : descriptor, c.othersMayHold), c.engines)
            << narrowForReport(c.descriptor);
    }
}

} // namespace
