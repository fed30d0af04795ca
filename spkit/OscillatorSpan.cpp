// The oscillator's block renderers. A block's spans run in short pieces: the
// voices' phase recurrences (serial in time, four voices abreast) run one piece
// ahead of the table reads, which take W samples at a time (4 with SSE2, 8
// with AVX2), each lane doing the scalar loop's operations in its order. Lanes
// that would read past a table's end, or whose position needs the slow wrap,
// are redone by the scalar helpers, so no input takes a different path to a
// different result.
#include "spkit/OscillatorSpan.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>

// The generic kernel below passes 256-bit values between functions that are
// all inlined into the AVX2 entry point (flatten); the ABI note does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace SPKit::OscillatorSpan {

namespace {

#define MORVELITH_AVX2 __attribute__((target("avx2")))

// The most samples a piece's drift records hold, per voice, with room for padding.
constexpr int kChunk = 64;

inline __m128 select4(__m128 mask, __m128 yes, __m128 no) {
    return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
}

inline bool inRange4(__m128 p, __m128 n) {
    return _mm_movemask_ps(_mm_and_ps(_mm_cmpge_ps(p, _mm_setzero_ps()), _mm_cmplt_ps(p, n))) == 0xF;
}

// Redoes a step lane by lane with the scalar wrap (its slow path included).
inline __m128 wrapEachLane4(__m128 before, __m128 increment, float n) {
    alignas(16) float p[4], d[4];
    _mm_store_ps(p, before);
    _mm_store_ps(d, increment);
    for (int l = 0; l < 4; ++l) p[l] = wrapPhase(p[l] + d[l], n);
    return _mm_load_ps(p);
}

// One step of the phase recurrence: phase + increment, wrapped. Only the upper
// wrap is on the sample-to-sample chain; a sum below 0 (a backward voice) or
// past 2n fails the range check and takes the scalar wrap, which applies both.
inline __m128 advance4(__m128 p, __m128 d, __m128 n, float length) {
    const __m128 sum = _mm_add_ps(p, d);
    const __m128 next = select4(_mm_cmpge_ps(sum, n), _mm_sub_ps(sum, n), sum);
    return inRange4(next, n) ? next : wrapEachLane4(p, d, length);
}

// The same step for the fast pass: the upper wrap subtracts n or +0 (which
// leaves every value as it is), and the range check only gathers into `ok`;
// a pass whose steps were not all in range is run again with advance4.
inline __m128 step4(__m128 p, __m128 d, __m128 n, __m128& ok) {
    const __m128 sum = _mm_add_ps(p, d);
    const __m128 next = _mm_sub_ps(sum, _mm_and_ps(_mm_cmpge_ps(sum, n), n));
    ok = _mm_and_ps(ok, _mm_and_ps(_mm_cmpge_ps(next, _mm_setzero_ps()), _mm_cmplt_ps(next, n)));
    return next;
}

// The serial part: the voices' phases (voice 0 in lane 0 of its own vector,
// voices 1–4 abreast) and the four drift LFOs, moved on sample by sample.
// Each piece it runs writes before[i], voice 0's phase as sample i starts
// (before[count] as the piece ends), and upper[4i + j - 1], voice j's phase
// after it advanced for sample i (j = 1 … 4), and the drift LFOs' samples.
struct Chain {
    __m128 p0, p, d0, d, x, y, k;
    int lastChange = -1;  // the span whose lock last changed increments, while they hold

    explicit Chain(const BlockJob& job)
        : p0(_mm_set_ss(job.phase[0])),
          p(_mm_loadu_ps(job.phase + 1)),
          d0(_mm_set_ss(job.increment[0])),
          d(_mm_loadu_ps(job.increment + 1)),
          x(_mm_loadu_ps(job.driftX)),
          y(_mm_loadu_ps(job.driftY)),
          k(_mm_loadu_ps(job.driftK)) {}

