// The 16x converters measured as audio processors: designed coefficients
// against the elliptic closed form, agreement with a plain per-section
// reference, DC gain, passband ripple, image and alias rejection, aliasing
// of a non-linear stage between them, rate propagation, clear and real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "spkit/Cpu.h"
#include "spkit/Gain.h"
#include "spkit/Oversampling.h"
#include "tests/spkit/UnitTestSupport.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/AudioAnalysis.h"

using namespace SPKit;
using UnitTestSupport::sine;

namespace {

constexpr double kRate = 44100.0;
constexpr double kHighRate = 16.0 * kRate;

// ---- The designer, re-derived in long double --------------------------------

std::vector<long double> closedFormCoefficients(int n, long double t) {
    const long double pi = std::numbers::pi_v<long double>;
    const int order = 2 * n + 1;
    const long double k = std::pow(std::tan((1.0L - 2.0L * t) * pi / 4.0L), 2.0L);
    const long double s = std::pow(1.0L - k * k, 0.25L);
    const long double e = 0.5L * (1.0L - s) / (1.0L + s);
    const long double e4 = std::pow(e, 4.0L);
    const long double q = e * (1.0L + e4 * (2.0L + e4 * (15.0L + 150.0L * e4)));
    std::vector<long double> result;
    for (int c = 1; c <= n; ++c) {
        long double num = 0.0L, den = 0.0L;
        for (int j = 0; j < 60; ++j)
            num += (j % 2 ? -1.0L : 1.0L) * std::pow(q, static_cast<long double>(j * (j + 1))) * std::sin((2 * j + 1) * c * pi / order);
        for (int j = 1; j < 60; ++j)
            den += (j % 2 ? -1.0L : 1.0L) * std::pow(q, static_cast<long double>(j * j)) * std::cos(2 * j * c * pi / order);
        const long double w = std::pow(q, 0.25L) * num / (den + 0.5L);
        const long double x = std::sqrt((1.0L - w * w * k) * (1.0L - w * w / k)) / (1.0L + w * w);
        result.push_back((1.0L - x) / (1.0L + x));
    }
    return result;
}

struct StageDesign {
    int stage;  // in the up-sampler's order, 0 = 1x -> 2x
    int count;
    double transition;
    std::vector<double> published;  // the nine-decimal figures of the design
};

const StageDesign kDesigns[] = {
    {0, 16, 0.01, {0.021274802, 0.081597781, 0.171636321, 0.279108166, 0.391960285, 0.500624429, 0.598912544, 0.683813292,
                   0.754723478, 0.812571674, 0.859088493, 0.896303805, 0.926253361, 0.950842367, 0.971813548, 0.990780766}},
    {1, 8, 0.255, {0.011730726, 0.046976870, 0.106017387, 0.189713107, 0.300131861, 0.441529869, 0.621912814, 0.855694678}},
    {2, 4, 0.3775, {0.033368824, 0.140333207, 0.346110209, 0.713345993}},
    {3, 2, 0.43865, {0.107177453, 0.530914354}},
};

class Designer : public ::testing::TestWithParam<StageDesign> {};

TEST_P(Designer, MatchesTheClosedFormAndThePublishedFiguresToNineDecimals) {
    const StageDesign& d = GetParam();
    const auto expected = closedFormCoefficients(d.count, d.transition);
    std::vector<double> designed(static_cast<size_t>(d.count));
    designHalfBand(d.count, d.transition, designed.data());
    HiirUpsampler up;
    HiirDownsampler down;
    for (int i = 0; i < d.count; ++i) {
        const auto idx = static_cast<size_t>(i);
        EXPECT_NEAR(designed[idx], static_cast<double>(expected[idx]), 1e-12) << "coefficient " << i;
        EXPECT_NEAR(static_cast<double>(expected[idx]), d.published[idx], 5.0e-10 + 1e-15) << "coefficient " << i;
        // What the converters run with is the design rounded to float.
        EXPECT_EQ(up.getCoefficient(d.stage, i), static_cast<float>(expected[idx])) << i;
        EXPECT_EQ(down.getCoefficient(d.stage, i), static_cast<float>(expected[idx])) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(FourStages, Designer, ::testing::ValuesIn(kDesigns));

// ---- Sources and block-splitting helpers ----------------------------------

// Counts what it is asked for and returns a ramp 1, 2, 3, ...
class CountingSource : public Unit {
public:
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i) out[i] = static_cast<float>(++emitted);
        ++calls;
    }
    int emitted = 0;
    int calls = 0;
};

std::vector<float> noise(int count, unsigned seed = 12345u) {
    std::vector<float> x(static_cast<size_t>(count));
    for (auto& v : x) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>(static_cast<int>(seed >> 8) - (1 << 23)) / static_cast<float>(1 << 23);
    }
    return x;
}

