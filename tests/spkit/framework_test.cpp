// The unit framework: control-rate ramps (filled, or worked out only where a
// unit reads them), update pacing, rate propagation through inputs, controls
// and adapters, and the constant source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "spkit/BlockMath.h"
#include "spkit/Delays.h"
#include "spkit/Filters.h"
#include "spkit/Framework.h"
#include "spkit/Gain.h"
#include "spkit/LFO.h"
#include "spkit/Oscillators.h"
#include "tests/spkit/UnitTestSupport.h"
#include "tests/support/AllocationCounter.h"

using namespace SPKit;

namespace {

// A control source that counts what it is asked for and emits 1, 2, 3, ...
class Counter : public Unit {
public:
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i) out[i] = static_cast<float>(++emitted);
        pulls += count;
    }
    int emitted = 0;
    int pulls = 0;
};

class Probe : public Controlled {
public:
    using Controlled::controlBuffer;
};

}  // namespace

TEST(Controlled, FirstBlockRampsFromZeroToFirstControlSample) {
    Counter source;
    Probe unit;
    unit.setControl(&source);
    unit.updateControl(16);
    ASSERT_EQ(source.pulls, 2);
    const float expected[16] = {0, 0.125f, 0.25f, 0.375f, 0.5f, 0.625f, 0.75f, 0.875f,
                                1, 1.125f, 1.25f, 1.375f, 1.5f, 1.625f, 1.75f, 1.875f};
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(unit.controlValues()[i], expected[i]) << i;
}

TEST(Controlled, ShortBlocksContinueTheRunningRampWithoutPulling) {
    Counter source;
    Probe unit;
    unit.setControl(&source);
    unit.updateControl(3);
    EXPECT_EQ(source.pulls, 1);
    unit.updateControl(5);  // the rest of the first ramp
    EXPECT_EQ(source.pulls, 1);
    EXPECT_FLOAT_EQ(unit.controlValues()[0], 0.375f);
    EXPECT_FLOAT_EQ(unit.controlValues()[4], 0.875f);
    unit.updateControl(1);
    EXPECT_EQ(source.pulls, 2);
    EXPECT_FLOAT_EQ(unit.controlValues()[0], 1.0f);
}

TEST(Controlled, SplitBlocksMatchOneBlock) {
    Counter a, b;
    Probe whole, split;
    whole.setControl(&a);
    split.setControl(&b);
    whole.updateControl(100);
    std::vector<float> expected(whole.controlValues(), whole.controlValues() + 100);
    std::vector<float> got;
    for (int size : {1, 7, 13, 64, 15}) {
        split.updateControl(size);
        got.insert(got.end(), split.controlValues(), split.controlValues() + size);
    }
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_FLOAT_EQ(got[i], expected[i]) << i;
}

TEST(Controlled, FullSizeBlockReadsPulledSamplesBeforeOverwritingThem) {
    Counter source;
    Probe unit;
    unit.setControl(&source);
    unit.updateControl(kMaxBlock);
    EXPECT_EQ(source.pulls, kMaxBlock / 8);
    EXPECT_FLOAT_EQ(unit.controlValues()[kMaxBlock - 1], (kMaxBlock / 8 - 1) + 7 * 0.125f);
}

TEST(Controlled, NeedsUpdatePacing) {
    Probe unit;
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(unit.needsUpdate());
    Unit source(1.0f);
    unit.setControl(&source);
    std::vector<bool> answers;
    for (int i = 0; i < 17; ++i) answers.push_back(unit.needsUpdate());
    for (int i = 0; i < 17; ++i) EXPECT_EQ(answers[static_cast<size_t>(i)], i % 8 == 0) << i;
    unit.needsUpdate();
    unit.setUpdateInterval(3);
    EXPECT_TRUE(unit.needsUpdate());
    EXPECT_FALSE(unit.needsUpdate());
    EXPECT_FALSE(unit.needsUpdate());
    EXPECT_TRUE(unit.needsUpdate());
}