    // The increments (and with a lock, the phase jumps) a span opens with.
    void open(BlockJob& job, int index) {
        const Span& span = job.spans[index];
        if (!span.lock) {
            d0 = _mm_set_ss(span.increment[0]);
            d = _mm_loadu_ps(span.increment + 1);
            lastChange = -1;
            return;
        }
        alignas(16) float phase[4], increment[4];
        const float n = static_cast<float>(job.length);
        const float phase0 = _mm_cvtss_f32(p0);
        _mm_store_ps(phase, p);
        std::memcpy(increment, span.increment + 1, sizeof(increment));
        bool changed = false, jumped = false;
        for (int j = 1; j < kVoices; ++j) {
            const bool resync = job.resync[j];
            if (lockVoice(phase[j - 1], increment[j - 1], job.resync[j], phase0, job.offset[j], n, span.frequency,
                          job.sampleRate)) {
                changed = true;
                jumped = jumped || resync;
            }
        }
        if (jumped) p = _mm_load_ps(phase);
        d0 = _mm_set_ss(span.increment[0]);
        d = span.relocked ? _mm_loadu_ps(span.increment + 1) : _mm_load_ps(increment);
        lastChange = changed && !span.relocked ? index : -1;
    }

    template <bool kChecked>
    void steps(const BlockJob& job, int count, float* before, float* upper, float* driftUpper, __m128& ok) {
        const float length = static_cast<float>(job.length);
        const __m128 n = _mm_set1_ps(length);
        if (!job.stepDrift) {
            for (int i = 0; i < count; ++i) {
                _mm_store_ss(before + i, p0);
                p0 = kChecked ? advance4(p0, d0, n, length) : step4(p0, d0, n, ok);
                p = kChecked ? advance4(p, d, n, length) : step4(p, d, n, ok);
                _mm_store_ps(upper + 4 * i, p);
            }
        } else {
            // The four drift LFOs' recurrences (LFO::processTogether's, lane for
            // lane) ride along: their chain overlaps the phases' instead of following it.
            for (int i = 0; i < count; ++i) {
                _mm_store_ss(before + i, p0);
                p0 = kChecked ? advance4(p0, d0, n, length) : step4(p0, d0, n, ok);
                p = kChecked ? advance4(p, d, n, length) : step4(p, d, n, ok);
                _mm_store_ps(upper + 4 * i, p);
                x = _mm_sub_ps(x, _mm_mul_ps(k, y));
                y = _mm_add_ps(y, _mm_mul_ps(k, x));
                _mm_store_ps(driftUpper + 4 * i, x);
            }
        }
    }

    // The fast pass with all five voices in one 256-bit register (voice 0 in
    // lane 4, lanes 5–7 stay at 0): one step for the five instead of two.
    MORVELITH_AVX2 void stepsWide(const BlockJob& job, int count, float* before, float* upper, float* driftUpper,
                                  __m128& ok) {
        const __m256 n = _mm256_set1_ps(static_cast<float>(job.length));
        const __m256 zero = _mm256_setzero_ps();
        __m256 q = _mm256_insertf128_ps(_mm256_castps128_ps256(p), p0, 1);
        const __m256 dq = _mm256_insertf128_ps(_mm256_castps128_ps256(d), d0, 1);
        __m256 okq = _mm256_castsi256_ps(_mm256_set1_epi32(-1));
        const bool drift = job.stepDrift;
        for (int i = 0; i < count; ++i) {
            _mm_store_ss(before + i, _mm256_extractf128_ps(q, 1));
            const __m256 sum = _mm256_add_ps(q, dq);
            q = _mm256_sub_ps(sum, _mm256_and_ps(_mm256_cmp_ps(sum, n, _CMP_GE_OQ), n));
            okq = _mm256_and_ps(okq, _mm256_and_ps(_mm256_cmp_ps(q, zero, _CMP_GE_OQ), _mm256_cmp_ps(q, n, _CMP_LT_OQ)));
            _mm_store_ps(upper + 4 * i, _mm256_castps256_ps128(q));
            if (drift) {
                x = _mm_sub_ps(x, _mm_mul_ps(k, y));
                y = _mm_add_ps(y, _mm_mul_ps(k, x));
                _mm_store_ps(driftUpper + 4 * i, x);
            }
        }
        p = _mm256_castps256_ps128(q);
        p0 = _mm256_extractf128_ps(q, 1);
        ok = _mm_and_ps(ok, _mm_and_ps(_mm256_castps256_ps128(okq), _mm256_extractf128_ps(okq, 1)));
    }

