// Envelopes, the slew limiter and the glide measured on their output: stage
// timing and shapes, retrigger and re-aim behaviour, the glide's half-way and
// 99.9 % points, block-split independence, finiteness and no allocation, and
// the envelopes' run-wise stepping against the per-sample walk, bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "spkit/Envelopes.h"
#include "tests/spkit/UnitTestSupport.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/AudioAnalysis.h"

using namespace SPKit;
using UnitTestSupport::render;

namespace {

// A source whose n-th sample is a fixed function of n, whatever the block split.
class Signal : public Unit {
public:
    explicit Signal(std::function<float(long)> shape) : shape(std::move(shape)) {}
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i) out[i] = shape(n++);
    }
    void setSampleRate(float rate) override {
        Unit::setSampleRate(rate);
        lastRate = rate;
    }
    std::function<float(long)> shape;
    long n = 0;
    float lastRate = 0.0f;
};

// The instrument's five-stage layout: attack, hold, decay, sustain, release.
template <typename Env>
void addFiveStages(Env& env, float attackMs, float holdMs, float decayMs, float sustain, float releaseMs) {
    env.addStage(attackMs, 1.0f);
    env.addStage(holdMs, 1.0f);
    env.addStage(decayMs, sustain);
    env.addStage(10000000.0f, sustain);
    env.addStage(releaseMs, 0.0f);
}

}  // namespace

// ---- Envelope ---------------------------------------------------------------

TEST(Envelope, RisesByATenthPerSampleAndMovesOnAfterTenSamples) {
    Envelope env;
    Unit one(1.0f);
    env.setInput(&one);
    env.addStage(10, 1.0f);
    env.addStage(1000000, 0.7f);
    env.addStage(200, 0.0f);
    EXPECT_EQ(env.getLevel(), 0.0f) << "building leaves the last stage's level";
    EXPECT_EQ(env.getStage(), 3) << "and the envelope finished";
    env.setSampleRate(1000);
    env.startStage(0);
    const std::vector<float> out = render(env, 10);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(out[static_cast<size_t>(i)], 0.1f * (i + 1), 1e-6) << i;
    EXPECT_EQ(out[9], 1.0f);
    EXPECT_EQ(env.getStage(), 1);
    EXPECT_LT(render(env, 1)[0], 1.0f);  // stage 1 heads for 0.7
}

TEST(Envelope, FiveStagesKeepTheirTimesAt44100) {
    Envelope env;
    Unit one(1.0f);
    env.setInput(&one);
    addFiveStages(env, 10, 5, 20, 0.5f, 100);
    env.setSampleRate(44100);
    env.startStage(0);
    const std::vector<float> out = render(env, 4000);
    // Attack: 441 samples in a straight line to 1.
    EXPECT_NEAR(out[219], 220.0 / 441.0, 1e-5);
    EXPECT_LT(out[439], 1.0f);
    EXPECT_EQ(out[440], 1.0f);
    // Hold 220.5 samples at 1, then decay over 882 samples to the sustain level.
    EXPECT_EQ(out[660], 1.0f);
    EXPECT_LT(out[662], 1.0f);
    EXPECT_NEAR(out[661 + 441], 0.75f, 2e-3);
    EXPECT_EQ(out[661 + 882], 0.5f);
    EXPECT_EQ(out[3999], 0.5f);
    EXPECT_EQ(env.getStage(), 3);
    // Release: 100 ms down to 0, then finished and holding.
    env.startStage(4);
    const std::vector<float> release = render(env, 4500);
    EXPECT_NEAR(release[2204], 0.25f, 1e-4);
    EXPECT_EQ(release[4409], 0.0f);
    EXPECT_EQ(env.getStage(), 5);
    EXPECT_EQ(release[4499], 0.0f);
}