// Pulls `total` samples from `unit` in blocks cycling through `sizes`.
std::vector<float> pull(Processor& unit, int total, const std::vector<int>& sizes) {
    std::vector<float> out(static_cast<size_t>(total));
    size_t which = 0;
    for (int done = 0; done < total;) {
        const int n = std::min(sizes[which++ % sizes.size()], total - done);
        unit.process(out.data() + done, n);
        done += n;
    }
    return out;
}

// Uneven block sizes; for the up-sampler they are in host frames times 16.
const std::vector<int> kUnevenFrames = {1, 7, 64, 3, 256, 13, 100, 31};
std::vector<int> times16(const std::vector<int>& frames) {
    std::vector<int> r;
    for (int f : frames) r.push_back(16 * f);
    return r;
}

// Up-sampler fed by `x`, pulled at 16x in uneven blocks.
std::vector<float> upsample(const std::vector<float>& x) {
    InputAdapter source;
    source.setSource(x.data(), static_cast<int>(x.size()));
    HiirUpsampler up;
    up.setInput(&source);
    return pull(up, 16 * static_cast<int>(x.size()), times16(kUnevenFrames));
}

std::vector<float> downsample(const std::vector<float>& x) {
    InputAdapter source;
    source.setSource(x.data(), static_cast<int>(x.size()));
    HiirDownsampler down;
    down.setInput(&source);
    return pull(down, static_cast<int>(x.size()) / 16, kUnevenFrames);
}

// x through the up-sampler, an optional stage at 16x and the down-sampler.
struct RoundTrip {
    explicit RoundTrip(const std::vector<float>& x, Processor* between = nullptr) {
        source.setSource(x.data(), static_cast<int>(x.size()));
        up.setInput(&source);
        if (between != nullptr) {
            between->setInput(&up);
            down.setInput(between);
        } else {
            down.setInput(&up);
        }
    }
    InputAdapter source;
    HiirUpsampler up;
    HiirDownsampler down;
};

std::vector<float> roundTrip(const std::vector<float>& x, Processor* between = nullptr) {
    RoundTrip chain(x, between);
    return pull(chain.down, static_cast<int>(x.size()), kUnevenFrames);
}

// ---- A plain reference: every section as written, one sample at a time ----

struct ReferenceStage {
    std::vector<double> a, xm, ym;
    explicit ReferenceStage(const std::vector<long double>& coefs) : xm(coefs.size()), ym(coefs.size()) {
        for (auto c : coefs) a.push_back(static_cast<double>(static_cast<float>(c)));
    }
    double chain(int which, double v) {
        for (size_t i = static_cast<size_t>(which); i < a.size(); i += 2) {
            const double y = (v - ym[i]) * a[i] + xm[i];
            xm[i] = v;
            ym[i] = y;
            v = y;
        }
        return v;
    }
};

std::vector<ReferenceStage> referenceStages() {
    std::vector<ReferenceStage> stages;
    for (const auto& d : kDesigns) stages.emplace_back(closedFormCoefficients(d.count, d.transition));
    return stages;
}

std::vector<double> referenceUp(const std::vector<float>& x) {
    auto stages = referenceStages();
    std::vector<double> signal(x.begin(), x.end());
    for (auto& stage : stages) {
        std::vector<double> next;
        for (double v : signal) {
            next.push_back(stage.chain(0, v));
            next.push_back(stage.chain(1, v));
        }
        signal.swap(next);
    }
    return signal;
}