    template <int W>
    void run(const BlockJob& job, int count, float* before, float* upper, float* driftUpper) {
        const __m128 p0Start = p0, pStart = p, xStart = x, yStart = y;
        __m128 ok = _mm_castsi128_ps(_mm_set1_epi32(-1));
        if constexpr (W == 8)
            stepsWide(job, count, before, upper, driftUpper, ok);
        else
            steps<false>(job, count, before, upper, driftUpper, ok);
        if (_mm_movemask_ps(ok) != 0xF) {  // a step left [0, n): again, wrapping those by the scalar rule
            p0 = p0Start;
            p = pStart;
            x = xStart;
            y = yStart;
            steps<true>(job, count, before, upper, driftUpper, ok);
        }
        _mm_store_ss(before + count, p0);
    }

    void finish(BlockJob& job) const {
        job.phase[0] = _mm_cvtss_f32(p0);
        _mm_storeu_ps(job.phase + 1, p);
        job.increment[0] = _mm_cvtss_f32(d0);
        _mm_storeu_ps(job.increment + 1, d);
        if (job.stepDrift) {
            _mm_storeu_ps(job.driftX, x);
            _mm_storeu_ps(job.driftY, y);
        }
        job.lockChanged = lastChange == job.spanCount - 1;
    }
};

// Voice j's drift samples of a chunk (drift[j - 1][i]) from the per-sample records.
inline void splitDrift(const float* driftUpper, int count, float (*drift)[kChunk + 8]) {
    for (int i = 0; i < count; i += 4) {
        __m128 r0 = _mm_load_ps(driftUpper + 4 * i), r1 = _mm_load_ps(driftUpper + 4 * i + 4),
               r2 = _mm_load_ps(driftUpper + 4 * i + 8), r3 = _mm_load_ps(driftUpper + 4 * i + 12);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_store_ps(drift[0] + i, r0);
        _mm_store_ps(drift[1] + i, r1);
        _mm_store_ps(drift[2] + i, r2);
        _mm_store_ps(drift[3] + i, r3);
    }
}

// What the table reads of one span see: the span's tables and the block's settings.
struct View : TableChoice {
    const float* sine;
    int length;
    float evenLevel, oddLevel, fundamental;
    const float* gainA;
    const float* gainB;
    const float* depth;

    View(const BlockJob& job, const Span& span)
        : TableChoice(span.tables),
          sine(job.sine),
          length(job.length),
          evenLevel(job.evenLevel),
          oddLevel(job.oddLevel),
          fundamental(job.fundamental),
          gainA(job.gainA),
          gainB(job.gainB),
          depth(job.depth) {
        if (nextPairs == nullptr) pairs = nullptr;  // both copies or neither
    }
};

// A table index as an offset: never negative, and as unsigned it needs no
// sign extension on its way from a vector lane to an address.
inline unsigned at(int q) { return static_cast<unsigned>(q); }

// Four lanes of SSE2: every x86 processor the library runs on.
struct Sse2 {
    static constexpr int kWidth = 4;
    using F = __m128;
    using I = __m128i;

