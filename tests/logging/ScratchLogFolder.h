// A fresh folder under the temp directory for one test's log files, removed afterwards, and a
// file logger pointed at it with a fixed clock.
#pragma once

#include "TestFolder.h"

#include "logging/FileLogging.h"

#include <memory>
#include <string>
#include <vector>

namespace kstest {

class FixedClock final : public ETWLogging::LogClock {
public:
    ETWLogging::LocalTimestamp time{2024, 3, 7, 14, 5, 9};
    ETWLogging::LocalTimestamp now() const override { return time; }
};

class ScratchLogFolder {
public:
    // The base folder, ending with "\".
    const std::wstring& base() const { return m_base; }

    // Writes key=value into section "Config" of a log.ini (folder "" = the base folder's).
    void setIni(const std::wstring& folder, const wchar_t* key, const std::wstring& value) const;

    // Names of the files in `folder`, sorted.
    static std::vector<std::wstring> filesIn(const std::wstring& folder);

    // A file of `bytes` bytes at `path` (folders created), all 'x'.
    static void makeFile(const std::wstring& path, size_t bytes);

private:
    TestFolder m_folder;
    std::wstring m_base = m_folder.path() + L"\\";
};

// A file logger writing under `folder` with image name "svc.exe" unless told otherwise.
std::unique_ptr<ETWLogging::CLogging> makeFileLogger(const ScratchLogFolder& folder, const FixedClock& clock,
                                                     const std::wstring& imagePath = L"C:\\bin\\svc.exe");

} // namespace kstest
