// The filters measured as audio processors: steady-state sine responses against
// the transfer functions of their difference equations and against the analog
// prototypes the cookbook designs intend, DC and far-band behaviour, control-rate
// cutoff and gain modulation (a held gain exactly as one redesigned on every
// update), and a contract suite (block splits, reset, extremes, no allocation)
// over every filter.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <complex>
#include <functional>
#include <limits>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include <xmmintrin.h>

#include "spkit/Cpu.h"
#include "spkit/Filters.h"
#include "tests/spkit/UnitTestSupport.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/AudioAnalysis.h"

using namespace SPKit;
using UnitTestSupport::Noise;
using UnitTestSupport::render;
using UnitTestSupport::Tone;
using cd = std::complex<double>;

namespace {

constexpr double kRate = 44100.0;
constexpr double kPi = std::numbers::pi;

// Control source that wanders so coefficient updates change something.
class Wander : public Unit {
public:
    Wander(float centre, float depth) : centre(centre), depth(depth) {}
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i) out[i] = centre + depth * static_cast<float>(std::sin(0.05 * n++));
    }

private:
    float centre, depth;
    long n = 0;
};

// Steady-state gain of `filter` (fed by `tone` at hz): settle, then measure.
double steadyGain(Processor& filter, double hz, double rate = kRate) {
    constexpr int kSettle = 16384, kWindow = 16384;
    render(filter, kSettle, 512);
    const std::vector<float> out = render(filter, kWindow, 512);
    return TestSupport::toneAmplitude(out.data(), kWindow, hz, rate);
}

cd zInv(double hz, double rate = kRate) { return std::polar(1.0, -2.0 * kPi * hz / rate); }

// |H| of a normalised biquad at hz.
double biquadMagnitude(const double (&c)[5], double hz) {
    const cd z = zInv(hz);
    return std::abs((c[0] + c[1] * z + c[2] * z * z) / (1.0 + c[3] * z + c[4] * z * z));
}

// The cookbook's coefficients for a type, from its table.
void cookbookCoefficients(int type, double f0, double width, double gainDb, double (&c)[5]) {
    const double A = std::pow(10.0, gainDb / 40.0), w0 = 2 * kPi * f0 / kRate, sn = std::sin(w0), cs = std::cos(w0);
    const double alpha = sn * std::sinh(std::log(2.0) / 2 * (1 - width) * w0 / sn), beta = std::sqrt(2 * A) * sn;
    double b[3], a[3];
    switch (type) {
        case 0: b[0] = (1 - cs) / 2; b[1] = 1 - cs; b[2] = b[0]; a[0] = 1 + alpha; a[1] = -2 * cs; a[2] = 1 - alpha; break;
        case 1: b[0] = (1 + cs) / 2; b[1] = -(1 + cs); b[2] = b[0]; a[0] = 1 + alpha; a[1] = -2 * cs; a[2] = 1 - alpha; break;
        case 2: b[0] = alpha; b[1] = 0; b[2] = -alpha; a[0] = 1 + alpha; a[1] = -2 * cs; a[2] = 1 - alpha; break;
        case 3: b[0] = 1; b[1] = -2 * cs; b[2] = 1; a[0] = 1 + alpha; a[1] = -2 * cs; a[2] = 1 - alpha; break;
        case 4: b[0] = 1 + alpha * A; b[1] = -2 * cs; b[2] = 1 - alpha * A; a[0] = 1 + alpha / A; a[1] = -2 * cs; a[2] = 1 - alpha / A; break;
        case 5:
            b[0] = A * ((A + 1) - (A - 1) * cs + beta); b[1] = 2 * A * ((A - 1) - (A + 1) * cs); b[2] = A * ((A + 1) - (A - 1) * cs - beta);
            a[0] = (A + 1) + (A - 1) * cs + beta; a[1] = -2 * ((A - 1) + (A + 1) * cs); a[2] = (A + 1) + (A - 1) * cs - beta;
            break;
        default:
            b[0] = A * ((A + 1) + (A - 1) * cs + beta); b[1] = -2 * A * ((A - 1) + (A + 1) * cs); b[2] = A * ((A + 1) + (A - 1) * cs - beta);
            a[0] = (A + 1) - (A - 1) * cs + beta; a[1] = 2 * ((A - 1) - (A + 1) * cs); a[2] = (A + 1) - (A - 1) * cs - beta;
            break;
    }
    c[0] = b[0] / a[0]; c[1] = b[1] / a[0]; c[2] = b[2] / a[0]; c[3] = a[1] / a[0]; c[4] = a[2] / a[0];
}

// What the cookbook intends: its analog prototype at the bilinear-warped
// frequency, with Q from the bandwidth in octaves (shelves: slope 1, Q = 1/sqrt 2).
double intendedMagnitude(int type, double f0, double width, double gainDb, double hz) {
    const double A = std::pow(10.0, gainDb / 40.0), w0 = 2 * kPi * f0 / kRate;
    const double q = type >= 5 ? 1.0 / std::sqrt(2.0)
                               : 1.0 / (2.0 * std::sinh(std::log(2.0) / 2 * (1 - width) * w0 / std::sin(w0)));
    const cd s(0.0, std::tan(kPi * hz / kRate) / std::tan(w0 / 2));
    const cd den = s * s + s / q + 1.0;
    switch (type) {
        case 0: return std::abs(1.0 / den);
        case 1: return std::abs(s * s / den);
        case 2: return std::abs((s / q) / den);
        case 3: return std::abs((s * s + 1.0) / den);
        case 4: return std::abs((s * s + s * (A / q) + 1.0) / (s * s + s / (A * q) + 1.0));
        case 5: return std::abs(A * (s * s + std::sqrt(A) / q * s + A) / (A * s * s + std::sqrt(A) / q * s + 1.0));
        default: return std::abs(A * (A * s * s + std::sqrt(A) / q * s + 1.0) / (s * s + std::sqrt(A) / q * s + A));
    }
}

const char* const kTypeNames[] = {"LowPass", "HighPass", "BandPass", "Notch", "PeakEq", "LowShelf", "HighShelf"};

}  // namespace

// ------------------------------------------------------------------ BiQuad responses

struct BiQuadCase {
    int type;
    double f0, width, gainDb;
};

class BiQuadResponse : public ::testing::TestWithParam<BiQuadCase> {};

TEST_P(BiQuadResponse, SineResponseMatchesCoefficientsAndIntendedPrototype) {
    const BiQuadCase c = GetParam();
    double coefficients[5];
    cookbookCoefficients(c.type, c.f0, c.width, c.gainDb, coefficients);
    for (double ratio : {1.0 / 8, 0.5, 1 / std::sqrt(2.0), 1.0, std::sqrt(2.0), 2.0, 4.0}) {
        const double hz = c.f0 * ratio;
        if (hz < 10.0 || hz > 0.45 * kRate) continue;
        Tone tone(hz);
        BiQuad filter(c.type);
        filter.setInput(&tone);
        filter.setSampleRate(static_cast<float>(kRate));
        filter.setFrequency(static_cast<float>(c.f0));
        filter.setWidth(static_cast<float>(c.width));
        filter.setGain(static_cast<float>(c.gainDb));
        const double measured = steadyGain(filter, hz);
        const double designed = biquadMagnitude(coefficients, hz);
        const double intended = intendedMagnitude(c.type, c.f0, c.width, c.gainDb, hz);
        // The floor admits a notch's finite depth in single precision (-56 dB).
        EXPECT_NEAR(measured, designed, 0.002 * designed + 1.5e-3) << "at " << hz << " Hz";
        EXPECT_NEAR(measured, intended, 0.003 * intended + 1.5e-3) << "at " << hz << " Hz";
    }
}

