// Arms this test program's nothrow allocation to fail for one size while the object lives.
#pragma once

#include <cstddef>

namespace kstest {

class FailingAllocation {
public:
    explicit FailingAllocation(size_t size);
    ~FailingAllocation();
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;
};

} // namespace kstest
