// The wavetable set and the oscillators measured as audio: which harmonics each
// table holds, the lookup at its edges, agreement with the direct sin() sum,
// the multi-voice oscillator's fundamental, aliasing floor, panning, phase
// lock, replay and drift (at depth 0 exactly as a drift too small to hear),
// and the plain square, noise and silent sources.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "spkit/Cpu.h"
#include "spkit/Oscillators.h"
#include "tests/spkit/UnitTestSupport.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/AudioAnalysis.h"

using namespace SPKit;
using UnitTestSupport::RateProbe;

namespace {

constexpr int kT = 256, kN = 4096, kHalf = 48000, kQuarter = 24000;

Wavetable sharedTables() {
    Wavetable handle;
    WavetableManager::global().getWavetable(handle);
    return handle;
}

// The table layout worked out here from its definition, not read from the set:
// edges spaced evenly in note number from 0 to the quarter rate's note (whole
// Hz, rounded down), and each table's top harmonic the most that fit below half
// the design rate while the fundamental sits at the table's upper edge.
struct Layout {
    std::vector<int> lookup, boundaries, top;
    float noteMax = 0.0f;
};

const Layout& definedLayout() {
    static const Layout layout = [] {
        Layout l{std::vector<int>(kHalf + 1, -1), std::vector<int>(kT, -1), std::vector<int>(kT, 0), 0.0f};
        for (int f = kQuarter + 1; f <= kHalf; ++f) l.lookup[static_cast<size_t>(f)] = kT - 1;
        l.boundaries[kT - 1] = kQuarter;
        l.noteMax = (std::log(static_cast<float>(kQuarter)) - std::log(440.0f)) * 12.0f / std::log(2.0f) + 69.0f;
        int edge = kQuarter, top = 1;
        for (int t = kT - 2; t >= 0; --t) {
            top = std::max(top, kHalf / edge);  // harmonics 2 … K + 1 with K = half / edge − 1
            l.top[static_cast<size_t>(t)] = top;
            const int v = static_cast<int>(
                440.0f * std::pow(2.0f, (static_cast<float>(t) * l.noteMax / static_cast<float>(kT) - 69.0f) / 12.0f));
            for (; v < edge; --edge) l.lookup[static_cast<size_t>(edge)] = t;
            l.boundaries[static_cast<size_t>(t)] = v;
        }
        for (int f = 0; f <= edge; ++f) l.lookup[static_cast<size_t>(f)] = 0;
        l.boundaries[0] = 0;
        return l;
    }();
    return layout;
}

int topHarmonic(int t) { return definedLayout().top[static_cast<size_t>(t)]; }

// The sample positions the tables are defined on: a running single-precision sum of 2π/N.
const std::vector<float>& tablePositions() {
    static const std::vector<float> x = [] {
        std::vector<float> v(kN);
        float position = 0.0f;
        for (int k = 0; k < kN; ++k) {
            v[static_cast<size_t>(k)] = position;
            position += 6.2831855f / kN;
        }
        return v;
    }();
    return x;
}

// Amplitude of harmonic h in one table period (a sine of amplitude A reads A).
double harmonicAmplitude(const float* table, int h) {
    const std::vector<float>& x = tablePositions();
    double re = 0.0, im = 0.0;
    for (int k = 0; k < kN; ++k) {
        const double a = static_cast<double>(x[static_cast<size_t>(k)]) * h;
        re += table[k] * std::cos(a);
        im += table[k] * std::sin(a);
    }
    return 2.0 * std::hypot(re, im) / kN;
}

struct Stereo {
    std::vector<float> a, b;
};

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Pulls both outputs block by block, A then B, as the instrument does.
Stereo render(MultiOscillator& osc, int samples, int block = 256) {
    Stereo s{std::vector<float>(static_cast<size_t>(samples)), std::vector<float>(static_cast<size_t>(samples))};
    for (int i = 0; i < samples; i += block) {
        const int n = std::min(block, samples - i);
        osc.process(&s.a[static_cast<size_t>(i)], n);
        osc.process(&s.b[static_cast<size_t>(i)], n);
    }
    return s;
}

// Pulls a single-output source in blocks no longer than the library allows.
void pull(Processor& source, std::vector<float>& out, int block = 512) {
    for (size_t i = 0; i < out.size(); i += static_cast<size_t>(block))
        source.process(out.data() + i, static_cast<int>(std::min<size_t>(static_cast<size_t>(block), out.size() - i)));
}

void prepare(MultiOscillator& osc, float rate, float frequency) {
    osc.setWavetable(sharedTables());
    osc.setSampleRate(rate);
    osc.setFrequency(frequency);
}

// An ordinary static object of this program: by the time it is constructed
// (before main) the library's table set must already be built.
struct SeenBeforeMain {
    SeenBeforeMain() {
        Wavetable handle;
        WavetableManager::global().getWavetable(handle);
        tableCount = handle.getTableCount();
        sample = handle.getTableCount() > 0 ? handle.getOddTables()[0][100] : 0.0f;
    }
    int tableCount = -1;
    float sample = 0.0f;
} seenBeforeMain;

}  // namespace

TEST(WavetableSet, IsBuiltWhenTheLibraryLoads) {
    EXPECT_EQ(seenBeforeMain.tableCount, kT);
    EXPECT_NE(seenBeforeMain.sample, 0.0f);
}

// ---- The table set ----------------------------------------------------------

TEST(WavetableSet, LookupEdgesAndSilentLastTable) {
    const Wavetable w = sharedTables();
    ASSERT_EQ(w.getTableCount(), kT);
    ASSERT_EQ(w.getTableLength(), kN);
    ASSERT_EQ(w.getDesignRate(), 96000);
    const int* lookup = w.getLookup();
    for (int f = 0; f <= 8; ++f) EXPECT_EQ(lookup[f], 0) << f;
    EXPECT_EQ(lookup[24000], 254);
    EXPECT_EQ(lookup[24001], 255);
    EXPECT_EQ(lookup[48000], 255);
    EXPECT_EQ(w.getBoundaries()[0], 0);
    EXPECT_EQ(w.getBoundaries()[255], kQuarter);
    EXPECT_EQ(w.getBoundaries()[1], 8);  // table 0's upper edge
    for (int k = 0; k < kN; ++k) {
        ASSERT_EQ(w.getOddTables()[255][k], 0.0f);
        ASSERT_EQ(w.getEvenTables()[255][k], 0.0f);
    }
}

TEST(WavetableSet, LookupAndBoundariesFollowTheirDefinitionEverywhere) {
    const Wavetable w = sharedTables();
    const Layout& defined = definedLayout();
    EXPECT_NEAR(defined.noteMax, 138.23f, 0.005f);
    for (int f = 0; f <= kHalf; ++f) ASSERT_EQ(w.getLookup()[f], defined.lookup[static_cast<size_t>(f)]) << f << " Hz";
    for (int t = 0; t < kT; ++t) ASSERT_EQ(w.getBoundaries()[t], defined.boundaries[static_cast<size_t>(t)]) << t;
    EXPECT_EQ(topHarmonic(254), 2);
    EXPECT_EQ(topHarmonic(0), 6000);
}