std::vector<BiQuadCase> biquadGrid() {
    std::vector<BiQuadCase> cases;
    for (int type = 0; type < 7; ++type)
        for (double f0 : {100.0, 1000.0, 6000.0})
            for (double width : {0.0, 0.6}) cases.push_back({type, f0, width, type >= 4 ? 12.0 : 0.0});
    cases.push_back({4, 2000.0, 0.3, -18.0});
    cases.push_back({5, 300.0, 0.0, -12.0});
    cases.push_back({6, 3000.0, 0.0, -10.0});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AllTypes, BiQuadResponse, ::testing::ValuesIn(biquadGrid()),
                         [](const auto& info) {
                             const BiQuadCase& c = info.param;
                             return std::string(kTypeNames[c.type]) + "_" + std::to_string(static_cast<int>(c.f0)) + "Hz_w" +
                                    std::to_string(static_cast<int>(c.width * 10)) + "_g" +
                                    (c.gainDb < 0 ? "m" : "") + std::to_string(static_cast<int>(std::fabs(c.gainDb)));
                         });

// The landmarks each response is built around, at 1 kHz, one octave, +/-12 dB.
TEST(BiQuad, ResponsesHitTheirLandmarks) {
    const double f0 = 1000.0, edgeLow = f0 / std::sqrt(2.0), edgeHigh = f0 * std::sqrt(2.0);
    const double halfPower = 1.0 / std::sqrt(2.0), q = 1.0 / (2.0 * std::sinh(std::log(2.0) / 2 * (2 * kPi * f0 / kRate) / std::sin(2 * kPi * f0 / kRate)));
    auto gain = [&](int type, double gainDb, double hz) {
        Tone tone(hz);
        BiQuad filter(type);
        filter.setInput(&tone);
        filter.setFrequency(static_cast<float>(f0));
        filter.setGain(static_cast<float>(gainDb));
        return steadyGain(filter, hz);
    };
    EXPECT_NEAR(gain(BiQuad::kLowPass, 0, f0), q, 0.003);        // Q at the corner
    EXPECT_NEAR(gain(BiQuad::kLowPass, 0, 20.0), 1.0, 0.002);   // passes DC
    EXPECT_LT(gain(BiQuad::kLowPass, 0, 8 * f0), 0.02);          // 12 dB per octave
    EXPECT_NEAR(gain(BiQuad::kHighPass, 0, f0), q, 0.003);
    EXPECT_NEAR(gain(BiQuad::kHighPass, 0, 16000.0), 1.0, 0.01);
    EXPECT_LT(gain(BiQuad::kHighPass, 0, f0 / 8), 0.02);
    EXPECT_NEAR(gain(BiQuad::kBandPass, 0, f0), 1.0, 0.002);     // constant 0 dB peak
    EXPECT_NEAR(gain(BiQuad::kBandPass, 0, edgeLow), halfPower, 0.005);
    EXPECT_NEAR(gain(BiQuad::kBandPass, 0, edgeHigh), halfPower, 0.005);
    EXPECT_LT(gain(BiQuad::kNotch, 0, f0), 0.002);
    EXPECT_NEAR(gain(BiQuad::kNotch, 0, edgeLow), halfPower, 0.005);
    EXPECT_NEAR(gain(BiQuad::kPeakEq, 12, f0), std::pow(10.0, 12.0 / 20), 0.01);
    EXPECT_NEAR(gain(BiQuad::kPeakEq, -12, f0), std::pow(10.0, -12.0 / 20), 0.002);
    EXPECT_NEAR(gain(BiQuad::kLowShelf, 12, 20.0), std::pow(10.0, 12.0 / 20), 0.01);
    EXPECT_NEAR(gain(BiQuad::kLowShelf, 12, f0), std::pow(10.0, 6.0 / 20), 0.01);   // half the gain at the corner
    EXPECT_NEAR(gain(BiQuad::kHighShelf, 12, 16000.0), std::pow(10.0, 12.0 / 20), 0.03);
    EXPECT_NEAR(gain(BiQuad::kHighShelf, 12, f0), std::pow(10.0, 6.0 / 20), 0.01);
    EXPECT_NEAR(gain(BiQuad::kHighShelf, 12, 20.0), 1.0, 0.002);
}

// The gain control repeats its value most of the time (a shelf held at 0 dB);
// the filter then keeps its coefficients instead of redesigning them. Against
// a biquad that redesigns on every control update, as it always used to, the
// output must be the same to the bit: through held values, changes, a return
// to an earlier value, and frequency, width, type and reset changes between blocks.
class RedesigningBiQuad : public BiQuad {
public:
    using BiQuad::BiQuad;
    void setGain(float db) override {
        gainDb = db;
        updateCoefficients();
    }
};

struct GainScheduleCase {
    int type;
    int block;
};

class BiQuadHeldGain : public ::testing::TestWithParam<GainScheduleCase> {};

TEST_P(BiQuadHeldGain, SameBitsAsRedesigningOnEveryUpdate) {
    const GainScheduleCase c = GetParam();
    Noise in1(7), in2(7);
    Unit gain1(0.0f), gain2(0.0f);
    BiQuad shortcut(c.type);
    RedesigningBiQuad always(c.type);
    shortcut.setInput(&in1);
    always.setInput(&in2);
    shortcut.setControl(&gain1);
    always.setControl(&gain2);
    for (BiQuad* f : {static_cast<BiQuad*>(&shortcut), static_cast<BiQuad*>(&always)}) {
        f->setSampleRate(44100.0f);
        f->setFrequency(2500.0f);
        f->setWidth(0.3f);
    }
    static constexpr float kSchedule[] = {0.0f, 0.0f, 0.001f, 6.0f, 6.0f, -0.0f, 0.0f, 0.0f, -12.0f, -12.0f, 0.0f, 0.0f};
    std::vector<float> a(static_cast<size_t>(c.block)), b = a;
    for (int step = 0; step < 60; ++step) {
        const float db = kSchedule[step % 12];
        gain1.setValue(db);
        gain2.setValue(db);
        for (BiQuad* f : {static_cast<BiQuad*>(&shortcut), static_cast<BiQuad*>(&always)}) {
            if (step == 20) f->setFrequency(700.0f);
            if (step == 30) f->setWidth(0.8f);
            if (step == 40) f->setType((c.type + 3) % 7);
            if (step == 50) f->reset();
        }
        shortcut.process(a.data(), c.block);
        always.process(b.data(), c.block);
        ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << "step " << step;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(shortcut.getGain()), std::bit_cast<std::uint32_t>(always.getGain()));
    }
}