std::vector<double> referenceDown(const std::vector<float>& x) {
    auto stages = referenceStages();
    std::vector<double> signal(x.begin(), x.end());
    for (int s = 3; s >= 0; --s) {
        std::vector<double> next;
        for (size_t i = 0; i + 1 < signal.size(); i += 2)
            next.push_back(0.5 * (stages[static_cast<size_t>(s)].chain(0, signal[i + 1]) + stages[static_cast<size_t>(s)].chain(1, signal[i])));
        signal.swap(next);
    }
    return signal;
}

// The SSE lanes pipeline pairs of sections: a stage with N coefficients and
// N >= 4 adds N / 4 samples of its lower rate to both chains. In 16x samples:
// 16 * (16/4) + 8 * (8/4) + 4 * (4/4) + 2 * 0.
constexpr int kPipelineDelay16x = 16 * 4 + 8 * 2 + 4 * 1;

}  // namespace

TEST(HiirUpsampler, MatchesThePerSectionFormulasUpToTheLaneDelay) {
    const auto x = noise(600);
    const auto got = upsample(x);
    const auto want = referenceUp(x);
    double worst = 0.0;
    for (size_t i = kPipelineDelay16x; i < got.size(); ++i) worst = std::max(worst, std::fabs(got[i] - want[i - kPipelineDelay16x]));
    EXPECT_LT(worst, 2e-5);
    for (int i = 0; i < kPipelineDelay16x; ++i) EXPECT_EQ(got[static_cast<size_t>(i)], 0.0f) << i;
}

TEST(HiirDownsampler, MatchesThePerSectionFormulasUpToTheLaneDelay) {
    const auto x = noise(16 * 600);
    const auto got = downsample(x);
    // The lane delay sits inside the cascade; it equals delaying the input.
    std::vector<float> delayed(kPipelineDelay16x, 0.0f);
    delayed.insert(delayed.end(), x.begin(), x.end() - kPipelineDelay16x);
    const auto want = referenceDown(delayed);
    double worst = 0.0;
    for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::fabs(got[i] - want[i]));
    EXPECT_LT(worst, 2e-5);
}

TEST(Oversampling, BlocksAreExactlySixteenTimesTheirInputs) {
    CountingSource source;
    HiirUpsampler up;
    up.setInput(&source);
    std::vector<float> out(4096);
    up.process(out.data(), 4096);
    EXPECT_EQ(source.emitted, 256);
    up.process(out.data(), 16);
    EXPECT_EQ(source.emitted, 257);
    // A count off the 16 grid pulls what it can and leaves silence, not stale samples, after it.
    std::fill(out.begin(), out.end(), 123.0f);
    up.process(out.data(), 40);
    EXPECT_EQ(source.emitted, 259);
    for (int i = 32; i < 40; ++i) EXPECT_EQ(out[static_cast<size_t>(i)], 0.0f) << i;
    EXPECT_NE(out[31], 123.0f);

    CountingSource high;
    HiirDownsampler down;
    down.setInput(&high);
    down.process(out.data(), 256);
    EXPECT_EQ(high.emitted, 4096);
    down.process(out.data(), 3);
    EXPECT_EQ(high.emitted, 4096 + 48);
}

TEST(Oversampling, BlocksBeyondOnePassAreSplitNotOverrun) {
    // 1000 host frames need 16000 samples at 16x: more than one scratch pass
    // of the up-sampler and more than the down-sampler's 4096-sample buffer.
    const auto x = noise(1000);
    RoundTrip once(x), inParts(x);
    std::vector<float> whole(1000);
    once.down.process(whole.data(), 1000);
    const auto split = pull(inParts.down, 1000, {200});
    for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(whole[i], split[i]) << i;
}

TEST(Oversampling, ConstantOneSettlesAtOneEverywhere) {
    const std::vector<float> ones(2048, 1.0f);
    const auto high = upsample(ones);
    for (size_t i = high.size() - 4096; i < high.size(); ++i) ASSERT_NEAR(high[i], 1.0f, 1e-5f) << i;
    const std::vector<float> highOnes(16 * 2048, 1.0f);
    const auto low = downsample(highOnes);
    for (size_t i = low.size() - 256; i < low.size(); ++i) ASSERT_NEAR(low[i], 1.0f, 1e-5f) << i;
    const auto trip = roundTrip(ones);
    for (size_t i = trip.size() - 256; i < trip.size(); ++i) ASSERT_NEAR(trip[i], 1.0f, 1e-5f) << i;
}