TEST(WavetableSet, EachTableServesTheFrequenciesBetweenItsBoundaries) {
    const Wavetable w = sharedTables();
    const int* lookup = w.getLookup();
    const int* edges = w.getBoundaries();
    for (int f = 1; f <= kHalf; ++f) {
        const int t = lookup[f];
        ASSERT_GE(t, lookup[f - 1]) << "lookup must not fall at " << f;
        if (t == kT - 1) {
            ASSERT_GT(f, kQuarter);
        } else {
            ASSERT_LT(edges[t], f) << f;
            ASSERT_LE(f, edges[t + 1]) << f;
        }
    }
    // Edges are spaced evenly in note number from note 0 (8.18 Hz) to the quarter rate's note.
    const double noteMax = 12.0 * std::log2(kQuarter / 440.0) + 69.0;
    for (int t = 64; t < kT - 1; ++t) {
        const double note = 12.0 * std::log2(edges[t] / 440.0) + 69.0;
        const double truncation = 12.0 * std::log2(1.0 + 1.0 / edges[t]);
        EXPECT_NEAR(note, t * noteMax / kT, truncation + 1e-4) << t;
    }
}

class TableHarmonics : public ::testing::TestWithParam<int> {};

TEST_P(TableHarmonics, HoldsEverySawHarmonicUpToItsEdgeAndNothingAbove) {
    const Wavetable w = sharedTables();
    const int t = GetParam();
    const int top = topHarmonic(t);
    ASSERT_GE(top, 2);
    ASSERT_LE(top * w.getBoundaries()[t + 1], kHalf) << "band limit at the upper edge";
    const float* odd = w.getOddTables()[t];
    const float* even = w.getEvenTables()[t];
    EXPECT_LT(harmonicAmplitude(odd, 1), 1e-5) << "the fundamental lives in no table";
    EXPECT_LT(harmonicAmplitude(even, 1), 1e-5);
    for (int h : {2, 3, 4, top - 1, top, top + 1, top + 2}) {
        if (h < 2) continue;
        const float* own = (h & 1) ? odd : even;
        const float* other = (h & 1) ? even : odd;
        const double expected = h <= top ? 0.5 / h : 0.0;
        EXPECT_NEAR(harmonicAmplitude(own, h), expected, 2e-5 + 1e-3 * expected) << "table " << t << " h " << h;
        EXPECT_LT(harmonicAmplitude(other, h), 2e-5) << "parity split, table " << t << " h " << h;
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, TableHarmonics, ::testing::Values(254, 253, 240, 200, 160, 120, 90));

TEST(WavetableSet, TableBelowTheLastHoldsOnlyTheSecondHarmonic) {
    const Wavetable w = sharedTables();
    EXPECT_NEAR(harmonicAmplitude(w.getEvenTables()[254], 2), 0.25, 1e-5);
    double oddEnergy = 0.0;
    for (int k = 0; k < kN; ++k) oddEnergy += std::fabs(w.getOddTables()[254][k]);
    EXPECT_EQ(oddEnergy, 0.0);
}

// The direct construction: positions are a running single-precision sum of
// 2π/N, and each table adds sin(x·h)·(1/h)·0.5 in single precision, harmonic by
// harmonic, on top of the table above it. All 255 tables are compared.
TEST(WavetableSet, MatchesTheDirectSineSumWithinAFewFloatSteps) {
    const Wavetable w = sharedTables();
    const std::vector<float>& x = tablePositions();
    std::vector<float> odd(kN, 0.0f), even(kN, 0.0f);
    const std::vector<int>& top = definedLayout().top;
    double worst = 0.0;
    int worstTable = -1;
    int t = kT - 2;
    for (int h = 2; t >= 0; ++h) {
        std::vector<float>& sum = (h & 1) ? odd : even;
        for (int k = 0; k < kN; ++k)
            sum[static_cast<size_t>(k)] += std::sin(x[static_cast<size_t>(k)] * static_cast<float>(h)) *
                                           (1.0f / static_cast<float>(h)) * 0.5f;
        for (; t >= 0 && top[static_cast<size_t>(t)] <= h; --t) {
            for (int k = 0; k < kN; ++k) {
                const double e = std::max(std::fabs(odd[static_cast<size_t>(k)] - w.getOddTables()[t][k]),
                                          std::fabs(even[static_cast<size_t>(k)] - w.getEvenTables()[t][k]));
                if (e > worst) {
                    worst = e;
                    worstTable = t;
                }
            }
        }
    }
    std::printf("[ measure  ] largest difference from the direct sum: %.3g (table %d)\n", worst, worstTable);
    // Samples lie within ±1, so 2.5e-7 is about four float steps; the smallest
    // harmonic (0.5 / 6000) is over 300 times larger.
    EXPECT_LT(worst, 2.5e-7);
}

// The build runs a baseline or an AVX2 copy of its summing loop, whichever the
// processor offers; both must lay out the same set to the bit.
TEST(WavetableSet, BaselineBuildMatchesTheOneTheLibraryMade) {
    forceSimdLevel(SimdLevel::Sse2);
    WavetableManager baseline(kT, kN, 2 * kHalf);
    forceSimdLevel(SimdLevel::Avx2);
    Wavetable built, loaded = sharedTables();
    baseline.getWavetable(built);
    for (int t = 0; t < kT; ++t) {
        ASSERT_EQ(std::memcmp(built.getOddTables()[t], loaded.getOddTables()[t], kN * sizeof(float)), 0) << t;
        ASSERT_EQ(std::memcmp(built.getEvenTables()[t], loaded.getEvenTables()[t], kN * sizeof(float)), 0) << t;
    }
}

// The side-by-side copies hold each table's even and odd samples in turn, and
// sample 0 once more at the end, so an interpolation past the last sample reads it.
TEST(WavetableSet, SideBySideCopiesHoldTheTablesSamples) {
    const Wavetable set = sharedTables();
    const float* const* paired = set.getPairedTables();
    ASSERT_NE(paired, nullptr);
    const int N = set.getTableLength();
    for (int t = 0; t < set.getTableCount(); ++t) {
        const float* even = set.getEvenTables()[t];
        const float* odd = set.getOddTables()[t];
        for (int q = 0; q <= N; ++q) {
            const int k = q == N ? 0 : q;
            ASSERT_EQ(std::memcmp(&paired[t][2 * q], &even[k], sizeof(float)), 0) << t << " " << q;
            ASSERT_EQ(std::memcmp(&paired[t][2 * q + 1], &odd[k], sizeof(float)), 0) << t << " " << q;
        }
    }
    EXPECT_EQ(Wavetable(4, 16, 100).getPairedTables(), nullptr);
    EXPECT_EQ(Wavetable().getPairedTables(), nullptr);
}

TEST(Wavetable, HandlesShareOneSetAndCountTheirShares) {
    Wavetable empty;
    EXPECT_EQ(empty.getTableCount(), 0);
    EXPECT_EQ(empty.getTableLength(), 0);
    EXPECT_EQ(empty.getOddTables(), nullptr);
    EXPECT_EQ(empty.getLookup(), nullptr);

    Wavetable own(4, 16, 100);
    EXPECT_EQ(own.shareCount(), 1);
    {
        Wavetable copy(own);
        EXPECT_EQ(own.shareCount(), 2);
        EXPECT_EQ(copy.getOddTables(), own.getOddTables());
        empty = own;
        EXPECT_EQ(own.shareCount(), 3);
        EXPECT_EQ(empty.getTableLength(), 16);
    }
    EXPECT_EQ(own.shareCount(), 2);
    empty.assign(empty);  // self-assignment must not release the set first
    empty = empty;
    EXPECT_EQ(own.shareCount(), 2);
    EXPECT_EQ(empty.getTableLength(), 16);
    Wavetable other;
    empty.assign(other);
    EXPECT_EQ(own.shareCount(), 1);
    EXPECT_EQ(empty.getTableLength(), 0);
}

TEST(Wavetable, ManagerGivesEveryOscillatorAShareOfTheSameSet) {
    const Wavetable first = sharedTables();
    const int before = first.shareCount();
    {
        MultiOscillator osc;
        osc.setWavetable(first);
        EXPECT_EQ(first.shareCount(), before + 1);
        Wavetable second;
        WavetableManager::global().getWavetable(second);
        EXPECT_EQ(second.getOddTables(), first.getOddTables());
        EXPECT_EQ(first.shareCount(), before + 2);
    }
    EXPECT_EQ(first.shareCount(), before);
}

// ---- MultiOscillator as audio -----------------------------------------------

struct SpectrumCase {
    float rate;
    float frequency;
    double aliasFloorDb;  // largest non-harmonic component allowed, dB re full scale
};

class MultiOscillatorSpectrum : public ::testing::TestWithParam<SpectrumCase> {};

// A saw of amplitude 0.5·Σ sin(h·ωt)/h: the fundamental at 0.5, the second
// harmonic at 0.25 while it is below Nyquist, and nothing off the harmonic
// grid beyond the floor (energy folded back from above Nyquist, or from the
// tables' interpolation images, would land there).
TEST_P(MultiOscillatorSpectrum, FundamentalInPlaceAndNoFoldBackAboveTheFloor) {
    const SpectrumCase c = GetParam();
    constexpr int kFft = 65536, kSettle = 4096;
    const double bin = c.rate / kFft;
    int k = static_cast<int>(std::lround(c.frequency / bin)) | 1;  // odd bin: fold-back never lands on the grid
    const float f = static_cast<float>(k * bin);

    MultiOscillator osc;
    prepare(osc, c.rate, f);
    const Stereo s = render(osc, kSettle + kFft);
    const float* a = s.a.data() + kSettle;

    EXPECT_NEAR(TestSupport::toneAmplitude(a, kFft, f, c.rate), 0.5, 0.005);
    if (2.0 * f < 0.45 * c.rate) {
        EXPECT_NEAR(TestSupport::toneAmplitude(a, kFft, 2.0 * f, c.rate), 0.25, 0.005);
    }
    EXPECT_NEAR(TestSupport::zeroCrossingFrequency(a, kFft, c.rate), f, f * 1e-3);

    const std::vector<double> spectrum = TestSupport::magnitudeSpectrum(a, kFft);
    double worst = 0.0;
    for (size_t j = 1; j < spectrum.size(); ++j) {
        const long nearest = (static_cast<long>(j) + k / 2) / k * k;
        if (nearest > 0 && std::labs(static_cast<long>(j) - nearest) <= 3) continue;  // a harmonic and its window
        worst = std::max(worst, spectrum[j]);
    }
    std::printf("[ measure  ] %6.0f Hz at %5.0f Hz: off-harmonic floor %.1f dB\n", f, c.rate,
                TestSupport::toDb(worst));
    EXPECT_LT(TestSupport::toDb(worst), c.aliasFloorDb);
    EXPECT_TRUE(TestSupport::allFinite(s.a.data(), static_cast<int>(s.a.size())));
}

// The lowest pitches read the busiest tables with linear interpolation, whose
// images set the floor there; from 110 Hz up it lies below −95 dB.
INSTANTIATE_TEST_SUITE_P(Grid, MultiOscillatorSpectrum,
                         ::testing::Values(SpectrumCase{44100, 27.5f, -85}, SpectrumCase{44100, 110, -95},
                                           SpectrumCase{44100, 440, -95}, SpectrumCase{44100, 1760, -95},
                                           SpectrumCase{44100, 5000, -95}, SpectrumCase{44100, 10500, -95},
                                           SpectrumCase{44100, 15000, -95}, SpectrumCase{48000, 3000, -95},
                                           SpectrumCase{96000, 27.5f, -78}, SpectrumCase{96000, 110, -92},
                                           SpectrumCase{96000, 1760, -95}, SpectrumCase{96000, 15000, -95}));

TEST(MultiOscillator, LevelsSelectFundamentalOddAndEvenParts) {
    constexpr float kRate = 44100, kF = 441;
    constexpr int kLen = 32768;
    auto measure = [&](float fundamental, float odd, float even, double h) {
        MultiOscillator osc;
        prepare(osc, kRate, kF);
        osc.setFundamentalLevel(fundamental);
        osc.setOddLevel(odd);
        osc.setEvenLevel(even);
        const Stereo s = render(osc, kLen);
        return TestSupport::toneAmplitude(s.a.data(), kLen, h * kF, kRate);
    };
    EXPECT_LT(measure(0, 1, 1, 1), 1e-4);             // no fundamental in the tables
    EXPECT_NEAR(measure(0, 1, 1, 2), 0.25, 0.002);
    EXPECT_NEAR(measure(1, 1, 0, 3), 0.5 / 3, 0.002);  // square: odd harmonics only
    EXPECT_LT(measure(1, 1, 0, 2), 1e-4);
    EXPECT_LT(measure(1, 0, 1, 3), 1e-4);
    EXPECT_NEAR(measure(1, 0, 1, 4), 0.125, 0.002);
}

// Between two table edges the oscillator fades from the lower table (more
// harmonics) to the next: a harmonic that only the lower table holds sounds at
// (1 − U) of its level, U the position of the pitch between the edges. At the
// design rate the edges are the boundaries themselves, in Hz.
TEST(MultiOscillator, CrossfadesTowardTheNextTableAcrossTheBand) {
    constexpr float kRate = 96000;
    constexpr int kLen = 65536;
    const Layout& defined = definedLayout();
    const int t = 200;
    const int lower = defined.boundaries[t], upper = defined.boundaries[t + 1];
    const int fading = topHarmonic(t);
    ASSERT_GT(fading, topHarmonic(t + 1)) << "pick a table whose top harmonic the next one lacks";
    for (double u : {0.25, 0.75}) {
        const float f = static_cast<float>(lower + u * (upper - lower));
        MultiOscillator osc;
        prepare(osc, kRate, f);
        const Stereo s = render(osc, kLen);
        EXPECT_NEAR(TestSupport::toneAmplitude(s.a.data(), kLen, fading * f, kRate), (1.0 - u) * 0.5 / fading, 1e-3)
            << "U " << u;
        EXPECT_NEAR(TestSupport::toneAmplitude(s.a.data(), kLen, (fading - 1) * f, kRate), 0.5 / (fading - 1), 1e-3)
            << "a harmonic both tables hold, U " << u;
    }
}

TEST(MultiOscillator, VoicesInPhaseSumToOneVoiceWhateverTheVoiceLevel) {
    MultiOscillator full, quiet;
    prepare(full, 44100, 523.25f);
    prepare(quiet, 44100, 523.25f);
    quiet.setVoiceLevel(0.3f);  // gains 0.76 and 4 × 0.06: the same sum
    const Stereo a = render(full, 4096), b = render(quiet, 4096);
    for (int i = 0; i < 4096; ++i) {
        ASSERT_NEAR(a.a[static_cast<size_t>(i)], b.a[static_cast<size_t>(i)], 2e-6) << i;
        ASSERT_EQ(a.a[static_cast<size_t>(i)], a.b[static_cast<size_t>(i)]) << "no spread: outputs identical";
    }
    for (int j = 0; j < MultiOscillator::kVoices; ++j) EXPECT_FLOAT_EQ(full.voiceGainA(j), 0.2f);
}

TEST(MultiOscillator, StereoSpreadPansTheDetunedVoices) {
    constexpr float kRate = 44100, kF = 440, kDetune = 0.05f;
    constexpr int kLen = 65536;
    MultiOscillator osc;
    prepare(osc, kRate, kF);
    osc.setDetune(kDetune);
    osc.setStereoSpread(1.0f);
    const Stereo s = render(osc, kLen);
    // Voice 1 (ratio 1 + d) is fully in A, voice 2 (1 − d) fully in B; gain 2w = 0.2 at voice level 1.
    const double up = 2.0 * kF * (1 + kDetune), down = 2.0 * kF * (1 - kDetune);
    EXPECT_NEAR(TestSupport::toneAmplitude(s.a.data(), kLen, up, kRate), 0.25 * 0.2, 0.002);
    EXPECT_LT(TestSupport::toneAmplitude(s.b.data(), kLen, up, kRate), 1e-3);
    EXPECT_NEAR(TestSupport::toneAmplitude(s.b.data(), kLen, down, kRate), 0.25 * 0.2, 0.002);
    EXPECT_LT(TestSupport::toneAmplitude(s.a.data(), kLen, down, kRate), 1e-3);
    // The main voice stays centred with gain 1 − 0.8 = 0.2.
    EXPECT_NEAR(TestSupport::toneAmplitude(s.a.data(), kLen, 2.0 * kF, kRate), 0.05, 0.002);
    EXPECT_NEAR(TestSupport::toneAmplitude(s.b.data(), kLen, 2.0 * kF, kRate), 0.05, 0.002);
}

TEST(MultiOscillator, SecondPullReplaysOutputBWithoutAdvancing) {
    MultiOscillator osc;
    prepare(osc, 44100, 300);
    osc.setDetune(0.02f);
    osc.setStereoSpread(0.7f);
    std::vector<float> a(64), b(64), again(64);
    osc.process(a.data(), 64);
    const float phase = osc.getPhase();
    osc.process(b.data(), 64);
    EXPECT_EQ(osc.getPhase(), phase);
    EXPECT_NE(a, b);
    osc.process(again.data(), 64);  // a new block
    EXPECT_NE(osc.getPhase(), phase);

    // Output B is the block's own: a twin with the detune mirrored puts each
    // of B's voices (same ratio, same gain) on its output A.
    MultiOscillator twin;
    prepare(twin, 44100, 300);
    twin.setDetune(-0.02f);
    twin.setStereoSpread(0.7f);
    std::vector<float> twinA(64), twinB(64);
    twin.process(twinA.data(), 64);
    twin.process(twinB.data(), 64);
    for (int i = 0; i < 64; ++i) ASSERT_NEAR(b[static_cast<size_t>(i)], twinA[static_cast<size_t>(i)], 1e-6) << i;
}

TEST(MultiOscillator, FrequencyIsClampedToHalfTheRateAndZero) {
    MultiOscillator osc;
    prepare(osc, 44100, 440);
    osc.setFrequency(30000);
    EXPECT_FLOAT_EQ(osc.getFrequency(), 22050);
    osc.setFrequency(-5);
    EXPECT_FLOAT_EQ(osc.getFrequency(), 0);
    osc.setFrequency(std::nanf(""));
    EXPECT_FLOAT_EQ(osc.getFrequency(), 0);
    osc.setFrequency(20000);
    osc.setSampleRate(32000);
    EXPECT_FLOAT_EQ(osc.getFrequency(), 16000);
}

TEST(MultiOscillator, PhaseIsSetInRadiansAndWrapped) {
    MultiOscillator osc;
    prepare(osc, 44100, 440);
    osc.setPhase(1.0f);
    EXPECT_NEAR(osc.getPhase(), 1.0f, 1e-5);
    osc.setPhase(3.0f * std::numbers::pi_v<float>);
    EXPECT_NEAR(osc.getPhase(), std::numbers::pi_v<float>, 1e-4);
    osc.setDetune(0.125f);  // the instrument's trigger spread: voices land at a × ratio
    osc.setPhase(0.5f);
    EXPECT_NEAR(osc.voicePhase(3), kN * 0.5f * 1.25f / (2 * std::numbers::pi_v<float>), 1e-2);
}

TEST(MultiOscillator, FollowsItsFrequencyControlAtControlRate) {
    MultiOscillator osc;
    Unit pitch(1000.0f);
    osc.setControl(&pitch);
    prepare(osc, 44100, 440);
    osc.setFrequency(440);  // overridden by the control within the first ramp
    const Stereo s = render(osc, 8192 + 32768);
    EXPECT_FLOAT_EQ(osc.getFrequency(), 1000.0f);
    EXPECT_NEAR(TestSupport::toneAmplitude(s.a.data() + 8192, 32768, 1000, 44100), 0.5, 0.005);
}

TEST(MultiOscillator, PhaseSpreadLocksTheVoicesToTheirOffsets) {
    MultiOscillator osc;
    Unit pitch(440.0f);
    osc.setControl(&pitch);
    prepare(osc, 44100, 440);
    osc.setPhaseSpread(0.1f);
    // b = 0.4: voice offsets 0.05, −0.05, 0.1, −0.1 of a period from voice 0.
    const float expected[] = {0.0f, 0.05f * kN, 0.95f * kN, 0.1f * kN, 0.9f * kN};
    for (int j = 1; j < 5; ++j) EXPECT_NEAR(osc.voiceOffset(j), expected[j], 0.05f) << j;
    render(osc, 44100);
    for (int j = 1; j < 5; ++j) {
        float distance = osc.voicePhase(j) - osc.voicePhase(0);
        if (distance < 0) distance += kN;
        EXPECT_NEAR(distance, expected[j], 1.0f) << j;  // the lock window is ±1 table sample
    }
}

TEST(MultiOscillator, BeatRateSetsTheDetuneFromThePitch) {
    MultiOscillator osc;
    Unit pitch(440.0f);
    osc.setControl(&pitch);
    prepare(osc, 44100, 440);
    osc.setBeatRate(2.0f);
    render(osc, 256);
    EXPECT_FLOAT_EQ(osc.getDetune(), 1.0f / 220.0f);
    osc.setBeatRate(300.0f);  // fewer than three cycles per beat
    render(osc, 256);
    EXPECT_FLOAT_EQ(osc.getDetune(), 0.5f);
}

TEST(MultiOscillator, DetuneSourceRunsAtAudioRateAndDrivesTheDetune) {
    MultiOscillator osc;
    RateProbe detune(0.01f);
    osc.setDetuneSource(&detune);
    EXPECT_EQ(osc.getDetuneSource(), &detune);
    EXPECT_FLOAT_EQ(detune.lastRate, 44100.0f);
    prepare(osc, 48000, 440);
    EXPECT_FLOAT_EQ(detune.lastRate, 48000.0f);
    render(osc, 64);
    EXPECT_FLOAT_EQ(osc.getDetune(), 0.01f);
}

// Regression: with a detune source connected, the check for a frequency update
// was skipped at every eighth sample, so pitch updates slid off the 8-sample
// grid; an empty block pair asked for one update too many. A detune source
// that holds 0 and empty blocks must leave the output exactly as without them.
TEST(MultiOscillator, PitchUpdatesStayOnEveryEighthSampleWithADetuneSourceOrEmptyBlocks) {
    auto run = [](bool withDetuneSource, bool withEmptyBlocks) {
        MultiOscillator osc;
        Unit pitch(200.0f), detune(0.0f);
        osc.setControl(&pitch);
        if (withDetuneSource) osc.setDetuneSource(&detune);
        prepare(osc, 44100, 200);
        std::vector<float> a(64), b(64), all;
        for (int block = 0; block < 40; ++block) {
            pitch.setValue(200.0f + 37.0f * static_cast<float>(block));  // the control ramps every block
            if (withEmptyBlocks) {
                osc.process(a.data(), 0);
                osc.process(b.data(), 0);
            }
            osc.process(a.data(), 64);
            osc.process(b.data(), 64);
            all.insert(all.end(), a.begin(), a.end());
        }
        return all;
    };
    const std::vector<float> plain = run(false, false);
    EXPECT_EQ(run(true, false), plain);
    EXPECT_EQ(run(false, true), plain);
}

TEST(MultiOscillator, RatePropagatesToTheFrequencyControlAtAnEighth) {
    MultiOscillator osc;
    RateProbe pitch(440.0f);
    osc.setControl(&pitch);
    osc.setSampleRate(48000);
    EXPECT_FLOAT_EQ(pitch.lastRate, 6000.0f);
}

TEST(MultiOscillator, DriftMovesOnlyTheFourUpperVoices) {
    auto renderWith = [](float depth, float voiceLevel) {
        MultiOscillator osc;
        prepare(osc, 44100, 220);
        osc.setVoiceLevel(voiceLevel);
        osc.setDriftDepth(depth);
        osc.setDriftRate(0.5f);
        return render(osc, 8192).a;
    };
    EXPECT_EQ(renderWith(0.0f, 0.0f), renderWith(1.0f, 0.0f));  // voice 0 alone never drifts
    const std::vector<float> still = renderWith(0.0f, 1.0f), drifting = renderWith(1.0f, 1.0f);
    double difference = 0.0;
    for (size_t i = 0; i < still.size(); ++i) difference = std::max(difference, double(std::fabs(still[i] - drifting[i])));
    EXPECT_GT(difference, 0.01);
}

// At drift depth 0 the oscillator only advances its drift LFOs and reads the
// voices at their own phases. The smallest subnormal depth still takes the
// drifting path (it reads every LFO sample) yet its offsets are a few subnormals
// and move no phase: the two must agree bit for bit. Raised to a real depth
// later, both must still agree, which holds only if the skipped LFOs kept
// their phase exactly.
struct DriftCase {
    float frequency, detune, driftRate, driftSpread;
    int block;
};

class DriftShortcut : public ::testing::TestWithParam<DriftCase> {};

TEST_P(DriftShortcut, DepthZeroSoundsLikeADepthTooSmallToMoveAPhase) {
    const DriftCase c = GetParam();
    const float tiny = std::numeric_limits<float>::denorm_min();
    auto make = [&](MultiOscillator& osc, float depth) {
        prepare(osc, 44100, c.frequency);
        osc.setDetune(c.detune);
        osc.setVoiceLevel(1.0f);
        osc.setStereoSpread(0.4f);
        osc.setEvenLevel(0.6f);
        osc.setDriftRate(c.driftRate);
        osc.setDriftSpread(c.driftSpread);
        osc.setDriftDepth(depth);
    };
    MultiOscillator still, barely;
    make(still, 0.0f);
    make(barely, tiny);
    const Stereo a = render(still, 30000, c.block), b = render(barely, 30000, c.block);
    EXPECT_TRUE(sameBits(a.a, b.a));
    EXPECT_TRUE(sameBits(a.b, b.b));

    still.setDriftDepth(0.7f);
    barely.setDriftDepth(0.7f);
    const Stereo c2 = render(still, 20000, c.block), d = render(barely, 20000, c.block);
    EXPECT_TRUE(sameBits(c2.a, d.a));
    EXPECT_TRUE(sameBits(c2.b, d.b));
    double moved = 0.0;  // the raised depth is really heard
    for (size_t i = 0; i < a.a.size() && i < c2.a.size(); ++i) moved = std::max(moved, double(std::fabs(c2.a[i] - a.a[i])));
    EXPECT_GT(moved, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Settings, DriftShortcut,
                         ::testing::Values(DriftCase{220.0f, 0.0f, 0.5f, 0.0f, 256}, DriftCase{440.0f, 0.01f, 2.0f, 0.5f, 64},
                                           DriftCase{1760.0f, 0.03f, 7.0f, 1.0f, 7}, DriftCase{55.0f, 0.002f, 0.1f, 0.25f, 4096}),
                         [](const auto& info) {
                             return std::to_string(static_cast<int>(info.param.frequency)) + "Hz_block" +
                                    std::to_string(info.param.block);
                         });

// A NaN drift rate makes the drift LFOs NaN; 0 × NaN is NaN, so even at depth 0
// the voices read where a NaN offset puts them, as on the drifting path.
TEST(MultiOscillator, NonFiniteDriftAtDepthZeroReadsAsTheDriftingPathDoes) {
    auto make = [](MultiOscillator& osc, float depth) {
        prepare(osc, 44100, 330);
        osc.setVoiceLevel(1.0f);
        osc.setDriftSpread(0.5f);
        osc.setDriftDepth(depth);
        render(osc, 1000);  // finite for a while, then the rate breaks mid-run
        osc.setDriftRate(std::nanf(""));
    };
    MultiOscillator still, barely;
    make(still, 0.0f);
    make(barely, std::numeric_limits<float>::denorm_min());
    const Stereo a = render(still, 3000, 100), b = render(barely, 3000, 100);
    EXPECT_TRUE(sameBits(a.a, b.a));
    EXPECT_TRUE(sameBits(a.b, b.b));
    EXPECT_TRUE(TestSupport::allFinite(a.a.data(), static_cast<int>(a.a.size())));
}

// A drift spread of exactly 0 restarts the drift LFOs: after it (and a phase
// reset) a used oscillator sounds exactly like a fresh one.
TEST(MultiOscillator, ZeroDriftSpreadRestartsTheDrift) {
    auto make = [](MultiOscillator& osc) {
        prepare(osc, 44100, 220);
        osc.setDriftDepth(0.8f);
        osc.setDriftRate(3.0f);
    };
    MultiOscillator used, fresh;
    make(used);
    make(fresh);
    used.setDriftSpread(0.5f);
    render(used, 5000);
    used.setDriftSpread(0.0f);
    used.setPhase(0.0f);
    fresh.setDriftSpread(0.0f);
    EXPECT_EQ(render(used, 4096).a, render(fresh, 4096).a);
}

class MultiOscillatorBlocks : public ::testing::TestWithParam<int> {};

TEST_P(MultiOscillatorBlocks, SameOutputWhateverTheBlockSplit) {
    auto make = [](MultiOscillator& osc, Unit& pitch) {
        osc.setControl(&pitch);
        prepare(osc, 44100, 330);
        osc.setDetune(0.0f);
        osc.setPhaseSpread(0.3f);
        osc.setDriftDepth(0.4f);
        osc.setDriftSpread(0.5f);
        osc.setStereoSpread(0.6f);
    };
    Unit pitchA(330.0f), pitchB(330.0f);
    MultiOscillator whole, split;
    make(whole, pitchA);
    make(split, pitchB);
    const Stereo expected = render(whole, 3000, 500);
    const Stereo got = render(split, 3000, GetParam());
    for (int i = 0; i < 3000; ++i) {
        ASSERT_FLOAT_EQ(got.a[static_cast<size_t>(i)], expected.a[static_cast<size_t>(i)]) << i;
        ASSERT_FLOAT_EQ(got.b[static_cast<size_t>(i)], expected.b[static_cast<size_t>(i)]) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, MultiOscillatorBlocks, ::testing::Values(1, 7, 64, 256));

// ---- Vector paths against the scalar reference ------------------------------

// A pitch control that sweeps in octaves between 1 Hz and 0.7 × the audio rate
// (through every table, the silent one and the Nyquist clamp), with one NaN.
class PitchSweep : public Unit {
public:
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i, ++k) {
            const double cycle = std::fmod(k * 0.004, 2.0);
            const double octaves = (cycle < 1.0 ? cycle : 2.0 - cycle) * std::log2(0.7 * sampleRate * 8.0);
            out[i] = k == 700 ? std::nanf("") : static_cast<float>(std::exp2(octaves));
        }
    }

private:
    long k = 0;
};

// A slowly moving audio-rate detune, for the detune-source spans.
class DetuneWobble : public Unit {
public:
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i, ++k) out[i] = 0.02f * static_cast<float>(std::sin(k * 0.0007));
    }

