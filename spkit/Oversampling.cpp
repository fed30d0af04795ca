// The 16x converters: half-band coefficient design, the SSE all-pass kernels
// for one 2x stage in each direction, and the up / down cascades that pull
// their input once per pass and run the four stages through stack scratch;
// and the paired drive kernel, which runs a left and a right up-sampler, tube
// and down-sampler side by side, all stages fused per host sample.
#include "spkit/Oversampling.h"

#include <xmmintrin.h>

#include "spkit/Cpu.h"
#include "spkit/Gain.h"
#include "spkit/simd/Stereo.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace SPKit {

void designHalfBand(int coefficientCount, double transitionBandwidth, double* coefficients) {
    constexpr double kPi = 3.14159265358979323846;
    // Elliptic half-band: modulus from the transition band, nome q from its series.
    const int order = 2 * coefficientCount + 1;
    const double root = std::tan((1.0 - 2.0 * transitionBandwidth) * kPi / 4.0);
    const double k = root * root;
    const double s = std::pow(1.0 - k * k, 0.25);
    const double e = 0.5 * (1.0 - s) / (1.0 + s);
    const double e4 = e * e * e * e;
    const double q = e * (1.0 + e4 * (2.0 + e4 * (15.0 + 150.0 * e4)));
    constexpr double kNegligible = 1e-100;
    // The series converge within a few terms for 0 < t < 0.5; the cap only
    // stops a transition band outside that range from looping on NaN.
    constexpr int kMaxTerms = 1000;

    for (int i = 0; i < coefficientCount; ++i) {
        const double c = i + 1;
        double num = 0.0;
        for (int j = 0; j < kMaxTerms; ++j) {
            const double term = ((j & 1) ? -1.0 : 1.0) * std::pow(q, j * (j + 1.0)) * std::sin((2 * j + 1) * c * kPi / order);
            num += term;
            if (std::fabs(term) <= kNegligible) break;
        }
        double den = 0.0;
        for (int j = 1; j < kMaxTerms; ++j) {
            const double term = ((j & 1) ? -1.0 : 1.0) * std::pow(q, static_cast<double>(j) * j) * std::cos(2 * j * c * kPi / order);
            den += term;
            if (std::fabs(term) <= kNegligible) break;
        }
        const double w = std::pow(q, 0.25) * num / (den + 0.5);
        const double w2 = w * w;
        const double x = std::sqrt((1.0 - w2 * k) * (1.0 - w2 / k)) / (1.0 + w2);
        coefficients[i] = (1.0 - x) / (1.0 + x);
    }
}

namespace {

// One step of kVectors all-pass vectors: y = (x - ym) * a + xm per lane.
// Pipelined vectors feed lanes 2, 3 from lanes 0, 1 of the previous sample
// (their output memories) and hand lanes 2, 3 on to the next vector; an
// unpipelined one (two coefficients) hands on lanes 0, 1 directly.
template <int kVectors, bool kPipelined>
struct AllPassBank {
    __m128 a[kVectors], xm[kVectors], ym[kVectors];

    AllPassBank(const float* coef, const float* xmem, const float* ymem) {
        for (int k = 0; k < kVectors; ++k) {
            a[k] = _mm_load_ps(coef + 4 * k);
            xm[k] = _mm_load_ps(xmem + 4 * k);
            ym[k] = _mm_load_ps(ymem + 4 * k);
        }
    }

    void store(float* xmem, float* ymem) const {
        for (int k = 0; k < kVectors; ++k) {
            _mm_store_ps(xmem + 4 * k, xm[k]);
            _mm_store_ps(ymem + 4 * k, ym[k]);
        }
    }

    // entry lanes 0, 1 = the inputs of chain 0 and chain 1; returns their outputs in lanes 0, 1.
    inline __m128 run(__m128 entry) {
        // Fully unrolled so the section memories stay in registers.
#pragma GCC unroll 4
        for (int k = 0; k < kVectors; ++k) {
            const __m128 x = kPipelined ? _mm_shuffle_ps(entry, ym[k], _MM_SHUFFLE(1, 0, 1, 0)) : entry;
            const __m128 y = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(x, ym[k]), a[k]), xm[k]);
            xm[k] = x;
            ym[k] = y;
            entry = kPipelined ? _mm_movehl_ps(y, y) : y;
        }
        return entry;
    }
};