TEST(Controlled, UnconnectedUpdateKeepsTheBufferUntouched) {
    Probe unit;
    unit.updateControl(8);
    EXPECT_FLOAT_EQ(unit.controlValues()[0], -10000000.0f);
}

TEST(SampleRate, PropagatesThroughInputsControlsAndAdapters) {
    Unit source;
    Unit controlSource;
    Controlled unit;
    unit.setInput(&source);
    unit.setControl(&controlSource);
    unit.setSampleRate(48000.0f);
    EXPECT_FLOAT_EQ(source.getSampleRate(), 48000.0f);
    EXPECT_FLOAT_EQ(controlSource.getSampleRate(), 6000.0f);

    Unit audio;
    ControlAdapter adapter;
    adapter.setInput(&audio);
    adapter.setSampleRate(6000.0f);
    EXPECT_FLOAT_EQ(adapter.getSampleRate(), 48000.0f);
    EXPECT_FLOAT_EQ(audio.getSampleRate(), 48000.0f);
}

TEST(SampleRate, ConnectingPushesTheConsumersRate) {
    Controlled unit;
    unit.setSampleRate(96000.0f);
    Unit source, controlSource;
    unit.setInput(&source);
    unit.setControl(&controlSource);
    EXPECT_FLOAT_EQ(source.getSampleRate(), 96000.0f);
    EXPECT_FLOAT_EQ(controlSource.getSampleRate(), 12000.0f);
}

TEST(ControlAdapter, ReturnsEveryEighthSample) {
    Counter audio;
    ControlAdapter adapter;
    adapter.setInput(&audio);
    float out[3];
    adapter.process(out, 3);
    EXPECT_EQ(audio.pulls, 24);
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(out[1], 9.0f);
    EXPECT_FLOAT_EQ(out[2], 17.0f);
}

TEST(Unit, WritesItsValueEverywhereAndIgnoresInputs) {
    Unit unit(0.25f);
    Unit other(3.0f);
    unit.setInput(&other);
    EXPECT_EQ(unit.getInput(), nullptr);
    std::vector<float> out(37, -1.0f);
    unit.process(out.data(), 37);
    for (float v : out) EXPECT_EQ(v, 0.25f);
}

TEST(InputAdapter, HandsOutCallerSamplesInOrder) {
    const float data[6] = {1, 2, 3, 4, 5, 6};
    InputAdapter adapter;
    adapter.setSource(data, 6);
    float out[4];
    adapter.process(out, 4);
    EXPECT_EQ(out[3], 4.0f);
    adapter.process(out, 2);
    EXPECT_EQ(out[0], 5.0f);
    EXPECT_EQ(adapter.getRemaining(), 0);
    adapter.setSampleRate(22050.0f);
    EXPECT_FLOAT_EQ(adapter.getSampleRate(), 22050.0f);
}

TEST(Buffered, BuffersAreAlignedAndZeroed) {
    struct Probe : Buffered {
        using Buffered::buffer;
    } unit;
    EXPECT_EQ(unit.getBufferSize(), kMaxBlock);
    unit.setBufferSize(1001);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(unit.buffer) % 16, 0u);
    for (int i = 0; i < 1001; ++i) ASSERT_EQ(unit.buffer[i], 0.0f);
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST(Controlled, ProcessingDoesNotAllocate) {
    Unit source(1.0f), controlSource(2.0f);
    Controlled unit;
    unit.setInput(&source);
    unit.setControl(&controlSource);
    std::vector<float> out(kMaxBlock);
    TestSupport::AllocationScope scope;
    for (int i = 0; i < 10; ++i) unit.process(out.data(), 1 + i * 300);
    EXPECT_EQ(scope.stop().allocations, 0);
}
#endif

