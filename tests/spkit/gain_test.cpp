// Gain and saturation units as audio processors: the ramped gain's glide and
// its held value against Gain, the modulated gain against its control ramp,
// the limiter's attack and release times and its ceiling, the tube curve's
// shape, knee and harmonics (their real-time contract is in the contract suite).
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

#include "spkit/Gain.h"
#include "tests/spkit/UnitTestSupport.h"
#include "tests/support/AudioAnalysis.h"

using namespace SPKit;
using UnitTestSupport::sine;

namespace {

constexpr double kRate = 44100.0;

// The stated tube curve, evaluated in double.
double tubeFormula(double x) {
    const double u = (x + 1.4142135) * (x + 1.4142135) * 0.5 - 1.0;
    if (u <= 0.8) return u;
    const double v = (u - 0.8) * 5.0000005 * 2.0;
    return 0.8 + 0.19999999 * v * (v * v + 2.0) / (std::fabs(v) * (v * v + 2.0) + 3.0);
}

std::vector<float> run(Processor& unit, const std::vector<float>& x, int block = 64) {
    InputAdapter source;
    source.setSource(x.data(), static_cast<int>(x.size()));
    unit.setInput(&source);
    std::vector<float> y(x.size());
    for (size_t done = 0; done < x.size();) {
        const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(block), x.size() - done));
        unit.process(y.data() + done, n);
        done += static_cast<size_t>(n);
    }
    unit.setInput(nullptr);
    return y;
}

std::vector<float> noise(int count, float amplitude, unsigned seed = 1u) {
    std::vector<float> x(static_cast<size_t>(count));
    for (auto& v : x) {
        seed = seed * 1664525u + 1013904223u;
        v = amplitude * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f);
    }
    return x;
}

}  // namespace

TEST(Gain, ScalesAToneByItsGain) {
    Gain gain;
    const auto x = sine(1000.0, kRate, 4096, 0.5);
    EXPECT_EQ(run(gain, x), x);  // unity by default
    gain.setGain(-0.25f);
    const auto y = run(gain, x);
    EXPECT_NEAR(TestSupport::toneAmplitude(y.data(), 4096, 1000.0, 44100.0), 0.125, 1e-6);
    EXPECT_FLOAT_EQ(y[3], -0.25f * x[3]);
}

TEST(ModGain, FollowsItsControlAfterTheRampAndKeepsTheLastValue) {
    ModGain unit;
    Unit control(0.5f);
    unit.setControl(&control);
    const std::vector<float> ones(64, 1.0f);
    const auto y = run(unit, ones, 64);
    // The first control period ramps from 0 to the first control sample.
    for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(y[static_cast<size_t>(i)], 0.5f * i / 8.0f) << i;
    for (size_t i = 8; i < y.size(); ++i) EXPECT_FLOAT_EQ(y[i], 0.5f) << i;
    EXPECT_FLOAT_EQ(unit.getGain(), 0.5f);
}

TEST(ModGain, UsesTheStoredGainWithoutAControlSource) {
    ModGain unit;
    unit.setGain(0.25f);
    const auto x = sine(440.0, kRate, 512);
    const auto y = run(unit, x);
    for (size_t i = 0; i < x.size(); ++i) EXPECT_FLOAT_EQ(y[i], 0.25f * x[i]);
}

// --- RampedGain -----------------------------------------------------------------

// The stated path of a glide from `from` to `to` over n samples: sample k
// (0-based) gets to - (to - from) x s(u), u = (n - 1 - k) / n, s(u) = u^2 (3 - 2u).
double glideGain(double from, double to, int n, int k) {
    const double u = static_cast<double>(n - 1 - k) / n;
    return to - (to - from) * u * u * (3.0 - 2.0 * u);
}

// A held value gives exactly what Gain gives, whatever the block split, and
// so does the new value once a glide is over.
TEST(RampedGain, HeldItMultipliesExactlyAsGainDoes) {
    const auto x = noise(3000, 0.9f);
    for (int block : {1, 7, 64, 256, 4096}) {
        SCOPED_TRACE(block);
        Gain plain(0.3467f);
        RampedGain ramped(0.3467f);
        EXPECT_EQ(run(ramped, x, block), run(plain, x, block));
        ramped.glideTo(2.5f);
        plain.setGain(2.5f);
        const auto glided = run(ramped, x, block);
        const auto reference = run(plain, x, block);
        ASSERT_FALSE(ramped.isGliding());
        EXPECT_TRUE(std::equal(glided.begin() + ramped.getRampLength(), glided.end(),
                               reference.begin() + ramped.getRampLength()));
        EXPECT_FALSE(std::equal(glided.begin(), glided.begin() + ramped.getRampLength(), reference.begin()));
    }
}

