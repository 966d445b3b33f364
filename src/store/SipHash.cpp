// SipHash-2-4 over two concatenated byte ranges.
#include "store/SipHash.h"

#include <cstring>

namespace KsStore {

namespace {

inline uint64_t rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct SipState {
    uint64_t v0, v1, v2, v3;

    explicit SipState(const SipKey& key)
        : v0(key.k0 ^ 0x736f6d6570736575ULL), v1(key.k1 ^ 0x646f72616e646f6dULL),
          v2(key.k0 ^ 0x6c7967656e657261ULL), v3(key.k1 ^ 0x7465646279746573ULL)
    {
    }

    void round()
    {
        v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
        v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
        v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
        v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
    }

    void absorb(uint64_t m)
    {
        v3 ^= m;
        round();
        round();
        v0 ^= m;
    }

    uint64_t finish(uint64_t lastBlock)
    {
        absorb(lastBlock);
        v2 ^= 0xff;
        round();
        round();
        round();
        round();
        return v0 ^ v1 ^ v2 ^ v3;
    }
};

// Feeds bytes through an 8-byte staging word so two ranges hash as one message.
class SipStream {
public:
    explicit SipStream(const SipKey& key) : m_state(key) {}

    void feed(const unsigned char* p, size_t n)
    {
        m_total += n;
        while (n > 0 && m_pending > 0) {
            pushByte(*p++);
            --n;
        }
        while (n >= 8) {
            uint64_t m;
            std::memcpy(&m, p, 8); // little-endian target
            m_state.absorb(m);
            p += 8;
            n -= 8;
        }
        while (n-- > 0)
            pushByte(*p++);
    }

    uint64_t finish() { return m_state.finish(m_word | (static_cast<uint64_t>(m_total & 0xff) << 56)); }

private:
    void pushByte(unsigned char b)
    {
        m_word |= static_cast<uint64_t>(b) << (8 * m_pending);
        if (++m_pending == 8) {
            m_state.absorb(m_word);
            m_word = 0;
            m_pending = 0;
        }
    }

    SipState m_state;
    uint64_t m_word = 0;
    unsigned m_pending = 0;
    size_t m_total = 0;
};

} // namespace

uint64_t sipHash24(const SipKey& key, const void* first, size_t firstSize, const void* second, size_t secondSize)
{
    SipStream stream(key);
    stream.feed(static_cast<const unsigned char*>(first), firstSize);
    stream.feed(static_cast<const unsigned char*>(second), secondSize);
    return stream.finish();
}

} // namespace KsStore