// Hours of playback push the running counts past INT_MAX; they must wrap, not
// overflow (undefined behaviour that sanitizer builds trap).
TEST(Controlled, RunningCountsWrapInsteadOfOverflowing) {
    struct Counts : Controlled {
        using Controlled::controlSamplesPulled;
        using Controlled::samplesProcessed;
    } unit;
    Unit source(1.0f);
    unit.setControl(&source);
    unit.updateControl(8);
    unit.samplesProcessed = 2147483647 - 3;
    unit.controlSamplesPulled = 2147483647;
    unit.updateControl(8);
    EXPECT_EQ(unit.samplesProcessed, -2147483647 - 1 + 4);
    EXPECT_EQ(unit.controlSamplesPulled, -2147483647 - 1);
}

// ---- Block arithmetic ----------------------------------------------------------

namespace {

// Values that tell operation orders and signed zeros apart: tiny, huge,
// subnormal, both zeros, infinities and a NaN among ordinary samples.
std::vector<float> awkwardValues(int count, unsigned seed) {
    const float specials[] = {-0.0f, 0.0f, 1.0e-40f, -3.0e38f, 3.0e38f, std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(), std::nanf(""), 1.0f, -1.0f, 0.1f};
    std::vector<float> v(static_cast<size_t>(count));
    for (auto& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = (seed >> 28) < 5 ? specials[(seed >> 8) % 11] : static_cast<float>(static_cast<int>(seed >> 9) - 4194304) * 1.7e-6f;
    }
    return v;
}

bool sameBlock(const std::vector<float>& a, const std::vector<float>& b) {
    return std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

}  // namespace

// Each vector operation writes the bits its plain per-sample expression
// gives, for every length (whole groups of four and the tail) and start.
TEST(BlockMath, EveryOperationMatchesItsPerSampleExpression) {
    int cases = 0, mismatches = 0;
    for (int count = 0; count <= 13; ++count) {
        for (int offset = 0; offset < 3; ++offset) {
            const auto x = awkwardValues(count + offset, 3u + static_cast<unsigned>(count * 7 + offset));
            const auto y = awkwardValues(count + offset, 11u + static_cast<unsigned>(count * 5 + offset));
            for (float c : {0.7f, 1.0f, -0.0f, 0.0f, -2.5f, std::numeric_limits<float>::infinity(), std::nanf("")}) {
                const auto check = [&](auto vec, auto one) {
                    std::vector<float> got = x, want = x;
                    vec(got.data() + offset, y.data() + offset, count);
                    for (int i = offset; i < count + offset; ++i) want[static_cast<size_t>(i)] = one(x[static_cast<size_t>(i)], y[static_cast<size_t>(i)]);
                    mismatches += !sameBlock(got, want);
                    ++cases;
                };
                check([&](float* d, const float*, int n) { BlockMath::scale(d, n, c); }, [&](float a, float) { return a * c; });
                check([&](float* d, const float* e, int n) { BlockMath::multiply(d, e, n); }, [](float a, float b) { return a * b; });
                check([&](float* d, const float* e, int n) { BlockMath::add(d, e, n); }, [](float a, float b) { return a + b; });
                check([&](float* d, const float*, int n) { BlockMath::addTo(c, d, n); }, [&](float a, float) { return c + a; });
                check([&](float* d, const float*, int n) { BlockMath::multiplyTo(c, d, n); }, [&](float a, float) { return c * a; });
                check([&](float* d, const float*, int n) { BlockMath::offset(d, n, c); }, [&](float a, float) { return a + c; });
                check([&](float* d, const float*, int n) { BlockMath::affine(d, n, c, 0.3f); }, [&](float a, float) { return a * c + 0.3f; });
                check([&](float* d, const float*, int n) { BlockMath::fill(d, n, c); }, [&](float, float) { return c; });
                check([&](float* d, const float* e, int n) { BlockMath::copy(d, e, n); }, [](float, float b) { return b; });
                check([&](float* d, const float*, int n) { BlockMath::fourthPower(d, n); }, [](float a, float) { return a * a * a * a; });
                for (float hi : {1.0f, -0.5f, std::nanf("")})
                    check([&](float* d, const float*, int n) { BlockMath::clamp(d, n, c, hi); },
                          [&](float a, float) { return a < c ? c : (a > hi ? hi : a); });
            }
        }
    }
    EXPECT_EQ(mismatches, 0) << "of " << cases;
}

// ---- Ramps worked out where they are read ----------------------------------

namespace {

// A control that wanders over four decades with uneven steps, so the ramp's
// additions round differently from sample to sample, with one NaN and one
// infinity on the way.
class Wander : public Unit {
public:
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i, ++k) {
            out[i] = static_cast<float>(300.0 * std::exp2(3.3 * std::sin(k * 0.37) + 0.01 * (k % 7)));
            if (k == 333) out[i] = std::nanf("");
            if (k == 555) out[i] = std::numeric_limits<float>::infinity();
        }
    }

private:
    long k = 0;
};

