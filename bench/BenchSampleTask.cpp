// Where sample-task.exe lives, and the installer's steps before the bench launches it.
#include "BenchSampleTask.h"

#include "common/WinInclude.h"
#include "execution/TrustedFileList.h"
#include "messagebus/MessageBusConstants.h"

namespace ksbench {

std::wstring sampleTaskPath()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.find_last_of(L'\\')) + L"\\sample-task.exe";
}

void prepareLaunches(const std::wstring& program)
{
    KsExecution::trustFile(program.c_str());
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
    ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, Tessel::kHearthKeyPath, Tessel::kHearthInstallDirValue, REG_SZ,
                      folder.c_str(), static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
}

} // namespace ksbench
