// A scratch folder below the temporary directory, removed with everything in it.
#pragma once

#include "common/WinInclude.h"

#include <atomic>
#include <filesystem>
#include <string>

namespace kstest {

class TestFolder {
public:
    TestFolder()
    {
        static std::atomic<unsigned> counter{0};
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_path = std::wstring(temp) + L"ks-test-" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                 std::to_wstring(counter++);
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~TestFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(m_path), ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::wstring& path() const { return m_path; }
    // Copies `source` into the folder under `fileName`; false when the copy failed.
    bool copyIn(const std::wstring& source, const std::wstring& fileName) const
    {
        return CopyFileW(source.c_str(), (m_path + L"\\" + fileName).c_str(), FALSE) != FALSE;
    }

private:
    std::wstring m_path;
};

} // namespace kstest
