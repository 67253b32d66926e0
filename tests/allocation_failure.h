#pragma once
// The test program's own operator new, which can make one chosen allocation
// of the calling thread fail with std::bad_alloc.
#include <cstddef>

namespace quillpost::testing {

// The Nth allocation from now on this thread fails (0: none does).
void FailNthAllocation(std::size_t n);
// Whether the chosen allocation has failed since FailNthAllocation.
bool AllocationFailed();

}  // namespace quillpost::testing
