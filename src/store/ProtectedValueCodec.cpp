// Enciphering, deciphering and tag checking of protected registry values.
#include "store/ProtectedValueCodec.h"

#include "store/SipHash.h"

#include <cstring>

namespace KsStore {

namespace {

constexpr uint8_t kSignature0 = 'K';
constexpr uint8_t kSignature1 = 'P';
constexpr uint8_t kVersion = 1;
constexpr uint32_t kInvalidData = 13;

// Fixed keys: the form keeps casual editors and stray writers out, it is not a secret store.
constexpr SipKey kCipherKey{0x6b8f2d41c7a93e05ULL, 0x1f5ad0e8734bc269ULL};
constexpr SipKey kTagKey{0xd3407c1be95a6f28ULL, 0x8a61f4c02db7395eULL};

void writeHeader(uint8_t* header, uint32_t logicalType)
{
    header[0] = kSignature0;
    header[1] = kSignature1;
    header[2] = kVersion;
    header[3] = 0;
    std::memcpy(header + 4, &logicalType, 4);
}

// splitmix64 keystream seeded per header and length: cheap enough that a value costs nothing
// next to its registry round trip.
void applyKeystream(const uint8_t* header, size_t size, const uint8_t* in, uint8_t* out)
{
    uint64_t sizeWord = size;
    uint64_t state = sipHash24(kCipherKey, header, kProtectedHeaderBytes, &sizeWord, sizeof sizeWord);
    for (size_t i = 0; i < size; i += 8) {
        state += 0x9e3779b97f4a7c15ULL;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        z ^= z >> 31;
        for (size_t j = 0; j < 8 && i + j < size; ++j)
            out[i + j] = in[i + j] ^ static_cast<uint8_t>(z >> (8 * j));
    }
}

uint64_t computeTag(const uint8_t* header, const uint8_t* data, size_t size)
{
    return sipHash24(kTagKey, header, kProtectedHeaderBytes, data, size);
}

} // namespace

size_t encodeProtectedValue(uint32_t logicalType, const void* data, size_t size, uint8_t* blob)
{
    if (size > kMaxProtectedDataBytes)
        return 0;
    const auto* plain = static_cast<const uint8_t*>(data);
    writeHeader(blob, logicalType);
    applyKeystream(blob, size, plain, blob + kProtectedHeaderBytes);
    uint64_t tag = computeTag(blob, plain, size);
    std::memcpy(blob + kProtectedHeaderBytes + size, &tag, sizeof tag);
    return size + kProtectedOverheadBytes;
}

uint32_t decodeProtectedValue(const uint8_t* blob, size_t blobSize, uint32_t expectedType, uint8_t* data,
                              size_t* size)
{
    if (blobSize < kProtectedOverheadBytes || blobSize > kMaxProtectedBlobBytes)
        return kInvalidData;
    uint8_t expectedHeader[kProtectedHeaderBytes];
    writeHeader(expectedHeader, expectedType);
    if (std::memcmp(blob, expectedHeader, kProtectedHeaderBytes) != 0)
        return kInvalidData;

    size_t dataSize = blobSize - kProtectedOverheadBytes;
    applyKeystream(blob, dataSize, blob + kProtectedHeaderBytes, data);
    uint64_t storedTag;
    std::memcpy(&storedTag, blob + kProtectedHeaderBytes + dataSize, sizeof storedTag);
    if (storedTag != computeTag(blob, data, dataSize)) {
        std::memset(data, 0, dataSize);
        return kInvalidData;
    }
    *size = dataSize;
    return 0;
}

} // namespace KsStore
