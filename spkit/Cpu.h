// What the processor offers, asked once per process. Kernels with a wider
// variant pick it at run time from here (no ifunc: Windows loaders have none),
// so one binary runs on an SSE2-only processor and uses AVX2 where it exists.
// Tests force a level to compare every path against the scalar reference.
#pragma once

namespace SPKit {

enum class SimdLevel { Scalar = 0, Sse2 = 1, Avx2 = 2 };

// The widest level this processor runs, capped by forceSimdLevel.
SimdLevel simdLevel();

// Caps the level for the rest of the process (tests and benchmarks only;
// call before any unit is built, never while audio runs).
void forceSimdLevel(SimdLevel cap);

} // namespace SPKit
