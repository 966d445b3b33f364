// squatter.exe: takes names before the engine does, as a standard user's program could. Each
// "event:NAME" or "timer:NAME" is made manual-reset and signalled, with a null access list (anyone
// may do anything) or, after --locked, an empty one (nobody may open it); without names, every
// name the engine makes. Sets the --ready event once all are made, then holds them until the
// --quit event is set (or a minute has passed).
#include "common/WinInclude.h"
#include "engine/EngineNames.h"
#include "state/RunNowRequest.h"

#include <aclapi.h>

#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    SECURITY_DESCRIPTOR descriptor;
    ACL empty;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
    std::wstring ready;
    std::wstring quit;
    std::vector<HANDLE> held;
    bool locked = false;
    std::vector<std::wstring> names;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--locked")
            locked = true;
        else if (arg == L"--ready" && i + 1 < argc)
            ready = argv[++i];
        else if (arg == L"--quit" && i + 1 < argc)
            quit = argv[++i];
        else
            names.push_back(arg);
    }
    if (names.empty())
        names = {std::wstring(L"timer:") + Keelwork::engine::kWaitableTimerName,
                 std::wstring(L"event:") + Keelwork::kNewTaskEvent, std::wstring(L"event:") + Keelwork::kLogonEvent,
                 std::wstring(L"event:") + KsState::kRunNowEvent};
    for (const std::wstring& arg : names) {
        HANDLE object = nullptr;
        if (arg.rfind(L"event:", 0) == 0) {
            object = ::CreateEventW(&attributes, TRUE, TRUE, arg.c_str() + 6);
        } else if (arg.rfind(L"timer:", 0) == 0) {
            object = ::CreateWaitableTimerW(&attributes, TRUE, arg.c_str() + 6);
            LARGE_INTEGER due{};
            due.QuadPart = -1;
            if (object && !::SetWaitableTimer(object, &due, 0, nullptr, nullptr, FALSE))
                return 3;
        }
        // Locked once made: the maker keeps its handle's rights.
        if (!object || (locked && ::SetSecurityInfo(object, SE_KERNEL_OBJECT,
                                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                                    nullptr, nullptr, &empty, nullptr) != ERROR_SUCCESS))
            return 2;
        held.push_back(object);
    }
    HANDLE quitEvent = ::OpenEventW(SYNCHRONIZE, FALSE, quit.c_str());
    HANDLE readyEvent = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, ready.c_str());
    if (!quitEvent || !readyEvent)
        return 1;
    ::SetEvent(readyEvent);
    ::WaitForSingleObject(quitEvent, 60000);
    return 0;  // the system closes what is held
}
