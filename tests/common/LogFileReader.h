// Reads the UTF-16 log files the file logger writes, so tests can check the exact lines.
#pragma once

#include <string>
#include <vector>

namespace kstest {

// Whole file as UTF-16 text, with its FF FE mark removed; empty when the file is absent.
std::wstring readUtf16File(const std::wstring& path);

// Raw bytes of a file; empty when absent.
std::vector<unsigned char> readFileBytes(const std::wstring& path);

// The log file the process-wide logger writes to at the moment (the one "LastLogIdx" names).
std::wstring currentProcessLogFile();

// Remembers where the process log ends now; lines() gives what was written after that.
class LogCapture {
public:
    LogCapture();
    std::wstring text() const;
    std::vector<std::wstring> lines() const;
    bool contains(const std::wstring& fragment) const;

private:
    std::wstring m_file;
    size_t m_startChars = 0;
};

// Log text made printable in a failure report (non-ASCII characters become '?').
std::string narrowForReport(const std::wstring& text);

} // namespace kstest
