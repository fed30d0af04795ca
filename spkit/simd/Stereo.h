// Internal to spkit: two channels side by side in vector registers, and the
// pull protocol of a paired left / right unit. Sse2 keeps each channel in its
// own __m128; Avx keeps left in the low and right in the high half of one
// __m256. Both apply exactly the four-lane operations a one-channel kernel
// applies, so a paired kernel's output is the one-channel output to the bit.
#pragma once

#include <emmintrin.h>

#include <cstring>

// Avx's vectors cross no real call boundary (everything is always_inline
// into a target("avx2") function), so the ABI note for them does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace SPKit::simd {

#define SPKIT_SIMD_INLINE inline __attribute__((always_inline))

// Four lanes per channel, two channels, as two SSE registers.
struct Sse2 {
    struct V {
        __m128 l, r;
    };
    static SPKIT_SIMD_INLINE V load(const float* l, const float* r) { return {_mm_load_ps(l), _mm_load_ps(r)}; }
    static SPKIT_SIMD_INLINE void store(float* l, float* r, V v) {
        _mm_store_ps(l, v.l);
        _mm_store_ps(r, v.r);
    }
    static SPKIT_SIMD_INLINE V set1(float x) { return {_mm_set1_ps(x), _mm_set1_ps(x)}; }
    static SPKIT_SIMD_INLINE V channels(float l, float r) { return {_mm_set1_ps(l), _mm_set1_ps(r)}; }
    // Lane `lane` (0 or 2) of each channel.
    template <int lane = 0>
    static SPKIT_SIMD_INLINE float left(V v) {
        return _mm_cvtss_f32(lane == 0 ? v.l : _mm_movehl_ps(v.l, v.l));
    }
    template <int lane = 0>
    static SPKIT_SIMD_INLINE float right(V v) {
        return _mm_cvtss_f32(lane == 0 ? v.r : _mm_movehl_ps(v.r, v.r));
    }
    static SPKIT_SIMD_INLINE V add(V a, V b) { return {_mm_add_ps(a.l, b.l), _mm_add_ps(a.r, b.r)}; }
    static SPKIT_SIMD_INLINE V sub(V a, V b) { return {_mm_sub_ps(a.l, b.l), _mm_sub_ps(a.r, b.r)}; }
    static SPKIT_SIMD_INLINE V mul(V a, V b) { return {_mm_mul_ps(a.l, b.l), _mm_mul_ps(a.r, b.r)}; }
    static SPKIT_SIMD_INLINE V div(V a, V b) { return {_mm_div_ps(a.l, b.l), _mm_div_ps(a.r, b.r)}; }
    static SPKIT_SIMD_INLINE V max(V a, V b) { return {_mm_max_ps(a.l, b.l), _mm_max_ps(a.r, b.r)}; }
    static SPKIT_SIMD_INLINE V min(V a, V b) { return {_mm_min_ps(a.l, b.l), _mm_min_ps(a.r, b.r)}; }
    // Sign bit of `sign` set ? x : y per lane, as an arithmetic shift for the mask.
    static SPKIT_SIMD_INLINE V selectNegative(V sign, V x, V y) {
        const __m128 ml = _mm_castsi128_ps(_mm_srai_epi32(_mm_castps_si128(sign.l), 31));
        const __m128 mr = _mm_castsi128_ps(_mm_srai_epi32(_mm_castps_si128(sign.r), 31));
        return {_mm_or_ps(_mm_and_ps(ml, x.l), _mm_andnot_ps(ml, y.l)),
                _mm_or_ps(_mm_and_ps(mr, x.r), _mm_andnot_ps(mr, y.r))};
    }
    template <int imm>
    static SPKIT_SIMD_INLINE V shuffle(V a, V b) {
        return {_mm_shuffle_ps(a.l, b.l, imm), _mm_shuffle_ps(a.r, b.r, imm)};
    }
    static SPKIT_SIMD_INLINE V unpackLow(V a, V b) { return {_mm_unpacklo_ps(a.l, b.l), _mm_unpacklo_ps(a.r, b.r)}; }
    static SPKIT_SIMD_INLINE V unpackHigh(V a, V b) { return {_mm_unpackhi_ps(a.l, b.l), _mm_unpackhi_ps(a.r, b.r)}; }
};