    static F set(float x) { return _mm_set1_ps(x); }
    static F load(const float* p) { return _mm_loadu_ps(p); }
    static void store(float* p, F x) { _mm_storeu_ps(p, x); }
    static F add(F a, F b) { return _mm_add_ps(a, b); }
    static F sub(F a, F b) { return _mm_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm_mul_ps(a, b); }
    static F select(F mask, F yes, F no) { return select4(mask, yes, no); }
    static F less(F a, F b) { return _mm_cmplt_ps(a, b); }
    static F notLess(F a, F b) { return _mm_cmpge_ps(a, b); }
    static int lanes(F mask) { return _mm_movemask_ps(mask); }
    static F both(F a, F b) { return _mm_and_ps(a, b); }
    static I truncate(F x) { return _mm_cvttps_epi32(x); }
    static F toFloat(I q) { return _mm_cvtepi32_ps(q); }
    static I setInt(int x) { return _mm_set1_epi32(x); }
    static I equal(I a, I b) { return _mm_cmpeq_epi32(a, b); }
    static I addInt(I a, I b) { return _mm_add_epi32(a, b); }
    static int lanes(I mask) { return _mm_movemask_ps(_mm_castsi128_ps(mask)); }
    static void storeInt(int* p, I x) { _mm_store_si128(reinterpret_cast<__m128i*>(p), x); }

    // x[idx[l]] and x[idx[l] + 1] for every lane, two neighbours per load.
    static void pairs(const float* x, const int* idx, F& lo, F& hi) {
        __m128 a = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + at(idx[0]))));
        a = _mm_loadh_pi(a, reinterpret_cast<const __m64*>(x + at(idx[1])));
        __m128 b = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + at(idx[2]))));
        b = _mm_loadh_pi(b, reinterpret_cast<const __m64*>(x + at(idx[3])));
        lo = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        hi = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    }

    // From side-by-side tables: even and odd at idx[l] and idx[l] + 1 for every
    // lane (x + 2q holds even[q], odd[q], even[q + 1], odd[q + 1]).
    static void quads(const float* x, const int* idx, F& even0, F& odd0, F& even1, F& odd1) {
        __m128 r0 = _mm_loadu_ps(x + at(idx[0])), r1 = _mm_loadu_ps(x + at(idx[1])), r2 = _mm_loadu_ps(x + at(idx[2])),
               r3 = _mm_loadu_ps(x + at(idx[3]));
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        even0 = r0;
        odd0 = r1;
        even1 = r2;
        odd1 = r3;
    }

    // Voices 1–4 across the lanes' samples, from the per-sample records.
    static void voicePhases(const float* upper, F (&v)[4]) {
        __m128 r0 = _mm_load_ps(upper), r1 = _mm_load_ps(upper + 4), r2 = _mm_load_ps(upper + 8),
               r3 = _mm_load_ps(upper + 12);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        v[0] = r0;
        v[1] = r1;
        v[2] = r2;
        v[3] = r3;
    }
};


// Eight lanes of AVX2, used only where the processor has it.
struct Avx2 {
    static constexpr int kWidth = 8;
    using F = __m256;
    using I = __m256i;