INSTANTIATE_TEST_SUITE_P(TypesAndBlocks, BiQuadHeldGain,
                         ::testing::Values(GainScheduleCase{BiQuad::kHighShelf, 256}, GainScheduleCase{BiQuad::kLowShelf, 7},
                                           GainScheduleCase{BiQuad::kPeakEq, 64}, GainScheduleCase{BiQuad::kLowPass, 1},
                                           GainScheduleCase{BiQuad::kNotch, 1000}),
                         [](const auto& info) {
                             return "type" + std::to_string(info.param.type) + "_block" + std::to_string(info.param.block);
                         });

// A 0 dB peak or shelf is an identity, and once settled the filter passes its
// input on without running the recursion. Against the direct-form-I recursion
// itself (kept here as it has always run), the output must be the same to the
// bit, including the inputs where x + 0 is not x: -0, subnormals (which a
// flushing FPU reads as 0), huge values whose products overflow, infinities.
class CoefficientView : public BiQuad {
public:
    using BiQuad::BiQuad;
    std::vector<float> coefficients() const { return {b0, b1, b2, a1, a2}; }
};

std::vector<float> pairedRecursion(const std::vector<float>& in, const std::vector<float>& c) {
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    std::vector<float> out(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        const float x = in[i];
        const float y = c[0] * x + (c[1] * x1 - c[3] * y1) + (c[2] * x2 - c[4] * y2);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        out[i] = y;
    }
    return out;
}

// Noise with runs of silence and the awkward values planted at known places.
std::vector<float> awkwardSignal(bool withInfinity) {
    Noise noise(3, 0.5f);
    std::vector<float> x = render(noise, 6000, 512);
    std::fill(x.begin() + 1000, x.begin() + 1600, 0.0f);
    x[1200] = -0.0f;
    x[1201] = -0.0f;
    x[2000] = 1.0e-40f;
    x[2001] = -3.0e-42f;
    x[2500] = -0.0f;
    x[3000] = 2.0e30f;
    x[3300] = -1.0e38f;
    x[3301] = 3.0e38f;  // times a coefficient near 2: overflows
    std::fill(x.begin() + 4000, x.begin() + 4100, 1.0e-39f);
    if (withInfinity) x[5500] = std::numeric_limits<float>::infinity();
    return x;
}

struct IdentityCase {
    int type;
    int block;
    bool flushDenormals;
    bool withInfinity;
};

class BiQuadIdentity : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(BiQuadIdentity, PassingThroughMatchesTheRecursionBitForBit) {
    const IdentityCase c = GetParam();
    const unsigned savedCsr = _mm_getcsr();
    if (c.flushDenormals) _mm_setcsr(savedCsr | 0x8040u);  // flush-to-zero and denormals-are-zero
    const std::vector<float> in = awkwardSignal(c.withInfinity);
    InputAdapter source;
    source.setSource(in.data(), static_cast<int>(in.size()));
    Unit gain(0.0f);
    CoefficientView filter(c.type);
    filter.setInput(&source);
    filter.setControl(&gain);
    filter.setSampleRate(44100.0f);
    filter.setFrequency(3000.0f);
    filter.setWidth(0.4f);
    const std::vector<float> expected = pairedRecursion(in, filter.coefficients());
    const std::vector<float> got = render(filter, static_cast<long>(in.size()), c.block);
    _mm_setcsr(savedCsr);  // both ran in the same floating-point mode
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(got[i]), std::bit_cast<std::uint32_t>(expected[i])) << "sample " << i;
    EXPECT_EQ(filter.coefficients()[0], 1.0f);  // the case really is the identity design
}

INSTANTIATE_TEST_SUITE_P(ZeroDb, BiQuadIdentity,
                         ::testing::Values(IdentityCase{BiQuad::kPeakEq, 256, false, false},
                                           IdentityCase{BiQuad::kHighShelf, 256, true, false},
                                           IdentityCase{BiQuad::kLowShelf, 7, false, true},
                                           IdentityCase{BiQuad::kHighShelf, 1, true, true},
                                           IdentityCase{BiQuad::kPeakEq, 4096, true, false}),
                         [](const auto& info) {
                             return "type" + std::to_string(info.param.type) + "_block" + std::to_string(info.param.block) +
                                    (info.param.flushDenormals ? "_flushing" : "") + (info.param.withInfinity ? "_inf" : "");
                         });

TEST(BiQuad, FrequencyIsLimitedToFourTenthsOfTheRate) {
    BiQuad filter(BiQuad::kLowPass);
    filter.setFrequency(30000.0f);
    EXPECT_FLOAT_EQ(filter.getFrequency(), 17640.0f);
    filter.setSampleRate(96000.0f);
    filter.setFrequency(30000.0f);
    EXPECT_FLOAT_EQ(filter.getFrequency(), 30000.0f);
    // The DC blocker's 10 Hz is the lowest corner asked for; 0 Hz (0 / 0 in
    // the design) is held there.
    filter.setFrequency(10.0f);
    EXPECT_EQ(filter.getFrequency(), 10.0f);
    filter.setFrequency(0.0f);
    EXPECT_EQ(filter.getFrequency(), 10.0f);
}

TEST(BiQuad, PeakWithZeroGainIsExactlyTheIdentity) {
    Noise noise;
    std::vector<float> reference = render(noise, 3000, 3000);
    Noise again;
    BiQuad filter(BiQuad::kPeakEq);
    filter.setInput(&again);
    filter.setFrequency(700.0f);
    filter.setWidth(0.4f);
    EXPECT_EQ(render(filter, 3000, 100), reference);
}

namespace {
struct BiQuadProbe : BiQuad {
    explicit BiQuadProbe(int type) : BiQuad(type) {}
    void coefficients(double (&c)[5]) const { c[0] = b0; c[1] = b1; c[2] = b2; c[3] = a1; c[4] = a2; }
};
}  // namespace

// The top of the width control is still the cookbook's design: only the
// degenerate end (zero or negative bandwidth) is held back.
TEST(BiQuad, NarrowWidthsKeepTheCookbookCoefficients) {
    for (int type = 0; type < 7; ++type)
        for (double f0 : {100.0, 1000.0})
            for (double width : {0.99, 0.995, 0.998}) {
                const double gainDb = type >= 4 ? 12.0 : 0.0;
                BiQuadProbe filter(type);
                filter.setFrequency(static_cast<float>(f0));
                filter.setGain(static_cast<float>(gainDb));
                filter.setWidth(static_cast<float>(width));
                double got[5], want[5];
                filter.coefficients(got);
                cookbookCoefficients(type, f0, static_cast<float>(width), gainDb, want);
                for (int k = 0; k < 5; ++k)
                    EXPECT_NEAR(got[k], want[k], 2e-6 * std::max(1.0, std::fabs(want[k])))
                        << kTypeNames[type] << " " << f0 << " Hz width " << width << " coefficient " << k;
            }
}

