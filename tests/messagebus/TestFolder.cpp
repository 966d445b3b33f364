// Scratch folders for loader tests.
#include "TestFolder.h"

#include "common/WinInclude.h"

#include <atomic>
#include <filesystem>

namespace kstest {

TestFolder::TestFolder()
{
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    m_path = std::wstring(temp) + L"ksbus_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
             std::to_wstring(counter++);
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TestFolder::~TestFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(m_path), ignored);
}

bool TestFolder::copyIn(const std::wstring& source, const std::wstring& fileName) const
{
    return CopyFileW(source.c_str(), (m_path + L"\\" + fileName).c_str(), FALSE) != FALSE;
}

std::wstring programFolder()
{
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring full(path, length);
    return full.substr(0, full.find_last_of(L'\\'));
}

} // namespace kstest
