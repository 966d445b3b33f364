// Keelwork::CObfuscatedRegKey: the key class for values other components may read back through
// the same class. Storage is plain: values are written and read exactly as CRegKey does, so a
// plain reader sees the same data.
#pragma once

#include "registry/RegKey.h"

namespace Keelwork {

class CObfuscatedRegKey : public CRegKey {
public:
    CObfuscatedRegKey();
    CObfuscatedRegKey(CObfuscatedRegKey&&) noexcept = default;
    CObfuscatedRegKey& operator=(CObfuscatedRegKey&&) noexcept = default;
    ~CObfuscatedRegKey() override;
};

} // namespace Keelwork