// A low pass passes DC at unity: its numerator and denominator agree at z = 1.
TEST(BiQuad, LowPassCoefficientsGiveUnityAtDc) {
    for (double f0 : {1000.0, 50.0, 15000.0}) {
        BiQuadProbe filter(BiQuad::kLowPass);
        filter.setFrequency(static_cast<float>(f0));
        double c[5];
        filter.coefficients(c);
        EXPECT_NEAR(c[0] + c[1] + c[2], 1.0 + c[3] + c[4], 1e-6) << f0;
        EXPECT_GT(c[0] + c[1] + c[2], 0.0) << f0;
    }
}

// Width 1 is a zero bandwidth: poles on the unit circle would ring for ever.
// It, and anything beyond, must still die away.
TEST(BiQuad, FullWidthStillDecays) {
    class Impulse : public Unit {
    public:
        void process(float* out, int count) override {
            for (int i = 0; i < count; ++i) out[i] = first ? 1.0f : 0.0f, first = false;
        }
        bool first = true;
    };
    for (int type : {BiQuad::kLowPass, BiQuad::kHighPass, BiQuad::kBandPass})
        for (float width : {0.99999994f, 1.0f, 1.5f}) {
            Impulse impulse;
            BiQuad filter(type);
            filter.setInput(&impulse);
            filter.setFrequency(1000.0f);
            filter.setWidth(width);
            const std::vector<float> out = render(filter, 5 * 44100 + 4410, 256);
            const double early = TestSupport::peak(out.data(), 4410);
            const double late = TestSupport::peak(out.data() + 5 * 44100, 4410);
            ASSERT_GT(early, 0.0);
            EXPECT_LT(late, 1e-3 * early) << kTypeNames[type] << " width " << width;
        }
}

TEST(BiQuad, ResetClearsStateAndWidth) {
    Noise noise;
    BiQuad filter(BiQuad::kBandPass);
    filter.setInput(&noise);
    filter.setFrequency(500.0f);
    filter.setWidth(0.7f);
    render(filter, 1000, 100);
    filter.reset();
    EXPECT_EQ(filter.getWidth(), 0.0f);
    EXPECT_EQ(filter.getType(), BiQuad::kBandPass);
    EXPECT_EQ(filter.getFrequency(), 500.0f);

    Noise noise2;
    BiQuad fresh(BiQuad::kBandPass);
    fresh.setInput(&noise2);
    fresh.setFrequency(500.0f);
    Noise noise3;
    filter.setInput(&noise3);
    EXPECT_EQ(render(filter, 2000, 64), render(fresh, 2000, 64));
}

// The spread path's shelf: the control is its gain in dB, applied every 8 samples.
TEST(BiQuad, ControlInputSetsTheGainInDecibels) {
    Tone tone(8000.0);
    Unit gainDb(-10.0f);
    BiQuad filter(BiQuad::kHighShelf);
    filter.setInput(&tone);
    filter.setControl(&gainDb);
    filter.setFrequency(1566.0f);
    EXPECT_NEAR(steadyGain(filter, 8000.0), intendedMagnitude(6, 1566.0, 0.0, -10.0, 8000.0), 0.002);
    EXPECT_FLOAT_EQ(filter.getGain(), -10.0f);
}

// ------------------------------------------------------------------ ResonantLowPass

namespace {

// Transfer function of the two stages with difference feedback k, output 2 x s2.
double resonantMagnitude(double g, double k, double hz) {
    const cd z = zInv(hz);
    return std::abs(g * g / ((1.0 - (1.0 - g) * z) * (1.0 - (1.0 - g + g * k) * z) + g * g * k * z));
}

struct ResonantProbe : ResonantLowPass {
    using ResonantLowPass::g;
    using ResonantLowPass::feedback;
};

}  // namespace

class ResonantLowPassResponse : public ::testing::TestWithParam<double> {};

