// CObfuscatedRegKey and its implementation. Value data is stored plain: the implementation keeps
// the storage hooks of the base so an encoding can be added here without touching callers.
#include "registry/ObfuscatedRegKey.h"

#include "registry/RegKeyImpl.h"

namespace Keelwork {

class CObfuscatedRegKeyImpl final : public internal::CRegKeyImpl {
};

CObfuscatedRegKey::CObfuscatedRegKey() : CRegKey(std::make_unique<CObfuscatedRegKeyImpl>()) {}

CObfuscatedRegKey::~CObfuscatedRegKey() = default;

} // namespace Keelwork
