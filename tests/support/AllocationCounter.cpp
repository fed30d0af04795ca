// Interposes the C allocator and forwards to glibc's internal entry points.
#include "tests/support/AllocationCounter.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {
thread_local bool armed = false;
thread_local long allocationCount = 0;
thread_local long releaseCount = 0;
bool interposed = false;

inline void noteAllocation() {
    interposed = true;
    if (armed) ++allocationCount;
}
inline void noteRelease(void* p) {
    if (armed && p != nullptr) ++releaseCount;
}
}  // namespace

extern "C" {
void* malloc(size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    noteAllocation();
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
    noteAllocation();
    return __libc_realloc(p, size);
}
void free(void* p) {
    noteRelease(p);
    __libc_free(p);
}
void* memalign(size_t alignment, size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    noteAllocation();
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}
}

namespace TestSupport {

AllocationScope::AllocationScope() {
    allocationCount = 0;
    releaseCount = 0;
    armed = true;
}

AllocationScope::~AllocationScope() {
    if (active) stop();
}

AllocationCounts AllocationScope::stop() {
    armed = false;
    active = false;
    return counts();
}

AllocationCounts AllocationScope::counts() const { return {allocationCount, releaseCount}; }

bool allocationCounterActive() {
    void* volatile p = malloc(1);
    free(p);
    return interposed;
}

}  // namespace TestSupport
