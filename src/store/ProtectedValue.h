// Reading and writing REG_DWORD, REG_SZ and REG_BINARY values in the protected form (see
// ProtectedValueCodec.h) through an open Keelwork::CRegKey (one registry call per read or write) or
// a Keelwork::KeyValueSnapshot of it (no call).
//
// Results are Windows error codes:
//   0   success;
//   2   the value does not exist;
//   13  the value is not in protected form (any type other than REG_BINARY), is damaged, cut
//       short, larger than a protected value can be, or carries another logical type;
//   87  (writes) a string whose ANSI form exceeds kMaxProtectedDataBytes, or a null argument;
//   anything else the registry answered.
// Value names go to the registry through the thread's ANSI code page (AnsiText.h); string data
// is stored in that code page with its terminator and given back as UTF-16.
// On failure the out-parameter is left untouched.
#pragma once

#include "store/ProtectedValueCodec.h"

#include <cstddef>
#include <cstdint>

namespace Keelwork {
class CRegKey;
class KeyValueSnapshot;
}

namespace KsStore {

uint32_t readProtectedDword(const Keelwork::CRegKey& key, const wchar_t* name, uint32_t& value);
// The same reads from a snapshot of the key's values (a whole record read at once).
uint32_t readProtectedDword(const Keelwork::KeyValueSnapshot& values, const wchar_t* name, uint32_t& value);

// Reads into buffer (capacity characters, terminator included). A longer text is cut to
// capacity - 1 characters; a stored text without terminator ends at its stored length. The
// result is always terminated on success.
uint32_t readProtectedString(const Keelwork::CRegKey& key, const wchar_t* name, wchar_t* buffer, size_t capacity);
uint32_t readProtectedString(const Keelwork::KeyValueSnapshot& values, const wchar_t* name, wchar_t* buffer,
                             size_t capacity);

uint32_t writeProtectedDword(Keelwork::CRegKey& key, const wchar_t* name, uint32_t value);
uint32_t writeProtectedString(Keelwork::CRegKey& key, const wchar_t* name, const wchar_t* value);

// Bytes of logical type REG_BINARY. data has room for kMaxProtectedDataBytes bytes; size gets the
// stored length. A write of more than kMaxProtectedDataBytes bytes answers 87.
uint32_t readProtectedBinary(const Keelwork::CRegKey& key, const wchar_t* name, uint8_t* data, size_t& size);
uint32_t writeProtectedBinary(Keelwork::CRegKey& key, const wchar_t* name, const void* data, size_t size);

} // namespace KsStore