private:
    long k = 0;
};

struct VectorCase {
    const char* name;
    float detune, phaseSpread, beatRate, driftDepth, driftSpread, evenLevel, fundamental, stereoSpread;
    int detuneSource;  // 0 none, 1 a slow wobble, 2 held at 0 (phase lock at every update, then new increments)
    bool heldPitch = false;  // a constant control: updates that keep the increments unless a lock changed them
};

const VectorCase kVectorCases[] = {
    {"DetunedDrifting", 0.01f, 0.0f, 0.0f, 0.3f, 0.5f, 0.5f, 0.7f, 0.5f, 0},
    {"PhaseLocked", 0.0f, 0.3f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0},
    {"BeatRate", 0.0f, 0.0f, 2.0f, 0.1f, 1.0f, 0.0f, 0.2f, -0.7f, 0},
    {"DetuneSource", 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.8f, 1.0f, 1.0f, 1},
    {"LockedWithDetuneSource", 0.0f, 0.6f, 0.0f, 0.2f, 0.5f, 0.4f, 1.0f, 0.3f, 2},
    {"LockedAtHeldPitch", 0.0f, 0.45f, 0.0f, 0.0f, 0.0f, 0.6f, 1.0f, 0.4f, 0, true},
    // A held pitch without a lock: the updates after a block's first apply nothing new.
    {"DetunedAtHeldPitch", 0.01f, 0.2f, 0.0f, 0.3f, 0.5f, 0.5f, 0.7f, 0.5f, 0, true},
    {"BeatAtHeldPitch", 0.0f, 0.3f, 2.0f, 0.1f, 1.0f, 0.3f, 0.6f, -0.4f, 0, true},
    {"DetuneSourceAtHeldPitch", 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.8f, 1.0f, 1.0f, 1, true},
    // Backward-running voices and drift offsets many tables long: the slow wrap.
    {"Extreme", 0.8f, 0.9f, 0.0f, 12.0f, 0.3f, 0.3f, 0.0f, 0.9f, 0},
};