TEST(RampedGain, GlidesAlongASmoothstepAndLandsExactlyOnTheNewGain) {
    RampedGain unit(0.25f);
    unit.setSampleRate(48000.0f);
    const int n = unit.getRampLength();
    ASSERT_EQ(n, 240);  // 5 ms
    unit.glideTo(4.0f);
    EXPECT_EQ(unit.getGain(), 4.0f);  // the gain aimed at, as a display would show it
    const std::vector<float> ones(static_cast<size_t>(n + 50), 1.0f);
    const auto y = run(unit, ones, 37);
    for (int k = 0; k < n; ++k) EXPECT_NEAR(y[static_cast<size_t>(k)], glideGain(0.25, 4.0, n, k), 2e-6) << k;
    EXPECT_EQ(y[static_cast<size_t>(n - 1)], 4.0f);
    for (size_t k = 1; k < y.size(); ++k) EXPECT_GE(y[k], y[k - 1]) << k;
    for (size_t k = static_cast<size_t>(n); k < y.size(); ++k) EXPECT_EQ(y[k], 4.0f) << k;
    EXPECT_FALSE(unit.isGliding());
}

// A move in mid-glide starts from the gain reached, so it adds no step; a
// move to the gain already aimed at leaves the glide as it is; setGain jumps.
TEST(RampedGain, AMoveInMidGlideStartsWhereTheGlideIs) {
    RampedGain unit(1.0f);
    const int n = unit.getRampLength();
    const std::vector<float> ones(static_cast<size_t>(n), 1.0f);
    unit.glideTo(3.0f);
    const auto first = run(unit, std::vector<float>(100, 1.0f));
    unit.glideTo(3.0f);
    EXPECT_EQ(unit.getCurrentGain(), first.back());
    unit.glideTo(0.5f);
    EXPECT_EQ(unit.getCurrentGain(), first.back());
    const auto second = run(unit, ones);
    // The steepest step of a smoothstep over n samples is 1.5 / n of its span.
    const float steepest = 1.5f * (first.back() - 0.5f) / static_cast<float>(n) * 1.001f;
    EXPECT_LE(std::fabs(second[0] - first.back()), steepest);
    EXPECT_EQ(second.back(), 0.5f);
    EXPECT_FALSE(unit.isGliding());

    unit.glideTo(2.0f);
    run(unit, std::vector<float>(10, 1.0f));
    unit.setGain(0.125f);
    EXPECT_FALSE(unit.isGliding());
    EXPECT_EQ(run(unit, std::vector<float>(4, 1.0f)), std::vector<float>(4, 0.125f));
}

// The ramp is counted in samples of the unit's own rate.
TEST(RampedGain, RampLengthFollowsTheRateAndARateChangeEndsTheGlide) {
    RampedGain unit(1.0f, 5.0f);
    EXPECT_EQ(unit.getRampLength(), 221);  // 220.5 samples at 44100 Hz, rounded
    unit.glideTo(2.0f);
    unit.setSampleRate(96000.0f);
    EXPECT_EQ(unit.getRampLength(), 480);
    EXPECT_FALSE(unit.isGliding());
    EXPECT_EQ(unit.getCurrentGain(), 2.0f);
    unit.setSampleRate(96000.0f * kControlRateFactor);
    EXPECT_EQ(unit.getRampLength(), 60);
    RampedGain instant(1.0f, 0.0f);  // no time at all still ends a glide, in one sample
    EXPECT_EQ(instant.getRampLength(), 1);
    instant.glideTo(3.0f);
    EXPECT_EQ(run(instant, std::vector<float>(2, 1.0f)), std::vector<float>(2, 3.0f));
}

// The limiter selects rather than branches; against the per-sample loop it
// always ran (kept here) output and envelope agree to the bit: a tone that
// swells through the threshold, silence, a NaN and an infinity, a negative
// threshold and instant times, at every block split.
class BranchingLimiter : public Limiter {
public:
    void process(float* out, int count) override {
        input->process(out, count);
        float env = envelope;
        const float limit = threshold, attack = attackCoef, release = releaseCoef;
        for (int i = 0; i < count; ++i) {
            const float x = out[i];
            const float a = std::fabs(x);
            env = a + (env - a) * (env < a ? attack : release);
            if (env > limit && env > 0.0f) out[i] = x / env * limit;
        }
        envelope = env;
    }
};

