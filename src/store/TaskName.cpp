// Making a task's identity from its name.
#include "store/TaskName.h"

#include "store/AnsiText.h"
#include "store/KsTaskInfo.h"

namespace KsStore {

namespace {

std::wstring lowerAsciiLetters(std::wstring_view name)
{
    std::wstring result(name);
    for (wchar_t& c : result)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return result;
}

} // namespace

TaskIdentity::TaskIdentity(std::wstring_view name)
{
    if (name.empty()) {
        m_fault = TaskNameFault::empty;
        return;
    }
    // Cut at the NUL, the key would be another task's: such a name has none at all.
    if (name.find(L'\0') != std::wstring_view::npos) {
        m_fault = TaskNameFault::containsNul;
        return;
    }
    m_key = ansiRoundTrip(lowerAsciiLetters(name).c_str());
    if (m_key.empty() || m_key.find(L'\\') != std::wstring::npos)
        m_fault = TaskNameFault::notOneKey;
    else if (m_key.size() > kMaxTaskNameChars)
        m_fault = TaskNameFault::tooLong;
}

TaskIdentity::TaskIdentity(const wchar_t* name) : TaskIdentity(name ? std::wstring_view(name) : std::wstring_view())
{
}

static_assert(kMaxTaskNameChars == 127, "the sentence below states the limit");

const wchar_t* taskNameFaultSentence(TaskNameFault fault)
{
    switch (fault) {
    case TaskNameFault::none: return L"";
    case TaskNameFault::empty: return L"A task name must not be empty.";
    case TaskNameFault::containsNul: return L"A task name must not contain a NUL character.";
    case TaskNameFault::tooLong: return L"A task name may have at most 127 characters.";
    case TaskNameFault::notOneKey: return L"A task name must not contain a backslash.";
    }
    return L"";
}

} // namespace KsStore
