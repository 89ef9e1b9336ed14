// Replaces the global operator new of the SQL test binary to count allocations; kept in its own file
// so no test's inlined new/delete pairs are seen next to the malloc/free below.
#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (g_counting) ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace dorvane::provider::sql::test {

void startCountingAllocations() {
    g_allocations = 0;
    g_counting = true;
}

long stopCountingAllocations() {
    g_counting = false;
    return g_allocations;
}

}  // namespace dorvane::provider::sql::test
