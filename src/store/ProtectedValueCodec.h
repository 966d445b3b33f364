// The byte form of a protected registry value: a REG_BINARY blob that carries a format version,
// the value's logical type, an enciphered copy of the data and a keyed integrity tag.
//
// Layout (little-endian):
//   0  'K' 'P'          signature
//   2  version (1)
//   3  0                reserved
//   4  logical type     u32, REG_DWORD, REG_SZ or REG_BINARY
//   8  ciphertext       same length as the data
//   .. tag              u64 keyed hash over bytes 0..7 and the plain data
// The keystream depends on the header, so a blob re-labelled with another type or cut shorter
// no longer deciphers to data that matches its tag. Any single changed byte fails the tag.
#pragma once

#include <cstddef>
#include <cstdint>

namespace KsStore {

inline constexpr size_t kProtectedHeaderBytes = 8;
inline constexpr size_t kProtectedTagBytes = 8;
inline constexpr size_t kProtectedOverheadBytes = kProtectedHeaderBytes + kProtectedTagBytes;
// Largest data a protected value holds: the store reads strings into a 2080-byte buffer.
inline constexpr size_t kMaxProtectedDataBytes = 2080;
inline constexpr size_t kMaxProtectedBlobBytes = kMaxProtectedDataBytes + kProtectedOverheadBytes;

// Writes the blob for `data` into `blob` (room for size + kProtectedOverheadBytes bytes) and
// returns its length; 0 when size exceeds kMaxProtectedDataBytes.
size_t encodeProtectedValue(uint32_t logicalType, const void* data, size_t size, uint8_t* blob);

// Checks and deciphers a blob into `data` (room for kMaxProtectedDataBytes bytes), setting *size.
// Answers 0, or 13 (ERROR_INVALID_DATA) for a blob that is too short or too long, has another
// signature, version or logical type than expected, or fails its tag.
uint32_t decodeProtectedValue(const uint8_t* blob, size_t blobSize, uint32_t expectedType, uint8_t* data,
                              size_t* size);

} // namespace KsStore