TEST(Envelope, RetriggerMixMovesTheReleasingLevelTowardItsTarget) {
    for (float mix : {0.0f, 0.5f, 1.0f}) {
        Envelope env;
        Unit one(1.0f);
        env.setInput(&one);
        addFiveStages(env, 10, 10, 10, 0.5f, 100);
        env.setSampleRate(1000);
        env.setRetriggerMix(mix);
        env.startStage(0);
        render(env, 40);
        env.startStage(4);
        render(env, 50);  // half-way down the release: 0.25
        ASSERT_NEAR(env.getLevel(), 0.25f, 1e-5);
        env.startStage(0);
        const float start = 0.25f * (1.0f - mix);
        EXPECT_NEAR(env.getLevel(), start, 1e-6) << mix;
        EXPECT_NEAR(render(env, 1)[0], start + (1.0f - start) / 10.0f, 1e-6) << mix;
    }
}

TEST(Envelope, ChangingTheRunningStage) {
    Envelope env;
    Unit one(1.0f);
    env.setInput(&one);
    addFiveStages(env, 10, 10, 10, 0.5f, 100);
    env.setSampleRate(1000);
    env.startStage(0);
    render(env, 24);  // four samples into the decay: 0.8
    ASSERT_EQ(env.getStage(), 2);
    ASSERT_NEAR(env.getLevel(), 0.8f, 1e-6);
    // Lengthened to 16 ms and re-aimed from where it is over the 12 samples left: no jump.
    env.setStage(16, 0.5f, 2);
    const std::vector<float> decay = render(env, 12);
    for (int i = 0; i < 12; ++i) EXPECT_NEAR(decay[static_cast<size_t>(i)], 0.8f - 0.025f * (i + 1), 1e-5) << i;
    EXPECT_EQ(env.getStage(), 3);
    EXPECT_NEAR(env.getStageTime(2), 16.0f, 1e-4);
    // In the sustain the level sits at the old target, so a new one takes effect at once.
    env.setStage(10000000.0f, 0.9f, 3);
    EXPECT_EQ(env.getLevel(), 0.9f);
    EXPECT_EQ(render(env, 1)[0], 0.9f);
}

TEST(Envelope, SampleRateKeepsStageTimesInMilliseconds) {
    Envelope env;
    Signal probe([](long) { return 1.0f; });
    env.setInput(&probe);
    addFiveStages(env, 10, 5, 20, 0.5f, 100);
    env.setSampleRate(48000);
    EXPECT_FLOAT_EQ(probe.lastRate, 48000.0f);
    env.setSampleRate(96000);
    const float times[] = {10, 5, 20, 10000000, 100};
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(env.getStageTime(i), times[i], 1e-5 * times[i]) << i;
    env.startStage(0);
    const std::vector<float> out = render(env, 961);
    EXPECT_LT(out[958], 1.0f);
    EXPECT_EQ(out[959], 1.0f);  // 10 ms at 96 kHz
}

// The envelopes step through each stage in runs up to the sample that ends it
// and scale by a held gain once finished. Against the per-sample walk they
// always ran (kept here), output, level and stage must agree to the bit:
// through the five stages, retriggers, a re-aimed running stage, the tiniest
// and fractional durations, a NaN time (a stage that never ends) and a
// duration beyond single-precision integer resolution.
template <typename Base, bool kQuartic>
class PerSampleWalk : public Base {
public:
    void process(float* out, int count) override {
        this->input->process(out, count);
        for (int i = 0; i < count; ++i) {
            if (this->stage < this->stageCount) {
                this->stageSamples += 1;
                this->level += this->step;
                const auto& s = this->stages[this->stage];
                if (s.duration <= static_cast<float>(this->stageSamples)) {
                    this->level = s.target;
                    if (this->stage != this->stageCount - 1) this->startStage(this->stage + 1);
                    else this->stage = this->stageCount;
                }
            }
            const float v = this->level;
            out[i] *= kQuartic ? (v * v) * (v * v) : v;
        }
    }
};

template <typename Env>
class EnvelopeRuns : public ::testing::Test {};

struct PlainPair {
    using Fast = Envelope;
    using Slow = PerSampleWalk<Envelope, false>;
};
struct QuarticPair {
    using Fast = QuadEnv;
    using Slow = PerSampleWalk<QuadEnv, true>;
};
using EnvelopeKinds = ::testing::Types<PlainPair, QuarticPair>;
TYPED_TEST_SUITE(EnvelopeRuns, EnvelopeKinds);

