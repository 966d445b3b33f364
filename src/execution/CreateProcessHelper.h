// CCPHelper: starts a task's program in the service's own context or on the interactive user's
// desktop with that user's token (first the active session's token, then the shell's). Either
// way the program is created suspended and joins a job of its own before it runs (ProgramJob.h).
// One object per start; called on the engine thread only.
#pragma once

#include "common/UniqueHandle.h"
#include "platform/KsWin32API.h"

#include <memory>
#include <string>

// A started program: its process, and the job that holds it and every process it starts (empty
// when the system gave none: the program then runs without one).
struct StartedProgram {
    Keelwork::unique_handle process;
    Keelwork::unique_job job;
    DWORD processId = 0;
};

class CCPHelper {
public:
    // Loads the production function table.
    CCPHelper();
    // Uses the given table instead (tests substitute single calls this way).
    explicit CCPHelper(std::unique_ptr<CKsWin32APIBase> api);
    virtual ~CCPHelper();
    CCPHelper(const CCPHelper&) = delete;
    CCPHelper& operator=(const CCPHelper&) = delete;

    // Starts "\"path\" params" in the program's own folder. dwContext != 0 runs it as the
    // interactive user (pwszUser/pwszDomain name who; null = any). Returns the process handle,
    // empty on failure; *pdwError gets 0 or the Windows error code of the failing step.
    Keelwork::unique_handle RunProcess(const wchar_t* pwszPath, const wchar_t* pwszParams, DWORD* pdwError,
                                       DWORD dwContext, const wchar_t* pwszUser, const wchar_t* pwszDomain,
                                       DWORD dwCreationFlags);
    // RunProcess, keeping the job. `background`: the program and its children run at the
    // below-normal class and very low I/O and memory priority, from their first instruction; in
    // the user's context too (where dwCreationFlags is not used).
    StartedProgram Start(const wchar_t* pwszPath, const wchar_t* pwszParams, DWORD* pdwError, DWORD dwContext,
                         const wchar_t* pwszUser, const wchar_t* pwszDomain, DWORD dwCreationFlags, bool background);

    // The working directory and command line RunProcess uses for a path and its parameters.
    static std::wstring WorkingDirectoryOf(const wchar_t* pwszPath);
    static std::wstring CommandLineOf(const wchar_t* pwszPath, const wchar_t* pwszParams);

private:
    StartedProgram _RunProcessNormal(std::wstring& cmdline, DWORD* pdwError, const std::wstring& workdir,
                                     DWORD dwCreationFlags);
    StartedProgram _RunProcessAsUserXP(std::wstring& cmdline, DWORD* pdwError, const std::wstring& workdir,
                                       const wchar_t* user, const wchar_t* domain);
    StartedProgram _RunProcessAsUserNT(std::wstring& cmdline, DWORD* pdwError, const std::wstring& workdir,
                                       const wchar_t* user, const wchar_t* domain);
    // Starts the command line with `token` on the interactive desktop; 0 or the error.
    DWORD createProcessWithToken(HANDLE token, std::wstring& cmdline, const std::wstring& workdir,
                                  StartedProgram& started);
    // Joins the suspended process to its job and lets it run; 0 or the error (nothing started).
    DWORD runStarted(const PROCESS_INFORMATION& pi, StartedProgram& started);
    DWORD _IsActiveOrAdminSessionAvailable(DWORD* pdwSessionId, const wchar_t* user, const wchar_t* domain);
    bool sessionMatchesUser(DWORD sessionId, const wchar_t* user, const wchar_t* domain);
    DWORD _GetShellPid(DWORD* pdwPid, const wchar_t* user, const wchar_t* domain);
    DWORD _GetShellProgram(std::wstring& shell);
    // 0 and the base name of the process's first module, or the error of the failing call.
    DWORD getProcessBaseName(DWORD pid, std::wstring& baseName);
    bool processMatchesUser(DWORD pid, const wchar_t* user, const wchar_t* domain);
    DWORD _AdjustPrivilege(HANDLE token, const wchar_t* name);
    // Opens the service's own token for adjusting privileges; 0 or the error.
    DWORD openSelfToken(Keelwork::unique_handle& token);
    void* _LoadProfileAndEnvironment(HANDLE token, HANDLE* phProfile);

    std::unique_ptr<CKsWin32APIBase> m_api;
    bool m_background = false;  // for the start in progress
};