// Output A and B of one oscillator built at `level`, over `samples` in
// `block`s, reading `tables` (the library's set when empty).
Stereo renderAt(SimdLevel level, const VectorCase& c, float rate, int samples, int block,
                const Wavetable& tables = Wavetable()) {
    forceSimdLevel(level);
    PitchSweep pitch;
    DetuneWobble wobble;
    Unit still(0.0f), held(311.0f);
    MultiOscillator osc;
    forceSimdLevel(SimdLevel::Avx2);
    osc.setControl(c.heldPitch ? static_cast<Processor*>(&held) : &pitch);
    prepare(osc, rate, 220.0f);
    if (tables.getTableCount() > 0) osc.setWavetable(tables);
    if (c.detuneSource == 1) osc.setDetuneSource(&wobble);
    if (c.detuneSource == 2) osc.setDetuneSource(&still);
    osc.setDetune(c.detune);
    osc.setPhaseSpread(c.phaseSpread);
    osc.setBeatRate(c.beatRate);
    osc.setDriftDepth(c.driftDepth);
    osc.setDriftRate(3.0f);
    osc.setDriftSpread(c.driftSpread);
    osc.setEvenLevel(c.evenLevel);
    osc.setFundamentalLevel(c.fundamental);
    osc.setVoiceLevel(0.9f);
    osc.setStereoSpread(c.stereoSpread);
    return render(osc, samples, block);
}

