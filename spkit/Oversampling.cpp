// The 16x converters: half-band coefficient design, the SSE all-pass kernels
// for one 2x stage in each direction, and the up / down cascades that pull
// their input once per pass and run the four stages through stack scratch.
#include "spkit/Oversampling.h"

#include <xmmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

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

void HiirDownsampler::process(float* out, int count) {
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
