// KsHive: one registry sub-tree that may override settings, with its priority. Hives are the
// same hive when root and path agree; priority does not take part in identity or order.
#pragma once

#include "common/WinInclude.h"
#include "customization/KsRegistryPath.h"

#include <cstdint>

struct KsHive {
    HKEY root = HKEY_LOCAL_MACHINE;
    KsRegistryPath path;
    uint32_t priority = 0;
    uint32_t inUse = 0;
};

bool operator==(const KsHive& a, const KsHive& b) noexcept;
bool operator<(const KsHive& a, const KsHive& b) noexcept;