    MORVELITH_AVX2 static F set(float x) { return _mm256_set1_ps(x); }
    MORVELITH_AVX2 static F load(const float* p) { return _mm256_loadu_ps(p); }
    MORVELITH_AVX2 static void store(float* p, F x) { _mm256_storeu_ps(p, x); }
    MORVELITH_AVX2 static F add(F a, F b) { return _mm256_add_ps(a, b); }
    MORVELITH_AVX2 static F sub(F a, F b) { return _mm256_sub_ps(a, b); }
    MORVELITH_AVX2 static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
    MORVELITH_AVX2 static F select(F mask, F yes, F no) { return _mm256_blendv_ps(no, yes, mask); }
    MORVELITH_AVX2 static F less(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    MORVELITH_AVX2 static F notLess(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
    MORVELITH_AVX2 static int lanes(F mask) { return _mm256_movemask_ps(mask); }
    MORVELITH_AVX2 static F both(F a, F b) { return _mm256_and_ps(a, b); }
    MORVELITH_AVX2 static I truncate(F x) { return _mm256_cvttps_epi32(x); }
    MORVELITH_AVX2 static F toFloat(I q) { return _mm256_cvtepi32_ps(q); }
    MORVELITH_AVX2 static I setInt(int x) { return _mm256_set1_epi32(x); }
    MORVELITH_AVX2 static I equal(I a, I b) { return _mm256_cmpeq_epi32(a, b); }
    MORVELITH_AVX2 static I addInt(I a, I b) { return _mm256_add_epi32(a, b); }
    MORVELITH_AVX2 static int lanes(I mask) { return _mm256_movemask_ps(_mm256_castsi256_ps(mask)); }
    MORVELITH_AVX2 static void storeInt(int* p, I x) { _mm256_store_si256(reinterpret_cast<__m256i*>(p), x); }

    MORVELITH_AVX2 static __m128 pair2(const float* x, unsigned a, unsigned b) {
        const __m128 v = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + a)));
        return _mm_loadh_pi(v, reinterpret_cast<const __m64*>(x + b));
    }

    MORVELITH_AVX2 static void pairs(const float* x, const int* idx, F& lo, F& hi) {
        // Lanes 0, 1, 4, 5 in a and 2, 3, 6, 7 in b, so the in-lane shuffles give samples in order.
        const __m256 a = _mm256_insertf128_ps(_mm256_castps128_ps256(pair2(x, at(idx[0]), at(idx[1]))), pair2(x, at(idx[4]), at(idx[5])), 1);
        const __m256 b = _mm256_insertf128_ps(_mm256_castps128_ps256(pair2(x, at(idx[2]), at(idx[3]))), pair2(x, at(idx[6]), at(idx[7])), 1);
        lo = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        hi = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    }

    MORVELITH_AVX2 static void quads(const float* x, const int* idx, F& even0, F& odd0, F& even1, F& odd1) {
        // Lanes l and l + 4 share a register, so the in-lane transpose gives samples in order.
        const __m256 a0 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(x + at(idx[0]))), _mm_loadu_ps(x + at(idx[4])), 1);
        const __m256 a1 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(x + at(idx[1]))), _mm_loadu_ps(x + at(idx[5])), 1);
        const __m256 a2 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(x + at(idx[2]))), _mm_loadu_ps(x + at(idx[6])), 1);
        const __m256 a3 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(x + at(idx[3]))), _mm_loadu_ps(x + at(idx[7])), 1);
        const __m256 t0 = _mm256_unpacklo_ps(a0, a1), t1 = _mm256_unpackhi_ps(a0, a1),
                     t2 = _mm256_unpacklo_ps(a2, a3), t3 = _mm256_unpackhi_ps(a2, a3);
        even0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
        odd0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
        even1 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
        odd1 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
    }

    MORVELITH_AVX2 static void voicePhases(const float* upper, F (&v)[4]) {
        __m128 r0 = _mm_load_ps(upper), r1 = _mm_load_ps(upper + 4), r2 = _mm_load_ps(upper + 8),
               r3 = _mm_load_ps(upper + 12);
        __m128 s0 = _mm_load_ps(upper + 16), s1 = _mm_load_ps(upper + 20), s2 = _mm_load_ps(upper + 24),
               s3 = _mm_load_ps(upper + 28);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _MM_TRANSPOSE4_PS(s0, s1, s2, s3);
        v[0] = _mm256_insertf128_ps(_mm256_castps128_ps256(r0), s0, 1);
        v[1] = _mm256_insertf128_ps(_mm256_castps128_ps256(r1), s1, 1);
        v[2] = _mm256_insertf128_ps(_mm256_castps128_ps256(r2), s2, 1);
        v[3] = _mm256_insertf128_ps(_mm256_castps128_ps256(r3), s3, 1);
    }
};

// The interpolated sum of one table at the lanes' positions, in readTables' order.
template <class V>
inline typename V::F lerp(const float* x, const int* idx, typename V::F w, typename V::F rest) {
    typename V::F lo, hi;
    V::pairs(x, idx, lo, hi);
    return V::add(V::mul(rest, lo), V::mul(w, hi));
}

