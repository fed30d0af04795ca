// Internal to spkit: tanh of four floats in SSE2 lanes, the classic
// single-precision algorithm (tanh from expm1, expm1 by reduction to
// |r| <= ln2 / 2 and a rational fit) with every branch taken as a lane mask
// and each operation in the scalar algorithm's order, so that each lane gives
// the very float the C library's tanhf gives on this platform (glibc). It sits
// on the phaser's per-sample feedback chain, so its latency is what counts.
#pragma once

#include <emmintrin.h>

namespace SPKit::simd {

namespace tanhDetail {

inline __m128 bits(int i) { return _mm_castsi128_ps(_mm_set1_epi32(i)); }
// Adds k to the binary exponent of y (y and the result normal).
inline __m128 scaleBy(__m128 y, __m128i k) {
    return _mm_castsi128_ps(_mm_add_epi32(_mm_castps_si128(y), _mm_slli_epi32(k, 23)));
}

// expm1(a) for the arguments tanh hands it, a = -2|x| in (-2, 0) for
// |x| < 1 and a = 2|x| in [2, 44) for |x| >= 1, given as ax = |x| and the
// mask of the lanes where a is negative. On that range k (a ~ k ln2 + r) is
// 0, -1, -2 or -3 below 0 and 3 .. 63 above, so the k = 1 case never comes.
// The reduction runs on |a| and takes a's sign at the end: x - t ln2hi, the
// rounding of k and the corrections are all odd in a, so every value is the
// library's own. The branch results are or-ed under disjoint lane masks made
// early from a, so the long chain pays one select level, not six.
inline __m128 expm1(__m128 ax, __m128 negative) {
    const __m128 one = _mm_set1_ps(1.0f), half = _mm_set1_ps(0.5f);
    const __m128 ln2Hi = _mm_set1_ps(6.9313812256e-01f), ln2Lo = _mm_set1_ps(9.0580006145e-06f);
    // 2 / ln2: (2 / ln2) |x| is invLn2 x 2|x| rounded the same way (the factor 2 is exact).
    const __m128 twiceInvLn2 = _mm_set1_ps(2.0f * 1.4426950216e+00f);
    const __m128 q1 = _mm_set1_ps(-3.3333335072e-02f), q2 = _mm_set1_ps(1.5873016091e-03f),
                 q3 = _mm_set1_ps(-7.9365076090e-05f), q4 = _mm_set1_ps(4.0082177293e-06f),
                 q5 = _mm_set1_ps(-2.0109921195e-07f);
    const __m128 sign = _mm_and_ps(negative, bits(static_cast<int>(0x80000000u)));
    const __m128i negativeInt = _mm_castps_si128(negative);
    const __m128 m = _mm_add_ps(ax, ax);  // |a|, exact
    const __m128 a = _mm_xor_ps(m, sign);
    const __m128i hx = _mm_castps_si128(m);

    // The masks, from |a| alone.
    const __m128i reducedInt = _mm_cmpgt_epi32(hx, _mm_set1_epi32(0x3eb17218));  // |a| > ln2 / 2
    const __m128i nearInt = _mm_cmplt_epi32(hx, _mm_set1_epi32(0x3F851592));     // |a| < 3 ln2 / 2
    const __m128 reduced = _mm_castsi128_ps(reducedInt);
    const __m128 near = _mm_and_ps(reduced, _mm_castsi128_ps(nearInt));  // k = -1 (only a < 0 is near)
    const __m128 far = _mm_andnot_ps(_mm_castsi128_ps(nearInt), reduced);
    const __m128 tiny = _mm_castsi128_ps(_mm_cmplt_epi32(hx, _mm_set1_epi32(0x33000000)));  // |a| < 2^-25

    // Reduction of |a|: hi - lo with its rounding error c. Near one ln2, |k| = 1.
    const __m128 hiNear = _mm_sub_ps(m, ln2Hi);
    const __m128 rNear = _mm_sub_ps(hiNear, ln2Lo);
    const __m128 cNear = _mm_sub_ps(_mm_sub_ps(hiNear, rNear), ln2Lo);
    // Otherwise |k| = (int)(|a| / ln2 + 0.5).
    const __m128i kFar = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(twiceInvLn2, ax), half));
    const __m128 t = _mm_cvtepi32_ps(kFar);
    const __m128 hiFar = _mm_sub_ps(m, _mm_mul_ps(t, ln2Hi));
    const __m128 loFar = _mm_mul_ps(t, ln2Lo);
    const __m128 rFar = _mm_sub_ps(hiFar, loFar);
    const __m128 cFar = _mm_sub_ps(_mm_sub_ps(hiFar, rFar), loFar);
    // Unreduced lanes keep a itself (and c = 0).
    const __m128 rEarly = _mm_or_ps(_mm_and_ps(near, rNear), _mm_andnot_ps(reduced, m));
    const __m128 r = _mm_xor_ps(_mm_or_ps(_mm_and_ps(far, rFar), rEarly), sign);
    const __m128 c = _mm_xor_ps(_mm_or_ps(_mm_and_ps(far, cFar), _mm_and_ps(near, cNear)), _mm_and_ps(reduced, sign));
    const __m128i kMagnitude = _mm_or_si128(_mm_and_si128(_mm_castps_si128(far), kFar),
                                            _mm_and_si128(_mm_castps_si128(near), _mm_set1_epi32(1)));
    const __m128i k = _mm_sub_epi32(_mm_xor_si128(kMagnitude, negativeInt), negativeInt);

