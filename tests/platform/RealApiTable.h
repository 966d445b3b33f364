// A copy of the production function table that a test may change entry by entry. The real
// table stays loaded for the whole test program, so the copied entries stay valid.
#pragma once

#include "platform/KsWin32API.h"

#include <memory>

namespace kstest {

inline std::unique_ptr<CKsWin32APIBase> realApiTableCopy()
{
    static const CKsWin32API real;
    return std::make_unique<CKsWin32APIBase>(real);
}

} // namespace kstest