TEST(Limiter, SameBitsAsThePerSampleLoop) {
    std::vector<float> x = noise(6000, 1.0f, 9u);
    for (size_t n = 0; n < x.size(); ++n) x[n] *= 1.5f * std::sin(static_cast<float>(n) * 0.002f);
    for (size_t n = 2000; n < 2300; ++n) x[n] = n % 2 == 0 ? 0.0f : -0.0f;
    x[2500] = std::nanf("");
    x[4100] = std::numeric_limits<float>::infinity();
    struct Setting {
        float threshold, attackMs, releaseMs;
    };
    for (const Setting& set : {Setting{0.5f, 10.0f, 50.0f}, Setting{0.2f, 0.0f, 1.0f}, Setting{-0.3f, 2.0f, -5.0f}}) {
        for (int block : {1, 7, 64, 256, 4096}) {
            Limiter fast;
            BranchingLimiter slow;
            for (Limiter* l : {static_cast<Limiter*>(&fast), static_cast<Limiter*>(&slow)}) {
                l->setThreshold(set.threshold);
                l->setAttack(set.attackMs);
                l->setRelease(set.releaseMs);
            }
            // From the NaN on the envelope stays NaN and both pass the rest unlimited.
            const auto a = run(fast, x, block), b = run(slow, x, block);
            EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << set.threshold << " " << block;
            const float ea = fast.getEnvelope(), eb = slow.getEnvelope();
            EXPECT_EQ(std::memcmp(&ea, &eb, sizeof ea), 0);
        }
    }
}

TEST(Limiter, BelowThresholdTheSignalPassesUnchanged) {
    Limiter limiter;
    limiter.setSampleRate(44100.0f);
    limiter.setAttack(1.0f);
    const auto x = sine(300.0, kRate, 8192, 0.999);
    EXPECT_EQ(run(limiter, x), x);
}

// Both coefficients start at 1.0: until a time or a rate is set the envelope
// stands still at 0, so nothing is limited, and a release time alone leaves
// the attack frozen.
TEST(Limiter, FrozenUntilItsTimesOrRateAreSet) {
    Limiter limiter;
    limiter.setThreshold(0.5f);
    const std::vector<float> loud(300, 2.0f);
    EXPECT_EQ(run(limiter, loud), loud);
    EXPECT_EQ(limiter.getEnvelope(), 0.0f);
    limiter.setRelease(50.0f);
    EXPECT_EQ(run(limiter, loud), loud);
    EXPECT_EQ(limiter.getEnvelope(), 0.0f);
    limiter.setAttack(1.0f);  // now it follows: 44 samples to 99 % of the step
    const auto y = run(limiter, loud);
    EXPECT_NEAR(y.back(), 0.5f, 1e-6f);
}

TEST(Limiter, OneMillisecondAttackAtOneKilohertzCovers99PercentInOneSample) {
    Limiter limiter;
    limiter.setAttack(1.0f);
    limiter.setSampleRate(1000.0f);  // re-derives the coefficient for the new rate
    const std::vector<float> step(1, 1.0f);
    run(limiter, step);
    EXPECT_NEAR(limiter.getEnvelope(), 0.99f, 1e-6f);
}

// The envelope, read back from the gain the limiter applies to a DC step
// (y = threshold / envelope once above the threshold), reaches 99 % of the
// step after attack-time worth of samples and falls to 1 % of its level
// after the release time.
TEST(Limiter, AttackAndReleaseTimesAtTheHostRate) {
    Limiter limiter;
    limiter.setSampleRate(44100.0f);
    limiter.setAttack(10.0f);
    limiter.setRelease(50.0f);
    limiter.setThreshold(0.01f);
    std::vector<float> x(441 + 2205, 1.0f);
    for (size_t i = 441; i < x.size(); ++i) x[i] = 1e-9f;
    const auto y = run(limiter, x, 37);
    const double envelopeAfterAttack = 0.01 / y[440];
    EXPECT_NEAR(envelopeAfterAttack, 0.99, 2e-4);
    EXPECT_LT(0.01 / y[439], 0.99);
    // The release ends below the threshold, where only the envelope shows it.
    EXPECT_NEAR(limiter.getEnvelope(), envelopeAfterAttack * 0.01, 1e-5);
}

TEST(Limiter, InstantAttackIsAHardCeiling) {
    Limiter limiter;
    limiter.setSampleRate(48000.0f);
    limiter.setAttack(0.0f);
    limiter.setRelease(50.0f);
    limiter.setThreshold(0.5f);
    const auto x = noise(20000, 8.0f);
    const auto y = run(limiter, x, 100);
    EXPECT_LE(TestSupport::peak(y.data(), static_cast<int>(y.size())), 0.5 + 1e-6);
    EXPECT_GT(TestSupport::peak(y.data(), static_cast<int>(y.size())), 0.49);
}