TYPED_TEST(EnvelopeRuns, SameBitsAsThePerSampleWalk) {
    for (int block : {1, 7, 64, 256, 4096}) {
        Signal in1([](long n) { return std::sin(0.01f * static_cast<float>(n)); });
        Signal in2([](long n) { return std::sin(0.01f * static_cast<float>(n)); });
        typename TypeParam::Fast fast;
        typename TypeParam::Slow slow;
        fast.setInput(&in1);
        slow.setInput(&in2);
        for (Envelope* env : {static_cast<Envelope*>(&fast), static_cast<Envelope*>(&slow)}) {
            env->setSampleRate(44100.0f);
            addFiveStages(*env, 3.3f, 0.0f, 17.77f, 0.6f, 40.0f);
            env->setRetriggerMix(0.5f);
            env->startStage(0);
        }
        std::vector<float> a(static_cast<size_t>(block)), b = a;
        for (int step = 0; step < 40; ++step) {
            for (Envelope* env : {static_cast<Envelope*>(&fast), static_cast<Envelope*>(&slow)}) {
                if (step == 6) env->startStage(4);                    // release
                if (step == 9) env->startStage(0);                    // retrigger while releasing
                if (step == 12) env->setStage(5.0f, 0.9f, env->getStage());  // re-aim the running stage
                if (step == 16) env->setStage(std::nanf(""), 0.3f, 2);       // a decay that never ends
                if (step == 17) env->startStage(2);
                if (step == 24) env->setStage(1.0e9f, 0.25f, 2);             // 4.4e10 samples: coarse floats
                if (step == 25) env->startStage(2);
                if (step == 32) env->setStage(0.01f, 0.8f, 2);               // under one sample
                if (step == 33) env->startStage(1);
            }
            for (int repeat = 0; repeat < std::max(1, 1024 / block); ++repeat) {
                fast.process(a.data(), block);
                slow.process(b.data(), block);
                ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << "block " << block << " step " << step;
                ASSERT_EQ(std::bit_cast<std::uint32_t>(fast.getLevel()), std::bit_cast<std::uint32_t>(slow.getLevel()));
                ASSERT_EQ(fast.getStage(), slow.getStage());
            }
        }
    }
}

// Past 2^24 samples the elapsed count no longer fits a float exactly; the
// stage must still end on the very sample the per-sample walk ends it.
TYPED_TEST(EnvelopeRuns, AStageEndsOnTheSameSampleBeyondFloatResolution) {
    Signal in1([](long) { return 1.0f; }), in2([](long) { return 1.0f; });
    typename TypeParam::Fast fast;
    typename TypeParam::Slow slow;
    fast.setInput(&in1);
    slow.setInput(&in2);
    for (Envelope* env : {static_cast<Envelope*>(&fast), static_cast<Envelope*>(&slow)}) {
        env->setSampleRate(44100.0f);
        env->addStage(16777221.0f / 44.1f, 1.0f);
        env->addStage(1.0f, 0.5f);
        env->startStage(0);
    }
    std::vector<float> a(4096), b(4096);
    for (long done = 0; done < 16777216L + 4 * 4096; done += 4096) {
        fast.process(a.data(), 4096);
        slow.process(b.data(), 4096);
        ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << "at " << done;
    }
    EXPECT_EQ(fast.getStage(), 2);  // both stages really ended
}

TEST(QuadEnv, ScalesByTheFourthPowerOfTheLevel) {
    Envelope linear;
    QuadEnv quad;
    Signal a([](long n) { return std::sin(0.01f * n); }), b([](long n) { return std::sin(0.01f * n); });
    linear.setInput(&a);
    quad.setInput(&b);
    addFiveStages(linear, 20, 5, 30, 0.6f, 50);
    addFiveStages(quad, 20, 5, 30, 0.6f, 50);
    linear.startStage(0);
    quad.startStage(0);
    const std::vector<float> x = render(linear, 4000), y = render(quad, 4000);
    for (size_t i = 0; i < x.size(); ++i) {
        const float input = std::sin(0.01f * static_cast<float>(i));
        if (std::fabs(input) < 1e-3f) continue;
        const float level = x[i] / input;
        ASSERT_NEAR(y[i], input * level * level * level * level, 1e-5) << i;
    }
    EXPECT_NEAR(quad.getLevel(), 0.6f, 1e-6) << "the level itself is not raised";
}