template <int kVectors, bool kPipelined>
void upKernel(const float* coef, float* xmem, float* ymem, const float* in, float* out, int n) {
    AllPassBank<kVectors, kPipelined> bank(coef, xmem, ymem);
    for (int i = 0; i < n; ++i) {
        // Both chains start from the same sample; chain 0 gives the earlier output.
        const __m128 chains = bank.run(_mm_set1_ps(in[i]));
        _mm_storel_pi(reinterpret_cast<__m64*>(out + 2 * i), chains);
    }
    bank.store(xmem, ymem);
}

template <int kVectors, bool kPipelined>
void downKernel(const float* coef, float* xmem, float* ymem, const float* in, float* out, int n) {
    AllPassBank<kVectors, kPipelined> bank(coef, xmem, ymem);
    const __m128 half = _mm_set_ss(0.5f);
    for (int i = 0; i < n; ++i) {
        // Chain 0 takes the second sample of the pair, chain 1 the first.
        const __m128 pair = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(in + 2 * i));
        const __m128 chains = bank.run(_mm_shuffle_ps(pair, pair, _MM_SHUFFLE(0, 1, 0, 1)));
        const __m128 sum = _mm_add_ss(chains, _mm_shuffle_ps(chains, chains, _MM_SHUFFLE(1, 1, 1, 1)));
        _mm_store_ss(out + i, _mm_mul_ss(sum, half));
    }
    bank.store(xmem, ymem);
}

}  // namespace

HalfBandCascade::HalfBandCascade() : block(allocateAligned(kStages * kStageFloats)) {
    for (int stage = 0; stage < kStages; ++stage) {
        double designed[kMaxVectors * kLanes];
        designHalfBand(kCoefficientCounts[stage], kTransitionBandwidths[stage], designed);
        float* coef = coefficientsOf(stage);
        for (int i = 0; i < kCoefficientCounts[stage]; ++i) coef[i] = static_cast<float>(designed[i]);
    }
}

HalfBandCascade::~HalfBandCascade() { freeAligned(block); }

void HalfBandCascade::clear() {
    for (int stage = 0; stage < kStages; ++stage) {
        std::memset(inputMemoriesOf(stage), 0, 2 * kMaxVectors * kLanes * sizeof(float));
    }
}

float HalfBandCascade::coefficient(int stage, int index) const { return coefficientsOf(stage)[index]; }

void HalfBandCascade::upsample(int stage, const float* in, float* out, int n) {
    const float* c = coefficientsOf(stage);
    float* xm = inputMemoriesOf(stage);
    float* ym = outputMemoriesOf(stage);
    switch (stage) {
        case 0: upKernel<4, true>(c, xm, ym, in, out, n); break;
        case 1: upKernel<2, true>(c, xm, ym, in, out, n); break;
        case 2: upKernel<1, true>(c, xm, ym, in, out, n); break;
        default: upKernel<1, false>(c, xm, ym, in, out, n); break;
    }
}

void HalfBandCascade::downsample(int stage, const float* in, float* out, int n) {
    const float* c = coefficientsOf(stage);
    float* xm = inputMemoriesOf(stage);
    float* ym = outputMemoriesOf(stage);
    switch (stage) {
        case 0: downKernel<4, true>(c, xm, ym, in, out, n); break;
        case 1: downKernel<2, true>(c, xm, ym, in, out, n); break;
        case 2: downKernel<1, true>(c, xm, ym, in, out, n); break;
        default: downKernel<1, false>(c, xm, ym, in, out, n); break;
    }
}

// ---------------------------------------------------------------- paired drive

namespace {

// AllPassBank's step for two channels at once (Ops::V holds both).
template <class Ops, int kVectors, bool kPipelined>
struct PairBank {
    using V = typename Ops::V;
    V a[kVectors], xm[kVectors], ym[kVectors];

    SPKIT_SIMD_INLINE void load(const float* const coef[2], float* const xmem[2], float* const ymem[2]) {
        for (int k = 0; k < kVectors; ++k) {
            a[k] = Ops::load(coef[0] + 4 * k, coef[1] + 4 * k);
            xm[k] = Ops::load(xmem[0] + 4 * k, xmem[1] + 4 * k);
            ym[k] = Ops::load(ymem[0] + 4 * k, ymem[1] + 4 * k);
        }
    }

