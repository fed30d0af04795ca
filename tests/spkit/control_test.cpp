// Control arithmetic units: the per-sample maps against their formulas, the
// list units (sum, product, selector) and their bookkeeping, the fan-out's
// once-per-block pull, bypass, the mute's fade and keep-alive, the fast
// logarithm's exact points and accuracy, and the smoother's response.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "spkit/Control.h"
#include "tests/support/AudioAnalysis.h"

using namespace SPKit;

namespace {

// Counts blocks and samples pulled and rate settings; emits 1, 2, 3, ... scaled.
class Spy : public Unit {
public:
    explicit Spy(float scale = 1.0f) : scale(scale) {}
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i) out[i] = scale * static_cast<float>(++emitted);
        ++blocks;
    }
    void setSampleRate(float rate) override {
        Unit::setSampleRate(rate);
        ++rateCalls;
    }
    float scale;
    int emitted = 0;
    int blocks = 0;
    int rateCalls = 0;
};

std::vector<float> pull(Processor& unit, int count) {
    std::vector<float> out(static_cast<size_t>(count));
    unit.process(out.data(), count);
    return out;
}

std::vector<float> through(Processor& unit, const std::vector<float>& x) {
    InputAdapter source;
    source.setSource(x.data(), static_cast<int>(x.size()));
    unit.setInput(&source);
    auto y = pull(unit, static_cast<int>(x.size()));
    unit.setInput(nullptr);
    return y;
}

// ---- Per-sample maps against their formulas --------------------------------

struct MapCase {
    std::string name;
    std::function<Processor*()> make;
    std::function<double(double)> formula;
    double tolerance;  // relative
};

std::vector<MapCase> mapCases() {
    return {
        {"OffsetShifts", [] { return new Offset(-0.75f); }, [](double x) { return x - 0.75; }, 1e-7},
        {"LinearScalesAndShifts", [] { auto* u = new Linear(); u->setScaleOffset(-2.0f, 0.5f); return u; },
         [](double x) { return -2.0 * x + 0.5; }, 1e-7},
        {"OctaveOfFortyIsTwentyOctavesPerUnit", [] { auto* u = new Octave(); u->setOctaves(40.0f); return u; },
         [](double x) { return std::pow(2.0, 20.0 * x); }, 1e-5},
        {"OctaveOfTwoDoublesPerUnit", [] { return new Octave(2.0f); }, [](double x) { return std::pow(2.0, x); }, 1e-6},
        {"PowerRaisesItsBase", [] { auto* u = new Power(); u->setBase(10.0f); return u; },
         [](double x) { return std::pow(10.0, x); }, 1e-5},
        {"DecibelIsTheFourthPower", [] { return new Decibel(); }, [](double x) { return x * x * x * x; }, 1e-6},
        {"ClipClampsToItsLimits", [] { auto* u = new Clip(); u->setLimits(-0.25f, 0.5f); return u; },
         [](double x) { return std::min(std::max(x, -0.25), 0.5); }, 0.0},
        // With low above high the low test wins and the high test is skipped for those values.
        {"ClipWithCrossedLimits", [] { return new Clip(0.5f, -0.5f); },
         [](double x) { return x < 0.5 ? 0.5 : -0.5; }, 0.0},
    };
}

class Maps : public ::testing::TestWithParam<MapCase> {};

