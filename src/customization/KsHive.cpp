// Identity and ordering of hives: by root, then by path text.
#include "customization/KsHive.h"

#include <cstdint>

bool operator==(const KsHive& a, const KsHive& b) noexcept
{
    return a.root == b.root && a.path.str() == b.path.str();
}

bool operator<(const KsHive& a, const KsHive& b) noexcept
{
    auto rootA = reinterpret_cast<uintptr_t>(a.root);
    auto rootB = reinterpret_cast<uintptr_t>(b.root);
    if (rootA != rootB)
        return rootA < rootB;
    return a.path.str() < b.path.str();
}