TEST_P(ResonantLowPassResponse, DcCutoffAndFarAboveMatchItsTransferFunction) {
    const double resonance = GetParam();
    for (double cutoff : {200.0, 2000.0, 6000.0}) {
        const double g = std::min(2 * kPi * cutoff / kRate, 0.97499);
        const double k = ((g * 1.1 + 1) * g + 2) * std::pow(resonance, 0.3) * 0.99;
        for (double hz : {20.0, cutoff, 8 * cutoff}) {
            if (hz > 0.45 * kRate) continue;
            Tone tone(hz);
            ResonantLowPass filter;
            filter.setInput(&tone);
            filter.setFrequency(static_cast<float>(cutoff));
            filter.setResonance(static_cast<float>(resonance));
            const double measured = steadyGain(filter, hz);
            const double expected = resonantMagnitude(g, k, hz);
            EXPECT_NEAR(measured, expected, 0.003 * expected + 3e-4) << cutoff << " Hz cutoff, at " << hz;
        }
        // Far above the cutoff at least 24 dB down, whatever the resonance.
        EXPECT_LT(resonantMagnitude(g, k, std::min(8 * cutoff, 0.45 * kRate)), cutoff < 3000 ? 0.063 : 1.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Resonances, ResonantLowPassResponse, ::testing::Values(0.0, 0.5, 0.9, 1.0));

TEST(ResonantLowPass, DcSettlesToItsInputAtAnyResonance) {
    for (float resonance : {0.0f, 0.7f, 1.0f}) {
        Unit dc(1.0f);
        ResonantLowPass filter;
        filter.setInput(&dc);
        filter.setFrequency(500.0f);
        filter.setResonance(resonance);
        EXPECT_NEAR(render(filter, 44100, 256).back(), 1.0f, 1e-4f) << resonance;
    }
}

TEST(ResonantLowPass, ResonanceRaisesTheCornerAndCutoffAttenuates) {
    auto gainAt = [](float resonance, double hz) {
        Tone tone(hz);
        ResonantLowPass filter;
        filter.setInput(&tone);
        filter.setFrequency(1000.0f);
        filter.setResonance(resonance);
        return steadyGain(filter, hz);
    };
    EXPECT_NEAR(gainAt(0.0f, 1000.0), 0.5, 0.05);  // two one-poles at their corner
    EXPECT_GT(gainAt(0.9f, 1000.0), 4.0);
    EXPECT_LT(gainAt(0.0f, 8000.0), 0.02);
}

TEST(ResonantLowPass, CoefficientClampsAboveAbout6843Hz) {
    ResonantProbe filter;
    filter.setFrequency(6000.0f);
    EXPECT_FLOAT_EQ(filter.g, static_cast<float>(2 * kPi * 6000.0 / kRate));
    filter.setFrequency(6900.0f);
    EXPECT_FLOAT_EQ(filter.g, 0.97499f);
    filter.setFrequency(-100.0f);  // never a growing stage
    EXPECT_EQ(filter.g, 0.0f);
    filter.setResonance(1.0f);
    EXPECT_FLOAT_EQ(filter.feedback, 0.99f);
    filter.setSampleRate(96000.0f);  // the rate change recomputes g
    filter.setFrequency(6900.0f);
    EXPECT_FLOAT_EQ(filter.g, static_cast<float>(2 * kPi * 6900.0 / 96000.0));
}

// Control samples 100, 200, 300 ... Hz: the cutoff is taken on samples 0, 8,
// 16 ..., each time the value the ramp has reached (one control period behind).
TEST(ResonantLowPass, CutoffFollowsTheControlOncePerEightSamples) {
    class Steps : public Unit {
    public:
        void process(float* out, int count) override {
            for (int i = 0; i < count; ++i) out[i] = 100.0f * static_cast<float>(++n);
        }
        int n = 0;
    } steps;
    Unit silence(0.0f);
    ResonantProbe filter;
    filter.setInput(&silence);
    filter.setControl(&steps);
    float out[64];
    filter.process(out, 1);
    EXPECT_EQ(filter.g, 0.0f);  // the first ramp starts from 0
    filter.process(out, 7);
    EXPECT_EQ(filter.g, 0.0f);
    for (int period = 1; period < 6; ++period) {
        filter.process(out, 1);
        EXPECT_FLOAT_EQ(filter.g, static_cast<float>(2 * kPi * 100.0 * period / kRate)) << period;
        filter.process(out, 7);
        EXPECT_FLOAT_EQ(filter.g, static_cast<float>(2 * kPi * 100.0 * period / kRate)) << period;
    }
}

// Regression: a cutoff that leapt several octaves up in one control step (a
// filter envelope with no attack) met the stage difference built up at the low
// cutoff; with g near 1 the resonant feedback multiplied it into a one-sample
// spike (+4.5 dBFS at every note-on of a factory sound, 23 dB over the note).
// On a leap the stage difference is now scaled to the new cutoff: the cutoff
// still lands at once, the output neither jumps nor overshoots, and smaller
// rises and every fall leave the state untouched.
TEST(ResonantLowPass, CutoffLeapingUpLandsAtOnceWithoutASpike) {
    // Control samples before the leap (1600 audio samples).
    constexpr int kLowSamples = 200;
    class Leap : public Unit {
    public:
        Leap(float before, float after) : before(before), after(after) {}
        void process(float* out, int count) override {
            for (int i = 0; i < count; ++i) out[i] = n++ < kLowSamples ? before : after;
        }

    private:
        float before, after;
        int n = 0;
    };
    for (float resonance : {0.5f, 0.65f, 0.9f}) {
        Tone tone(440.0);
        Leap leap(150.0f, 15000.0f);
        ResonantProbe filter;
        filter.setInput(&tone);
        filter.setControl(&leap);
        filter.setResonance(resonance);
        const std::vector<float> out = render(filter, 8 * kLowSamples + 4096, 64);
        EXPECT_FLOAT_EQ(filter.g, 0.97499f) << "the leap lands at once";
        // The leap reaches the filter a control period after the control steps.
        const int leapAt = 8 * (kLowSamples + 1);
        double settled = 0, afterLeap = 0, largestStep = 0;
        for (size_t i = out.size() - 1024; i < out.size(); ++i) settled = std::max(settled, std::fabs(double(out[i])));
        for (int i = leapAt - 8; i < leapAt + 400; ++i) {
            afterLeap = std::max(afterLeap, std::fabs(double(out[i])));
            largestStep = std::max(largestStep, std::fabs(double(out[i]) - out[i - 1]));
        }
        ASSERT_GT(settled, 0.9) << resonance;  // far under the cutoff the tone passes at about unity
        EXPECT_LT(afterLeap, 1.05 * settled) << resonance;
        // A unit 440 Hz sine moves at most 0.063 per sample; the spike moved 1 to 1.5.
        EXPECT_LT(largestStep, 0.4) << resonance;
    }
    // Rises of up to an octave per control step and falls keep the state: the
    // filter runs exactly as one set by hand to the same cutoffs.
    for (float after : {299.0f, 40.0f}) {
        Tone toneA(440.0), toneB(440.0);
        Leap leap(150.0f, after);
        ResonantProbe controlled, byHand;
        controlled.setInput(&toneA);
        controlled.setControl(&leap);
        byHand.setInput(&toneB);
        controlled.setResonance(0.9f);
        byHand.setResonance(0.9f);
        std::vector<float> a = render(controlled, 8 * (kLowSamples + 1), 8);
        std::vector<float> b;
        byHand.setFrequency(0.0f);
        for (int period = 0; period <= kLowSamples; ++period) {
            // The first ramp starts from 0; each value arrives a period late.
            byHand.setFrequency(period == 0 ? 0.0f : 150.0f);
            const std::vector<float> part = render(byHand, 8, 8);
            b.insert(b.end(), part.begin(), part.end());
        }
        const std::vector<float> a2 = render(controlled, 64, 8);
        byHand.setFrequency(after);
        const std::vector<float> b2 = render(byHand, 64, 8);
        EXPECT_EQ(a, b) << after;
        EXPECT_EQ(a2, b2) << after;
    }
}

// ------------------------------------------------------------------ Chamberlin

namespace {

struct ChamberlinProbe : ChamberlinHighPass {
    using ChamberlinFilter::frequency;
    using ChamberlinFilter::f;
};

// High- and band-pass outputs of the state-variable recursion.
double chamberlinMagnitude(bool highPass, double f, double q, double hz) {
    const cd z = zInv(hz), d = 1.0 - z;
    const cd den = d * d + q * f * z * d + f * f * z;
    return std::abs(highPass ? d * d / den : f * d / den);
}

}  // namespace

struct ChamberlinCase {
    bool highPass;
    double resonance;
};

class ChamberlinResponse : public ::testing::TestWithParam<ChamberlinCase> {};

TEST_P(ChamberlinResponse, DcCutoffAndFarBandsMatchTheRecursion) {
    const auto [highPass, resonance] = GetParam();
    const double q = 1.0 - std::sqrt(resonance);
    for (double cutoff : {150.0, 1500.0, 7350.0}) {
        const double f = 2.0 * std::sin(kPi * cutoff / kRate);
        for (double hz : {20.0, cutoff / 8, cutoff, 4 * cutoff}) {
            if (hz > 0.45 * kRate || hz < 10.0) continue;
            Tone tone(hz);
            std::unique_ptr<ChamberlinFilter> filter;
            if (highPass) filter = std::make_unique<ChamberlinHighPass>(); else filter = std::make_unique<ChamberlinBandPass>();
            filter->setInput(&tone);
            filter->setFrequency(static_cast<float>(cutoff));
            filter->setResonance(static_cast<float>(resonance));
            const double measured = steadyGain(*filter, hz);
            const double expected = chamberlinMagnitude(highPass, f, q, hz);
            EXPECT_NEAR(measured, expected, 0.003 * expected + 3e-4) << cutoff << " Hz cutoff, at " << hz;
        }
        // What the filter is for: the stop band is well down, the corner near 1 / damping.
        const double far = highPass ? cutoff / 8 : std::min(cutoff * 8, 0.45 * kRate);
        if (cutoff < 2000) {
            EXPECT_LT(chamberlinMagnitude(highPass, f, q, far), highPass ? 0.02 : 0.5) << cutoff;
        }
        if (resonance > 0.0 && cutoff < 2000) {
            EXPECT_NEAR(chamberlinMagnitude(highPass, f, q, cutoff), 1.0 / q, 0.1 / q);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, ChamberlinResponse,
                         ::testing::Values(ChamberlinCase{true, 0.0}, ChamberlinCase{true, 0.5}, ChamberlinCase{false, 0.0},
                                           ChamberlinCase{false, 0.75}));

TEST(Chamberlin, FrequencyStaysBetweenOneHertzAndASixthOfTheRate) {
    ChamberlinProbe filter;
    filter.setFrequency(10000.0f);
    EXPECT_FLOAT_EQ(filter.frequency, 7350.0f);
    EXPECT_FLOAT_EQ(filter.f, 1.0f);  // 2 sin(pi / 6): the stability edge
    filter.setFrequency(0.5f);
    EXPECT_FLOAT_EQ(filter.frequency, 1.0f);
    filter.setSampleRate(96000.0f);
    filter.setFrequency(10000.0f);
    EXPECT_FLOAT_EQ(filter.frequency, 10000.0f);
    filter.setSampleRate(44100.0f);  // a lower rate re-clamps the stored cutoff
    EXPECT_FLOAT_EQ(filter.frequency, 7350.0f);
}

TEST(Chamberlin, ControlSetsTheCutoff) {
    Tone tone(3000.0);
    Unit cutoff(3000.0f);
    ChamberlinBandPass filter;
    filter.setInput(&tone);
    filter.setControl(&cutoff);
    filter.setResonance(0.75f);
    const double expected = chamberlinMagnitude(false, 2 * std::sin(kPi * 3000 / kRate), 1 - std::sqrt(0.75), 3000.0);
    EXPECT_NEAR(steadyGain(filter, 3000.0), expected, 0.003 * expected);
}

// ------------------------------------------------------------------ Butterworth, DC remover

namespace {
struct BandPassProbe : ButterworthBandPass {
    using ButterworthFilter::frequency;
};
}  // namespace

TEST(ButterworthBandPass, UnityAtCentreHalfPowerAtBandEdges) {
    auto gainAt = [](double hz) {
        Tone tone(hz);
        ButterworthBandPass filter;
        filter.setInput(&tone);
        filter.setBand(1000.0f, 200.0f);
        return steadyGain(filter, hz);
    };
    EXPECT_NEAR(gainAt(1000.0), 1.0, 0.003);
    EXPECT_NEAR(gainAt(905.0), 1.0 / std::sqrt(2.0), 0.02);
    EXPECT_NEAR(gainAt(1105.0), 1.0 / std::sqrt(2.0), 0.02);
    EXPECT_LT(gainAt(100.0), 0.03);
    EXPECT_LT(gainAt(10000.0), 0.03);
}

TEST(ButterworthBandPass, LimitsAndModulationEverySixteenSamples) {
    class Steps : public Unit {
    public:
        void process(float* out, int count) override {
            for (int i = 0; i < count; ++i) out[i] = 100.0f + static_cast<float>(n++);
        }
        int n = 0;
    } steps;
    Unit silence(0.0f);
    BandPassProbe filter;
    filter.setInput(&silence);
    filter.setBand(5.0f, 0.0f);
    EXPECT_FLOAT_EQ(filter.getFrequency(), 20.0f);
    EXPECT_FLOAT_EQ(filter.getBandwidth(), 9.9999997e-05f);
    filter.setModulation(&steps);
    float out[64];
    filter.process(out, 40);  // modulation samples 0, 16 and 32 are applied
    EXPECT_FLOAT_EQ(filter.getFrequency(), 132.0f);
    filter.process(out, 15);  // only its first sample (40) is applied
    EXPECT_FLOAT_EQ(filter.getFrequency(), 140.0f);
}

// The modulation source is an input like any other: a new rate reaches it.
TEST(ButterworthBandPass, SampleRateReachesTheModulationSource) {
    Unit modulation(500.0f);
    ButterworthBandPass filter;
    filter.setSampleRate(48000.0f);
    filter.setModulation(&modulation);
    EXPECT_EQ(modulation.getSampleRate(), 48000.0f);
    filter.setSampleRate(96000.0f);
    EXPECT_EQ(modulation.getSampleRate(), 96000.0f);
}

TEST(DCRemover, RemovesDcWithItsCornerNear20Hz) {
    Unit dc(1.0f);
    DCRemover blocker;
    blocker.setInput(&dc);
    EXPECT_LT(std::fabs(render(blocker, 44100, 256).back()), 1e-4f);
    for (float rate : {44100.0f, 96000.0f}) {
        auto gainAt = [rate](double hz) {
            Tone tone(hz, rate);
            DCRemover unit;
            unit.setInput(&tone);
            unit.setSampleRate(rate);
            return steadyGain(unit, hz, rate);
        };
        EXPECT_NEAR(gainAt(20.05), 1.0 / std::sqrt(2.0), 0.01) << rate;
        EXPECT_NEAR(gainAt(1000.0), 1.0, 0.002) << rate;
    }
}

// ------------------------------------------------------------------ contract over every filter

namespace {

struct FilterRig {
    std::unique_ptr<Noise> input = std::make_unique<Noise>(3);
    std::unique_ptr<Wander> control;
    std::unique_ptr<Processor> unit;
    std::function<void()> reset;
};

struct FilterKind {
    std::string name;
    std::function<FilterRig(bool modulated)> make;
};

template <typename T>
FilterRig rig(bool modulated, float controlCentre, float controlDepth, std::function<void(T&)> setup) {
    FilterRig r;
    auto unit = std::make_unique<T>();
    T* raw = unit.get();
    unit->setInput(r.input.get());
    setup(*raw);
    if (modulated && controlDepth != 0.0f) {
        r.control = std::make_unique<Wander>(controlCentre, controlDepth);
        if constexpr (std::is_base_of_v<Controlled, T>) raw->setControl(r.control.get());
    }
    if constexpr (!std::is_same_v<T, DCRemover>) r.reset = [raw] { raw->reset(); };
    r.unit = std::move(unit);
    return r;
}

struct PeakBiQuad : BiQuad { PeakBiQuad() : BiQuad(kPeakEq) {} };

std::vector<FilterKind> filterKinds(bool resettableOnly = false) {
    std::vector<FilterKind> kinds;
    for (int type = 0; type < 7; ++type) {
        kinds.push_back({std::string("BiQuad") + kTypeNames[type], [type](bool m) {
                             return rig<PeakBiQuad>(m, 0.0f, 12.0f, [type](BiQuad& b) {
                                 b.setType(type);
                                 b.setFrequency(900.0f);
                                 b.setGain(6.0f);
                             });
                         }});
    }
    kinds.push_back({"ResonantLowPass", [](bool m) {
                         return rig<ResonantLowPass>(m, 2000.0f, 1500.0f, [](ResonantLowPass& f) {
                             f.setFrequency(1200.0f);
                             f.setResonance(0.8f);
                         });
                     }});
    kinds.push_back({"ChamberlinHighPass", [](bool m) {
                         return rig<ChamberlinHighPass>(m, 1000.0f, 800.0f, [](ChamberlinHighPass& f) {
                             f.setFrequency(400.0f);
                             f.setResonance(0.6f);
                         });
                     }});
    kinds.push_back({"ChamberlinBandPass", [](bool m) {
                         return rig<ChamberlinBandPass>(m, 1000.0f, 800.0f, [](ChamberlinBandPass& f) {
                             f.setFrequency(400.0f);
                             f.setResonance(0.75f);
                         });
                     }});
    kinds.push_back({"ButterworthBandPass", [](bool m) {
                         return rig<ButterworthBandPass>(m, 0.0f, 0.0f, [](ButterworthBandPass& f) { f.setBand(700.0f, 150.0f); });
                     }});
    if (!resettableOnly) kinds.push_back({"DCRemover", [](bool m) { return rig<DCRemover>(m, 0.0f, 0.0f, [](DCRemover&) {}); }});
    return kinds;
}

}  // namespace

class FilterContract : public ::testing::TestWithParam<FilterKind> {};

TEST_P(FilterContract, SameOutputWhateverTheBlockSplit) {
    FilterRig whole = GetParam().make(true);
    const std::vector<float> expected = render(*whole.unit, 6000, 4096);
    ASSERT_TRUE(TestSupport::allFinite(expected.data(), 6000));
    ASSERT_GT(TestSupport::rms(expected.data(), 6000), 1e-3);
    for (int block : {1, 7, 64, 256}) {
        FilterRig split = GetParam().make(true);
        EXPECT_EQ(render(*split.unit, 6000, block), expected) << "block " << block;
    }
}

class FilterReset : public ::testing::TestWithParam<FilterKind> {};

TEST_P(FilterReset, ResetEqualsFresh) {
    FilterRig used = GetParam().make(false);
    render(*used.unit, 3000, 256);
    used.reset();
    Noise restart(3);
    used.unit->setInput(&restart);
    FilterRig fresh = GetParam().make(false);
    EXPECT_EQ(render(*used.unit, 3000, 256), render(*fresh.unit, 3000, 256));
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST_P(FilterContract, ProcessDoesNotAllocate) {
    FilterRig r = GetParam().make(true);
    std::vector<float> out(kMaxBlock);
    TestSupport::AllocationScope scope;
    for (int block : {1, 7, 64, 256, kMaxBlock}) r.unit->process(out.data(), block);
    EXPECT_EQ(scope.stop().allocations, 0);
}
#endif

INSTANTIATE_TEST_SUITE_P(AllFilters, FilterContract, ::testing::ValuesIn(filterKinds()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(ResettableFilters, FilterReset, ::testing::ValuesIn(filterKinds(true)),
                         [](const auto& info) { return info.param.name; });

// Every filter at the edges of its settings, fed full-scale noise for two
// seconds: nothing may turn into NaN or infinity or run away.
struct Extreme {
    std::string name;
    std::function<std::unique_ptr<Processor>(Processor* in)> make;
    float rate = 44100.0f;
};

class FilterExtremes : public ::testing::TestWithParam<Extreme> {};

TEST_P(FilterExtremes, StaysFiniteAndBounded) {
    Noise noise(9);
    std::unique_ptr<Processor> unit = GetParam().make(&noise);
    unit->setSampleRate(GetParam().rate);
    const std::vector<float> out = render(*unit, 88200, 256);
    EXPECT_TRUE(TestSupport::allFinite(out.data(), 88200));
    EXPECT_LT(TestSupport::peak(out.data(), 88200), 1e4);
}

std::vector<Extreme> extremes() {
    std::vector<Extreme> list;
    for (int type = 0; type < 7; ++type)
        for (float rate : {44100.0f, 192000.0f})
        for (float hz : {0.0f, 10.0f, 96000.0f})
            for (float width : {1.0f, 0.0f, -1.0f})
                for (float db : {-50.0f, 50.0f}) {
                    list.push_back({std::string(kTypeNames[type]) + "_" + std::to_string(static_cast<int>(rate)) + "_" +
                                        std::to_string(static_cast<int>(hz)) + "Hz_w" +
                                        (width < 0 ? "m1" : std::to_string(static_cast<int>(width))) + (db < 0 ? "_cut" : "_boost"),
                                    [=](Processor* in) {
                                        auto b = std::make_unique<BiQuad>(type);
                                        b->setInput(in);
                                        b->setFrequency(hz);
                                        b->setWidth(width);
                                        b->setGain(db);
                                        b->setSampleRate(rate);
                                        b->setFrequency(hz);
                                        return std::unique_ptr<Processor>(std::move(b));
                                    },
                                    rate});
                }
    for (float hz : {0.0f, 5.0f, 6843.0f, 22050.0f})
        for (float res : {1.0f, 2.0f}) {
            const std::string tag = std::to_string(static_cast<int>(hz)) + "Hz_r" + std::to_string(static_cast<int>(res));
            list.push_back({"ResonantLowPass_" + tag, [=](Processor* in) {
                                auto f = std::make_unique<ResonantLowPass>();
                                f->setInput(in);
                                f->setFrequency(hz);
                                f->setResonance(res);
                                return std::unique_ptr<Processor>(std::move(f));
                            }});
            list.push_back({"ChamberlinHighPass_" + tag, [=](Processor* in) {
                                auto f = std::make_unique<ChamberlinHighPass>();
                                f->setInput(in);
                                f->setFrequency(hz);
                                f->setResonance(res);
                                return std::unique_ptr<Processor>(std::move(f));
                            }});
        }
    list.push_back({"ChamberlinBandPass_SweptAtFullResonance", [](Processor* in) {
                        static Wander sweep(4000.0f, 3900.0f);
                        auto f = std::make_unique<ChamberlinBandPass>();
                        f->setInput(in);
                        f->setControl(&sweep);
                        f->setResonance(0.999f);
                        return std::unique_ptr<Processor>(std::move(f));
                    }});
    list.push_back({"ButterworthBandPass_NarrowestAtTheTop", [](Processor* in) {
                        auto f = std::make_unique<ButterworthBandPass>();
                        f->setInput(in);
                        f->setBand(20000.0f, 0.0f);
                        return std::unique_ptr<Processor>(std::move(f));
                    }});
    return list;
}

INSTANTIATE_TEST_SUITE_P(Edges, FilterExtremes, ::testing::ValuesIn(extremes()),
                         [](const auto& info) { return info.param.name; });

// ---- Paired channels: the two-lane kernels against the one-by-one path ------

namespace {

// A cutoff that wanders, and every so often leaps far up or down (the low
// pass's leap handling) or below its floor.
class Jumpy : public Unit {
public:
    Jumpy(float centre, float depth, int every) : wander(centre, depth), every(every) {}
    void process(float* out, int count) override {
        wander.process(out, count);
        for (int i = 0; i < count; ++i) {
            if (++n % every == 0) out[i] = (n / every) % 3 == 0 ? 60.0f : (n / every) % 3 == 1 ? 12000.0f : -5.0f;
        }
    }

private:
    Wander wander;
    int every;
    long n = 0;
};

template <class Filter>
struct StereoFilter {
    Noise source[2]{Noise(3, 0.8f), Noise(5, 1.2f)};
    Jumpy cutoff[2]{Jumpy(1500.0f, 1200.0f, 37), Jumpy(700.0f, 500.0f, 23)};
    Filter filter[2];
    bool paired = false;

    StereoFilter(bool pair, float rate) {
        for (int c = 0; c < 2; ++c) {
            filter[c].setInput(&source[c]);
            filter[c].setControl(&cutoff[c]);
            filter[c].setSampleRate(rate);
            filter[c].setResonance(c == 0 ? 0.9f : 0.4f);
        }
        // Different update intervals cut the channels' runs at different samples.
        filter[1].setUpdateInterval(5);
        if (pair) paired = filter[0].pairWith(filter[1]);
    }

    std::vector<float> render(int total, int block) {
        std::vector<float> out(2 * static_cast<size_t>(total));
        for (int done = 0; done < total; done += block) {
            const int n = std::min(block, total - done);
            for (int c = 0; c < 2; ++c) filter[c].process(out.data() + c * total + done, n);
        }
        return out;
    }
};

}  // namespace

template <class T>
class PairedFilter : public ::testing::Test {};
using PairedFilterTypes = ::testing::Types<ResonantLowPass, ChamberlinHighPass, ChamberlinBandPass>;
TYPED_TEST_SUITE(PairedFilter, PairedFilterTypes);

TYPED_TEST(PairedFilter, MatchesTheOneByOnePathBitForBitAtEveryBlockSplitAndRate) {
    if (simdLevel() == SimdLevel::Scalar) GTEST_SKIP() << "no SSE2: nothing pairs";
    constexpr int kFrames = 6000;
    for (const float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        StereoFilter<TypeParam> reference(false, rate);
        const std::vector<float> expected = reference.render(kFrames, 4096);
        for (const int block : {1, 7, 64, 256, 4096}) {
            StereoFilter<TypeParam> stereo(true, rate);
            ASSERT_TRUE(stereo.paired);
            const std::vector<float> got = stereo.render(kFrames, block);
            EXPECT_EQ(0, std::memcmp(got.data(), expected.data(), got.size() * sizeof(float)))
                << "block " << block << " rate " << rate;
        }
    }
}

TYPED_TEST(PairedFilter, ResetActsOnBothChannels) {
    if (simdLevel() == SimdLevel::Scalar) GTEST_SKIP() << "no SSE2: nothing pairs";
    StereoFilter<TypeParam> reference(false, 44100.0f), stereo(true, 44100.0f);
    reference.render(500, 64);
    stereo.render(500, 64);
    for (auto* s : {&reference, &stereo}) s->filter[0].reset(), s->filter[1].reset();
    const std::vector<float> expected = reference.render(700, 33), got = stereo.render(700, 33);
    EXPECT_EQ(0, std::memcmp(got.data(), expected.data(), got.size() * sizeof(float)));
}

TEST(PairedFilters, OnlySameTapsPair) {
    ChamberlinHighPass high;
    ChamberlinBandPass band;
    EXPECT_FALSE(high.pairWith(band));
    EXPECT_FALSE(high.pairWith(high));
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST(PairedFilters, ProcessDoesNotAllocate) {
    StereoFilter<ResonantLowPass> low(true, 44100.0f);
    StereoFilter<ChamberlinHighPass> high(true, 44100.0f);
    std::vector<float> out(4096);
    TestSupport::AllocationScope scope;
    for (int n : {256, 1, 17, 4096, 64}) {
        for (int c = 0; c < 2; ++c) {
            low.filter[c].process(out.data(), n);
            high.filter[c].process(out.data(), n);
        }
    }
    EXPECT_EQ(scope.stop().allocations, 0);
}
#endif

namespace {

// A shelf gain that holds 0 dB for long stretches (the identity shortcut)
// and moves between them.
class GainSteps : public Unit {
public:
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i, ++n) out[i] = (n / 40) % 3 == 0 ? static_cast<float>((n % 40) - 20) * 0.3f : 0.0f;
    }

private:
    long n = 0;
};

// Noise with zeros, negative zeros, subnormals and huge values mixed in:
// the inputs on which the identity shortcut is and is not taken.
class Awkward : public Unit {
public:
    explicit Awkward(unsigned seed) : noise(seed, 0.7f) {}
    void process(float* out, int count) override {
        noise.process(out, count);
        for (int i = 0; i < count; ++i, ++n) {
            const long phase = n % 211;
            if (phase < 30) out[i] = 0.0f;
            else if (phase < 33) out[i] = -0.0f;
            else if (phase == 40) out[i] = 1.0e-40f;
            else if (phase == 41) out[i] = 3.0e30f;
        }
    }

private:
    Noise noise;
    long n = 0;
};

struct StereoBiQuad {
    Awkward source[2]{Awkward(3), Awkward(8)};
    GainSteps gain[2];
    BiQuad filter[2];
    bool paired = false;

    StereoBiQuad(int type, bool controlled, bool pair, float rate) {
        for (int c = 0; c < 2; ++c) {
            filter[c].setInput(&source[c]);
            filter[c].setSampleRate(rate);
            filter[c].setType(type);
            filter[c].setFrequency(c == 0 ? 1566.0f : 900.0f);
            if (controlled) filter[c].setControl(&gain[c]);
        }
        if (controlled) filter[1].setUpdateInterval(3);
        if (pair) paired = filter[0].pairWith(filter[1]);
    }

    std::vector<float> render(int total, int block) {
        std::vector<float> out(2 * static_cast<size_t>(total));
        for (int done = 0; done < total; done += block) {
            const int n = std::min(block, total - done);
            for (int c = 0; c < 2; ++c) filter[c].process(out.data() + c * total + done, n);
        }
        return out;
    }
};

}  // namespace

TEST(PairedFilters, BiQuadMatchesTheOneByOnePathBitForBitIdentityStretchesIncluded) {
    if (simdLevel() == SimdLevel::Scalar) GTEST_SKIP() << "no SSE2: nothing pairs";
    constexpr int kFrames = 5000;
    const struct {
        int type;
        bool controlled;
    } cases[] = {{BiQuad::kHighShelf, true}, {BiQuad::kPeakEq, true}, {BiQuad::kLowPass, false}, {BiQuad::kHighPass, false}};
    for (const auto& c : cases) {
        for (const float rate : {44100.0f, 96000.0f, 192000.0f}) {
            StereoBiQuad reference(c.type, c.controlled, false, rate);
            const std::vector<float> expected = reference.render(kFrames, 4096);
            for (const int block : {1, 7, 64, 256, 4096}) {
                StereoBiQuad stereo(c.type, c.controlled, true, rate);
                ASSERT_TRUE(stereo.paired);
                const std::vector<float> got = stereo.render(kFrames, block);
                EXPECT_EQ(0, std::memcmp(got.data(), expected.data(), got.size() * sizeof(float)))
                    << "type " << c.type << " block " << block << " rate " << rate;
            }
        }
    }
}