TEST(Limiter, HoldsALoudToneNearTheThreshold) {
    Limiter limiter;
    limiter.setSampleRate(44100.0f);
    limiter.setAttack(10.0f);
    limiter.setRelease(50.0f);
    limiter.setThreshold(0.5f);
    const auto y = run(limiter, sine(1000.0, kRate, 44100, 4.0), 256);
    // The envelope settles between the tone's mean and peak level, so the
    // limited peak sits within a few dB above the threshold.
    const double level = TestSupport::toneAmplitude(y.data() + 22050, 22050, 1000.0, 44100.0);
    EXPECT_GT(level, 0.5);
    EXPECT_LT(level, 0.5 * 1.6);
}

TEST(Limiter, OutOfRangeSettingsStayFinite) {
    // A negative time must not make the follower run away; a negative
    // threshold must not divide silence by zero.
    Limiter limiter;
    limiter.setSampleRate(44100.0f);
    limiter.setAttack(-5.0f);
    limiter.setRelease(-5.0f);
    limiter.setThreshold(-1.0f);
    std::vector<float> x(4096, 0.0f);
    for (size_t i = 1000; i < 3000; ++i) x[i] = (i % 2) ? 1.0f : -1.0f;
    const auto y = run(limiter, x);
    EXPECT_TRUE(TestSupport::allFinite(y.data(), 4096));
    EXPECT_LE(limiter.getEnvelope(), 1.0f);
}

TEST(Tube, FollowsTheStatedCurveFromDeepNegativeToFarAboveTheKnee) {
    std::vector<float> x;
    for (int i = -4000; i <= 4000; ++i) x.push_back(static_cast<float>(i) * 0.001f);
    for (float big : {10.0f, 100.0f, 1e4f, -1e4f}) x.push_back(big);
    Tube tube;
    const auto y = run(tube, x, 7);  // odd blocks exercise the scalar tail
    for (size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(y[i], tubeFormula(x[i]), 2e-6) << "x = " << x[i];
}

TEST(Tube, ShapeLandmarks) {
    Tube tube;
    const float r2 = 1.4142135f;
    // u = 0.8 is reached at x = sqrt(3.6) - sqrt(2).
    const float knee = std::sqrt(3.6f) - r2;
    const auto y = run(tube, {0.0f, 1e-3f, -r2, knee - 1e-3f, knee + 1e-3f, 50.0f, 1e20f, FLT_MAX, -1e20f});
    EXPECT_NEAR(y[0], 0.0f, 1e-7f);
    EXPECT_NEAR((y[1] - y[0]) / 1e-3f, std::sqrt(2.0f), 1e-3f);  // slope sqrt 2 through 0
    EXPECT_NEAR(y[2], -1.0f, 1e-6f);                              // the quadratic's floor
    // Just above the knee the slope in u grows from 1 to 4/3: dy/dx there = 4/3 du/dx.
    const double dudx = knee + r2;
    EXPECT_NEAR((y[4] - y[3]) / 2e-3f, (1.0 + 4.0 / 3.0) / 2.0 * dudx, 0.02);
    for (size_t i = 5; i < y.size(); ++i) {
        EXPECT_LE(y[i], 1.0f) << i;
        EXPECT_GT(y[i], 0.9999f) << i;
    }
}

TEST(Tube, AddsASecondHarmonicAndNoThirdBelowTheKnee) {
    // Below the knee the curve is x^2/2 + sqrt2 x: a DC term of a^2/4, the
    // fundamental times sqrt 2 and a second harmonic of a^2/4.
    constexpr double a = 0.2, f = 441.0;
    Tube tube;
    const auto y = run(tube, sine(f, kRate, 8192, a));
    EXPECT_NEAR(TestSupport::toneAmplitude(y.data(), 8192, f, 44100.0), std::sqrt(2.0) * a, 1e-5);
    EXPECT_NEAR(TestSupport::toneAmplitude(y.data(), 8192, 2 * f, 44100.0), a * a / 4, 1e-5);
    EXPECT_LT(TestSupport::toneAmplitude(y.data(), 8192, 3 * f, 44100.0), 1e-6);
    // Driven past the knee the positive peaks are rounded: odd harmonics appear.
    Tube hot;
    const auto z = run(hot, sine(f, kRate, 8192));
    EXPECT_GT(TestSupport::toneAmplitude(z.data(), 8192, 3 * f, 44100.0), 1e-3);
}
