// Run-time processor check behind SPKit::simdLevel.
#include "spkit/Cpu.h"

#include <atomic>

namespace SPKit {
namespace {

SimdLevel detect() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return SimdLevel::Avx2;
    if (__builtin_cpu_supports("sse2")) return SimdLevel::Sse2;
#endif
    return SimdLevel::Scalar;
}

std::atomic<int> cap{static_cast<int>(SimdLevel::Avx2)};

} // namespace

SimdLevel simdLevel() {
    static const SimdLevel found = detect();
    const int limit = cap.load(std::memory_order_relaxed);
    return static_cast<int>(found) < limit ? found : static_cast<SimdLevel>(limit);
}

void forceSimdLevel(SimdLevel level) { cap.store(static_cast<int>(level), std::memory_order_relaxed); }

} // namespace SPKit