struct OnDemandProbe : Controlled {
    OnDemandProbe() { rampsOnDemand = true; }
    using Controlled::controlAt;
    using Controlled::fillRampPerSample;
};

// Held stretches (a signed zero among them) between jumps, as parameter
// controls deliver them.
class Steps : public Unit {
public:
    void process(float* out, int count) override {
        static constexpr float kLevels[] = {-0.0f, 0.0f, 5.0f, 5.0f, -3.25f, 1.0e-30f, 7.0e30f};
        for (int i = 0; i < count; ++i, ++k) out[i] = kLevels[(k / 5) % 7];
    }

private:
    long k = 0;
};

bool sameFloat(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

// A ramp left to controlAt gives, at every sample of every block, the bits
// the filled ramp holds there, and ends each block where the fill ends it.
TEST(ControlRamps, ValuesWorkedOutOnDemandMatchTheFilledRampAtEveryBlockSplit) {
    for (int block : {1, 7, 64, 256, 4096}) {
        Wander a, b;
        Probe filled;
        OnDemandProbe onDemand;
        filled.setControl(&a);
        onDemand.setControl(&b);
        int mismatches = 0;
        for (int done = 0; done < 12000; done += block) {
            const int n = std::min(block, 12000 - done);
            filled.updateControl(n);
            onDemand.updateControl(n);
            for (int j = 0; j < n; ++j) mismatches += !sameFloat(onDemand.controlAt(j), filled.controlValues()[j]);
        }
        EXPECT_EQ(mismatches, 0) << "blocks of " << block;
        EXPECT_EQ(a.getValue(), b.getValue());
        // Asked for the whole view, the on-demand ramp fills it with the same values.
        filled.updateControl(300);
        onDemand.updateControl(300);
        EXPECT_EQ(std::memcmp(filled.controlValues(), onDemand.controlValues(), 300 * sizeof(float)), 0) << block;
    }
}

// The fill steps four ramps abreast; against the per-sample fill it must
// write the same bits at every sample, for every block length (heads of every
// phase, partial last ramps, the largest block whose pulled samples the fill
// writes over) and for wandering, non-finite and held controls.
TEST(ControlRamps, FourAbreastFillMatchesThePerSampleFill) {
    const int splits[] = {1, 3, 7, 8, 9, 31, 32, 33, 64, 100, 256, 4095, 4096, 4089};
    for (int source = 0; source < 2; ++source) {
        Wander wander;
        Steps steps;
        OnDemandProbe probe;
        probe.setControl(source == 0 ? static_cast<Processor*>(&wander) : static_cast<Processor*>(&steps));
        std::vector<float> reference(kMaxBlock);
        int mismatches = 0;
        for (int round = 0; round < 6; ++round) {
            for (int n : splits) {
                probe.updateControl(n);
                probe.fillRampPerSample(reference.data());
                mismatches += std::memcmp(probe.controlValues(), reference.data(), static_cast<size_t>(n) * sizeof(float)) != 0;
            }
        }
        EXPECT_EQ(mismatches, 0) << (source == 0 ? "wandering control" : "held control");
    }
}

namespace {

// The same unit made to fill its ramp before it reads it: the reference the
// on-demand reads must match.
template <class U>
struct Filled : U {
    void updateControl(int count) override {
        U::updateControl(count);
        this->fillRamp();
    }
};

template <class U, class Setup, class Control = Wander>
std::vector<float> renderUnit(float rate, int block, Setup setup) {
    UnitTestSupport::Noise input(7, 0.5f);
    Control control;
    U unit;
    setup(unit);
    unit.setInput(&input);
    unit.setControl(&control);
    unit.setSampleRate(rate);
    std::vector<float> out(9000);
    for (size_t i = 0; i < out.size(); i += static_cast<size_t>(block))
        unit.process(&out[i], static_cast<int>(std::min<size_t>(static_cast<size_t>(block), out.size() - i)));
    return out;
}

template <class U, class Setup>
void expectSameAsFilled(const char* name, Setup setup) {
    for (float rate : {44100.0f, 96000.0f, 192000.0f}) {
        for (int block : {1, 7, 64, 256, 4096}) {
            const std::vector<float> reference = renderUnit<Filled<U>>(rate, block, setup);
            const std::vector<float> got = renderUnit<U>(rate, block, setup);
            EXPECT_EQ(std::memcmp(got.data(), reference.data(), got.size() * sizeof(float)), 0)
                << name << " at " << rate << " Hz in blocks of " << block;
        }
    }
}

}  // namespace

// The modulated gain scales a block whose ramp holds one value by that value
// without filling the ramp; whether held (a signed zero among the holds),
// stepping or wandering through NaN and infinity, it renders what the filled
// ramp gives, at every rate and block split, and keeps the same last gain.
TEST(ControlRamps, ModulatedGainOnAHeldRampRendersAsFromTheFilledRamp) {
    for (float rate : {44100.0f, 96000.0f}) {
        for (int block : {1, 7, 8, 64, 256, 4096}) {
            const auto none = [](ModGain&) {};
            const auto heldRef = renderUnit<Filled<ModGain>, decltype(none), Steps>(rate, block, none);
            const auto held = renderUnit<ModGain, decltype(none), Steps>(rate, block, none);
            EXPECT_EQ(std::memcmp(held.data(), heldRef.data(), held.size() * sizeof(float)), 0) << rate << " " << block;
            const auto wanderRef = renderUnit<Filled<ModGain>>(rate, block, none);
            const auto wander = renderUnit<ModGain>(rate, block, none);
            EXPECT_EQ(std::memcmp(wander.data(), wanderRef.data(), wander.size() * sizeof(float)), 0) << rate << " " << block;
        }
    }
    Steps control;
    ModGain unit;
    Unit one(1.0f);
    unit.setInput(&one);
    unit.setControl(&control);
    std::vector<float> out(64);
    for (int i = 0; i < 5; ++i) unit.process(out.data(), 64);
    EXPECT_EQ(unit.getGain(), out[63]);
    EXPECT_EQ(std::memcmp(unit.controlValues(), out.data(), 64 * sizeof(float)), 0) << "the view fills on request";
}

// Every unit that reads its control only at its update points renders, with
// its ramp left unfilled, exactly what it renders from the filled ramp.
TEST(ControlRamps, UnitsReadingAtUpdatePointsRenderAsFromTheFilledRamp) {
    expectSameAsFilled<ResonantLowPass>("resonant low-pass", [](ResonantLowPass& u) { u.setResonance(0.6f); });
    expectSameAsFilled<ChamberlinHighPass>("state-variable high-pass", [](ChamberlinHighPass& u) { u.setResonance(0.3f); });
    expectSameAsFilled<BiQuad>("biquad", [](BiQuad& u) { u.setFrequency(900.0f); });
    expectSameAsFilled<ModDelay>("modulated delay", [](ModDelay&) {});
    expectSameAsFilled<LFO>("LFO", [](LFO&) {});
    expectSameAsFilled<Squarewave>("square", [](Squarewave&) {});
    Wavetable tables;
    WavetableManager::global().getWavetable(tables);
    expectSameAsFilled<MultiOscillator>("oscillator", [&](MultiOscillator& u) {
        u.setWavetable(tables);
        u.setDetune(0.01f);
        u.setStereoSpread(0.5f);
    });
}
