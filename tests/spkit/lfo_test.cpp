// The sine LFO as a signal: its start at cosine phase, the frequency and
// amplitude it really produces, long-run stability, continuity across
// frequency changes, control-rate following and restart, and a bank of LFOs run
// together (written or only advanced) against the same LFOs run alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "spkit/LFO.h"
#include "tests/spkit/UnitTestSupport.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/AudioAnalysis.h"

using namespace SPKit;
using UnitTestSupport::RateProbe;
using UnitTestSupport::render;

namespace {

double designCoefficient(double f, double rate) { return 2.0 * std::sin(std::numbers::pi * f / rate); }

}  // namespace

TEST(LFO, StartsAtOneThenOneMinusKSquared) {
    LFO lfo;
    EXPECT_NEAR(lfo.coefficient(), designCoefficient(440, 44100), 1e-6);
    lfo.setSampleRate(48000);
    lfo.setFrequency(5);
    render(lfo, 100);  // move away from the start
    lfo.restart();
    const float k = lfo.coefficient();
    float out[2];
    lfo.process(out, 2);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(out[1], 1.0f - k * k);
}

TEST(LFO, ZeroFrequencyHoldsTheCurrentValue) {
    LFO lfo;
    lfo.setFrequency(3);
    render(lfo, 1234);
    lfo.setFrequency(0);
    EXPECT_EQ(lfo.coefficient(), 0.0f);
    const std::vector<float> held = render(lfo, 1000);
    for (float v : held) ASSERT_EQ(v, held[0]);
}

TEST(LFO, OneHertzReturnsToOneAfterOneSecond) {
    LFO lfo;
    lfo.setFrequency(1);
    const std::vector<float> out = render(lfo, 44101);
    EXPECT_NEAR(out[44100], 1.0f, 1e-3);  // sample 44100 is t = 1 s; sample 0 is t = 0
}

struct Tone {
    float rate, frequency;
};

class LfoTone : public ::testing::TestWithParam<Tone> {};

TEST_P(LfoTone, ProducesItsFrequencyAtUnitAmplitude) {
    const Tone t = GetParam();
    LFO lfo;
    lfo.setSampleRate(t.rate);
    lfo.setFrequency(t.frequency);
    const int samples = static_cast<int>(t.rate * 4);
    const std::vector<float> out = render(lfo, samples, 100);
    EXPECT_NEAR(TestSupport::zeroCrossingFrequency(out.data(), samples, t.rate), t.frequency, t.frequency * 1e-3);
    // The orbit x² + y² − k·x·y = 1 is slightly elliptical: x swings to 1/√(1 − k²/4).
    const double k = designCoefficient(t.frequency, t.rate);
    const double amplitude = 1.0 / std::sqrt(1.0 - k * k / 4.0);
    EXPECT_NEAR(TestSupport::toneAmplitude(out.data(), samples, t.frequency, t.rate), amplitude, 2e-3);
    EXPECT_LE(TestSupport::peak(out.data(), samples), amplitude + 1e-5);
    EXPECT_GT(TestSupport::peak(out.data(), samples), amplitude * std::cos(std::numbers::pi * t.frequency / t.rate) - 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Grid, LfoTone,
                         ::testing::Values(Tone{44100, 0.5f}, Tone{44100, 5}, Tone{44100, 148.4f}, Tone{48000, 10},
                                           Tone{96000, 2}, Tone{5512.5f, 20}, Tone{44100, 2000}));

TEST(LFO, AmplitudeHoldsOverMinutes) {
    LFO lfo;
    lfo.setFrequency(7.3f);
    const std::vector<float> first = render(lfo, 44100);
    for (int block = 0; block < 200; ++block) render(lfo, 44100);  // about 3.4 minutes
    const std::vector<float> late = render(lfo, 44100);
    EXPECT_NEAR(TestSupport::peak(late.data(), 44100), TestSupport::peak(first.data(), 44100), 1e-4);
}

TEST(LFO, FrequencyChangesContinueWithoutAJump) {
    LFO lfo;
    lfo.setFrequency(2);
    std::vector<float> out = render(lfo, 3000);
    lfo.setFrequency(50);
    const std::vector<float> after = render(lfo, 3000);
    out.insert(out.end(), after.begin(), after.end());
    const double largestStep = designCoefficient(50, 44100) * 1.01;  // |Δx| ≤ k·|y| ≤ k·peak
    for (size_t i = 1; i < out.size(); ++i) ASSERT_LT(std::fabs(out[i] - out[i - 1]), largestStep) << i;
}

TEST(LFO, SampleRateRecomputesTheCoefficientAndReachesTheControlAtAnEighth) {
    LFO lfo;
    RateProbe control(3.0f);
    lfo.setControl(&control);
    lfo.setFrequency(3);
    lfo.setSampleRate(48000);
    EXPECT_NEAR(lfo.coefficient(), designCoefficient(3, 48000), 1e-7);
    EXPECT_FLOAT_EQ(control.lastRate, 6000.0f);
}

TEST(LFO, FollowsItsControlEveryEighthSample) {
    LFO lfo;
    Unit rate(100.0f);
    lfo.setControl(&rate);
    std::vector<float> out = render(lfo, 44100 + 16, 64);
    EXPECT_FLOAT_EQ(lfo.getFrequency(), 100.0f);
    EXPECT_NEAR(TestSupport::zeroCrossingFrequency(out.data() + 16, 44100, 44100), 100.0, 0.1);
}

class LfoBlocks : public ::testing::TestWithParam<int> {};

// Free-running the split never matters; under control the frequency is taken
// at every eighth sample of a block, so splits that are multiples of 8 agree.
TEST_P(LfoBlocks, SameOutputWhateverTheBlockSplit) {
    const int block = GetParam();
    LFO free, freeWhole;
    free.setFrequency(9);
    freeWhole.setFrequency(9);
    const std::vector<float> a = render(free, 4000, block), b = render(freeWhole, 4000, 4000);
    for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i], b[i]) << i;
    if (block % 8 == 0) {
        Unit r1(30.0f), r2(30.0f);
        LFO led, ledWhole;
        led.setControl(&r1);
        ledWhole.setControl(&r2);
        const std::vector<float> c = render(led, 4000, block), d = render(ledWhole, 4000, 4000);
        for (size_t i = 0; i < c.size(); ++i) ASSERT_EQ(c[i], d[i]) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, LfoBlocks, ::testing::Values(1, 7, 8, 64, 256));

