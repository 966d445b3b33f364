// Local-time text for log lines.
#include "common/TimeText.h"

#include <ctime>
#include <cwchar>

namespace Keelwork {

std::wstring localTimeText(uint32_t seconds)
{
    const std::time_t time = seconds;
    std::tm local{};
    if (localtime_s(&local, &time) != 0)
        return L"?";
    wchar_t text[50];
    return std::wcsftime(text, 50, L"%Y-%m-%d %H:%M:%S", &local) ? std::wstring(text) : std::wstring(L"?");
}

} // namespace Keelwork