    // Which formula each lane takes, all known before the fit is.
    const __m128 kZero = _mm_andnot_ps(tiny, _mm_castsi128_ps(_mm_cmpeq_epi32(k, _mm_setzero_si128())));
    const __m128 kMinusOne = _mm_castsi128_ps(_mm_cmpeq_epi32(k, _mm_set1_epi32(-1)));
    const __m128i above56 = _mm_cmpgt_epi32(k, _mm_set1_epi32(56));
    const __m128 kFarOut = _mm_castsi128_ps(_mm_or_si128(_mm_cmplt_epi32(k, _mm_set1_epi32(-1)), above56));
    const __m128i above22 = _mm_cmpgt_epi32(k, _mm_set1_epi32(22));
    const __m128 kSmall = _mm_castsi128_ps(_mm_andnot_si128(above22, _mm_cmpgt_epi32(k, _mm_set1_epi32(1))));  // 2 .. 22
    const __m128 kLarge = _mm_castsi128_ps(_mm_andnot_si128(above56, above22));                                 // 23 .. 56

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
    const __m128 ekMinusR = _mm_sub_ps(ek, r);
    const __m128 atMinusOne = _mm_sub_ps(_mm_mul_ps(half, _mm_sub_ps(r, ek)), half);
    const __m128 farOut = _mm_sub_ps(scaleBy(_mm_sub_ps(one, ekMinusR), k), one);  // k <= -2 or k > 56
    const __m128 powMinusK = _mm_castsi128_ps(_mm_slli_epi32(_mm_sub_epi32(_mm_set1_epi32(0x7f), k), 23));
    const __m128 small = scaleBy(_mm_sub_ps(_mm_sub_ps(one, powMinusK), ekMinusR), k);                   // 2 <= k < 23
    const __m128 large = scaleBy(_mm_add_ps(_mm_sub_ps(r, _mm_add_ps(ek, powMinusK)), one), k);        // 23 <= k <= 56

    const __m128 early = _mm_or_ps(_mm_and_ps(kZero, atZero), _mm_and_ps(tiny, a));
    const __m128 scaled = _mm_or_ps(_mm_and_ps(kSmall, small), _mm_and_ps(kLarge, large));
    const __m128 unscaled = _mm_or_ps(_mm_and_ps(kMinusOne, atMinusOne), _mm_and_ps(kFarOut, farOut));
    return _mm_or_ps(_mm_or_ps(unscaled, scaled), early);
}

}  // namespace tanhDetail

// tanh per lane, as the C library's tanhf. The special inputs (tiny, 22 and
// beyond, NaN) and the sign are settled from x while expm1 runs.
inline __m128 tanh(__m128 x) {
    using namespace tanhDetail;
    const __m128 one = _mm_set1_ps(1.0f), two = _mm_set1_ps(2.0f);
    const __m128 signBit = bits(static_cast<int>(0x80000000u));
    const __m128i word = _mm_castps_si128(x);
    const __m128i ix = _mm_and_si128(word, _mm_set1_epi32(0x7fffffff));
    const __m128 ax = _mm_andnot_ps(signBit, x);
    const __m128 atLeastOne = _mm_castsi128_ps(_mm_cmpgt_epi32(ix, _mm_set1_epi32(0x3f7fffff)));
    // |x| < 1 takes expm1(-2|x|), else expm1(2|x|).
    const __m128 t = expm1(ax, _mm_xor_ps(atLeastOne, bits(-1)));
    const __m128 sum = _mm_add_ps(t, two);
    const __m128 fromAbove = _mm_sub_ps(one, _mm_div_ps(two, sum));
    const __m128 fromBelow = _mm_div_ps(_mm_xor_ps(t, signBit), sum);

    const __m128 isNan = _mm_cmpunord_ps(x, x);
    const __m128 tinyInput = _mm_castsi128_ps(_mm_cmplt_epi32(ix, _mm_set1_epi32(0x24000000)));
    const __m128 large = _mm_andnot_ps(isNan, _mm_castsi128_ps(_mm_cmpgt_epi32(ix, _mm_set1_epi32(0x41afffff))));  // |x| >= 22
    const __m128 fromExpm1 = _mm_andnot_ps(_mm_or_ps(_mm_or_ps(isNan, tinyInput), large), bits(-1));
    // Everything but the expm1 result: the sign it takes, +-1 beyond 22, and
    // tiny, zero and NaN inputs as the library has them.
    const __m128 rest = _mm_or_ps(_mm_or_ps(_mm_and_ps(_mm_or_ps(fromExpm1, large), _mm_and_ps(x, signBit)), _mm_and_ps(large, one)),
                                  _mm_or_ps(_mm_and_ps(tinyInput, _mm_mul_ps(x, _mm_add_ps(one, x))),
                                            _mm_and_ps(isNan, _mm_add_ps(x, x))));
    const __m128 below = _mm_or_ps(_mm_and_ps(_mm_andnot_ps(atLeastOne, fromExpm1), fromBelow), rest);
    return _mm_or_ps(_mm_and_ps(_mm_and_ps(atLeastOne, fromExpm1), fromAbove), below);
}

}  // namespace SPKit::simd
