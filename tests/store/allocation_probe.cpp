#include "store/allocation_probe.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> gProbing{false};
std::atomic<std::size_t> gLargest{0};
} // namespace

// Replaces the global allocation functions of the test program; kept in a file of its own so
// that they are never inlined into a caller.
void* operator new(std::size_t size) {
    if (gProbing.load(std::memory_order_relaxed)) {
        std::size_t seen = gLargest.load();
        while (size > seen && !gLargest.compare_exchange_weak(seen, size)) {
        }
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace veldrin {

AllocationProbe::AllocationProbe() {
    gLargest = 0;
    gProbing = true;
}
AllocationProbe::~AllocationProbe() {
    gProbing = false;
}
std::size_t AllocationProbe::largest() const {
    return gLargest.load();
}

} // namespace veldrin
