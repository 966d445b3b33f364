// A scratch folder below the temporary directory, removed with everything in it.
#pragma once

#include <string>

namespace kstest {

class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::wstring& path() const { return m_path; }
    // Copies `source` into the folder under `fileName`; false when the copy failed.
    bool copyIn(const std::wstring& source, const std::wstring& fileName) const;

private:
    std::wstring m_path;
};

// Folder of the running test program (where the build puts every DLL).
std::wstring programFolder();

} // namespace kstest
