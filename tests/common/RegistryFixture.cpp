// Scratch-key registry isolation for tests.
#include "RegistryFixture.h"

#include "common/KnownFolder.h"
#include "logging/internal_logging.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <atomic>
#include <cwchar>
#include <string>
#include <vector>

namespace kstest {

void RegistryFixture::SetUp()
{
    static std::atomic<unsigned> counter{0};
    wchar_t path[128];
    swprintf(path, 128, L"%ls\\%lu_%u", kScratchRoot, GetCurrentProcessId(), counter++);
    m_scratchPath = path;

    LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, m_scratch.put(), nullptr);
    ASSERT_EQ(rc, ERROR_SUCCESS) << "cannot create scratch key";
    rc = RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_scratch.get());
    ASSERT_EQ(rc, ERROR_SUCCESS) << "cannot override HKEY_LOCAL_MACHINE";
}

void RegistryFixture::TearDown()
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    m_scratch.reset();
    if (!m_scratchPath.empty())
        RegDeleteTreeW(HKEY_CURRENT_USER, m_scratchPath.c_str());
}

void RegistryFixture::setDword(const wchar_t* path, const wchar_t* name, DWORD value)
{
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, path, name, REG_DWORD, &value, sizeof value), ERROR_SUCCESS);
}

void RegistryFixture::setString(const wchar_t* path, const wchar_t* name, const std::wstring& value)
{
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, path, name, REG_SZ, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

bool RegistryFixture::keyExists(const wchar_t* path)
{
    Keelwork::unique_hkey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, key.put()) == ERROR_SUCCESS;
}

RawValue readRaw(const std::wstring& keyPath, const wchar_t* name)
{
    RawValue raw;
    DWORD size = 0;
    const DWORD flags = RRF_RT_ANY | RRF_NOEXPAND;
    raw.status = RegGetValueW(HKEY_LOCAL_MACHINE, keyPath.c_str(), name, flags, &raw.type, nullptr, &size);
    if (raw.status != ERROR_SUCCESS)
        return raw;
    raw.bytes.resize(size);
    raw.status = RegGetValueW(HKEY_LOCAL_MACHINE, keyPath.c_str(), name, flags, &raw.type, raw.bytes.data(), &size);
    raw.bytes.resize(size);
    return raw;
}

void writeRaw(const std::wstring& keyPath, const wchar_t* name, DWORD type, const void* data, size_t size)
{
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, keyPath.c_str(), name, type, data, static_cast<DWORD>(size)),
              ERROR_SUCCESS);
}

namespace {
// Test programs log every level, so checks on Normal and Warning lines run rather than skip.
// The settings file sits in this program's own log folder, read once when the logger starts.
void enableAllLogLevels()
{
    std::wstring folder;
    if (!Keelwork::knownFolderPath(FOLDERID_ProgramData, folder))
        return;
    folder += L"\\Kestrel\\KSLOGS\\_no_group\\";

    wchar_t image[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, image, MAX_PATH);
    std::wstring name(image, length);
    name = name.substr(name.find_last_of(L'\\') + 1);
    name = name.substr(0, name.find_last_of(L'.'));
    folder += name;

    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    WritePrivateProfileStringW(L"Config", L"Severity", L"1", (folder + L"\\log.ini").c_str());
}
} // namespace

namespace {
bool processIsRunning(DWORD pid)
{
    Keelwork::unique_handle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

// Scratch keys are named "<pid>_<n>": remove those of programs that are gone (a crashed run), and
// leave those of test programs still running beside this one.
void removeAbandonedScratchKeys()
{
    Keelwork::unique_hkey owner;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kScratchRoot, 0, KEY_READ, owner.put()) != ERROR_SUCCESS)
        return;
    const HKEY root = owner.get();
    std::vector<std::wstring> abandoned;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(root, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        DWORD pid = static_cast<DWORD>(wcstoul(name, nullptr, 10));
        if (pid == GetCurrentProcessId() || !processIsRunning(pid))
            abandoned.emplace_back(name);
    }
    for (const std::wstring& key : abandoned)
        RegDeleteTreeW(root, key.c_str());
}
} // namespace

void TestEnvironment::SetUp()
{
    removeAbandonedScratchKeys();

    enableAllLogLevels();

    // The logger picks its kind once per process, from the real HKEY_LOCAL_MACHINE of the test
    // prefix: choose the file logger and create it now, before any fixture redirects the hive.
    DWORD fileLogger = 1;
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrel\\Logging", L"Logging Mechanism", REG_DWORD,
                    &fileLogger, sizeof fileLogger);
    ETWLogging::isLogEnabled(ETWLogging::LOG_LEVEL_NORMAL);
}

} // namespace kstest