// Every vector path this processor runs renders what the scalar loops render,
// bit for bit, at every block split and rate.
TEST(MultiOscillator, VectorPathsMatchTheScalarReferenceBitForBit) {
    std::vector<SimdLevel> levels{SimdLevel::Sse2};
    if (simdLevel() == SimdLevel::Avx2) levels.push_back(SimdLevel::Avx2);
    constexpr int kSamples = 12000;
    for (const VectorCase& c : kVectorCases) {
        for (float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
            for (int block : {1, 7, 64, 256, 4096}) {
                const Stereo reference = renderAt(SimdLevel::Scalar, c, rate, kSamples, block);
                ASSERT_TRUE(TestSupport::allFinite(reference.a.data(), kSamples)) << c.name;
                ASSERT_GT(TestSupport::peak(reference.a.data(), kSamples), 0.1) << c.name;
                for (SimdLevel level : levels) {
                    const Stereo got = renderAt(level, c, rate, kSamples, block);
                    EXPECT_TRUE(sameBits(got.a, reference.a) && sameBits(got.b, reference.b))
                        << c.name << " at " << rate << " Hz in blocks of " << block << ", level "
                        << static_cast<int>(level);
                }
            }
        }
    }
}

// A pitch held, then stepped: where the first blocks after the step apply the
// ramp depends on the update counter the held blocks left behind, which the
// vector path moves on without asking at every update.
TEST(MultiOscillator, APitchHeldThenSteppedMatchesTheScalarReference) {
    std::vector<SimdLevel> levels{SimdLevel::Scalar, SimdLevel::Sse2};
    if (simdLevel() == SimdLevel::Avx2) levels.push_back(SimdLevel::Avx2);
    constexpr int kSamples = 2000;
    for (int interval : {8, 5}) {
        for (int block : {7, 61, 256}) {
            std::vector<Stereo> got;
            for (SimdLevel level : levels) {
                forceSimdLevel(level);
                Unit pitch(311.0f);
                MultiOscillator osc;
                forceSimdLevel(SimdLevel::Avx2);
                osc.setControl(&pitch);
                osc.setUpdateInterval(interval);
                prepare(osc, 48000.0f, 311.0f);
                osc.setDetune(0.01f);
                osc.setPhaseSpread(0.2f);
                osc.setVoiceLevel(0.9f);
                Stereo s = render(osc, kSamples, block);
                pitch.setValue(523.0f);
                const Stereo after = render(osc, kSamples, block);
                s.a.insert(s.a.end(), after.a.begin(), after.a.end());
                s.b.insert(s.b.end(), after.b.begin(), after.b.end());
                got.push_back(std::move(s));
            }
            ASSERT_GT(TestSupport::peak(got[0].a.data(), 2 * kSamples), 0.1);
            for (size_t k = 1; k < got.size(); ++k)
                EXPECT_TRUE(sameBits(got[k].a, got[0].a) && sameBits(got[k].b, got[0].b))
                    << "interval " << interval << ", blocks of " << block << ", level " << k;
        }
    }
}

