// Scratch folders for file-logger tests.
#include "ScratchLogFolder.h"

#include "common/WinInclude.h"
#include "logging/FileLogPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace kstest {

void ScratchLogFolder::setIni(const std::wstring& folder, const wchar_t* key, const std::wstring& value) const
{
    std::wstring dir = folder.empty() ? m_base : folder + L"\\";
    ETWLogging::createFolderTree(dir);
    ASSERT_TRUE(WritePrivateProfileStringW(L"Config", key, value.c_str(), (dir + L"log.ini").c_str()));
}

std::vector<std::wstring> ScratchLogFolder::filesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().wstring());
    std::sort(names.begin(), names.end());
    return names;
}

void ScratchLogFolder::makeFile(const std::wstring& path, size_t bytes)
{
    ETWLogging::createFolderTree(path.substr(0, path.rfind(L'\\')));
    std::ofstream file(fs::path(path), std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(file << std::string(bytes, 'x'));
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
