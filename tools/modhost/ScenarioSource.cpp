// Reading scenario lines from a file or from standard input.
#include "ScenarioSource.h"

#include "common/WinInclude.h"

#include <memory>

namespace modhost {

namespace {

std::wstring fromUtf8(const std::string& bytes)
{
    if (bytes.empty())
        return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    return text;
}

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};

} // namespace

bool readLine(FILE* stream, std::wstring& line)
{
    std::string bytes;
    int c = 0;
    while ((c = fgetc(stream)) != EOF && c != '\n')
        bytes.push_back(static_cast<char>(c));
    if (c == EOF && bytes.empty())
        return false;
    if (!bytes.empty() && bytes.back() == '\r')
        bytes.pop_back();
    // A byte-order mark some editors put first.
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0)
        bytes.erase(0, 3);
    line = fromUtf8(bytes);
    return true;
}

bool readScenarioFile(const std::wstring& path, std::vector<NumberedCommand>& commands, std::wstring& error)
{
    std::unique_ptr<FILE, FileCloser> file(_wfopen(path.c_str(), L"rb"));
    if (!file) {
        error = L"cannot read scenario " + path;
        return false;
    }
    std::wstring line;
    for (unsigned number = 1; readLine(file.get(), line); ++number) {
        NumberedCommand numbered{number, {}};
        std::wstring what;
        if (!parseCommand(line, numbered.command, what)) {
            error = path + L":" + std::to_wstring(number) + L": " + what;
            return false;
        }
        commands.push_back(std::move(numbered));
    }
    return true;
}

} // namespace modhost