// Every stage's stopband is at least 125.5 dB down (the 8x <-> 16x stage is the
// shallowest); the bound below leaves room for single-precision rounding.
constexpr double kRejectionDb = -120.0;

// Passband tones (Hz at 44100 Hz, all below the 0.49 fs edge).
class Passband : public ::testing::TestWithParam<double> {};

TEST_P(Passband, UpsamplerKeepsTheToneAndRejectsItsImages) {
    const double f = GetParam();
    constexpr int kSettle = 4096, kMeasure = 4096;
    const auto high = upsample(sine(f, kRate, kSettle + kMeasure));
    const float* window = high.data() + 16 * kSettle;
    const int n = 16 * kMeasure;
    EXPECT_NEAR(TestSupport::toDb(TestSupport::toneAmplitude(window, n, f, kHighRate)), 0.0, 0.001);
    for (int k = 1; k <= 8; ++k) {
        for (double image : {k * kRate - f, k * kRate + f}) {
            if (image >= kHighRate / 2) continue;
            EXPECT_LT(TestSupport::toDb(TestSupport::toneAmplitude(window, n, image, kHighRate)), kRejectionDb) << "image at " << image;
        }
    }
}

TEST_P(Passband, DownsamplerKeepsTheTone) {
    const double f = GetParam();
    const auto low = downsample(sine(f, kHighRate, 16 * 8192));
    EXPECT_NEAR(TestSupport::toDb(TestSupport::toneAmplitude(low.data() + 4096, 4096, f, kRate)), 0.0, 0.001);
}

TEST_P(Passband, RoundTripRippleIsBelowAThousandthOfADecibel) {
    const double f = GetParam();
    const auto y = roundTrip(sine(f, kRate, 8192));
    EXPECT_NEAR(TestSupport::toDb(TestSupport::toneAmplitude(y.data() + 4096, 4096, f, kRate)), 0.0, 0.001);
}

INSTANTIATE_TEST_SUITE_P(Tones, Passband, ::testing::Values(100.0, 1000.0, 5000.0, 11025.0, 17000.0, 20000.0, 21000.0));

// Tones at 16x above the 0.51 fs stopband edge, each folding to a distinct
// frequency of the host band; the down-sampler must suppress them.
class Stopband : public ::testing::TestWithParam<double> {};

TEST_P(Stopband, DownsamplerRejectsWhatWouldAlias) {
    const double f = GetParam() * kRate;
    double alias = std::fmod(f, kRate);
    if (alias > kRate / 2) alias = kRate - alias;
    const auto low = downsample(sine(f, kHighRate, 16 * 8192));
    const double level = TestSupport::toDb(TestSupport::toneAmplitude(low.data() + 4096, 4096, alias, kRate));
    EXPECT_LT(level, kRejectionDb) << f << " Hz folds to " << alias << " Hz";
}

INSTANTIATE_TEST_SUITE_P(Bands, Stopband, ::testing::Values(0.52, 0.7, 1.26, 2.37, 3.6, 5.13, 7.55, 7.98));

TEST(Oversampling, TubeBetweenTheConvertersDoesNotAlias) {
    // A 15 kHz tone kept below the tube's knee meets only its quadratic, so
    // the tube adds exactly a 30 kHz second harmonic. At 44.1 kHz without
    // oversampling that folds to 14.1 kHz; between the converters it must
    // be removed before it can fold.
    constexpr double f = 15000.0, amplitude = 0.2;
    const auto x = sine(f, kRate, 8192, amplitude);
    Tube tube;
    const auto y = roundTrip(x, &tube);
    const float* window = y.data() + 4096;
    EXPECT_NEAR(TestSupport::toneAmplitude(window, 4096, f, kRate), std::sqrt(2.0) * amplitude, 1e-4);
    EXPECT_LT(TestSupport::toDb(TestSupport::toneAmplitude(window, 4096, kRate - 2 * f, kRate)), kRejectionDb);

    // The same tube at the host rate aliases at the quadratic's level, a^2 / 4.
    InputAdapter source;
    source.setSource(x.data(), 8192);
    Tube plain;
    plain.setInput(&source);
    const auto naive = pull(plain, 8192, {256});
    EXPECT_NEAR(TestSupport::toneAmplitude(naive.data() + 4096, 4096, kRate - 2 * f, kRate), amplitude * amplitude / 4, 1e-4);
}

