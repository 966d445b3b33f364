// CEvent: the "event" tracker with its category, action, label and value setters.
#include "analytics/Event.h"

#include "analytics/AnalyticsNames.h"
#include "common/WinInclude.h"

namespace Tessel::Analytics::v2 {

namespace {

std::wstring fromUtf8(const std::string& text)
{
    if (text.empty())
        return {};
    int chars = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(chars > 0 ? chars : 0), L'\0');
    if (chars > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), chars);
    return wide;
}

} // namespace

CEvent::CEvent() : CFluentTracker(names::kEventTrackerType) {}

CEvent::CEvent(const wchar_t* name) : CEvent() { Add(names::kUniqueIdentifier, name); }

CEvent& CEvent::Category(const std::wstring& category) { return Add(names::kCategory, category.c_str()); }
CEvent& CEvent::Category(const std::string& category) { return Category(fromUtf8(category)); }
CEvent& CEvent::Action(const std::wstring& action) { return Add(names::kAction, action.c_str()); }
CEvent& CEvent::Action(const std::string& action) { return Action(fromUtf8(action)); }
CEvent& CEvent::Label(const std::wstring& label) { return Add(names::kLabel, label.c_str()); }
CEvent& CEvent::Label(const std::string& label) { return Label(fromUtf8(label)); }
CEvent& CEvent::Value(uint32_t value) { return Add(names::kValue, std::to_wstring(value).c_str()); }

} // namespace Tessel::Analytics::v2