// Table indices of the positions, with the last sample's index moved one down
// so its pair stays inside the table; returns the lanes so moved.
template <class V>
inline int indices(const View& job, typename V::F pos, int* idx, typename V::F& w) {
    const typename V::I q = V::truncate(pos);
    w = V::sub(pos, V::toFloat(q));
    const typename V::I last = V::equal(q, V::setInt(job.length - 1));
    V::storeInt(idx, V::addInt(q, last));
    return V::lanes(last);
}

// One table's interpolated, level-weighted sum from its side-by-side copy, in readTables' order.
template <class V>
inline typename V::F blendPairs(const float* x, const int* idx, typename V::F w, typename V::F rest,
                                typename V::F evenLevel, typename V::F oddLevel) {
    typename V::F even0, odd0, even1, odd1;
    V::quads(x, idx, even0, odd0, even1, odd1);
    return V::add(V::mul(evenLevel, V::add(V::mul(rest, even0), V::mul(w, even1))),
                  V::mul(oddLevel, V::add(V::mul(rest, odd0), V::mul(w, odd1))));
}

// One voice's table sample for every lane from the side-by-side copies: half
// the reads and half the cache lines of readVoice, and the last sample's
// neighbour is the repeated sample 0, so no lane needs the scalar helper.
template <class V>
inline typename V::F readPaired(const View& job, typename V::F pos) {
    using F = typename V::F;
    alignas(32) int idx[V::kWidth];
    const typename V::I q = V::truncate(pos);
    const F w = V::sub(pos, V::toFloat(q));
    V::storeInt(idx, V::addInt(q, q));
    const F rest = V::sub(V::set(1.0f), w);
    const F evenLevel = V::set(job.evenLevel), oddLevel = V::set(job.oddLevel);
    const F lower = blendPairs<V>(job.pairs, idx, w, rest, evenLevel, oddLevel);
    const F upper = blendPairs<V>(job.nextPairs, idx, w, rest, evenLevel, oddLevel);
    return V::add(V::mul(V::set(1.0f - job.crossfade), lower), V::mul(V::set(job.crossfade), upper));
}

// One voice's table sample for every lane (readTables, W at a time).
template <class V>
inline typename V::F readVoice(const View& job, typename V::F pos) {
    using F = typename V::F;
    alignas(32) int idx[V::kWidth];
    F w;
    const int moved = indices<V>(job, pos, idx, w);
    const F rest = V::sub(V::set(1.0f), w);
    const F evenLevel = V::set(job.evenLevel), oddLevel = V::set(job.oddLevel);
    const F lower = V::add(V::mul(evenLevel, lerp<V>(job.even, idx, w, rest)),
                           V::mul(oddLevel, lerp<V>(job.odd, idx, w, rest)));
    const F upper = V::add(V::mul(evenLevel, lerp<V>(job.nextEven, idx, w, rest)),
                           V::mul(oddLevel, lerp<V>(job.nextOdd, idx, w, rest)));
    F s = V::add(V::mul(V::set(1.0f - job.crossfade), lower), V::mul(V::set(job.crossfade), upper));
    if (moved != 0) {  // a lane at the table's last sample wraps to its first
        alignas(32) float sv[V::kWidth], pv[V::kWidth];
        V::store(sv, s);
        V::store(pv, pos);
        for (int l = 0; l < V::kWidth; ++l)
            if ((moved >> l) & 1)
                sv[l] = readTables(job.even, job.odd, job.nextEven, job.nextOdd, job.evenLevel, job.oddLevel,
                                   job.crossfade, pv[l], job.length);
        s = V::load(sv);
    }
    return s;
}

