// The active package number: which partner package's strings and settings are in force.
#pragma once

#include <cstdint>

namespace Keelwork::customization {

// The number at the start of the named value of the packages key; 0 for a list ("5;6"), a
// missing key or value, a value of another type or a malformed text.
uint32_t readActivePackageNumber(const wchar_t* valueName);

// "activeuipackages", or "activepackages" when that gives 0.
uint32_t activePackageNumber();

} // namespace Keelwork::customization
