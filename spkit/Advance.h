// Exact multi-step phase stepping for the free-running units' advance-by-N:
// many single-precision `wrapPhase(p + inc, n)` steps in a few operations, bit
// for bit what stepping one sample at a time gives. Internal to spkit (and
// its tests); the sleeping instance reaches it through the units' advance().
#pragma once

namespace SPKit::Advance {

// `count` steps of p = wrapPhase(p + inc, n), as the oscillator takes them one
// sample at a time. Any thread (pure).
float stepPhase(float p, float inc, float n, int count);

}  // namespace SPKit::Advance
