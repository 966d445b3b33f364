// Damaged copies of a real value, the same on every run: every truncation, single-byte changes
// (each position moved by each of the given deltas) and random byte strings from a fixed seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

namespace kstest {

using Bytes = std::vector<uint8_t>;

// Every other value of a byte, or a few that move its low bit, its high bit and all of it.
inline std::vector<unsigned> everyByteChange()
{
    std::vector<unsigned> deltas(255);
    std::iota(deltas.begin(), deltas.end(), 1u);
    return deltas;
}
inline const std::vector<unsigned> kFewByteChanges = {1, 0x80, 0xFF};

// Calls visit(bytes) for each damaged copy of `real`; randomCount random strings of up to
// maxRandomSize bytes come last. The count of copies visited.
template <typename Visit>
size_t forEachMutation(const Bytes& real, const std::vector<unsigned>& deltas, size_t randomCount,
                       size_t maxRandomSize, Visit visit)
{
    size_t count = 0;
    for (size_t size = 0; size < real.size(); ++size, ++count)
        visit(Bytes(real.begin(), real.begin() + static_cast<std::ptrdiff_t>(size)));
    for (size_t at = 0; at < real.size(); ++at) {
        for (unsigned delta : deltas) {
            Bytes changed = real;
            changed[at] = static_cast<uint8_t>(changed[at] + delta);
            visit(changed);
            ++count;
        }
    }
    std::mt19937 random(20261207);
    for (size_t i = 0; i < randomCount; ++i, ++count) {
        Bytes noise(random() % (maxRandomSize + 1));
        for (uint8_t& byte : noise)
            byte = static_cast<uint8_t>(random());
        visit(noise);
    }
    return count;
}

} // namespace kstest