TEST(Envelope, FiniteWithDegenerateTimesAndIndices) {
    Envelope env;
    Unit one(1.0f);
    env.setInput(&one);
    env.addStage(0, 1.0f);
    env.addStage(-5, 0.0f);
    env.addStage(1e-30f, 1000.0f);
    env.addStage(1e30f, 0.5f);
    env.startStage(0);
    std::vector<float> out = render(env, 2000);
    EXPECT_TRUE(TestSupport::allFinite(out.data(), 2000));
    EXPECT_EQ(out[0], 1.0f) << "a zero-time stage completes in one sample";
    EXPECT_EQ(out[2], 1000.0f);
    env.setStage(0, 0.0f, 3);  // shortened below the time already spent
    out = render(env, 10);
    EXPECT_TRUE(TestSupport::allFinite(out.data(), 10));
    EXPECT_EQ(out[0], 0.0f);
    env.startStage(300);  // outside the list: holds
    env.setStage(10, 1.0f, -1);
    out = render(env, 10);
    EXPECT_TRUE(TestSupport::allFinite(out.data(), 10));
    for (int i = 0; i < 300; ++i) env.addStage(1, 0.5f);  // more than the list holds
    EXPECT_EQ(env.getStageCount(), kMaxStages);
}

// ---- CubicEnv -----------------------------------------------------------------

class CubicShape : public ::testing::TestWithParam<float> {};

