// Judging a key against what it must be: who besides SYSTEM and Administrators may use it, and
// whether it outlives a restart. Repairs are the caller's: it knows which key must be what.
#pragma once

#include "common/WinInclude.h"

namespace Keelwork {

class CRegKey;

// Who besides SYSTEM and Administrators may use a key: nobody, or readers (never writers).
enum class KeyReaders { systemAndAdministrators, anyone };

// Whether a descriptor holding the owner and the DACL lets anyone but SYSTEM and Administrators
// change the key or the sub-keys made below it later (or, with systemAndAdministrators, read
// them). An owner of another kind counts as open, since an owner may rewrite the DACL at will;
// so do a missing or null DACL and an allowing entry of a kind keys do not use.
bool isKeyTooOpen(PSECURITY_DESCRIPTOR descriptor, KeyReaders readers);

// Sets isVolatile for the open key (which needs KEY_CREATE_SUB_KEY) by making a lasting sub-key
// of it: only a volatile key refuses one. The sub-key made is removed again. ERROR_SUCCESS or the
// registry's error.
LONG queryKeyVolatile(const CRegKey& key, bool& isVolatile);

} // namespace Keelwork