// Four lanes per channel, two channels, in one 256-bit register. Written with
// GCC vector extensions so that it carries no target of its own: it compiles
// to AVX inside a target("avx2") function that inlines it.
struct Avx {
    using V = float __attribute__((vector_size(32)));
    using M = int __attribute__((vector_size(32)));
    static SPKIT_SIMD_INLINE V load(const float* l, const float* r) {
        V v;
        std::memcpy(&v, l, 16);
        std::memcpy(reinterpret_cast<char*>(&v) + 16, r, 16);
        return v;
    }
    static SPKIT_SIMD_INLINE void store(float* l, float* r, V v) {
        std::memcpy(l, &v, 16);
        std::memcpy(r, reinterpret_cast<const char*>(&v) + 16, 16);
    }
    static SPKIT_SIMD_INLINE V set1(float x) { return V{x, x, x, x, x, x, x, x}; }
    // Two broadcasts and one insert (an eight-element initialiser becomes eight inserts).
    static SPKIT_SIMD_INLINE V channels(float l, float r) {
        using Half = float __attribute__((vector_size(16)));
        const Half lh = {l, l, l, l}, rh = {r, r, r, r};
        return __builtin_shufflevector(lh, rh, 0, 1, 2, 3, 4, 5, 6, 7);
    }
    template <int lane = 0>
    static SPKIT_SIMD_INLINE float left(V v) {
        return v[lane];
    }
    template <int lane = 0>
    static SPKIT_SIMD_INLINE float right(V v) {
        return v[4 + lane];
    }
    static SPKIT_SIMD_INLINE V add(V a, V b) { return a + b; }
    static SPKIT_SIMD_INLINE V sub(V a, V b) { return a - b; }
    static SPKIT_SIMD_INLINE V mul(V a, V b) { return a * b; }
    static SPKIT_SIMD_INLINE V div(V a, V b) { return a / b; }
    // maxps / minps: the second operand wins unless the first is greater
    // (less). GCC spells the conditional as a compare and a blend, so these
    // two name the instruction (Intel order: vmaxps r, a, b).
    static SPKIT_SIMD_INLINE V max(V a, V b) {
        V r;
        asm("vmaxps %2, %1, %0" : "=x"(r) : "x"(a), "x"(b));
        return r;
    }
    static SPKIT_SIMD_INLINE V min(V a, V b) {
        V r;
        asm("vminps %2, %1, %0" : "=x"(r) : "x"(a), "x"(b));
        return r;
    }
    // Sign bit of `sign` set ? x : y per lane: one vblendvps, no compare.
    static SPKIT_SIMD_INLINE V selectNegative(V sign, V x, V y) {
        V r;
        asm("vblendvps %3, %2, %1, %0" : "=x"(r) : "x"(y), "x"(x), "x"(sign));
        return r;
    }
    // _mm_shuffle_ps within each half.
    template <int imm>
    static SPKIT_SIMD_INLINE V shuffle(V a, V b) {
        constexpr int w = imm & 3, x = (imm >> 2) & 3, y = (imm >> 4) & 3, z = (imm >> 6) & 3;
        return __builtin_shufflevector(a, b, w, x, 8 + y, 8 + z, 4 + w, 4 + x, 12 + y, 12 + z);
    }
    static SPKIT_SIMD_INLINE V unpackLow(V a, V b) { return __builtin_shufflevector(a, b, 0, 8, 1, 9, 4, 12, 5, 13); }
    static SPKIT_SIMD_INLINE V unpackHigh(V a, V b) { return __builtin_shufflevector(a, b, 2, 10, 3, 11, 6, 14, 7, 15); }
};

// The pull protocol of a left / right pair that computes both channels in
// one pass: the first of the two pulled in a block computes both and leaves
// the other's block here; the other's pull collects it. The graph pulls both
// members once per block with the same count (their bypasses switch together).
struct PairedBlock {
    float* stash = nullptr;  // kMaxBlock floats, owned by the pair
    int pending = 0;         // samples waiting for channel `waiting`
    int waiting = -1;

    // Audio thread: hands channel `index` its block if one waits for it.
    bool collect(int index, float* out, int count) {
        if (pending == 0 || waiting != index || pending != count) return false;
        std::memcpy(out, stash, static_cast<std::size_t>(count) * sizeof(float));
        pending = 0;
        waiting = -1;
        return true;
    }
    // Audio thread: the block now in stash belongs to channel `index`.
    void leave(int index, int count) {
        pending = count;
        waiting = index;
    }
    void forget() {
        pending = 0;
        waiting = -1;
    }
};

}  // namespace SPKit::simd