// A set laid out by hand has no side-by-side copies; the vector renderers then
// read the tables themselves, and must still match the scalar loops.
TEST(MultiOscillator, VectorPathsWithoutSideBySideTablesMatchTheScalarReference) {
    const Wavetable shared = sharedTables();
    const int T = shared.getTableCount(), N = shared.getTableLength(), rate = shared.getDesignRate();
    Wavetable copy(T, N, rate);
    ASSERT_EQ(copy.getPairedTables(), nullptr);
    std::memcpy(const_cast<int*>(copy.getLookup()), shared.getLookup(), static_cast<size_t>(rate / 2 + 1) * sizeof(int));
    std::memcpy(const_cast<int*>(copy.getBoundaries()), shared.getBoundaries(), static_cast<size_t>(T) * sizeof(int));
    for (int t = 0; t < T; ++t) {
        std::memcpy(copy.getOddTables()[t], shared.getOddTables()[t], static_cast<size_t>(N) * sizeof(float));
        std::memcpy(copy.getEvenTables()[t], shared.getEvenTables()[t], static_cast<size_t>(N) * sizeof(float));
    }
    std::vector<SimdLevel> levels{SimdLevel::Sse2};
    if (simdLevel() == SimdLevel::Avx2) levels.push_back(SimdLevel::Avx2);
    constexpr int kSamples = 6000;
    for (const VectorCase& c : kVectorCases) {
        for (int block : {7, 256}) {
            const Stereo reference = renderAt(SimdLevel::Scalar, c, 48000.0f, kSamples, block, copy);
            ASSERT_GT(TestSupport::peak(reference.a.data(), kSamples), 0.1) << c.name;
            // The copy sounds as the library's set does: the copies are a layout, not new values.
            const Stereo library = renderAt(SimdLevel::Scalar, c, 48000.0f, kSamples, block);
            EXPECT_TRUE(sameBits(library.a, reference.a) && sameBits(library.b, reference.b)) << c.name;
            for (SimdLevel level : levels) {
                const Stereo got = renderAt(level, c, 48000.0f, kSamples, block, copy);
                EXPECT_TRUE(sameBits(got.a, reference.a) && sameBits(got.b, reference.b))
                    << c.name << " in blocks of " << block << ", level " << static_cast<int>(level);
            }
        }
    }
}