TEST_P(CubicShape, PassesItsShapeAtHalfTimeAndEndsOnTarget) {
    const float z = GetParam();
    CubicEnv env;
    Unit one(1.0f);
    env.setInput(&one);
    env.addStage(100, 1.0f, z);
    env.addStage(100, 0.0f, 0.5f);
    env.setSampleRate(1000);
    env.startStage(0);
    const std::vector<float> out = render(env, 100);
    EXPECT_NEAR(out[49], z, 1e-5);  // 50 samples in: start + z × (target − start)
    EXPECT_EQ(out[99], 1.0f);
    EXPECT_EQ(env.getStage(), 1);
    // A parabola: second differences are constant, 2 × (2 − 4z) / d².
    const float curvature = 2.0f * (2.0f - 4.0f * z) / (100.0f * 100.0f);
    for (int i = 2; i < 99; ++i)
        ASSERT_NEAR(out[static_cast<size_t>(i)] - 2 * out[static_cast<size_t>(i - 1)] + out[static_cast<size_t>(i - 2)],
                    curvature, 1e-6)
            << i;
    if (z == 0.5f) {
        for (int i = 0; i < 100; ++i) ASSERT_NEAR(out[static_cast<size_t>(i)], (i + 1) / 100.0f, 1e-6);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, CubicShape, ::testing::Values(0.5f, 0.25f, 0.75f, 0.1f, 0.9f));

TEST(CubicEnv, StageTimesAreAtLeastOneMillisecond) {
    CubicEnv env;
    Unit one(1.0f);
    env.setInput(&one);
    env.addStage(0, 1.0f, 0.5f);
    env.addStage(-3, 0.0f, 0.5f);
    env.startStage(0);  // 44.1 samples
    const std::vector<float> out = render(env, 100);
    EXPECT_LT(out[43], 1.0f);
    EXPECT_EQ(out[44], 1.0f);
    EXPECT_TRUE(TestSupport::allFinite(out.data(), 100));
    EXPECT_EQ(out[89], 0.0f);
}

TEST(CubicEnv, ChangingTheRunningStage) {
    CubicEnv env;
    Unit one(1.0f);
    env.setInput(&one);
    env.addStage(100, 1.0f, 0.25f);
    env.addStage(10000000.0f, 0.5f, 0.5f);
    env.addStage(100, 0.0f, 0.5f);
    env.setSampleRate(1000);
    env.startStage(0);
    render(env, 40);
    const float at40 = env.getLevel();
    // Finishes in a straight line to the new target over the 60 samples left.
    env.setStage(100, 0.5f, 0.9f, 0);  // the new shape applies from the next start
    const std::vector<float> rest = render(env, 60);
    for (int i = 0; i < 60; ++i)
        ASSERT_NEAR(rest[static_cast<size_t>(i)], at40 + (0.5f - at40) * (i + 1) / 60.0f, 1e-5) << i;
    EXPECT_EQ(env.getStage(), 1);
    // Holding on its target: a new target takes effect at once.
    env.setStageKeepShape(10000000.0f, 0.3f, 1);
    EXPECT_EQ(env.getLevel(), 0.3f);
    // setStageKeepShape changes time and target but keeps stage 0's shape 0.9.
    env.setStageKeepShape(200, 1.0f, 0);
    env.startStage(0);
    const std::vector<float> again = render(env, 200);
    EXPECT_NEAR(again[99], 0.3f + 0.9f * 0.7f, 1e-5);
    EXPECT_EQ(again[199], 1.0f);
}

TEST(CubicEnv, IndicesOutsideTheListAreIgnoredAndTheLevelHolds) {
    CubicEnv env;
    Unit one(1.0f);
    env.setInput(&one);
    env.addStage(10, 0.6f, 0.5f);
    env.addStage(10, 0.2f, 0.5f);
    env.startStage(300);
    EXPECT_EQ(env.getStage(), 2) << "finished";
    env.setStage(10, 5.0f, 0.5f, -1);
    env.setStageKeepShape(10, 5.0f, 256);
    const std::vector<float> held = render(env, 20);
    for (float v : held) ASSERT_EQ(v, 0.2f);
    for (int i = 0; i < 300; ++i) env.addStage(1, 0.5f, 0.5f);  // more than the list holds
    EXPECT_EQ(env.getStage(), kMaxStages) << "the list stops at its capacity";
}

// The parabolic envelope also runs stage-wise and holds a fixed level with one
// gain; against the per-sample walk it always ran (kept here) output, level
// and stage agree to the bit: the modulator layout (held zero stages, fades
// that end on a held level), a held stage re-aimed mid-run, a retrigger, a
// signed-zero level and fractional stage lengths, at every block split.
class CubicPerSampleWalk : public CubicEnv {
public:
    void process(float* out, int count) override {
        input->process(out, count);
        for (int i = 0; i < count; ++i) {
            if (stage < stageCount) {
                stageSamples += 1;
                level += velocity;
                velocity += acceleration;
                const Stage& s = stages[stage];
                if (s.duration <= static_cast<float>(stageSamples)) {
                    level = s.target;
                    if (stage != stageCount - 1) {
                        startStage(stage + 1);
                    } else {
                        velocity = acceleration = 0.0f;
                        stage = stageCount;
                    }
                }
            }
            out[i] *= level;
        }
    }
};

TEST(CubicEnv, SameBitsAsThePerSampleWalk) {
    for (int block : {1, 7, 64, 256, 4096}) {
        Signal in1([](long n) { return std::sin(0.013f * static_cast<float>(n)); });
        Signal in2([](long n) { return std::sin(0.013f * static_cast<float>(n)); });
        CubicEnv fast;
        CubicPerSampleWalk slow;
        fast.setInput(&in1);
        slow.setInput(&in2);
        for (CubicEnv* env : {static_cast<CubicEnv*>(&fast), static_cast<CubicEnv*>(&slow)}) {
            env->setSampleRate(44100.0f);
            env->addStage(0.0f, -0.0f, 0.5f);
            env->addStage(2.5f, -0.0f, 0.5f);
            env->addStage(3.3f, 1.0f, 0.25f);
            env->addStage(10000000.0f, 1.0f, 0.5f);
            env->addStage(4.71f, 0.0f, 0.8f);
            env->startStage(0);
        }
        std::vector<float> a(static_cast<size_t>(block)), b = a;
        for (int step = 0; step < 40; ++step) {
            for (CubicEnv* env : {static_cast<CubicEnv*>(&fast), static_cast<CubicEnv*>(&slow)}) {
                if (step == 8) env->setStage(10000000.0f, 0.7f, 0.5f, 3);  // the held level moves at once
                if (step == 12) env->startStage(4);                         // fade out
                if (step == 20) env->startStage(0);                         // again from the start
                if (step == 26) env->setStage(6.0f, 0.4f, 0.3f, env->getStage());  // re-aim the running stage
                if (step == 30) env->setStage(1.37f, 0.9f, 0.6f, 2);
                if (step == 31) env->startStage(2);
            }
            for (int repeat = 0; repeat < std::max(1, 1024 / block); ++repeat) {
                fast.process(a.data(), block);
                slow.process(b.data(), block);
                ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << "block " << block << " step " << step;
                ASSERT_EQ(std::bit_cast<std::uint32_t>(fast.getLevel()), std::bit_cast<std::uint32_t>(slow.getLevel()));
                ASSERT_EQ(fast.getStage(), slow.getStage());
            }
        }
    }
}

// ---- Ramp ---------------------------------------------------------------------

TEST(Ramp, LimitsTheSlopeToMaxStep) {
    Ramp ramp(2.0f);
    Signal step([](long n) { return n < 6 ? 2.0f : -1.0f; });
    ramp.setInput(&step);
    ramp.setSampleRate(1000);  // maxStep = 1000 / (2 × 1000) = 0.5
    EXPECT_FLOAT_EQ(ramp.getMaxStep(), 0.5f);
    EXPECT_FLOAT_EQ(ramp.getTime(), 2.0f);
    const std::vector<float> out = render(ramp, 14);
    const std::vector<float> expected = {0.5f, 1.0f, 1.5f, 2.0f, 2.0f, 2.0f, 1.5f, 1.0f, 0.5f, 0.0f, -0.5f, -1.0f, -1.0f, -1.0f};
    EXPECT_EQ(out, expected);
}

TEST(Ramp, SetCurrentAndAFrozenRampStayFinite) {
    Ramp ramp(1.0f);
    Unit level(3.0f);
    ramp.setInput(&level);
    ramp.setCurrent(3.0f);
    EXPECT_EQ(render(ramp, 4), std::vector<float>(4, 3.0f));
    ramp.setTime(std::numeric_limits<float>::infinity());  // maxStep 0: the output freezes
    const std::vector<float> frozen = render(ramp, 4);
    EXPECT_TRUE(TestSupport::allFinite(frozen.data(), 4)) << "0/0 when input equals the frozen output";
    EXPECT_EQ(frozen, std::vector<float>(4, 3.0f));
}

// ---- Portamento -------------------------------------------------------------

TEST(Portamento, HundredMillisecondGlideHalfWayAndSettlingPoints) {
    Portamento glide(100, 0.0f);
    Unit one(1.0f);
    glide.setInput(&one);
    const std::vector<float> out = render(glide, 20000);
    int half = -1, settled = -1;
    for (int i = 0; i < 20000; ++i) {
        if (half < 0 && out[static_cast<size_t>(i)] >= 0.5f) half = i;
        if (settled < 0 && out[static_cast<size_t>(i)] >= 0.999f) settled = i;
    }
    std::printf("[ measure  ] 100 ms glide at 44100 Hz: half-way at %d, 99.9 %% at %d samples\n", half, settled);
    EXPECT_NEAR(half, 1000, 50);
    EXPECT_NEAR(settled, 4410, 0.05 * 4410);
    // S-shaped: starts flat, rises monotonically and never overshoots.
    EXPECT_LT(out[0], 1e-6f);
    EXPECT_LT(out[10], 1e-3f);
    for (size_t i = 1; i < out.size(); ++i) ASSERT_GE(out[i], out[i - 1]) << i;
    EXPECT_LE(TestSupport::peak(out.data(), 20000), 1.0 + 1e-6);
    EXPECT_NEAR(out[19999], 1.0f, 1e-6);
}

// The glide worked out as a sum of three geometric series: fed a unit step
// from rest at 0, stage k holds (1 − p_k^(n+1)) / (1 − p_k) after sample n, with
// the poles and weights defined for 100 ms at 44100 Hz.
TEST(Portamento, StepResponseIsTheWeightedSumOfItsThreePoles) {
    Portamento glide(100, 0.0f);
    Unit one(1.0f);
    glide.setInput(&one);
    const std::vector<float> out = render(glide, 20000);
    const double p1 = 1.0 - 2.4 / (44100.0 * 100.0 * 0.001 * (2.0 / 7.0) + 10.0);
    const double poles[3] = {p1, p1 * 0.999, p1 * 0.998001};
    const double m = std::log(p1), o = std::log(0.999);
    const double t = 1.0 / (2.0 / (o + m) - 1.0 / (2.0 * o + m) - 1.0 / m);
    const double weights[3] = {t, -2.0 * t, t};
    int half = -1, settled = -1;
    for (int n = 0; n < 20000; ++n) {
        double y = 0.0;
        for (int k = 0; k < 3; ++k) y += weights[k] * (1.0 - std::pow(poles[k], n + 1)) / (1.0 - poles[k]);
        ASSERT_NEAR(out[static_cast<size_t>(n)], y, 1e-6) << n;
        if (half < 0 && y >= 0.5) half = n;
        if (settled < 0 && y >= 0.999) settled = n;
    }
    // The design's own figures: about 1000 and 4410 samples.
    EXPECT_NEAR(half, 1000, 20);
    EXPECT_NEAR(settled, 4410, 0.04 * 4410);
}

// The poles are re-designed for the new rate (the glide is longer in samples)
// and the state returns to the initial value. The 0.999 pole spacing is per
// sample, so the glide is somewhat shorter in milliseconds at higher rates.
TEST(Portamento, SampleRateRedesignsTheGlide) {
    auto halfWaySamples = [](float rate) {
        Portamento glide(100, 0.0f);
        Unit one(1.0f);
        glide.setInput(&one);
        render(glide, 100);
        glide.setSampleRate(rate);
        const std::vector<float> out = render(glide, static_cast<int>(rate / 4));
        EXPECT_LT(out[0], 1e-6f) << "state back at the initial value";
        int i = 0;
        while (out[static_cast<size_t>(i)] < 0.5f) ++i;
        return i;
    };
    const int at44 = halfWaySamples(44100), at96 = halfWaySamples(96000);
    EXPECT_NEAR(at44, 1000, 50);
    EXPECT_GT(at96, at44 * 3 / 2);
    EXPECT_LT(at96, at44 * 96 / 44);
}

TEST(Portamento, RestsOnItsCurrentValue) {
    Portamento glide(250, 0.0f);
    Unit pitch(440.0f);
    glide.setInput(&pitch);
    glide.setCurrent(440.0);
    const std::vector<float> out = render(glide, 20000);
    for (float v : out) ASSERT_NEAR(v, 440.0f, 440.0f * 1e-6f);
}

TEST(Portamento, SetTimeReturnsToTheInitialValue) {
    Portamento glide(20, 5.0f);
    Unit target(1.0f);
    glide.setInput(&target);
    render(glide, 10000);
    EXPECT_NEAR(render(glide, 1)[0], 1.0f, 1e-5);
    glide.setTime(20);
    EXPECT_EQ(glide.getTime(), 20.0);
    EXPECT_NEAR(render(glide, 1)[0], 5.0f, 1e-3) << "glides again from the constructor's value";
}

// ---- What they share ------------------------------------------------------------

namespace {

using Factory = std::function<std::unique_ptr<Base>(Processor* input)>;

struct Contract {
    const char* name;
    Factory make;
};

std::unique_ptr<Base> makeEnvelope(Processor* in) {
    auto env = std::make_unique<Envelope>();
    env->setInput(in);
    addFiveStages(*env, 3, 2, 5, 0.4f, 4);
    env->setSampleRate(8000);
    env->startStage(0);
    return env;
}

std::unique_ptr<Base> makeQuad(Processor* in) {
    auto env = std::make_unique<QuadEnv>();
    env->setInput(in);
    addFiveStages(*env, 3, 2, 5, 0.4f, 4);
    env->setSampleRate(8000);
    env->startStage(0);
    return env;
}

std::unique_ptr<Base> makeCubic(Processor* in) {
    auto env = std::make_unique<CubicEnv>();
    env->setInput(in);
    env->addStage(20, 1.0f, 0.25f);
    env->addStage(30, 0.3f, 0.75f);
    env->addStage(10, 0.0f, 0.5f);
    env->setSampleRate(8000);
    env->startStage(0);
    return env;
}

std::unique_ptr<Base> makeRamp(Processor* in) {
    auto ramp = std::make_unique<Ramp>(20.0f);
    ramp->setInput(in);
    return ramp;
}

std::unique_ptr<Base> makePortamento(Processor* in) {
    auto glide = std::make_unique<Portamento>(30, 0.0f);
    glide->setInput(in);
    return glide;
}

float wobble(long n) { return std::sin(0.003f * n) * 3.0f + (n % 300 < 150 ? 1.0f : -1.0f); }

}  // namespace

class SharedContract : public ::testing::TestWithParam<std::tuple<Contract, int>> {};

TEST_P(SharedContract, SameOutputWhateverTheBlockSplit) {
    const auto& [unit, block] = GetParam();
    Signal a(wobble), b(wobble);
    auto whole = unit.make(&a), split = unit.make(&b);
    const std::vector<float> expected = render(*whole, 3000, 3000), got = render(*split, 3000, block);
    ASSERT_TRUE(TestSupport::allFinite(expected.data(), 3000));
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], expected[i]) << unit.name << " at " << i;
}