TEST_P(Maps, FollowTheirFormulaAcrossTheRange) {
    const MapCase& c = GetParam();
    std::unique_ptr<Processor> unit(c.make());
    std::vector<float> x;
    for (int i = -300; i <= 300; ++i) x.push_back(static_cast<float>(i) / 200.0f);
    const auto y = through(*unit, x);
    for (size_t i = 0; i < x.size(); ++i) {
        const double want = c.formula(x[i]);
        EXPECT_NEAR(y[i], want, c.tolerance * std::fabs(want) + 1e-7) << "x = " << x[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Control, Maps, ::testing::ValuesIn(mapCases()),
                         [](const ::testing::TestParamInfo<MapCase>& info) { return info.param.name; });

TEST(Octave, DoublesForEveryUnitRiseWithKTwo) {
    Octave octave(2.0f);
    const auto y = through(octave, {-1.0f, 0.0f, 1.0f, 2.0f, 3.0f});
    for (size_t i = 1; i < y.size(); ++i) EXPECT_FLOAT_EQ(y[i], 2.0f * y[i - 1]);
    EXPECT_FLOAT_EQ(y[1], 1.0f);
}

// ---- Fast logarithm -------------------------------------------------------

TEST(Log, ExactAtPowersOfTwo) {
    Log log;
    const auto y = through(log, {1.0f, 2.0f, 0.5f, 4.0f, 1024.0f, 1.0f / 65536.0f});
    EXPECT_NEAR(y[0], 0.0f, 1e-7f);
    EXPECT_FLOAT_EQ(y[1], 0.6931472f);
    EXPECT_FLOAT_EQ(y[2], -0.6931472f);
    EXPECT_FLOAT_EQ(y[3], 2.0f * 0.6931472f);
    EXPECT_FLOAT_EQ(y[4], 10.0f * 0.6931472f);
    EXPECT_FLOAT_EQ(y[5], -16.0f * 0.6931472f);
}

TEST(Log, StaysWithinItsPolynomialErrorOfTheNaturalLogarithm) {
    // The second-order mantissa polynomial is off by at most 0.0097 in log2,
    // 0.0067 in natural-log units, between powers of two.
    std::vector<float> x;
    for (int i = 0; i <= 6000; ++i) x.push_back(std::pow(10.0f, -3.0f + i * 0.001f));
    Log log;
    const auto y = through(log, x);
    double worst = 0.0;
    for (size_t i = 0; i < x.size(); ++i) worst = std::max(worst, std::fabs(y[i] - std::log(static_cast<double>(x[i]))));
    EXPECT_LT(worst, 0.0068);
    EXPECT_GT(worst, 0.005);  // it is the approximation, not the library logarithm
    // It keeps the logarithm's order: the key-level curve built on it must not wobble.
    for (size_t i = 1; i < y.size(); ++i) ASSERT_GE(y[i], y[i - 1]) << x[i];
}

// ---- Smoother -------------------------------------------------------------

TEST(Smooth, IsAOnePoleLowPassWithItsStatedGains) {
    // H(z) = g / (1 - 0.9 z^-1), g = the float with bits 0x3DCCCCD0.
    const double g = static_cast<double>(std::bit_cast<float>(0x3DCCCCD0u));
    for (double f : {0.0, 1000.0, 5000.0, 22050.0}) {
        Smooth smooth;
        const int n = 8192;
        std::vector<float> x(n);
        for (int i = 0; i < n; ++i) x[static_cast<size_t>(i)] = static_cast<float>(std::cos(2.0 * std::numbers::pi * f * i / 44100.0));
        const auto y = through(smooth, x);
        const double w = 2.0 * std::numbers::pi * f / 44100.0;
        const double expected = g / std::abs(std::complex<double>(1.0 - 0.9 * std::cos(w), 0.9 * std::sin(w)));
        const double measured = f == 0.0 ? y.back() : f == 22050.0 ? std::fabs(y.back()) : TestSupport::toneAmplitude(y.data() + 4096, 4096, f, 44100.0);
        EXPECT_NEAR(measured, expected, 1e-4 * expected) << f << " Hz";
    }
}

TEST(Smooth, KeepsItsStateAcrossBlocks) {
    Smooth whole, split;
    std::vector<float> x(100, 1.0f);
    const auto a = through(whole, x);
    InputAdapter source;
    source.setSource(x.data(), 100);
    split.setInput(&source);
    std::vector<float> b(100);
    split.process(b.data(), 37);
    split.process(b.data() + 37, 63);
    EXPECT_EQ(a, b);
}

// ---- List units -----------------------------------------------------------

TEST(Add, SumsItsInputsAndIsSilentWithNone) {
    Add add;
    EXPECT_EQ(pull(add, 5), std::vector<float>(5, 0.0f));
    Unit a(1.5f), b(-0.25f), c(2.0f);
    add.addInput(&a);
    add.addInput(&b);
    add.addInput(&c);
    EXPECT_EQ(add.getInputCount(), 3);
    EXPECT_EQ(pull(add, 5), std::vector<float>(5, 3.25f));
}

TEST(Mul, MultipliesItsInputsAndIsOneWithNone) {
    Mul mul;
    EXPECT_EQ(pull(mul, 5), std::vector<float>(5, 1.0f));
    Unit a(1.5f), b(-0.25f), c(2.0f);
    for (Unit* u : {&a, &b, &c}) mul.addInput(u);
    EXPECT_EQ(pull(mul, 5), std::vector<float>(5, -0.75f));
}

TEST(Switch, PassesOnlyTheSelectedInput) {
    Switch sw;
    Spy a(1.0f), b(10.0f), c(100.0f);
    for (Spy* s : {&a, &b, &c}) sw.addInput(s);
    sw.select(1);
    EXPECT_EQ(pull(sw, 3), (std::vector<float>{10.0f, 20.0f, 30.0f}));
    EXPECT_EQ(a.blocks + c.blocks, 0);  // the others stand still
    sw.select(3);
    EXPECT_EQ(pull(sw, 3), std::vector<float>(3, 0.0f));
    sw.select(-1);  // out of range below as well as above
    EXPECT_EQ(pull(sw, 3), std::vector<float>(3, 0.0f));
    EXPECT_EQ(b.blocks, 1);
}

TEST(Switch, RemovingAnInputMovesTheLastIntoItsPlace) {
    Switch sw;
    Unit a(1.0f), b(2.0f), c(3.0f), stranger(9.0f);
    for (Unit* u : {&a, &b, &c}) sw.addInput(u);
    sw.removeInput(&stranger);
    EXPECT_EQ(sw.getInputCount(), 3);
    sw.removeInput(&a);
    EXPECT_EQ(sw.getInputCount(), 2);
    sw.select(0);
    EXPECT_EQ(pull(sw, 1)[0], 3.0f);
    sw.select(1);
    EXPECT_EQ(pull(sw, 1)[0], 2.0f);
    sw.select(2);  // the freed slot is empty
    EXPECT_EQ(pull(sw, 1)[0], 0.0f);
    sw.removeInput(&c);
    sw.removeInput(&b);
    EXPECT_EQ(sw.getInputCount(), 0);
}

TEST(Add, NullEntriesCountButAddNothingAndAFullListRefusesMore) {
    Add add;
    Unit one(1.0f);
    add.addInput(nullptr);
    add.addInput(&one);
    EXPECT_EQ(add.getInputCount(), 2);
    EXPECT_EQ(pull(add, 2), std::vector<float>(2, 1.0f));
    Mul mul;  // in a product a null entry is a factor of one
    Unit half(0.5f);
    mul.addInput(nullptr);
    mul.addInput(&half);
    EXPECT_EQ(pull(mul, 2), std::vector<float>(2, 0.5f));
    Switch sw;  // selecting it gives silence
    sw.addInput(nullptr);
    sw.addInput(&half);
    EXPECT_EQ(pull(sw, 2), std::vector<float>(2, 0.0f));
    std::vector<Unit> many(300, Unit(1.0f));
    for (auto& u : many) add.addInput(&u);
    EXPECT_EQ(add.getInputCount(), Add::kMaxInputs);
    EXPECT_EQ(pull(add, 1)[0], static_cast<float>(Add::kMaxInputs - 1));
}

TEST(Add, RatesReachEveryInputThatDiffers) {
    Add add;
    add.setSampleRate(48000.0f);
    Spy a, b;
    add.addInput(&a);  // connecting pushes the current rate
    EXPECT_FLOAT_EQ(a.getSampleRate(), 48000.0f);
    add.addInput(&b);
    const int before = a.rateCalls;
    add.setSampleRate(48000.0f);  // already there: nobody is told again
    EXPECT_EQ(a.rateCalls, before);
    b.setSampleRate(1000.0f);
    add.setSampleRate(48000.0f);
    EXPECT_FLOAT_EQ(b.getSampleRate(), 48000.0f);
    add.setSampleRate(96000.0f);
    EXPECT_FLOAT_EQ(a.getSampleRate(), 96000.0f);
    EXPECT_FLOAT_EQ(b.getSampleRate(), 96000.0f);
}

// ---- Fan-out ----------------------------------------------------------------

TEST(Mux, ThreeConsumersShareOnePullPerBlock) {
    Spy source;
    Mux mux;
    mux.setInput(&source);
    Offset first(0.0f), second(0.0f), third(0.0f);
    for (Offset* consumer : {&first, &second, &third}) consumer->setInput(&mux);
    EXPECT_EQ(mux.getConsumerCount(), 3);
    for (int block = 0; block < 4; ++block) {
        const auto a = pull(first, 16);
        EXPECT_EQ(source.blocks, block + 1);  // pulled on the first call of each round
        const auto b = pull(second, 16);
        const auto c = pull(third, 16);
        EXPECT_EQ(source.blocks, block + 1);
        EXPECT_EQ(a, b);
        EXPECT_EQ(a, c);
        EXPECT_EQ(a[0], 16.0f * block + 1.0f);
    }
}

TEST(Mux, WithOneConsumerItPassesThrough) {
    Spy source;
    Mux mux;
    mux.setInput(&source);
    Offset only(0.0f);
    only.setInput(&mux);
    pull(only, 4);
    pull(only, 4);
    EXPECT_EQ(source.blocks, 2);
    EXPECT_EQ(source.emitted, 8);
}

TEST(Mux, OnlyARateChangeTravelsUpstream) {
    Spy source;
    Mux mux;
    mux.setInput(&source);
    const int connected = source.rateCalls;
    Offset a(0.0f), b(0.0f);
    a.setInput(&mux);
    b.setInput(&mux);  // both consumers push 44100, which the mux already has
    EXPECT_EQ(source.rateCalls, connected);
    a.setSampleRate(48000.0f);
    b.setSampleRate(48000.0f);
    EXPECT_EQ(source.rateCalls, connected + 1);
    EXPECT_FLOAT_EQ(source.getSampleRate(), 48000.0f);
}

TEST(Mux, AConsumerLeavingMidRoundDoesNotStrandThePullIndex) {
    Spy source;
    Mux mux;
    mux.setInput(&source);
    Offset a(0.0f), b(0.0f), c(0.0f);
    for (Offset* consumer : {&a, &b, &c}) consumer->setInput(&mux);
    pull(a, 4);
    pull(b, 4);
    pull(c, 4);
    pull(a, 4);
    pull(b, 4);  // two of three into the second round
    mux.attachOutput(nullptr);
    mux.attachOutput(nullptr);  // down to one consumer: pass-through
    mux.attachOutput(&c);       // back to two: a new round starts cleanly
    const int before = source.blocks;
    pull(a, 4);
    pull(b, 4);
    EXPECT_EQ(source.blocks, before + 1);
}

// ---- Bypass and mute ------------------------------------------------------

TEST(Bypass, PullsEitherTheInputOrTheBypassSource) {
    Spy main(1.0f), dry(-1.0f);
    Bypass bypass;
    bypass.setInput(&main);
    bypass.setBypassSource(&dry);
    EXPECT_EQ(pull(bypass, 2)[1], 2.0f);
    bypass.setBypassed(true);
    EXPECT_EQ(pull(bypass, 2)[1], -2.0f);
    EXPECT_EQ(main.blocks, 1);
    EXPECT_EQ(dry.blocks, 1);
}

TEST(Mute, FadesInAlongTheSquareOfALinearGain) {
    Unit one(1.0f);
    Mute mute;
    mute.setInput(&one);
    mute.setMuted(true);
    // 0.1 s down to silence, then fully muted.
    pull(mute, 4410);
    pull(mute, 10);
    EXPECT_EQ(mute.getFadeGain(), 0.0f);
    EXPECT_EQ(pull(mute, 64), std::vector<float>(64, 0.0f));

    mute.setMuted(false);
    const auto y = pull(mute, 4500);
    const double step = 10.0 / 44100.0;
    for (size_t n = 0; n < 4400; n += 7) EXPECT_NEAR(y[n], (n * step) * (n * step), 1e-4) << n;
    // The gain grows by 10/44100 per sample and reaches 1 after 4410 of them.
    size_t firstFull = 0;
    while (firstFull < y.size() && y[firstFull] < 1.0f) ++firstFull;
    EXPECT_NEAR(static_cast<double>(firstFull), 4410.0, 2.0);
    for (size_t n = firstFull; n < y.size(); ++n) ASSERT_EQ(y[n], 1.0f) << n;
}

TEST(Mute, WhileFullyMutedItKeepsTheSharedSourcesInStep) {
    Spy input, dryBus, controlSource;
    Controlled filter;
    filter.setControl(&controlSource);
    Mute mute;
    mute.setInput(&input);
    mute.setKeepAlive(&dryBus);
    mute.setControlledUnit(&filter);
    mute.setSampleRate(1000.0f);  // a 100-sample fade
    mute.setMuted(true);
    pull(mute, 101);
    const int inputBlocks = input.blocks;
    const auto y = pull(mute, 32);
    EXPECT_EQ(y, std::vector<float>(32, 0.0f));
    EXPECT_EQ(input.blocks, inputBlocks);  // the muted path is not pulled
    EXPECT_EQ(dryBus.emitted, 32);         // the keep-alive is, by the block
    EXPECT_EQ(controlSource.emitted, 4);   // and the control ramp runs on: 32 / 8

    Mute orphan;  // muted without a keep-alive: silence, no crash
    orphan.setInput(&input);
    orphan.setSampleRate(1000.0f);
    orphan.setMuted(true);
    pull(orphan, 200);
    EXPECT_EQ(pull(orphan, 8), std::vector<float>(8, 0.0f));
}

// A fan-out as keep-alive (the instrument's dry bus behind a muted delay) is
// moved on without its block being copied: its other consumer still gets
// every block, in step, and the source runs once per round, whether the
// fan-out has several consumers or only the one.
TEST(Mute, AFanOutKeepAliveKeepsItsRoundWithoutCopying) {
    Spy source;
    Mux bus;
    bus.setInput(&source);
    Offset heard(0.0f), sendA(0.0f), sendB(0.0f);
    for (Offset* consumer : {&heard, &sendA, &sendB}) consumer->setInput(&bus);
    Mute muteA, muteB;
    for (Mute* mute : {&muteA, &muteB}) {
        mute->setInput(mute == &muteA ? &sendA : &sendB);
        mute->setKeepAlive(&bus);
        mute->setSampleRate(1000.0f);
        mute->setMuted(true);
    }
    pull(heard, 110);  // through the 100-sample fade
    pull(muteA, 110);
    pull(muteB, 110);
    for (int block = 0; block < 5; ++block) {
        const auto a = pull(heard, 16);
        EXPECT_EQ(pull(muteA, 16), std::vector<float>(16, 0.0f));
        EXPECT_EQ(pull(muteB, 16), std::vector<float>(16, 0.0f));
        EXPECT_EQ(a[0], 110.0f + 16.0f * block + 1.0f) << block;
        EXPECT_EQ(source.blocks, block + 2);
    }

    Spy lone;
    Mux single;  // no attached consumer: the keep-alive's skip still runs the source
    single.setInput(&lone);
    Mute mute;
    mute.setInput(&sendA);
    mute.setKeepAlive(&single);
    mute.setSampleRate(1000.0f);
    mute.setMuted(true);
    pull(mute, 110);
    const int before = lone.emitted;
    EXPECT_EQ(pull(mute, 24), std::vector<float>(24, 0.0f));
    EXPECT_EQ(lone.emitted, before + 24);
}

}  // namespace