// Voice 0 held in the sine's last interval (a very low pitch started just
// short of a full turn): every renderer interpolates toward sample 0 there,
// the vector ones through the sample repeated past the table's end.
TEST(MultiOscillator, FundamentalAcrossTheSineTablesEndMatchesTheScalarReference) {
    std::vector<SimdLevel> levels{SimdLevel::Scalar, SimdLevel::Sse2};
    if (simdLevel() == SimdLevel::Avx2) levels.push_back(SimdLevel::Avx2);
    constexpr int kSamples = 40;
    const float turn = 2.0f * std::numbers::pi_v<float>;
    std::vector<Stereo> got;
    for (SimdLevel level : levels) {
        forceSimdLevel(level);
        MultiOscillator osc;
        forceSimdLevel(SimdLevel::Avx2);
        prepare(osc, 44100.0f, 1.0f);
        osc.setFundamentalLevel(1.0f);
        osc.setOddLevel(0.0f);
        osc.setEvenLevel(0.0f);
        osc.setPhase(turn * (1.0f - 0.6f / static_cast<float>(kN)));
        got.push_back(render(osc, kSamples, 7));
    }
    // The reference really sits between the last sample and the first, and rises toward 0.
    const std::vector<float>& ref = got[0].a;
    EXPECT_LT(ref[0], 0.0f);
    EXPECT_GT(ref[0], 0.5f * std::sin(-turn / static_cast<float>(kN)));
    EXPECT_GT(ref[kSamples - 1], ref[0]);
    for (size_t k = 1; k < got.size(); ++k)
        EXPECT_TRUE(sameBits(got[k].a, got[0].a) && sameBits(got[k].b, got[0].b)) << "level " << k;
}

struct Extreme {
    float frequency, detune, beatRate, driftDepth, driftRate, driftSpread, voiceLevel, stereoSpread, phaseSpread;
};

class MultiOscillatorExtremes : public ::testing::TestWithParam<Extreme> {};