INSTANTIATE_TEST_SUITE_P(Units, SharedContract,
                         ::testing::Combine(::testing::Values(Contract{"Envelope", makeEnvelope},
                                                              Contract{"QuadEnv", makeQuad},
                                                              Contract{"CubicEnv", makeCubic},
                                                              Contract{"Ramp", makeRamp},
                                                              Contract{"Portamento", makePortamento}),
                                            ::testing::Values(1, 7, 64, 256)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST(EnvelopeUnits, FiniteAtExtremeSettings) {
    Signal loud([](long n) { return (n & 1) ? 1e6f : -1e6f; });
    for (float ms : {0.0f, 1e-20f, 1e9f}) {
        Envelope env;
        QuadEnv quad;
        CubicEnv cubic;
        Ramp ramp(ms);
        Portamento glide(ms, 0.0f);
        Base* units[] = {&env, &quad, &cubic, &ramp, &glide};
        env.addStage(ms, 1.0f);
        env.addStage(ms, 0.0f);
        quad.addStage(ms, 1.0f);
        quad.addStage(ms, 0.0f);
        cubic.addStage(ms, 1.0f, 0.0f);
        cubic.addStage(ms, 0.0f, 1.0f);
        for (Base* u : units) {
            u->setInput(&loud);
            u->setSampleRate(192000);
        }
        env.startStage(0);
        quad.startStage(0);
        cubic.startStage(0);
        for (Base* u : units) {
            const std::vector<float> out = render(*u, 5000);
            ASSERT_TRUE(TestSupport::allFinite(out.data(), 5000)) << ms;
        }
    }
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST(EnvelopeUnits, ProcessNeverAllocates) {
    Signal in(wobble);
    auto env = makeEnvelope(&in), quad = makeQuad(&in), cubic = makeCubic(&in), ramp = makeRamp(&in),
         glide = makePortamento(&in);
    std::vector<float> out(kMaxBlock);
    TestSupport::AllocationScope scope;
    for (int size : {1, 64, kMaxBlock})
        for (Base* u : {env.get(), quad.get(), cubic.get(), ramp.get(), glide.get()}) u->process(out.data(), size);
    EXPECT_EQ(scope.stop().allocations, 0);
}
#endif