TEST(Oversampling, SampleRatePropagatesThroughBothConverters) {
    Unit source;
    HiirUpsampler up;
    Tube tube;
    HiirDownsampler down;
    EXPECT_FLOAT_EQ(up.getOutputRate(), 16 * 44100.0f);
    EXPECT_FLOAT_EQ(down.getSampleRate(), 44100.0f / 16);

    up.setInput(&source);
    tube.setInput(&up);
    down.setInput(&tube);
    down.setSampleRate(48000.0f);
    EXPECT_FLOAT_EQ(down.getSampleRate(), 48000.0f);
    EXPECT_FLOAT_EQ(tube.getSampleRate(), 768000.0f);
    EXPECT_FLOAT_EQ(up.getOutputRate(), 768000.0f);
    EXPECT_FLOAT_EQ(up.getSampleRate(), 48000.0f);
    EXPECT_FLOAT_EQ(source.getSampleRate(), 48000.0f);

    // Rate first, connections after: connecting pushes the consumer's rate.
    Unit late;
    HiirUpsampler up2;
    Tube tube2;
    HiirDownsampler down2;
    down2.setSampleRate(96000.0f);
    down2.setInput(&tube2);
    EXPECT_FLOAT_EQ(tube2.getSampleRate(), 1536000.0f);
    tube2.setInput(&up2);
    up2.setInput(&late);
    EXPECT_FLOAT_EQ(late.getSampleRate(), 96000.0f);
}

TEST(Oversampling, ClearIsAsGoodAsFresh) {
    const auto dirt = noise(512, 7u);
    const auto x = noise(512, 99u);
    std::vector<float> signal(dirt);
    signal.insert(signal.end(), x.begin(), x.end());

    RoundTrip usedChain(signal), freshChain(x);

    std::vector<float> scrap(512), used(512), fresh(512);
    usedChain.down.process(scrap.data(), 512);
    usedChain.up.clear();
    usedChain.down.clear();
    usedChain.down.process(used.data(), 512);
    freshChain.down.process(fresh.data(), 512);
    for (size_t i = 0; i < 512; ++i) ASSERT_EQ(used[i], fresh[i]) << i;
}