TEST_P(MultiOscillatorExtremes, StaysFiniteAndBounded) {
    const Extreme e = GetParam();
    MultiOscillator osc;
    Unit pitch(e.frequency);
    osc.setControl(&pitch);
    prepare(osc, 44100, e.frequency);
    osc.setDetune(e.detune);
    osc.setBeatRate(e.beatRate);
    osc.setDriftDepth(e.driftDepth);
    osc.setDriftRate(e.driftRate);
    osc.setDriftSpread(e.driftSpread);
    osc.setVoiceLevel(e.voiceLevel);
    osc.setStereoSpread(e.stereoSpread);
    osc.setPhaseSpread(e.phaseSpread);
    const Stereo s = render(osc, 20000, 333);
    ASSERT_TRUE(TestSupport::allFinite(s.a.data(), 20000));
    ASSERT_TRUE(TestSupport::allFinite(s.b.data(), 20000));
    EXPECT_LT(TestSupport::peak(s.a.data(), 20000), 3.0);
    EXPECT_LT(TestSupport::peak(s.b.data(), 20000), 3.0);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, MultiOscillatorExtremes,
    ::testing::Values(Extreme{0, 0, 0, 0, 0, 0, 0, 0, 0}, Extreme{22050, 0.5f, 0, 1, 1, 1, 1, 1, 1},
                      Extreme{20, 0.01f, 0, 1, 1, 1, 1, -1, 0.5f}, Extreme{8000, 0, 0, 1, 1, 0, 1, 1, 0.99f},
                      Extreme{440, 0, 1000, 1, 0, 1, 1, 1, 0.25f}, Extreme{100, 3.0f, 0, 3, 40, 1, 1, 1, 0},
                      Extreme{15000, -0.8f, 0, 1, 1, 1, 0.5f, 0.5f, 0},
                      Extreme{440, std::nanf(""), 0, 1, 1, 1, 1, 0, std::nanf("")}));

TEST(MultiOscillator, SilentUntilGivenATableSet) {
    MultiOscillator osc;
    std::vector<float> a(64, 1.0f), b(64, 1.0f);
    osc.process(a.data(), 64);
    osc.process(b.data(), 64);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(a[static_cast<size_t>(i)], 0.0f);
        EXPECT_EQ(b[static_cast<size_t>(i)], 0.0f);
    }
}

// ---- Plain oscillators --------------------------------------------------------

TEST(Squarewave, StartsHighAndFlipsOncePhasePassesPi) {
    Squarewave sq;  // one radian per sample until a frequency is set
    std::vector<float> out(10);
    sq.process(out.data(), 10);
    const std::vector<float> expected = {1, 1, 1, -1, -1, -1, 1, 1, 1, -1};
    EXPECT_EQ(out, expected);
}

TEST(Squarewave, FrequencyDutyAndPhase) {
    Squarewave sq;
    sq.setSampleRate(44100);
    sq.setFrequency(441);
    std::vector<float> out(44100);
    pull(sq, out);
    // Period 100 samples, half high and half low (one sample of jitter from the phase sum).
    double sum = 0;
    for (float v : out) sum += v;
    EXPECT_LT(std::fabs(sum / out.size()), 0.02);
    EXPECT_NEAR(TestSupport::zeroCrossingFrequency(out.data(), 44100, 44100), 441, 0.5);
    sq.setPhase(4.0f);
    sq.process(out.data(), 1);
    EXPECT_EQ(out[0], -1.0f);
    sq.setPhase(0.0f);
    sq.process(out.data(), 1);
    EXPECT_EQ(out[0], 1.0f);
}

// The update points land where asking at every sample puts them, whatever
// the block split: a control that moves at every update gives the same bits.
TEST(Squarewave, ControlUpdatesLandTheSameInEveryBlockSplit) {
    // A control rising from 50 Hz, a step per control sample.
    class Rising : public Unit {
    public:
        void process(float* out, int count) override {
            for (int i = 0; i < count; ++i) out[i] = 50.0f + 3.0f * static_cast<float>(k++);
        }

    private:
        int k = 0;
    };
    std::vector<std::vector<float>> got;
    for (int block : {1, 7, 64, 256}) {
        Squarewave sq;
        Rising sweep;
        sq.setControl(&sweep);
        sq.setUpdateInterval(5);
        sq.setSampleRate(8000);
        std::vector<float> out(4000);
        pull(sq, out, block);
        got.push_back(out);
    }
    for (size_t k = 1; k < got.size(); ++k) EXPECT_TRUE(sameBits(got[k], got[0])) << k;
    int flips = 0;
    for (size_t i = 1; i < got[0].size(); ++i) flips += got[0][i] != got[0][i - 1];
    EXPECT_GT(flips, 20);
}

TEST(Squarewave, FollowsItsControl) {
    Squarewave sq;
    Unit rate(100.0f);
    sq.setControl(&rate);
    sq.setSampleRate(8000);
    std::vector<float> out(8000);
    pull(sq, out);
    EXPECT_FLOAT_EQ(sq.getFrequency(), 100.0f);
    EXPECT_NEAR(TestSupport::zeroCrossingFrequency(out.data() + 400, 7600, 8000), 100, 0.5);
}

TEST(Noise, RepeatsFromItsInitialStateAndStaysInRange) {
    Noise first, second;
    std::vector<float> a(65536), b(65536);
    pull(first, a);
    pull(second, b, 333);
    EXPECT_EQ(a, b);
    // Worked by hand with 32-bit wrap-around: a ^= b, emit b, b += a.
    // a: 0x88888888, 0xF0DEBC99, …; b: 0xEFCDAB89, 0x78563411, 0x6934F0AA, 0x031F3CDD.
    const double scale = 1.0 / 2147483648.0;
    EXPECT_EQ(a[0], static_cast<float>(-271733879 * scale));
    EXPECT_EQ(a[1], static_cast<float>(2018915345 * scale));
    EXPECT_EQ(a[2], static_cast<float>(1765077162 * scale));
    EXPECT_EQ(a[3], static_cast<float>(52378845 * scale));
    double sum = 0;
    for (float v : a) {
        ASSERT_GE(v, -1.0f);
        ASSERT_LE(v, 1.0f);
        sum += v;
    }
    EXPECT_LT(std::fabs(sum / a.size()), 0.02);
    EXPECT_GT(TestSupport::rms(a.data(), 65536), 0.4);
}

TEST(DummyOscillator, WritesSilence) {
    DummyOscillator dummy;
    std::vector<float> out(100, 0.5f);
    dummy.process(out.data(), 100);
    for (float v : out) EXPECT_EQ(v, 0.0f);
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST(Oscillators, ProcessNeverAllocates) {
    MultiOscillator osc;
    Unit pitch(440.0f), detune(0.01f);
    osc.setControl(&pitch);
    osc.setDetuneSource(&detune);
    prepare(osc, 44100, 440);
    Squarewave sq;
    Noise noise;
    DummyOscillator dummy;
    std::vector<float> a(kMaxBlock), b(kMaxBlock);
    TestSupport::AllocationScope scope;
    for (int size : {1, 64, kMaxBlock}) {
        osc.process(a.data(), size);
        osc.process(b.data(), size);
        sq.process(a.data(), size);
        noise.process(a.data(), size);
        dummy.process(a.data(), size);
    }
    EXPECT_EQ(scope.stop().allocations, 0);
}
#endif