    SPKIT_SIMD_INLINE void store(float* const xmem[2], float* const ymem[2]) const {
        for (int k = 0; k < kVectors; ++k) {
            Ops::store(xmem[0] + 4 * k, xmem[1] + 4 * k, xm[k]);
            Ops::store(ymem[0] + 4 * k, ymem[1] + 4 * k, ym[k]);
        }
    }

    // The lane of chain 0's output in what run returns (chain 1's is next to
    // it): a pipelined bank's last vector is returned as it is, its outputs
    // in lanes 2, 3, so that each step takes its input and its delayed lanes
    // in one shuffle.
    static constexpr int kOut = kPipelined ? 2 : 0;

    // entry lanes 0, 1 = the inputs of chain 0 and chain 1 (lanes 2, 3 for
    // kSource = kHighPair); or, for a pipelined bank given kSource >= 0, lane
    // kSource is both chains' input.
    static constexpr int kLowPair = -1, kHighPair = -2;
    template <int kSource = kLowPair>
    SPKIT_SIMD_INLINE V run(V entry) {
#pragma GCC unroll 4
        for (int k = 0; k < kVectors; ++k) {
            V x = entry;
            if (kPipelined) {
                constexpr int s = kSource == kLowPair ? 0 : kSource == kHighPair ? 2 : kSource;
                constexpr int t = kSource == kLowPair ? 1 : kSource == kHighPair ? 3 : kSource;
                x = k == 0 ? Ops::template shuffle<_MM_SHUFFLE(1, 0, t, s)>(entry, ym[k])
                           : Ops::template shuffle<_MM_SHUFFLE(1, 0, 3, 2)>(entry, ym[k]);
            }
            const V y = Ops::add(Ops::mul(Ops::sub(x, ym[k]), a[k]), xm[k]);
            xm[k] = x;
            ym[k] = y;
            entry = y;
        }
        return entry;
    }

    // Down-sampling step: the two chains' outputs summed and halved, in lane kOut.
    SPKIT_SIMD_INLINE V down(V entry) {
        const V chains = run(entry);
        constexpr int next = kOut + 1;
        return Ops::mul(Ops::add(chains, Ops::template shuffle<_MM_SHUFFLE(next, next, next, next)>(chains, chains)),
                        Ops::set1(0.5f));
    }

