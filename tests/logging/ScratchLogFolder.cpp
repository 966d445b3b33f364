// Scratch folders for file-logger tests.
#include "common/UniqueHandle.h"
#include "ScratchLogFolder.h"

#include "common/WinInclude.h"
#include "logging/FileLogPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

namespace kstest {

namespace {

void removeTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW data{};
    Keelwork::unique_find find(FindFirstFileW((folder + L"*").c_str(), &data));
    if (find) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(folder + name + L"\\");
            else
                DeleteFileW((folder + name).c_str());
        } while (FindNextFileW(find.get(), &data));
    }
    RemoveDirectoryW(folder.c_str());
}

} // namespace

ScratchLogFolder::ScratchLogFolder()
{
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    m_base = std::wstring(temp) + L"kslog_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
             std::to_wstring(counter++) + L"\\";
    removeTree(m_base);
    EXPECT_EQ(ETWLogging::createFolderTree(m_base), 0u);
}

ScratchLogFolder::~ScratchLogFolder()
{
    removeTree(m_base);
}

void ScratchLogFolder::setIni(const std::wstring& folder, const wchar_t* key, const std::wstring& value) const
{
    std::wstring dir = folder.empty() ? m_base : folder + L"\\";
    ETWLogging::createFolderTree(dir);
    ASSERT_TRUE(WritePrivateProfileStringW(L"Config", key, value.c_str(), (dir + L"log.ini").c_str()));
}

std::vector<std::wstring> ScratchLogFolder::filesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data{};
    Keelwork::unique_find find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (FindNextFileW(find.get(), &data));
    std::sort(names.begin(), names.end());
    return names;
}

void ScratchLogFolder::makeFile(const std::wstring& path, size_t bytes)
{
    ETWLogging::createFolderTree(path.substr(0, path.rfind(L'\\')));
    Keelwork::unique_handle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    std::string content(bytes, 'x');
    DWORD written = 0;
    WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
}

std::unique_ptr<ETWLogging::CLogging> makeFileLogger(const ScratchLogFolder& folder, const FixedClock& clock,
                                                     const std::wstring& imagePath)
{
    ETWLogging::FileLoggerSeams seams;
    seams.baseFolder = folder.base();
    seams.clock = &clock;
    seams.processImagePath = imagePath;
    return std::make_unique<ETWLogging::CLogging>(seams);
}

} // namespace kstest
