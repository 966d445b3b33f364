// Console lines of the host: UTF-8 on standard output, one lock so bus threads never interleave.
#include "Output.h"

#include "SeenMessage.h"
#include "common/WinInclude.h"

#include <cstdio>
#include <mutex>

namespace modhost {

namespace {

std::mutex g_consoleMutex;  // guards writes to stdout and stderr

std::string toUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

void writeLine(FILE* stream, const std::wstring& line)
{
    std::string bytes = toUtf8(line);
    bytes.push_back('\n');
    std::lock_guard<std::mutex> lock(g_consoleMutex);
    fwrite(bytes.data(), 1, bytes.size(), stream);
    // Readers follow the host live (and a test reads a pipe): never leave a line in the buffer.
    fflush(stream);
}

// Pads a column so names line up, without cutting what is longer.
std::wstring padded(const std::wstring& text, size_t width)
{
    return text.size() >= width ? text : text + std::wstring(width - text.size(), L' ');
}

} // namespace

void Output::message(const wchar_t* kind, const SeenMessage& seen)
{
    std::wstring line = seen.time + L"  " + padded(kind, 8) + L" " + seen.name + L"  from " +
                        (seen.alias.empty() ? L"(no sender)" : seen.alias);
    if (!seen.payload.empty())
        line += L"  " + seen.payload;
    writeLine(stdout, line);
}

void Output::event(const wchar_t* word, const std::wstring& text)
{
    writeLine(stdout, localTimeText() + L"  " + padded(word, 8) + L" " + text);
}

void Output::plain(const std::wstring& text)
{
    writeLine(stdout, text);
}

void Output::error(const std::wstring& text)
{
    writeLine(stderr, L"modhost: " + text);
}

} // namespace modhost