    // Two down-sampling steps, their results (each the chains summed and
    // halved) laid out as the next down stage's input [later, earlier, ...].
    SPKIT_SIMD_INLINE V downTwice(V earlierEntry, V laterEntry) {
        const V earlier = run(earlierEntry);
        const V later = run(laterEntry);
        const V chain0 = kPipelined ? Ops::unpackHigh(later, earlier) : Ops::unpackLow(later, earlier);
        const V chain1 = Ops::template shuffle<_MM_SHUFFLE(3, 2, 3, 2)>(chain0, chain0);
        return Ops::mul(Ops::add(chain0, chain1), Ops::set1(0.5f));
    }
    // The same with the earlier entry in lanes 0, 1 and the later in lanes 2, 3 of one vector.
    SPKIT_SIMD_INLINE V downTwice(V entries) {
        const V earlier = run<kLowPair>(entries);
        const V later = run<kHighPair>(entries);
        const V chain0 = kPipelined ? Ops::unpackHigh(later, earlier) : Ops::unpackLow(later, earlier);
        const V chain1 = Ops::template shuffle<_MM_SHUFFLE(3, 2, 3, 2)>(chain0, chain0);
        return Ops::mul(Ops::add(chain0, chain1), Ops::set1(0.5f));
    }
};

// Tube's curve on both channels: every lane it returns has the bits Gain.cpp's
// curve gives, from fewer instructions. The one-channel curve clamps v at 0
// and selects on u > knee; here d = u - knee decides by its sign alone. d < 0
// (u below the knee) returns u. Otherwise v = d * (2 * scale) >= 0 needs no
// clamp at 0, and at d = +0 (u exactly the knee) the knee's formula gives
// 0.8 + 0.2 * (0 / 3) = u. A NaN u with its sign clear takes the knee's
// path, where the cap is applied as min(cap, v) so the NaN passes through
// every operation unchanged and comes out as u, as in the one-channel curve.
template <class Ops>
SPKIT_SIMD_INLINE typename Ops::V tube(typename Ops::V x) {
    using V = typename Ops::V;
    constexpr float kSqrt2 = 1.4142135f, kKnee = 0.8f, kKneeScale = 5.0000005f, kKneeHeight = 0.19999999f,
                    kKneeInputCap = 1.0e6f;
    const V shifted = Ops::add(x, Ops::set1(kSqrt2));
    const V u = Ops::sub(Ops::mul(Ops::mul(shifted, shifted), Ops::set1(0.5f)), Ops::set1(1.0f));
    const V d = Ops::sub(u, Ops::set1(kKnee));
    // (d * scale) * 2 as d * (2 * scale): doubling is exact, and d is zero or
    // at least an ulp of the knee, so no product is subnormal.
    const V v = Ops::min(Ops::set1(kKneeInputCap), Ops::mul(d, Ops::set1(2.0f * kKneeScale)));
    const V p = Ops::mul(v, Ops::add(Ops::mul(v, v), Ops::set1(2.0f)));
    const V ratio = Ops::div(p, Ops::add(p, Ops::set1(3.0f)));
    const V knee = Ops::add(Ops::set1(kKnee), Ops::mul(Ops::set1(kKneeHeight), ratio));
    return Ops::selectNegative(d, u, knee);
}

// Where a stage's memories live, per channel.
struct StageMemory {
    const float* coef[2];
    float* xmem[2];
    float* ymem[2];
};

// Up 1x -> 16x, tube, down 16x -> 1x for both channels, in passes of at
// most DriveShape::kPass host samples through stack blocks, three kinds of
// loop: 4x -> 16x, the tube and 16x -> 4x, software-pipelined; 1x -> 4x; and
// 4x -> 1x. Each keeps its sections' memories in registers (the two outer
// directions in one loop held 36 vectors of state and spilled half of them),
// and none holds a long chain the next sample waits on (the tube's, fused
// into the recursions, kept the processor from overlapping samples). The
// 8x <-> 16x recursions set the pace of the middle loop; the up and down ones
// share one register and run side by side. Each section still sees its
// samples in the order the stage-by-stage path gives them.
//
// The shape differs per width, as measured on each width's own kernel:
// - kPass, the pass length. Avx: the whole pull (one 2x block of 16 KB), as
//   every pass boundary drains and refills each loop's pipeline; 64-sample
//   passes cost it 5-10 % more per sample.
// - kLag, how many 2x samples the middle loop's down side runs behind its up
//   side. A 16x sample's way from the up side through the tube and memory
//   back to the down side takes about as long as two 2x samples of the
//   8x <-> 16x chain, so for Avx two apart make it a second critical loop;
//   four leave slack.
// - kRing, the 4x block: for Avx a small ring (only kLag + 1 2x samples are
//   live), so that the long pass keeps it in L1.
// - kUnroll: the outer loops unrolled by two (Avx: a few per cent).
// Sse2 ran about 8 % slower with these together, so it keeps the shape it
// had: 64-sample passes, a lag of two, the whole 4x block, no unrolling.
template <class Ops>
struct DriveShape {
    static constexpr bool kAvx = std::is_same_v<Ops, simd::Avx>;
    static constexpr int kPass = kAvx ? kMaxBlock / HiirDownsampler::kFactor : 64;
    static constexpr int kLag = kAvx ? 4 : 2;
    static constexpr int kRing = kAvx ? 16 : 4 * kPass;
    static constexpr bool kWraps = kRing < 4 * kPass;
    static constexpr bool kUnroll = kAvx;
    static_assert(2 * (kLag + 1) <= kRing && (kRing & (kRing - 1)) == 0);
};

// The outer stages of one direction: up 1x -> 4x for `rising` host samples
// into `at2Up` (kRise), or down 4x -> 1x for `falling` host samples out of
// `at2Down`. At 2x, per host sample: going up, the 4x pair each 2x sample
// gives; coming back, the pair of 4x results as the 4x -> 2x stage's input.
template <class Ops, bool kRise>
SPKIT_SIMD_INLINE void driveOuter(const StageMemory up[4], const StageMemory down[4], const float* inL,
                                  const float* inR, typename Ops::V* at2Up, int rising,
                                  const typename Ops::V* at2Down, float* outL, float* outR, int falling) {
    using V = typename Ops::V;
    // The 2x -> 4x stage runs one host sample behind the 1x -> 2x one, and
    // the 2x -> 1x one behind the 4x -> 2x one, so that each pair of stages'
    // chains overlap instead of following each other.
    if (kRise) {
        if (rising <= 0) return;
        PairBank<Ops, 4, true> u0;
        PairBank<Ops, 2, true> u1;
        u0.load(up[0].coef, up[0].xmem, up[0].ymem);
        u1.load(up[1].coef, up[1].xmem, up[1].ymem);
        const auto riseFrom = [&](int i) __attribute__((always_inline)) {
            return u0.run(Ops::channels(inL[i], inR[i]));
        };
        const auto rise = [&](int i, V pair2) __attribute__((always_inline)) {
            at2Up[2 * i] = u1.template run<2>(pair2);
            at2Up[2 * i + 1] = u1.template run<3>(pair2);
        };
        V behind = riseFrom(0);
        const auto next = [&](int i) __attribute__((always_inline)) {
            const V pair2 = riseFrom(i);
            rise(i - 1, behind);
            behind = pair2;
        };
        if constexpr (DriveShape<Ops>::kUnroll) {
#pragma GCC unroll 2
            for (int i = 1; i < rising; ++i) next(i);
        } else {
            for (int i = 1; i < rising; ++i) next(i);
        }
        rise(rising - 1, behind);
        u0.store(up[0].xmem, up[0].ymem);
        u1.store(up[1].xmem, up[1].ymem);
    } else {
        if (falling <= 0) return;
        PairBank<Ops, 4, true> d0;
        PairBank<Ops, 2, true> d1;
        d0.load(down[0].coef, down[0].xmem, down[0].ymem);
        d1.load(down[1].coef, down[1].xmem, down[1].ymem);
        const auto fallFrom = [&](int i) __attribute__((always_inline)) {
            return d1.downTwice(at2Down[2 * i], at2Down[2 * i + 1]);
        };
        const auto fall = [&](int i, V entry) __attribute__((always_inline)) {
            const V result = d0.down(entry);
            outL[i] = Ops::template left<decltype(d0)::kOut>(result);
            outR[i] = Ops::template right<decltype(d0)::kOut>(result);
        };
        V behind = fallFrom(0);
        const auto next = [&](int i) __attribute__((always_inline)) {
            const V entry = fallFrom(i);
            fall(i - 1, behind);
            behind = entry;
        };
        if constexpr (DriveShape<Ops>::kUnroll) {
#pragma GCC unroll 2
            for (int i = 1; i < falling; ++i) next(i);
        } else {
            for (int i = 1; i < falling; ++i) next(i);
        }
        fall(falling - 1, behind);
        d0.store(down[0].xmem, down[0].ymem);
        d1.store(down[1].xmem, down[1].ymem);
    }
}

// The 8x <-> 16x stages of both directions in one register per channel: they
// have one section per chain, so lanes 0, 1 hold the up-sampler's two chains
// and lanes 2, 3 the down-sampler's, and one step runs all four.
template <class Ops>
struct EdgeBank {
    using V = typename Ops::V;
    V a, xm, ym;

