// Normalising and checking task names.
#include "store/TaskName.h"

#include "store/AnsiText.h"
#include "store/KsTaskInfo.h"

#include <cwchar>

namespace KsStore {

std::wstring normalizeTaskName(const wchar_t* name)
{
    std::wstring result;
    if (name == nullptr)
        return result;
    for (size_t i = 0; name[i] != L'\0' && i < kMaxTaskNameChars; ++i) {
        wchar_t c = name[i];
        result.push_back(c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c);
    }
    // A cut between the halves of a surrogate pair would leave a name no code page can hold.
    if (result.size() == kMaxTaskNameChars && result.back() >= 0xD800 && result.back() <= 0xDBFF)
        result.pop_back();
    return result;
}

std::wstring registryTaskName(const wchar_t* name)
{
    return ansiRoundTrip(normalizeTaskName(name).c_str());
}

bool isValidTaskKeyName(const wchar_t* registryName)
{
    return registryName != nullptr && registryName[0] != L'\0' && std::wcschr(registryName, L'\\') == nullptr;
}

} // namespace KsStore
