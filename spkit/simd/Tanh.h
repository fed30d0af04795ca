// Internal to spkit: tanh of four floats in SSE2 lanes, the classic
// single-precision algorithm (tanh from expm1, expm1 by reduction to
// |r| <= ln2 / 2 and a rational fit) with every branch taken as a lane select
// and each operation in the scalar algorithm's order, so that each lane gives
// the very float the C library's tanhf gives on this platform (glibc).
#pragma once

#include <emmintrin.h>

namespace SPKit::simd {

namespace tanhDetail {

inline __m128 bits(int i) { return _mm_castsi128_ps(_mm_set1_epi32(i)); }
inline __m128 pick(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
inline __m128i pickInt(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
// Adds k to the binary exponent of y (y and the result normal).
inline __m128 scaleBy(__m128 y, __m128i k) {
    return _mm_castsi128_ps(_mm_add_epi32(_mm_castps_si128(y), _mm_slli_epi32(k, 23)));
}

// expm1 for arguments in (-2, 44], the range tanh hands it.
inline __m128 expm1(__m128 x) {
    const __m128 one = _mm_set1_ps(1.0f), half = _mm_set1_ps(0.5f);
    const __m128 ln2Hi = _mm_set1_ps(6.9313812256e-01f), ln2Lo = _mm_set1_ps(9.0580006145e-06f);
    const __m128 invLn2 = _mm_set1_ps(1.4426950216e+00f);
    const __m128 q1 = _mm_set1_ps(-3.3333335072e-02f), q2 = _mm_set1_ps(1.5873016091e-03f),
                 q3 = _mm_set1_ps(-7.9365076090e-05f), q4 = _mm_set1_ps(4.0082177293e-06f),
                 q5 = _mm_set1_ps(-2.0109921195e-07f);
    const __m128i word = _mm_castps_si128(x);
    const __m128i hx = _mm_and_si128(word, _mm_set1_epi32(0x7fffffff));
    const __m128 negative = _mm_castsi128_ps(_mm_srai_epi32(word, 31));
    const __m128i negativeInt = _mm_castps_si128(negative);

    // Reduction: x = k ln2 + r, |r| <= ln2 / 2, with c the rounding error of r.
    const __m128i reduced = _mm_cmpgt_epi32(hx, _mm_set1_epi32(0x3eb17218));  // |x| > ln2 / 2
    const __m128i nearOne = _mm_cmplt_epi32(hx, _mm_set1_epi32(0x3F851592));  // |x| < 3 ln2 / 2
    const __m128i tiny = _mm_cmplt_epi32(hx, _mm_set1_epi32(0x33000000));     // |x| < 2^-25
    // k = +-1 near one ln2.
    const __m128 hiNear = pick(negative, _mm_add_ps(x, ln2Hi), _mm_sub_ps(x, ln2Hi));
    const __m128 loNear = pick(negative, _mm_xor_ps(ln2Lo, bits(static_cast<int>(0x80000000u))), ln2Lo);
    const __m128i kNear = pickInt(negativeInt, _mm_set1_epi32(-1), _mm_set1_epi32(1));
    // Otherwise k = (int)(x / ln2 +- 0.5).
    const __m128 rounding = pick(negative, _mm_set1_ps(-0.5f), half);
    const __m128i kFar = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(invLn2, x), rounding));
    const __m128 t = _mm_cvtepi32_ps(kFar);
    const __m128 hiFar = _mm_sub_ps(x, _mm_mul_ps(t, ln2Hi));
    const __m128 loFar = _mm_mul_ps(t, ln2Lo);
    const __m128 nearMask = _mm_castsi128_ps(nearOne);
    const __m128 hi = pick(nearMask, hiNear, hiFar), lo = pick(nearMask, loNear, loFar);
    const __m128 reducedMask = _mm_castsi128_ps(reduced);
    const __m128 rx = _mm_sub_ps(hi, lo);
    const __m128 r = pick(reducedMask, rx, x);
    const __m128 c = _mm_and_ps(reducedMask, _mm_sub_ps(_mm_sub_ps(hi, rx), lo));
    const __m128i k = _mm_and_si128(reduced, pickInt(nearOne, kNear, kFar));

    // The rational fit on the primary range.
    const __m128 hfx = _mm_mul_ps(half, r);
    const __m128 hxs = _mm_mul_ps(r, hfx);
    const __m128 r1 = _mm_add_ps(
        one, _mm_mul_ps(hxs, _mm_add_ps(q1, _mm_mul_ps(hxs, _mm_add_ps(q2, _mm_mul_ps(hxs, _mm_add_ps(q3, _mm_mul_ps(hxs, _mm_add_ps(q4, _mm_mul_ps(hxs, q5))))))))));
    const __m128 t3 = _mm_sub_ps(_mm_set1_ps(3.0f), _mm_mul_ps(r1, hfx));
    const __m128 e = _mm_mul_ps(hxs, _mm_div_ps(_mm_sub_ps(r1, t3), _mm_sub_ps(_mm_set1_ps(6.0f), _mm_mul_ps(r, t3))));

    // k = 0: no scaling.
    const __m128 atZero = _mm_sub_ps(r, _mm_sub_ps(_mm_mul_ps(r, e), hxs));
    // k != 0.
    const __m128 ek = _mm_sub_ps(_mm_sub_ps(_mm_mul_ps(r, _mm_sub_ps(e, c)), c), hxs);
    const __m128 atMinusOne = _mm_sub_ps(_mm_mul_ps(half, _mm_sub_ps(r, ek)), half);
    const __m128 atOne = pick(_mm_cmplt_ps(r, _mm_set1_ps(-0.25f)),
                              _mm_mul_ps(_mm_set1_ps(-2.0f), _mm_sub_ps(ek, _mm_add_ps(r, half))),
                              _mm_add_ps(one, _mm_mul_ps(_mm_set1_ps(2.0f), _mm_sub_ps(r, ek))));
    const __m128 far = _mm_sub_ps(scaleBy(_mm_sub_ps(one, _mm_sub_ps(ek, r)), k), one);  // k <= -2 or k > 56
    const __m128 powMinusK = _mm_castsi128_ps(_mm_slli_epi32(_mm_sub_epi32(_mm_set1_epi32(0x7f), k), 23));
    const __m128 small = scaleBy(_mm_sub_ps(_mm_sub_ps(one, powMinusK), _mm_sub_ps(ek, r)), k);        // 2 <= k < 23
    const __m128 large = scaleBy(_mm_add_ps(_mm_sub_ps(r, _mm_add_ps(ek, powMinusK)), one), k);        // 23 <= k <= 56

    const __m128i kIsZero = _mm_cmpeq_epi32(k, _mm_setzero_si128());
    const __m128i kIsMinusOne = _mm_cmpeq_epi32(k, _mm_set1_epi32(-1));
    const __m128i kIsOne = _mm_cmpeq_epi32(k, _mm_set1_epi32(1));
    const __m128i kFarOut = _mm_or_si128(_mm_cmplt_epi32(k, _mm_set1_epi32(-1)), _mm_cmpgt_epi32(k, _mm_set1_epi32(56)));
    const __m128i kSmall = _mm_cmplt_epi32(k, _mm_set1_epi32(23));
    __m128 y = pick(_mm_castsi128_ps(kSmall), small, large);
    y = pick(_mm_castsi128_ps(kFarOut), far, y);
    y = pick(_mm_castsi128_ps(kIsOne), atOne, y);
    y = pick(_mm_castsi128_ps(kIsMinusOne), atMinusOne, y);
    y = pick(_mm_castsi128_ps(kIsZero), atZero, y);
    return pick(_mm_castsi128_ps(tiny), x, y);
}

}  // namespace tanhDetail

// tanh per lane, as the C library's tanhf.
inline __m128 tanh(__m128 x) {
    using namespace tanhDetail;
    const __m128 one = _mm_set1_ps(1.0f), two = _mm_set1_ps(2.0f);
    const __m128 signBit = bits(static_cast<int>(0x80000000u));
    const __m128i word = _mm_castps_si128(x);
    const __m128i ix = _mm_and_si128(word, _mm_set1_epi32(0x7fffffff));
    const __m128 ax = _mm_andnot_ps(signBit, x);
    const __m128 atLeastOne = _mm_castsi128_ps(_mm_cmpgt_epi32(ix, _mm_set1_epi32(0x3f7fffff)));
    const __m128 twice = _mm_mul_ps(two, ax);
    const __m128 t = expm1(pick(atLeastOne, twice, _mm_xor_ps(twice, signBit)));
    const __m128 fromAbove = _mm_sub_ps(one, _mm_div_ps(two, _mm_add_ps(t, two)));
    const __m128 fromBelow = _mm_div_ps(_mm_xor_ps(t, signBit), _mm_add_ps(t, two));
    __m128 z = pick(atLeastOne, fromAbove, fromBelow);
    z = pick(_mm_castsi128_ps(_mm_cmpgt_epi32(ix, _mm_set1_epi32(0x41afffff))), one, z);  // |x| >= 22
    // Restore the sign; tiny, zero and NaN inputs as the library has them.
    z = _mm_or_ps(z, _mm_and_ps(x, signBit));
    const __m128 tinyInput = _mm_castsi128_ps(_mm_cmplt_epi32(ix, _mm_set1_epi32(0x24000000)));
    z = pick(tinyInput, _mm_mul_ps(x, _mm_add_ps(one, x)), z);
    const __m128 isNan = _mm_cmpunord_ps(x, x);
    return pick(isNan, _mm_add_ps(x, x), z);
}

}  // namespace SPKit::simd
