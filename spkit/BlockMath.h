// Element-wise block arithmetic for the small units (gains, sums, products,
// maps, copies): four samples per SSE2 instruction, each lane doing exactly
// the scalar expression's operations in its order, so results are the same
// bits as a plain loop. The units call these on the audio thread.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstring>

namespace SPKit::BlockMath {

// Runs `vec` on whole groups of four and `one` on the rest.
template <class Vec, class One>
inline void forEach(int count, Vec vec, One one) {
    int i = 0;
    for (; i + 4 <= count; i += 4) vec(i);
    for (; i < count; ++i) one(i);
}

// x[i] = v.
inline void fill(float* x, int count, float v) {
    const __m128 vv = _mm_set1_ps(v);
    forEach(count, [&](int i) { _mm_storeu_ps(x + i, vv); }, [&](int i) { x[i] = v; });
}

// x[i] = y[i] (the blocks do not overlap).
inline void copy(float* x, const float* y, int count) {
    if (count > 0) std::memcpy(x, y, static_cast<std::size_t>(count) * sizeof(float));
}

// x[i] = x[i] * g. A gain of exactly 1 returns every value unchanged (only a
// signalling NaN, which no arithmetic produces, would be quieted), so the
// block is left as it is.
inline void scale(float* x, int count, float g) {
    if (g == 1.0f) return;
    const __m128 gv = _mm_set1_ps(g);
    forEach(
        count, [&](int i) { _mm_storeu_ps(x + i, _mm_mul_ps(_mm_loadu_ps(x + i), gv)); }, [&](int i) { x[i] *= g; });
}

// x[i] = x[i] * y[i].
inline void multiply(float* x, const float* y, int count) {
    forEach(
        count, [&](int i) { _mm_storeu_ps(x + i, _mm_mul_ps(_mm_loadu_ps(x + i), _mm_loadu_ps(y + i))); },
        [&](int i) { x[i] *= y[i]; });
}

// x[i] = x[i] + y[i].
inline void add(float* x, const float* y, int count) {
    forEach(
        count, [&](int i) { _mm_storeu_ps(x + i, _mm_add_ps(_mm_loadu_ps(x + i), _mm_loadu_ps(y + i))); },
        [&](int i) { x[i] += y[i]; });
}

// x[i] = c + x[i] (the sum's identity folded into its first term: 0 + -0 is +0).
inline void addTo(float c, float* x, int count) {
    const __m128 cv = _mm_set1_ps(c);
    forEach(
        count, [&](int i) { _mm_storeu_ps(x + i, _mm_add_ps(cv, _mm_loadu_ps(x + i))); }, [&](int i) { x[i] = c + x[i]; });
}

// x[i] = c * x[i].
inline void multiplyTo(float c, float* x, int count) {
    const __m128 cv = _mm_set1_ps(c);
    forEach(
        count, [&](int i) { _mm_storeu_ps(x + i, _mm_mul_ps(cv, _mm_loadu_ps(x + i))); }, [&](int i) { x[i] = c * x[i]; });
}

// x[i] = x[i] + o.
inline void offset(float* x, int count, float o) {
    const __m128 ov = _mm_set1_ps(o);
    forEach(
        count, [&](int i) { _mm_storeu_ps(x + i, _mm_add_ps(_mm_loadu_ps(x + i), ov)); }, [&](int i) { x[i] += o; });
}

// x[i] = x[i] * s + o (two roundings: no fused multiply-add).
inline void affine(float* x, int count, float s, float o) {
    const __m128 sv = _mm_set1_ps(s), ov = _mm_set1_ps(o);
    forEach(
        count, [&](int i) { _mm_storeu_ps(x + i, _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(x + i), sv), ov)); },
        [&](int i) { x[i] = x[i] * s + o; });
}

// x[i] = x < lo ? lo : (x > hi ? hi : x): a NaN passes, the low test wins.
inline void clamp(float* x, int count, float lo, float hi) {
    const __m128 lv = _mm_set1_ps(lo), hv = _mm_set1_ps(hi);
    forEach(
        count,
        [&](int i) {
            const __m128 v = _mm_loadu_ps(x + i);
            const __m128 above = _mm_cmpgt_ps(v, hv), below = _mm_cmplt_ps(v, lv);
            const __m128 upper = _mm_or_ps(_mm_and_ps(above, hv), _mm_andnot_ps(above, v));
            _mm_storeu_ps(x + i, _mm_or_ps(_mm_and_ps(below, lv), _mm_andnot_ps(below, upper)));
        },
        [&](int i) {
            const float v = x[i];
            x[i] = v < lo ? lo : (v > hi ? hi : v);
        });
}

// x[i] = ((x * x) * x) * x.
inline void fourthPower(float* x, int count) {
    forEach(
        count,
        [&](int i) {
            const __m128 v = _mm_loadu_ps(x + i);
            _mm_storeu_ps(x + i, _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(v, v), v), v));
        },
        [&](int i) {
            const float v = x[i];
            x[i] = v * v * v * v;
        });
}

}  // namespace SPKit::BlockMath
