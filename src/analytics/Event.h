// The analytics event and its chaining interface: CEvent(L"Name").Category(...).Action(...)
// .Add(...).Send(). The event is a temporary that dies with the statement that sent it.
#pragma once

#include "analytics/Tracker.h"

#include <cstdint>
#include <string>

namespace Tessel::Analytics::internal {

template <typename Derived, typename Base>
class CFluentTracker : public Base {
public:
    Derived& Add(const wchar_t* name, const wchar_t* value)
    {
        this->AddDimension(name, value);
        return static_cast<Derived&>(*this);
    }
    Derived& Add(const std::wstring& name, const std::wstring& value) { return Add(name.c_str(), value.c_str()); }

protected:
    using Base::Base;
};

} // namespace Tessel::Analytics::internal

namespace Tessel::Analytics::v2 {

class CEvent : public internal::CFluentTracker<CEvent, internal::CTracker> {
public:
    // An event named `name` (its "UniqueIdentifier").
    explicit CEvent(const wchar_t* name);
    CEvent();

    virtual CEvent& Category(const std::wstring& category); // 3
    virtual CEvent& Category(const std::string& category);  // 4 (UTF-8)
    virtual CEvent& Action(const std::wstring& action);     // 5
    virtual CEvent& Action(const std::string& action);      // 6 (UTF-8)
    virtual CEvent& Label(const std::wstring& label);       // 7
    virtual CEvent& Label(const std::string& label);        // 8 (UTF-8)
    virtual CEvent& Value(uint32_t value);                  // 9
};

} // namespace Tessel::Analytics::v2
