// The largest request payload the module reads. Any module on the bus may send a payload of any
// size, and parsing and copying cost in proportion to it; no request the module serves needs more.
#pragma once

#include <cstddef>
#include <string>

namespace Tessel {

inline constexpr size_t kMostPayloadBytes = 64 * 1024;
inline constexpr const wchar_t* kPayloadTooLargeSentence = L"The request is larger than 64 KiB; it was not read.";

// Measured as the bus carries it, in UTF-16: 32,768 characters fit, one more does not.
inline bool payloadTooLarge(const std::wstring& payload)
{
    static_assert(sizeof(wchar_t) == 2, "the bus carries UTF-16");
    return payload.size() * sizeof(wchar_t) > kMostPayloadBytes;
}

} // namespace Tessel