// W samples of both outputs. before/upper are the chunk's phase records at
// the group's first sample; drift[j] points at voice j's drift sample for it.
template <class V, bool kPaired>
inline void renderGroup(const View& job, const float* before, const float* upper, const float* const* drift,
                        float* outA, float* outB) {
    using F = typename V::F;
    const float length = static_cast<float>(job.length);
    const F n = V::set(length);

    // The fundamental, at voice 0's phase before it advances.
    alignas(32) int idx[V::kWidth];
    const F start = V::load(before);
    F fr;
    const typename V::I q = V::truncate(start);
    fr = V::sub(start, V::toFloat(q));
    V::storeInt(idx, q);
    // The sine's sample 0 is repeated past its end: the last sample interpolates toward it, as readTables wraps.
    const F f0 = V::mul(lerp<V>(job.sine, idx, fr, V::sub(V::set(1.0f), fr)), V::set(job.fundamental));
    if (job.silent) {
        V::store(outA, f0);
        V::store(outB, f0);
        return;
    }
    const F s0 = kPaired ? readPaired<V>(job, V::load(before + 1)) : readVoice<V>(job, V::load(before + 1));
    F a = V::add(f0, V::mul(V::set(job.gainA[0]), s0));
    F b = V::add(f0, V::mul(V::set(job.gainB[0]), s0));

    F phases[4];
    V::voicePhases(upper, phases);
    for (int j = 1; j < kVoices; ++j) {
        F pos = phases[j - 1];
        if (drift[j] != nullptr) {
            // phase + depth × lfo × N × 0.3, multiplied in that order, then wrapped.
            const F offset = V::mul(V::mul(V::mul(V::set(job.depth[j]), V::load(drift[j])), n), V::set(0.3f));
            const F sum = V::add(pos, offset);
            F p = V::select(V::less(sum, V::set(0.0f)), V::add(sum, n), sum);
            p = V::select(V::notLess(p, n), V::sub(p, n), p);
            if (V::lanes(V::both(V::notLess(p, V::set(0.0f)), V::less(p, n))) != (1 << V::kWidth) - 1) {
                alignas(32) float pv[V::kWidth], sv[V::kWidth];
                V::store(pv, pos);
                V::store(sv, offset);
                for (int l = 0; l < V::kWidth; ++l) pv[l] = wrapPhase(pv[l] + sv[l], length);
                p = V::load(pv);
            }
            pos = p;
        }
        const F s = kPaired ? readPaired<V>(job, pos) : readVoice<V>(job, pos);
        a = V::add(a, V::mul(V::set(job.gainA[j]), s));
        b = V::add(b, V::mul(V::set(job.gainB[j]), s));
    }
    V::store(outA, a);
    V::store(outB, b);
}

// Samples a piece of the chain runs at most: short, so the next piece's chain
// sits close enough to this piece's table reads for the two to overlap.
constexpr int kPiece = 16;

// A piece's records: the chain's output, padded with zeros to whole groups.
template <int W>
struct Records {
    alignas(32) float before[kPiece + W + 1];
    alignas(32) float upper[4 * (kPiece + W)];
    alignas(32) float driftUpper[4 * (kPiece + W)];
    int span;
    int first;
    int count;
};

