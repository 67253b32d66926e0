#include "allocation_failure.h"

#include <cstdlib>
#include <new>

namespace {

thread_local std::size_t countdown = 0;
thread_local bool failed = false;

}  // namespace

namespace quillpost::testing {

void FailNthAllocation(std::size_t n) {
    countdown = n;
    failed = false;
}

bool AllocationFailed() { return failed; }

}  // namespace quillpost::testing

void* operator new(std::size_t size) {
    if (countdown != 0 && --countdown == 0) {
        failed = true;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
