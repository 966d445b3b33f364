// Typed value reads and writes on top of the raw value storage. Reads check the stored type and
// bound every string by the stored size.
#include "registry/RegKeyImpl.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>

namespace Keelwork::internal {

namespace {

// Text of a string value, cut at the first NUL or at the end of the data, whichever is first.
std::wstring boundedText(const std::vector<BYTE>& data)
{
    const size_t chars = data.size() / sizeof(wchar_t);
    std::wstring text(chars, L'\0');
    if (chars)
        std::memcpy(text.data(), data.data(), chars * sizeof(wchar_t));
    text.resize(std::min(text.find(L'\0'), chars));
    return text;
}

// Items of a string list; the list ends at an empty item or at the end of the data, and a last
// item without its terminator still counts.
std::vector<std::wstring> splitList(const std::vector<BYTE>& data)
{
    const size_t chars = data.size() / sizeof(wchar_t);
    std::wstring all(chars, L'\0');
    if (chars)
        std::memcpy(all.data(), data.data(), chars * sizeof(wchar_t));
    std::vector<std::wstring> items;
    size_t start = 0;
    while (start < chars) {
        size_t end = std::min(all.find(L'\0', start), chars);
        if (end == start)
            break;
        items.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

DWORD byteSize(size_t chars)
{
    return static_cast<DWORD>(chars * sizeof(wchar_t));
}

} // namespace

LONG CRegKeyImpl::setGuidValue(const wchar_t* name, const GUID& value)
{
    wchar_t text[40];
    if (::StringFromGUID2(value, text, 40) == 0)
        return ERROR_INVALID_PARAMETER;
    return setStringValue(name, text, REG_SZ);
}

LONG CRegKeyImpl::setDwordValue(const wchar_t* name, DWORD value)
{
    return setValue(name, REG_DWORD, &value, sizeof(value));
}

LONG CRegKeyImpl::setQwordValue(const wchar_t* name, ULONGLONG value)
{
    return setValue(name, REG_QWORD, &value, sizeof(value));
}

LONG CRegKeyImpl::setStringValue(const wchar_t* name, const wchar_t* value, DWORD type)
{
    if (!value || (type != REG_SZ && type != REG_EXPAND_SZ))
        return ERROR_INVALID_PARAMETER;
    return setValue(name, type, value, byteSize(std::wcslen(value) + 1));
}

LONG CRegKeyImpl::setMultiStringValue(const wchar_t* name, const std::vector<std::wstring>& values)
{
    std::wstring packed;
    for (const auto& item : values) {
        if (item.empty() || item.find(L'\0') != std::wstring::npos)
            return ERROR_INVALID_PARAMETER;
        packed += item;
        packed += L'\0';
    }
    packed += L'\0';
    return setValue(name, REG_MULTI_SZ, packed.data(), byteSize(packed.size()));
}

LONG CRegKeyImpl::getGuidValue(const wchar_t* name, GUID& value) const
{
    std::wstring text;
    LONG status = getStringValue(name, text, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    // Only the braced form is a GUID here; anything else would send the parser to a ProgID lookup.
    if (text.size() != 38 || text.front() != L'{' || text.back() != L'}')
        return ERROR_INVALID_DATA;
    GUID parsed{};
    if (FAILED(::CLSIDFromString(text.c_str(), &parsed)))
        return ERROR_INVALID_DATA;
    value = parsed;
    return ERROR_SUCCESS;
}

LONG CRegKeyImpl::getBinaryValue(const wchar_t* name, std::vector<BYTE>& value) const
{
    return readData(name, {REG_BINARY}, value, nullptr);
}

LONG CRegKeyImpl::getDwordValue(const wchar_t* name, DWORD& value) const
{
    std::vector<BYTE> data;
    LONG status = readData(name, {REG_DWORD}, data, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    if (data.size() != sizeof(DWORD))
        return ERROR_INVALID_DATA;
    std::memcpy(&value, data.data(), sizeof(DWORD));
    return ERROR_SUCCESS;
}

LONG CRegKeyImpl::getQwordValue(const wchar_t* name, ULONGLONG& value) const
{
    std::vector<BYTE> data;
    LONG status = readData(name, {REG_QWORD}, data, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    if (data.size() != sizeof(ULONGLONG))
        return ERROR_INVALID_DATA;
    std::memcpy(&value, data.data(), sizeof(ULONGLONG));
    return ERROR_SUCCESS;
}

LONG CRegKeyImpl::getStringValue(const wchar_t* name, std::wstring& value, DWORD* type) const
{
    std::vector<BYTE> data;
    LONG status = readData(name, {REG_SZ, REG_EXPAND_SZ}, data, type);
    if (status == ERROR_SUCCESS)
        value = boundedText(data);
    return status;
}

LONG CRegKeyImpl::getStringBuffer(const wchar_t* name, wchar_t* buffer, DWORD* chars) const
{
    if (!chars || (!buffer && *chars != 0))
        return ERROR_INVALID_PARAMETER;
    std::wstring text;
    LONG status = getStringValue(name, text, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    const DWORD needed = static_cast<DWORD>(text.size() + 1);
    if (*chars < needed) {
        *chars = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, text.c_str(), needed * sizeof(wchar_t));
    *chars = needed - 1;
    return ERROR_SUCCESS;
}

LONG CRegKeyImpl::getMultiStringValue(const wchar_t* name, std::vector<std::wstring>& values) const
{
    std::vector<BYTE> data;
    LONG status = readData(name, {REG_MULTI_SZ}, data, nullptr);
    if (status == ERROR_SUCCESS)
        values = splitList(data);
    return status;
}

} // namespace Keelwork::internal
