// The dimensions of an analytics event: name → value, ordered by plain UTF-16 code-unit
// comparison, one value per name.
#pragma once

#include <map>
#include <string>

namespace Tessel::Analytics {

using DimensionMap = std::map<std::wstring, std::wstring>;

} // namespace Tessel::Analytics
