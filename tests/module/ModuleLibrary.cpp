// Loading TaskScheduler.dll and reading what its logger writes.
#include "ModuleLibrary.h"

#include "LogFileReader.h"
#include "ProgramFolder.h"
#include "common/WinInclude.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "logging/FileLogPaths.h"
#include "logging/LoggingNames.h"

namespace moduletest {
namespace {

std::wstring moduleLogFolder();

ModuleExports loadExports()
{
    ModuleExports exports;
    HMODULE library = LoadLibraryW((kstest::testProgramFolder() + L"\\TaskScheduler.dll").c_str());
    if (!library)
        return exports;
    exports.createObject = exportOf<ModuleCreateObjectFn>(library, "CreateObject");
    exports.releaseObject = exportOf<ModuleReleaseObjectFn>(library, "ReleaseObject");
    exports.getVersionNum = exportOf<ModuleGetVersionNumFn>(library, "GetVersionNum");
    exports.getVersionStr = exportOf<ModuleGetVersionStrFn>(library, "GetVersionStr");
    // Every level goes to the library's file, so each line can be checked; then a failing table
    // call logs, which creates the library's logger now.
    std::wstring folder = moduleLogFolder();
    if (ETWLogging::createFolderTree(folder) == 0)
        WritePrivateProfileStringW(L"Config", L"Severity", L"1", (folder + L"log.ini").c_str());
    if (exports.createObject)
        exports.createObject()->startModule(nullptr);
    return exports;
}

// The library logs under the default group and its own name.
std::wstring moduleLogFolder()
{
    return ETWLogging::defaultLogBaseFolder() + ETWLogging::kDefaultGroup + L"\\TaskScheduler\\";
}

std::wstring newestLogFile()
{
    std::filesystem::path newest;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(moduleLogFolder(), ignored))
        if (entry.path().extension() == L".log" && (newest.empty() || entry.last_write_time() > last_write_time(newest)))
            newest = entry.path();
    return newest.wstring();
}

} // namespace

void* exportAddress(HINSTANCE__* library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(library, name));
}

const ModuleExports& moduleExports()
{
    static const ModuleExports exports = loadExports();
    return exports;
}

const ModuleFunctions& moduleTable()
{
    const ModuleExports& exports = moduleExports();
    if (!exports.createObject)
        throw std::runtime_error("TaskScheduler.dll or its CreateObject is missing");
    return *exports.createObject();
}

ModuleLogCapture::ModuleLogCapture()
    : m_file(newestLogFile()), m_startChars(kstest::readUtf16File(m_file).size())
{
}

std::wstring ModuleLogCapture::text() const
{
    std::wstring now = newestLogFile();
    std::wstring all = kstest::readUtf16File(now);
    if (now != m_file || all.size() < m_startChars)
        return all;
    return all.substr(m_startChars);
}

bool ModuleLogCapture::contains(const std::wstring& fragment) const
{
    return text().find(fragment) != std::wstring::npos;
}

} // namespace moduletest
