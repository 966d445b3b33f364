// SHA-256 on the processor's SHA instructions, for the file digest of every launch: the platform's
// provider hashes in portable code here, several times slower. Used only where the processor has
// the instructions; elsewhere the digest goes through the platform's provider.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace KsExecution {

class Sha256Engine {
public:
    // Whether this processor offers the SHA and SSE4.1 instructions the engine needs.
    static bool available();

    void update(const uint8_t* data, size_t size);
    std::array<uint8_t, 32> finish();

private:
    void blocks(const uint8_t* data, size_t count);

    uint32_t m_state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    uint8_t m_pending[64] = {};
    size_t m_pendingSize = 0;
    uint64_t m_totalBytes = 0;
};

} // namespace KsExecution