    // Lanes 0, 1 of `low` then lanes 0, 1 of `high`.
    static SPKIT_SIMD_INLINE V join(V low, V high) { return Ops::template shuffle<_MM_SHUFFLE(1, 0, 1, 0)>(low, high); }
    // Lanes 0, 1 of `low` then lanes 2, 3 of `high`.
    static SPKIT_SIMD_INLINE V keep(V low, V high) { return Ops::template shuffle<_MM_SHUFFLE(3, 2, 1, 0)>(low, high); }

    SPKIT_SIMD_INLINE void load(const StageMemory& up, const StageMemory& down) {
        a = join(Ops::load(up.coef[0], up.coef[1]), Ops::load(down.coef[0], down.coef[1]));
        xm = join(Ops::load(up.xmem[0], up.xmem[1]), Ops::load(down.xmem[0], down.xmem[1]));
        ym = join(Ops::load(up.ymem[0], up.ymem[1]), Ops::load(down.ymem[0], down.ymem[1]));
    }

    // Lanes 2, 3 of the stages' memories (no section of theirs) stay as they were.
    SPKIT_SIMD_INLINE void store(const StageMemory& up, const StageMemory& down) const {
        const auto put = [](float* const mem[2], V v) __attribute__((always_inline)) {
            Ops::store(mem[0], mem[1], keep(v, Ops::load(mem[0], mem[1])));
        };
        put(up.xmem, xm);
        put(up.ymem, ym);
        put(down.xmem, Ops::template shuffle<_MM_SHUFFLE(3, 2, 3, 2)>(xm, xm));
        put(down.ymem, Ops::template shuffle<_MM_SHUFFLE(3, 2, 3, 2)>(ym, ym));
    }

