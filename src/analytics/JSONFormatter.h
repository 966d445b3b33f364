// Turns an event's dimensions into one flat JSON object of string members, in map order.
#pragma once

#include "analytics/Dimensions.h"

#include <string>

namespace Tessel::Analytics {

class IFormatter {
public:
    virtual ~IFormatter() = default;
    // False (and no text) for an empty map.
    virtual bool format(const DimensionMap& dimensions, std::wstring& text) const = 0;
};

class CJSONFormatter final : public IFormatter {
public:
    bool format(const DimensionMap& dimensions, std::wstring& text) const override;

    // JSON string escaping, with C1 controls (127-159) escaped as well.
    static std::wstring escape(const std::wstring& raw);
};

} // namespace Tessel::Analytics