// The table reads and sums of one piece, from its records.
template <class V, bool kPaired>
inline void readPieceWith(const View& view, const BlockJob& job, const Records<V::kWidth>& rec,
                          float (*driftSplit)[kChunk + 8]) {
    constexpr int W = V::kWidth;
    const int first = rec.first, count = rec.count;
    // Voice j's drift sample for piece sample i sits at source[j][i].
    const float* source[kVoices] = {};
    if (job.stepDrift && job.drifting) {
        splitDrift(rec.driftUpper, count, driftSplit);
        for (int j = 1; j < kVoices; ++j) source[j] = driftSplit[j - 1];
    } else if (!job.stepDrift) {
        for (int j = 1; j < kVoices; ++j)
            if (job.drift[j] != nullptr) source[j] = job.drift[j] + first;
    }
    for (int i = 0; i < count; i += W) {
        const int at = first + i;
        const float* drift[kVoices] = {};
        if (i + W <= count) {
            for (int j = 1; j < kVoices; ++j)
                if (source[j] != nullptr) drift[j] = source[j] + i;
            renderGroup<V, kPaired>(view, rec.before + i, rec.upper + 4 * i, drift, job.out + at, job.second + at);
            continue;
        }
        // The last, partial group: the drift is read, and the outputs written, only up to the end.
        const int valid = count - i;
        alignas(32) float held[kVoices][W] = {};
        for (int j = 1; j < kVoices; ++j) {
            if (source[j] == nullptr) continue;
            std::memcpy(held[j], source[j] + i, static_cast<std::size_t>(valid) * sizeof(float));
            drift[j] = held[j];
        }
        alignas(32) float a[W], b[W];
        renderGroup<V, kPaired>(view, rec.before + i, rec.upper + 4 * i, drift, a, b);
        std::memcpy(job.out + at, a, static_cast<std::size_t>(valid) * sizeof(float));
        std::memcpy(job.second + at, b, static_cast<std::size_t>(valid) * sizeof(float));
    }
}

template <class V>
inline void readPiece(const BlockJob& job, const Records<V::kWidth>& rec, float (*driftSplit)[kChunk + 8]) {
    const View view(job, job.spans[rec.span]);
    if (view.pairs != nullptr)
        readPieceWith<V, true>(view, job, rec, driftSplit);
    else
        readPieceWith<V, false>(view, job, rec, driftSplit);
}

// Runs the chain for the piece after `from` (the next kPiece samples of its
// span, or the next span's first ones); false after the last span.
template <int W>
inline bool chainNext(BlockJob& job, Chain& chain, const Records<W>& from, Records<W>& to) {
    int span = from.span, first = from.first + from.count;
    if (first == job.spans[span].end) {
        if (++span == job.spanCount) return false;
        first = job.spans[span].begin;
        chain.open(job, span);
    }
    const int count = std::min(kPiece, job.spans[span].end - first);
    to.span = span;
    to.first = first;
    to.count = count;
    chain.run<W>(job, count, to.before, to.upper, to.driftUpper);
    // Lanes past the piece's end read position 0: harmless, and never stored.
    const int padded = (count + W - 1) / W * W;
    for (int i = count + 1; i <= padded; ++i) to.before[i] = 0.0f;
    for (int i = 4 * count; i < 4 * padded; ++i) to.upper[i] = 0.0f;
    if (job.stepDrift && job.drifting) {
        const int padded4 = (count + 3) / 4 * 4;
        for (int i = 4 * count; i < 4 * padded4; ++i) to.driftUpper[i] = 0.0f;
    }
    return true;
}

// The chain runs one piece ahead of the table reads: the phases of the next
// piece are worked out while this one's reads are under way.
template <class V>
inline void renderWith(BlockJob& job) {
    constexpr int W = V::kWidth;
    if (job.spanCount == 0) return;
    Records<W> rec[2];
    alignas(32) float driftSplit[kVoices - 1][kChunk + 8];
    Chain chain(job);
    Records<W> start;
    start.span = 0;
    start.first = job.spans[0].begin;
    start.count = 0;
    // Open the first span by hand (chainNext opens a span only on crossing into it).
    chain.open(job, 0);
    bool more = chainNext<W>(job, chain, start, rec[0]);
    for (int b = 0; more; b ^= 1) {
        more = chainNext<W>(job, chain, rec[b], rec[b ^ 1]);
        readPiece<V>(job, rec[b], driftSplit);
    }
    chain.finish(job);
}

}  // namespace

__attribute__((flatten)) void renderSse2(BlockJob& job) { renderWith<Sse2>(job); }

MORVELITH_AVX2 __attribute__((flatten)) void renderAvx2(BlockJob& job) { renderWith<Avx2>(job); }

}  // namespace SPKit::OscillatorSpan