    SPKIT_SIMD_INLINE V step(V x) {
        const V y = Ops::add(Ops::mul(Ops::sub(x, ym), a), xm);
        xm = x;
        ym = y;
        return y;
    }
    // A step of one direction only: the other's memories are put back.
    SPKIT_SIMD_INLINE V stepUp(V x) {
        const V xOld = xm, yOld = ym;
        const V y = step(x);
        xm = keep(xm, xOld);
        ym = keep(ym, yOld);
        return y;
    }
    SPKIT_SIMD_INLINE V stepDown(V x) {
        const V xOld = xm, yOld = ym;
        const V y = step(x);
        xm = keep(xOld, xm);
        ym = keep(yOld, ym);
        return y;
    }
};

// The middle stages for n host samples: at2 holds the rising 4x pairs on
// entry and the falling ones on return.
template <class Ops>
SPKIT_SIMD_INLINE void driveMiddle(const StageMemory up[4], const StageMemory down[4], typename Ops::V* at2, int n) {
    using V = typename Ops::V;
    using Shape = DriveShape<Ops>;
    constexpr int kLag = Shape::kLag;
    // At 4x: the four 16x samples each 4x sample becomes, a 2x sample's two
    // vectors from its up side until its down side kLag 2x samples later.
    V block[Shape::kRing];
    const auto at4 = [&](int k) __attribute__((always_inline)) -> V& {
        return block[Shape::kWraps ? k & (Shape::kRing - 1) : k];
    };
    PairBank<Ops, 1, true> u2, d2;
    EdgeBank<Ops> edge;
    u2.load(up[2].coef, up[2].xmem, up[2].ymem);
    d2.load(down[2].coef, down[2].xmem, down[2].ymem);
    edge.load(up[3], down[3]);
    // 2x sample `rising` up from its 4x pair to four 16x samples per 4x
    // sample, and 2x sample `falling`'s shaped 16x samples back down to its
    // pair of 4x results; kUp / kDown leave one direction out.
    const auto stage = [&]<bool kUp, bool kDown>(int rising, int falling) __attribute__((always_inline)) {
        const V pair4 = at2[kUp ? rising : falling];
        V chains[2];
#pragma GCC unroll 2
        for (int h = 0; h < 2; ++h) {
            // u2's outputs are in lanes 2, 3; the 16x pair the down chains take
            // goes in lanes 2, 3 as [second, first].
            const V pair8 = kUp ? (h == 0 ? u2.template run<2>(pair4) : u2.template run<3>(pair4)) : pair4;
            const V shaped = kDown ? at4(2 * falling + h) : pair8;
            const V first = Ops::template shuffle<_MM_SHUFFLE(0, 1, 2, 2)>(pair8, shaped);
            const V second = Ops::template shuffle<_MM_SHUFFLE(2, 3, 3, 3)>(pair8, shaped);
            V y1, y2;
            if (kUp && kDown) {
                y1 = edge.step(first);
                y2 = edge.step(second);
            } else if (kUp) {
                y1 = edge.stepUp(first);
                y2 = edge.stepUp(second);
            } else {
                y1 = edge.stepDown(first);
                y2 = edge.stepDown(second);
            }
            if (kUp) at4(2 * rising + h) = Ops::template shuffle<_MM_SHUFFLE(1, 0, 1, 0)>(y1, y2);
            // [later chain 0, earlier chain 0, later chain 1, earlier chain 1]
            chains[h] = Ops::unpackHigh(y2, y1);
        }
        if (kDown) {
            // Both halves' chains summed and halved at once: [later, earlier]
            // of the first 4x sample in lanes 0, 1, of the second in lanes 2, 3.
            const V chain0 = Ops::template shuffle<_MM_SHUFFLE(1, 0, 1, 0)>(chains[0], chains[1]);
            const V chain1 = Ops::template shuffle<_MM_SHUFFLE(3, 2, 3, 2)>(chains[0], chains[1]);
            at2[falling] = d2.downTwice(Ops::mul(Ops::add(chain0, chain1), Ops::set1(0.5f)));
        }
    };
    const auto shape = [&](int j) __attribute__((always_inline)) {
        at4(2 * j) = tube<Ops>(at4(2 * j));
        at4(2 * j + 1) = tube<Ops>(at4(2 * j + 1));
    };
    // Software-pipelined: the up and down recursions, independent of each
    // other, run side by side kLag 2x samples apart, the tube between them.
    const int m = 2 * n;
    const int lead = std::min(kLag, m);
    for (int j = 0; j < lead; ++j) {
        stage.template operator()<true, false>(j, 0);
        if (j > 0) shape(j - 1);
    }
    for (int j = kLag; j < m; ++j) {
        stage.template operator()<true, true>(j, j - kLag);
        shape(j - 1);
    }
    shape(m - 1);
    for (int j = m - lead; j < m; ++j) stage.template operator()<false, true>(0, j);
    u2.store(up[2].xmem, up[2].ymem);
    d2.store(down[2].xmem, down[2].ymem);
    edge.store(up[3], down[3]);
}

// n >= 1 host samples of both channels.
template <class Ops>
SPKIT_SIMD_INLINE void driveKernel(const StageMemory up[4], const StageMemory down[4], const float* inL,
                                   const float* inR, float* outL, float* outR, int n) {
    using V = typename Ops::V;
    // The pass's 2x block: written by its rise (run at the end of the pass
    // before), turned round in place by the middle stages, read by its fall.
    constexpr int kDrivePass = DriveShape<Ops>::kPass;
    V at2[2 * kDrivePass];
    const auto length = [&](int start) { return std::max(0, std::min(kDrivePass, n - start)); };
    driveOuter<Ops, true>(up, down, inL, inR, at2, length(0), nullptr, nullptr, nullptr, 0);
    for (int start = 0; start < n; start += kDrivePass) {
        driveMiddle<Ops>(up, down, at2, length(start));
        driveOuter<Ops, false>(up, down, nullptr, nullptr, nullptr, 0, at2, outL + start, outR + start, length(start));
        const int next = start + kDrivePass;
        if (next < n)
            driveOuter<Ops, true>(up, down, inL + next, inR + next, at2, length(next), nullptr, nullptr, nullptr, 0);
    }
}

void driveSse2(const StageMemory up[4], const StageMemory down[4], const float* inL, const float* inR, float* outL,
               float* outR, int n) {
    driveKernel<simd::Sse2>(up, down, inL, inR, outL, outR, n);
}

__attribute__((target("avx2"))) void driveAvx2(const StageMemory up[4], const StageMemory down[4], const float* inL,
                                               const float* inR, float* outL, float* outR, int n) {
    driveKernel<simd::Avx>(up, down, inL, inR, outL, outR, n);
}

}  // namespace

