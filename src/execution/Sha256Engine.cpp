// SHA-256 (FIPS 180-4) with the SHA-NI round and message-schedule instructions.
#include "execution/Sha256Engine.h"

#include <cpuid.h>
#include <immintrin.h>

#include <algorithm>
#include <cstring>

namespace KsExecution {
namespace {

alignas(16) constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

} // namespace

bool Sha256Engine::available()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || (ecx & bit_SSE4_1) == 0 || (ecx & bit_SSSE3) == 0)
        return false;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return false;
    return (ebx & bit_SHA) != 0;
}

__attribute__((target("sha,sse4.1,ssse3"))) void Sha256Engine::blocks(const uint8_t* data, size_t count)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    // The instructions keep the state as ABEF and CDGH.
    __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&m_state[0])), 0xB1);
    __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&m_state[4])), 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    for (; count > 0; --count, data += 64) {
        const __m128i abefSaved = abef;
        const __m128i cdghSaved = cdgh;
        __m128i words[4];
        for (int group = 0; group < 16; ++group) {
            __m128i& current = words[group % 4];
            if (group < 4) {
                current = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * group)),
                                           byteSwap);
            } else {
                // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16], four words at a time.
                const __m128i& last = words[(group + 3) % 4];
                const __m128i& beforeLast = words[(group + 2) % 4];
                __m128i next = _mm_sha256msg1_epu32(current, words[(group + 1) % 4]);
                next = _mm_add_epi32(next, _mm_alignr_epi8(last, beforeLast, 4));
                current = _mm_sha256msg2_epu32(next, last);
            }
            __m128i schedule = _mm_add_epi32(
                current, _mm_load_si128(reinterpret_cast<const __m128i*>(&kRoundConstants[4 * group])));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, schedule);
            schedule = _mm_shuffle_epi32(schedule, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, schedule);
        }
        abef = _mm_add_epi32(abef, abefSaved);
        cdgh = _mm_add_epi32(cdgh, cdghSaved);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&m_state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&m_state[4]), _mm_alignr_epi8(dchg, feba, 8));
}

void Sha256Engine::update(const uint8_t* data, size_t size)
{
    m_totalBytes += size;
    if (m_pendingSize > 0) {
        const size_t take = std::min(size, sizeof m_pending - m_pendingSize);
        std::memcpy(m_pending + m_pendingSize, data, take);
        m_pendingSize += take;
        data += take;
        size -= take;
        if (m_pendingSize < sizeof m_pending)
            return;
        blocks(m_pending, 1);
        m_pendingSize = 0;
    }
    blocks(data, size / 64);
    m_pendingSize = size % 64;
    std::memcpy(m_pending, data + size - m_pendingSize, m_pendingSize);
}

std::array<uint8_t, 32> Sha256Engine::finish()
{
    const uint64_t bits = m_totalBytes * 8;
    uint8_t tail[128] = {};
    std::memcpy(tail, m_pending, m_pendingSize);
    tail[m_pendingSize] = 0x80;
    const size_t tailSize = m_pendingSize + 9 <= 64 ? 64 : 128;
    for (int i = 0; i < 8; ++i)
        tail[tailSize - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
    blocks(tail, tailSize / 64);
    std::array<uint8_t, 32> digest;
    for (int word = 0; word < 8; ++word)
        for (int i = 0; i < 4; ++i)
            digest[4 * word + i] = static_cast<uint8_t>(m_state[word] >> (24 - 8 * i));
    return digest;
}

} // namespace KsExecution