TEST(Oversampling, HugeInputsStayFinite) {
    std::vector<float> x(4096);
    for (size_t i = 0; i < x.size(); ++i) x[i] = (i / 3) % 2 ? 1e30f : -1e30f;
    const auto y = roundTrip(x);
    EXPECT_TRUE(TestSupport::allFinite(y.data(), static_cast<int>(y.size())));
    Tube tube;
    const auto z = roundTrip(x, &tube);
    EXPECT_TRUE(TestSupport::allFinite(z.data(), static_cast<int>(z.size())));
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST(Oversampling, ProcessDoesNotAllocate) {
    const auto x = noise(4096);
    Tube tube;
    RoundTrip chain(x, &tube);
    std::vector<float> out(1000);
    TestSupport::AllocationScope scope;
    for (int n : {256, 1, 17, 1000, 64}) chain.down.process(out.data(), n);
    EXPECT_EQ(scope.stop().allocations, 0);
}
#endif

// ---- Paired drive chains: the stereo kernels against the one-by-one path ----

namespace {

// Left gets hot noise (the tube's knee and its negative side), right a tone
// with occasional huge values (the knee's input cap, infinities downstream).
class Hot : public Unit {
public:
    explicit Hot(unsigned seed) : noise(seed, 2.5f) {}
    void process(float* out, int count) override {
        noise.process(out, count);
        for (int i = 0; i < count; ++i)
            if (++n % 997 == 0) out[i] = (n / 997) % 2 ? 3.0e30f : -7.0e29f;
    }

private:
    UnitTestSupport::Noise noise;
    long n = 0;
};

// Two drive sections (up-sampler, tube, down-sampler) fed by `left` and
// `right`, unpaired.
struct DriveChains {
    HiirUpsampler up[2];
    Tube tube[2];
    HiirDownsampler down[2];

    DriveChains(Unit& left, Unit& right, float rate) {
        up[0].setInput(&left);
        up[1].setInput(&right);
        for (int c = 0; c < 2; ++c) {
            tube[c].setInput(&up[c]);
            down[c].setInput(&tube[c]);
            down[c].setSampleRate(rate);
        }
    }
};

struct StereoDrive {
    UnitTestSupport::Noise leftSource{7, 2.0f};
    Hot rightSource{11};
    DriveChains chains;
    HiirDownsampler (&down)[2] = chains.down;
    bool paired = false;

    StereoDrive(SimdLevel level, float rate) : chains(leftSource, rightSource, rate) {
        forceSimdLevel(level);
        paired = down[0].pairWith(down[1]);
        forceSimdLevel(SimdLevel::Avx2);
    }

    // `total` frames in blocks of `block`; rightFirst pulls the right channel first.
    std::vector<float> render(int total, int block, bool rightFirst = false) {
        std::vector<float> out(2 * static_cast<size_t>(total));
        for (int done = 0; done < total; done += block) {
            const int n = std::min(block, total - done);
            for (int k = 0; k < 2; ++k) {
                const int c = rightFirst ? 1 - k : k;
                down[c].process(out.data() + c * total + done, n);
            }
        }
        return out;
    }
};

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

}  // namespace

TEST(OversamplingPair, EveryLevelMatchesTheOneByOnePathBitForBitAtEveryBlockSplitAndRate) {
    constexpr int kFrames = 6000;
    for (const float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        StereoDrive reference(SimdLevel::Scalar, rate);
        ASSERT_FALSE(reference.paired);
        const auto expected = reference.render(kFrames, 4096);
        for (const SimdLevel level : {SimdLevel::Sse2, SimdLevel::Avx2}) {
            if (simdLevel() < level) continue;
            // 1, 2 and 3: passes of 2, 4 and 6 2x samples, around the middle loop's lag (2 or 4).
            for (const int block : {1, 2, 3, 7, 64, 200, 256, 4096}) {
                StereoDrive drive(level, rate);
                ASSERT_TRUE(drive.paired);
                EXPECT_TRUE(sameBits(drive.render(kFrames, block), expected))
                    << "level " << static_cast<int>(level) << " block " << block << " rate " << rate;
            }
        }
    }
}

TEST(OversamplingPair, EitherChannelMayBePulledFirstAndClearActsOnBoth) {
    StereoDrive reference(SimdLevel::Scalar, 44100.0f);
    StereoDrive drive(simdLevel(), 44100.0f);
    ASSERT_TRUE(drive.paired);
    EXPECT_TRUE(sameBits(drive.render(700, 64, true), reference.render(700, 64)));
    for (StereoDrive* d : {&reference, &drive}) {
        for (int c = 0; c < 2; ++c) {
            d->chains.up[c].clear();
            d->down[c].clear();
        }
    }
    EXPECT_TRUE(sameBits(drive.render(700, 33), reference.render(700, 33)));
}

// The paired kernel keeps some sections of both converters in shared
// registers; what it stores back must be what each converter alone reads on.
TEST(OversamplingPair, LeavesEverySectionMemoryWhereTheOneByOnePathReadsIt) {
    for (const SimdLevel level : {SimdLevel::Sse2, SimdLevel::Avx2}) {
        if (simdLevel() < level) continue;
        StereoDrive reference(SimdLevel::Scalar, 48000.0f);
        StereoDrive drive(level, 48000.0f);
        ASSERT_TRUE(drive.paired);
        EXPECT_TRUE(sameBits(drive.render(300, 100), reference.render(300, 100)));
        // A new (stateless) tube in each chain: the pair no longer matches its
        // wiring, so both converters run one by one from here.
        Tube fresh[2];
        for (int c = 0; c < 2; ++c) {
            fresh[c].setInput(&drive.chains.up[c]);
            drive.down[c].setInput(&fresh[c]);
        }
        EXPECT_TRUE(sameBits(drive.render(300, 100), reference.render(300, 100))) << "level " << static_cast<int>(level);
    }
}

namespace {

// Noise until frame `at`, then one NaN of the given bits (the up-sampler's
// memories carry it on, so every later tube input is that NaN).
class NaNAfter : public Unit {
public:
    NaNAfter(unsigned seed, long at, std::uint32_t bits) : noise(seed, 2.0f), at(at), bits(bits) {}
    void process(float* out, int count) override {
        noise.process(out, count);
        for (int i = 0; i < count; ++i)
            if (n++ == at) std::memcpy(out + i, &bits, sizeof bits);
    }

private:
    UnitTestSupport::Noise noise;
    long at, n = 0;
    std::uint32_t bits;
};

}  // namespace

// The paired tube decides by the sign of u - knee, so a NaN with its sign
// clear takes the knee's arithmetic; it must still come out as that NaN.
TEST(OversamplingPair, NaNsOfEitherSignComeOutAsTheOneByOnePathGivesThem) {
    std::vector<float> expected[2];
    for (const SimdLevel level : {SimdLevel::Scalar, SimdLevel::Sse2, SimdLevel::Avx2}) {
        if (simdLevel() < level) continue;
        NaNAfter source[2] = {{3, 40, 0x7FC01234u}, {5, 90, 0xFFC04321u}};
        DriveChains chains(source[0], source[1], 44100.0f);
        HiirDownsampler (&down)[2] = chains.down;
        forceSimdLevel(level);
        EXPECT_EQ(down[0].pairWith(down[1]), level != SimdLevel::Scalar);
        forceSimdLevel(SimdLevel::Avx2);
        std::vector<float> out[2] = {std::vector<float>(200), std::vector<float>(200)};
        for (int done = 0; done < 200; done += 50)
            for (int c = 0; c < 2; ++c) down[c].process(out[c].data() + done, 50);
        for (int c = 0; c < 2; ++c) {
            EXPECT_TRUE(std::isnan(out[c].back())) << "channel " << c;
            if (level == SimdLevel::Scalar)
                expected[c] = out[c];
            else
                EXPECT_TRUE(sameBits(out[c], expected[c])) << "level " << static_cast<int>(level) << " channel " << c;
        }
    }
}

TEST(OversamplingPair, RefusesChainsOfAnotherShape) {
    UnitTestSupport::Noise source;
    HiirUpsampler up;
    Tube tube;
    HiirDownsampler left, right;
    up.setInput(&source);
    left.setInput(&tube);
    tube.setInput(&up);
    right.setInput(&up);  // no tube between
    EXPECT_FALSE(left.pairWith(right));
    EXPECT_FALSE(left.pairWith(left));
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST(OversamplingPair, ProcessDoesNotAllocate) {
    StereoDrive drive(simdLevel(), 44100.0f);
    std::vector<float> out(4096);
    TestSupport::AllocationScope scope;
    for (int n : {256, 1, 17, 4096, 64}) {
        drive.down[0].process(out.data(), n);
        drive.down[1].process(out.data(), n);
    }
    EXPECT_EQ(scope.stop().allocations, 0);
}
#endif

namespace {

// Noise that notes the size of every pull.
class PullLog : public Unit {
public:
    void process(float* out, int count) override {
        noise.process(out, count);
        sizes.push_back(count);
    }
    std::vector<int> sizes;

private:
    UnitTestSupport::Noise noise;
};

}  // namespace

// Upstream units see the same pulls paired as one by one (a source whose
// output depended on its block sizes once told the two apart).
TEST(OversamplingPair, PullsItsSourcesInTheBlocksTheOneByOnePathPulls) {
    std::vector<int> seen[2][2];
    for (const bool pair : {false, true}) {
        PullLog source[2];
        DriveChains chains(source[0], source[1], 44100.0f);
        HiirDownsampler (&down)[2] = chains.down;
        if (pair) {
            ASSERT_EQ(down[0].pairWith(down[1]), simdLevel() != SimdLevel::Scalar);
        }
        std::vector<float> out(4096);
        for (const int n : {96, 1000, 7, 4096, 300})
            for (int c = 0; c < 2; ++c) down[c].process(out.data(), n);
        for (int c = 0; c < 2; ++c) seen[pair][c] = source[c].sizes;
    }
    EXPECT_EQ(seen[1][0], seen[0][0]);
    EXPECT_EQ(seen[1][1], seen[0][1]);
}