// The two chains of a paired drive section and where their memories live.
struct DrivePair {
    HiirDownsampler* downs[2];
    Tube* tubes[2];
    HiirUpsampler* ups[2];
    StageMemory up[4], down[4];
    void (*kernel)(const StageMemory*, const StageMemory*, const float*, const float*, float*, float*, int);
    simd::PairedBlock block;
    float* stash;

    DrivePair() : stash(allocateAligned(kMaxBlock)) { block.stash = stash; }
    ~DrivePair() { freeAligned(stash); }
    DrivePair(const DrivePair&) = delete;
    DrivePair& operator=(const DrivePair&) = delete;

    // The wiring the kernel assumes still holds (it is made once, but a unit
    // re-wired later falls back to the one-channel path rather than misread).
    bool wired() const {
        for (int c = 0; c < 2; ++c)
            if (downs[c]->getInput() != tubes[c] || tubes[c]->getInput() != ups[c]) return false;
        return true;
    }

    // Audio thread: both channels' next `count` samples; `index`'s to out,
    // the other's left in the stash for its pull.
    void process(int index, float* out, int count) {
        // The sources are pulled in the blocks the one-by-one path pulls
        // (its scratch pass); the kernel then runs them in smaller passes.
        constexpr int kPull = kMaxBlock / HiirDownsampler::kFactor;
        alignas(16) float in[2][kPull];
        float* left = index == 0 ? out : stash;
        float* right = index == 0 ? stash : out;
        for (int done = 0; done < count;) {
            const int n = std::min(kPull, count - done);
            // The left chain's source is pulled first, as when the chains run one by one.
            ups[0]->getInput()->process(in[0], n);
            ups[1]->getInput()->process(in[1], n);
            kernel(up, down, in[0], in[1], left + done, right + done, n);
            done += n;
        }
        block.leave(1 - index, count);
    }
};