TEST(LFO, RestartEqualsFresh) {
    LFO used, fresh;
    used.setFrequency(6);
    fresh.setFrequency(6);
    render(used, 777);
    used.restart();
    EXPECT_EQ(render(used, 2000), render(fresh, 2000));
}

TEST(LFO, SetPhaseStoresButDoesNotMoveTheSinusoid) {
    LFO moved, plain;
    moved.setPhase(1.5f);
    EXPECT_EQ(moved.getPhase(), 1.5f);
    EXPECT_EQ(render(moved, 100), render(plain, 100));
}

TEST(LFO, FiniteAtTheEndsOfItsRange) {
    for (float f : {0.0f, 0.0067f, 148.4f, 20000.0f, -5.0f}) {
        LFO lfo;
        lfo.setFrequency(f);
        const std::vector<float> out = render(lfo, 100000);
        ASSERT_TRUE(TestSupport::allFinite(out.data(), 100000)) << f;
        EXPECT_LT(TestSupport::peak(out.data(), 100000), 1.0 / std::sqrt(1.0 - std::pow(designCoefficient(f, 44100), 2) / 4.0) + 1e-4)
            << f;
    }
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST(LFO, ProcessNeverAllocates) {
    LFO lfo;
    Unit rate(4.0f);
    lfo.setControl(&rate);
    std::vector<float> out(kMaxBlock);
    TestSupport::AllocationScope scope;
    for (int size : {1, 8, 100, kMaxBlock}) lfo.process(out.data(), size);
    EXPECT_EQ(scope.stop().allocations, 0);
}
#endif

// ------------------------------------------------------------------ LFOs run together

namespace {

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Five LFOs at unrelated rates, each left mid-cycle at a different point, as a
// bank of drift sources stands after a while (five: one group of four and one left over).
std::vector<std::unique_ptr<LFO>> makeBank() {
    static constexpr float kRates[] = {0.37f, 1.9f, 4.4f, 13.0f, 0.05f};
    std::vector<std::unique_ptr<LFO>> bank;
    std::vector<float> scratch(kMaxBlock);
    for (int j = 0; j < 5; ++j) {
        bank.push_back(std::make_unique<LFO>());
        bank.back()->setFrequency(kRates[j]);
        bank.back()->process(scratch.data(), 100 + 333 * j);
    }
    return bank;
}

std::vector<LFO*> pointers(const std::vector<std::unique_ptr<LFO>>& bank) {
    std::vector<LFO*> p;
    for (const auto& lfo : bank) p.push_back(lfo.get());
    return p;
}

}  // namespace

class LfoTogether : public ::testing::TestWithParam<int> {};

TEST_P(LfoTogether, SamplesMatchSeparateRunsBitForBit) {
    const int block = GetParam(), total = 20000;
    auto alone = makeBank(), together = makeBank();
    const std::vector<LFO*> group = pointers(together);
    std::vector<std::vector<float>> a(5, std::vector<float>(total)), b = a;
    for (int i = 0; i < total; i += block) {
        const int n = std::min(block, total - i);
        float* outs[5];
        for (int j = 0; j < 5; ++j) {
            alone[j]->process(&a[j][i], n);
            outs[j] = &b[j][i];
        }
        LFO::processTogether(group.data(), outs, 5, n);
    }
    for (int j = 0; j < 5; ++j) EXPECT_TRUE(sameBits(a[j], b[j])) << "LFO " << j;
}

// Skipping the samples must leave every LFO where hearing them would have, so
// a consumer that starts listening later hears what it always would have.
TEST_P(LfoTogether, AdvancingKeepsThePhaseOfARunThatWasHeard) {
    const int block = GetParam(), total = 20000, after = 3000;
    auto heard = makeBank(), skipped = makeBank(), single = makeBank();
    const std::vector<LFO*> group = pointers(skipped);
    std::vector<float> scratch(kMaxBlock);
    for (int i = 0; i < total; i += block) {
        const int n = std::min(block, total - i);
        for (auto& lfo : heard) lfo->process(scratch.data(), n);
        for (auto& lfo : single) lfo->advance(n);
        LFO::processTogether(group.data(), nullptr, 5, n);
    }
    for (int j = 0; j < 5; ++j) {
        const std::vector<float> expected = render(*heard[j], after, block);
        EXPECT_TRUE(sameBits(render(*skipped[j], after, block), expected)) << "LFO " << j;
        EXPECT_TRUE(sameBits(render(*single[j], after, block), expected)) << "LFO " << j;
    }
}

INSTANTIATE_TEST_SUITE_P(Blocks, LfoTogether, ::testing::Values(1, 7, 256, kMaxBlock));

// An LFO under control cannot join the free-running group; it still follows
// its control exactly as alone, written or only advanced.
TEST(LFO, ControlledMemberOfAGroupFollowsItsControl) {
    Unit rate1(25.0f), rate2(25.0f), rate3(25.0f);
    auto alone = makeBank(), together = makeBank(), advanced = makeBank();
    alone[1]->setControl(&rate1);
    together[1]->setControl(&rate2);
    advanced[1]->setControl(&rate3);
    const std::vector<LFO*> group = pointers(together), quiet = pointers(advanced);
    std::vector<std::vector<float>> a(5, std::vector<float>(4096)), b = a;
    float* outs[5];
    for (int j = 0; j < 5; ++j) {
        alone[j]->process(a[j].data(), 4096);
        outs[j] = b[j].data();
    }
    LFO::processTogether(group.data(), outs, 5, 4096);
    LFO::processTogether(quiet.data(), nullptr, 5, 4096);
    for (int j = 0; j < 5; ++j) {
        EXPECT_TRUE(sameBits(a[j], b[j])) << "LFO " << j;
        EXPECT_EQ(advanced[j]->state().x, alone[j]->state().x) << "LFO " << j;
        EXPECT_EQ(advanced[j]->state().y, alone[j]->state().y) << "LFO " << j;
    }
    EXPECT_NEAR(together[1]->getFrequency(), 25.0f, 1e-4);
}

TEST(LFO, FiniteUntilItsRateIsNot) {
    LFO lfo;
    lfo.setFrequency(3);
    lfo.advance(1000);
    EXPECT_TRUE(lfo.isFinite());
    lfo.setFrequency(std::nanf(""));
    EXPECT_FALSE(lfo.isFinite());
    lfo.advance(10);
    lfo.setFrequency(3);  // a NaN state stays NaN: the run it came from was not all numbers
    EXPECT_FALSE(lfo.isFinite());
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST(LFO, RunningTogetherNeverAllocates) {
    auto bank = makeBank();
    const std::vector<LFO*> group = pointers(bank);
    std::vector<std::vector<float>> out(5, std::vector<float>(kMaxBlock));
    float* outs[5] = {out[0].data(), out[1].data(), out[2].data(), out[3].data(), out[4].data()};
    TestSupport::AllocationScope scope;
    LFO::processTogether(group.data(), outs, 5, kMaxBlock);
    LFO::processTogether(group.data(), nullptr, 5, kMaxBlock);
    bank[0]->advance(64);
    EXPECT_EQ(scope.stop().allocations, 0);
}
#endif
