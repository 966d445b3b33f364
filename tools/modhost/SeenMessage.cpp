// Copying a message out of a bus callback, and the time stamp of the host's lines.
#include "SeenMessage.h"

#include "common/WinInclude.h"

#include <cwchar>
#include <iterator>

namespace modhost {

std::wstring localTimeText()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t text[16] = {};
    _snwprintf(text, std::size(text) - 1, L"%02u:%02u:%02u.%03u", now.wHour, now.wMinute, now.wSecond,
               now.wMilliseconds);
    return text;
}

SeenMessage copyMessage(const MessageOptions* options, const wchar_t* name, const wchar_t* alias,
                        const wchar_t* payload)
{
    SeenMessage seen;
    seen.time = localTimeText();
    seen.name = name ? name : L"";
    seen.alias = alias ? alias : L"";
    seen.payload = payload ? payload : L"";
    if (options)
        seen.options = *options;
    return seen;
}

} // namespace modhost