bool HiirDownsampler::pairWith(HiirDownsampler& right) {
    const SimdLevel level = simdLevel();
    if (level == SimdLevel::Scalar || &right == this) return false;
    auto made = std::make_shared<DrivePair>();
    HiirDownsampler* downs[2] = {this, &right};
    for (int c = 0; c < 2; ++c) {
        made->downs[c] = downs[c];
        made->tubes[c] = dynamic_cast<Tube*>(downs[c]->getInput());
        made->ups[c] = made->tubes[c] != nullptr ? dynamic_cast<HiirUpsampler*>(made->tubes[c]->getInput()) : nullptr;
        if (made->ups[c] == nullptr || made->ups[c]->getInput() == nullptr) return false;
    }
    for (int s = 0; s < HalfBandCascade::kStages; ++s) {
        for (int c = 0; c < 2; ++c) {
            HalfBandCascade& u = made->ups[c]->stages;
            HalfBandCascade& d = downs[c]->stages;
            made->up[s].coef[c] = u.coefficientsOf(s);
            made->up[s].xmem[c] = u.inputMemoriesOf(s);
            made->up[s].ymem[c] = u.outputMemoriesOf(s);
            made->down[s].coef[c] = d.coefficientsOf(s);
            made->down[s].xmem[c] = d.inputMemoriesOf(s);
            made->down[s].ymem[c] = d.outputMemoriesOf(s);
        }
    }
    made->kernel = level == SimdLevel::Avx2 ? driveAvx2 : driveSse2;
    pair = made;
    right.pair = made;
    return true;
}

HiirUpsampler::HiirUpsampler() = default;

void HiirUpsampler::setSampleRate(float rate) {
    outputRate = rate;
    Base::setSampleRate(rate * 0.0625f);
}

void HiirUpsampler::process(float* out, int count) {
    alignas(16) float low[kScratch];
    alignas(16) float high[kScratch];
    const int pulled = count / kFactor;
    // Longer blocks than one scratch pass are run as several passes.
    constexpr int kPass = kScratch / kFactor;
    for (int done = 0; done < pulled;) {
        const int n = std::min(kPass, pulled - done);
        input->process(low, n);
        stages.upsample(0, low, high, n);
        stages.upsample(1, high, low, 2 * n);
        stages.upsample(2, low, high, 4 * n);
        stages.upsample(3, high, out + kFactor * done, 8 * n);
        done += n;
    }
    for (int i = kFactor * pulled; i < count; ++i) out[i] = 0.0f;
}

HiirDownsampler::HiirDownsampler() : Buffered(kMaxBlock) {}

void HiirDownsampler::setSampleRate(float rate) {
    outputRate = rate;
    Base::setSampleRate(rate * kFactor);
}

void HiirDownsampler::clear() {
    stages.clear();
    if (pair != nullptr) pair->block.forget();
}

void HiirDownsampler::process(float* out, int count) {
    if (pair != nullptr && pair->wired()) {
        const int index = pair->downs[0] == this ? 0 : 1;
        if (!pair->block.collect(index, out, count)) pair->process(index, out, count);
        return;
    }
    alignas(16) float low[kScratch];
    alignas(16) float high[kScratch];
    // The pulled block must fit the buffer: longer requests run as several passes.
    const int pass = std::min(bufferSize, kScratch) / kFactor;
    for (int done = 0; done < count;) {
        const int n = std::min(pass, count - done);
        input->process(buffer, kFactor * n);
        stages.downsample(3, buffer, high, 8 * n);
        stages.downsample(2, high, low, 4 * n);
        stages.downsample(1, low, high, 2 * n);
        stages.downsample(0, high, out + done, n);
        done += n;
    }
}

}  // namespace SPKit
