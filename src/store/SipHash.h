// SipHash-2-4: a keyed 64-bit hash, used both as the integrity check and as the keystream seed of
// protected registry values.
#pragma once

#include <cstddef>
#include <cstdint>

namespace KsStore {

struct SipKey {
    uint64_t k0;
    uint64_t k1;
};

// Hashes the concatenation of two byte ranges (either may be empty), so a header and a body can
// be covered by one tag without copying them together.
uint64_t sipHash24(const SipKey& key, const void* first, size_t firstSize, const void* second, size_t secondSize);

} // namespace KsStore
