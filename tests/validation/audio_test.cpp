// Audio processing as hosts drive it: every sample rate hosts offer times
// every block size they use (and one that changes from call to call), with
// notes, legato, repeated notes, all-notes-off and pitch bend. The output is
// finite and bounded, and the same MIDI gives the same audio whatever the
// block size; no heap use inside effProcessEvents or processReplacing.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "instrument/ParameterIndex.h"
#include "tests/validation/ValidationSupport.h"

using namespace Validation;

namespace {

// No factory sound may leave more than +12 dB over full scale.
constexpr double kPeakBound = 4.0;
// The phrase must be heard: louder than -50 dBFS RMS over the whole render.
constexpr double kAudibleRms = 0.00316;

// Why the block size can matter at all, and by how much.
//
// Events split the frame's sub-blocks at their own frame whatever the host's
// blocks are, every unit keeps per-sample state, and control sources are
// pulled when the per-sample ramp reaches the next point of its fixed
// 8-sample grid, so a host block boundary changes neither what is computed
// nor when. The one exception is the phaser: it recomputes its all-pass
// coefficients from its sweep every 16th sample counted from the start of
// each call, so a host boundary moves those instants. At any sample the
// coefficients in use come from a sweep phase at most 15 samples old, so two
// splits differ there by at most 15 d of sweep phase, d = 2 pi rate / fs.
// The corner frequency f obeys d ln f / d phase <= R = ln(high / low) (the
// sweep shape peaks at a = 4), a first-order all-pass moves its phase by at
// most 1 rad per unit of ln f, and four stages are swept: the phase error is
// at most 4 R 15 d, which changes each component by at most that fraction of
// its amplitude. The wet signal has the amplitude of the dry one (all-pass,
// no feedback), and the rest of the chain (spread, master) is linear, so the
// bound holds against the peak of the same render with the phaser bypassed.
// A factor 2 covers the coefficient steps' own transients, which the
// steady-state phase argument leaves out. The delays (a limiter in one loop)
// and the equaliser stay off for this bound: the equaliser's default 20 Hz
// shelf sits so close to the unit circle at high rates that single-precision
// rounding alone turns a 1e-4 difference at its input into 1e-2 at 192 kHz
// (fed the same input it is exact, as the whole-voice case shows).
//
// So: the whole voice with the phaser bypassed must give identical audio;
// with the phaser on, the largest difference must stay within 2 x 4 R 15 d
// of the bypassed peak.
constexpr int kSweepStep = 16;
constexpr int kSweptStages = 4;
constexpr double kTransientFactor = 2.0;
constexpr double kPhaserRateHz = 1.0;  // "Phaser: RATE" at 1 is its fastest sweep

// F(v) of the sweep range: ratios of two settings follow from the exponent alone.
double sweepLogRatio(float high, float low) { return (120.103 * (high - low)) * 0.05732507; }

double phaserTolerance(double sampleRate, double bypassedPeak) {
    const double sweepStep = 2.0 * M_PI * kPhaserRateHz / sampleRate;
    const double phaseError = kSweptStages * sweepLogRatio(0.75f, 0.5f) * (kSweepStep - 1) * sweepStep;
    return kTransientFactor * phaseError * bypassedPeak;
}

// The voice every case plays: detuned voices, filter and pitch modulation,
// tremolo, drive, spread, both delays with feedback and the equaliser all at
// work, so every part of the graph meets the block splits.
void configureVoice(Host::HostedPlugin& plugin) {
    const std::pair<int, float> settings[] = {
        {Vst::kOscDetune, 0.3f},     {Vst::kOscMulti, 0.6f},      {Vst::kPitchLfoDepth, 0.52f},
        {Vst::kLpfEnv, 0.7f},        {Vst::kLpfLfo, 0.6f},        {Vst::kLpfRes, 0.5f},
        {Vst::kAmpLfo, 0.3f},        {Vst::kDriveAmount, 0.4f},   {Vst::kSpreadSpread, 0.5f},
        {Vst::kDelayEnable, 1.0f},   {Vst::kDelaySyncEnable, 1.0f}, {Vst::kDelayLSynced, 0.6f},
        {Vst::kDelayRSynced, 0.55f}, {Vst::kHpfDelayMix, 0.4f},   {Vst::kHpfDelayFb, 0.5f},
        {Vst::kBpfDelayMix, 0.4f},   {Vst::kBpfDelayFb, 0.6f},    {Vst::kEqEnable, 1.0f},
        {Vst::kEq1Gain, 0.56f},      {Vst::kEq2Gain, 0.45f},
    };
    for (const auto& [index, value] : settings) plugin.setParameter(index, value);
}

// WholeVoice: everything above, phaser bypassed. SweepingPhaser: the phaser
// at its fastest, at full mix and without feedback, with the delays and the
// equaliser off so that the chain after it is linear and well conditioned.
// SweepingPhaserBypassed: the same without the phaser, the tolerance's level.
enum class Setup { WholeVoice, SweepingPhaser, SweepingPhaserBypassed };

void configure(Host::HostedPlugin& plugin, Setup setup) {
    configureVoice(plugin);
    if (setup == Setup::WholeVoice) {
        plugin.setParameter(Vst::kPhaserEnable, 0.0f);
        return;
    }
    plugin.setParameter(Vst::kDelayEnable, 0.0f);
    plugin.setParameter(Vst::kEqEnable, 0.0f);
    plugin.setParameter(Vst::kPhaserEnable, setup == Setup::SweepingPhaser ? 1.0f : 0.0f);
    plugin.setParameter(Vst::kPhaserDepth, 1.0f);
    plugin.setParameter(Vst::kPhaserRate, 1.0f);
    plugin.setParameter(Vst::kPhaserRangeMin, 0.5f);
    plugin.setParameter(Vst::kPhaserRangeMax, 0.75f);
    plugin.setParameter(Vst::kPhaserFb, 0.0f);
}

// Program 0 with the phaser set up as asked; the settings are queued and so
// reach the engine at the first sub-block, the same instant for every split.
Stereo renderPhrase(double rate, const std::vector<int>& blocks, Setup setup, HeapUse* heap = nullptr) {
    int largest = 1;
    for (int b : blocks) largest = std::max(largest, b);
    Host::HostedPlugin plugin(pluginPath());
    plugin.open({rate, largest, 0});
    configure(plugin, setup);
    return render(plugin, testPhrase(rate), phraseFrames(rate), blocks, heap);
}

std::vector<int> blockPattern(int index) {
    if (index < static_cast<int>(std::size(kBlockSizes))) return {kBlockSizes[index]};
    return kVaryingBlocks;
}

std::string patternName(int index) {
    if (index < static_cast<int>(std::size(kBlockSizes))) return "block" + std::to_string(kBlockSizes[index]);
    return "blockVarying";
}

class RatesAndBlocks : public ::testing::TestWithParam<std::tuple<double, int>> {
protected:
    void SetUp() override { VALIDATION_REQUIRE_PLUGIN(); }
    double rate() const { return std::get<0>(GetParam()); }
    std::vector<int> blocks() const { return blockPattern(std::get<1>(GetParam())); }
};

void report(const char* what, double rate, const std::vector<int>& blocks, double deviation, double tolerance) {
    std::cout << "[deviation] " << what << " rate " << rate << " blocks " << blocks.front()
              << (blocks.size() > 1 ? "(varying)" : "") << ": max |difference| " << deviation << " (tolerance "
              << tolerance << ")" << std::endl;
}

// A fresh instance rendering whole 4096-frame blocks is the reference; the
// 4096 case then compares two instances, which proves no state leaks between them.
TEST_P(RatesAndBlocks, WholeVoiceGivesIdenticalAudioFiniteBoundedAndWithoutHeapUse) {
    HeapUse heap;
    const Stereo candidate = renderPhrase(rate(), blocks(), Setup::WholeVoice, &heap);
    const Stereo reference = renderPhrase(rate(), {kLargestBlock}, Setup::WholeVoice);

    ASSERT_TRUE(allFinite(candidate));
    EXPECT_LE(peak(candidate), kPeakBound);
    EXPECT_GT(rms(candidate), kAudibleRms) << "the phrase is not heard";
    const double deviation = maxDifference(candidate, reference);
    report("whole voice, phaser bypassed", rate(), blocks(), deviation, 0.0);
    RecordProperty("max_deviation", std::to_string(deviation));
    EXPECT_EQ(deviation, 0.0);

    if (countsAllocations()) {
        EXPECT_EQ(heap.allocations, 0) << "over " << heap.blocks << " blocks";
        EXPECT_EQ(heap.releases, 0) << "over " << heap.blocks << " blocks";
    }
}

TEST_P(RatesAndBlocks, SweepingPhaserStaysWithinItsUpdateGridTolerance) {
    HeapUse heap;
    const Stereo candidate = renderPhrase(rate(), blocks(), Setup::SweepingPhaser, &heap);
    const Stereo reference = renderPhrase(rate(), {kLargestBlock}, Setup::SweepingPhaser);
    const Stereo bypassed = renderPhrase(rate(), {kLargestBlock}, Setup::SweepingPhaserBypassed);

    ASSERT_TRUE(allFinite(candidate));
    EXPECT_LE(peak(candidate), kPeakBound);
    EXPECT_GT(rms(candidate), kAudibleRms) << "the phrase is not heard";
    const double tolerance = phaserTolerance(rate(), peak(bypassed));
    const double deviation = maxDifference(candidate, reference);
    report("phaser sweeping", rate(), blocks(), deviation, tolerance);
    RecordProperty("max_deviation", std::to_string(deviation));
    EXPECT_LE(deviation, tolerance);

    if (countsAllocations()) {
        EXPECT_EQ(heap.allocations, 0) << "over " << heap.blocks << " blocks";
        EXPECT_EQ(heap.releases, 0) << "over " << heap.blocks << " blocks";
    }
}

INSTANTIATE_TEST_SUITE_P(Grid, RatesAndBlocks,
                         ::testing::Combine(::testing::ValuesIn(kSampleRates),
                                            ::testing::Range(0, static_cast<int>(std::size(kBlockSizes)) + 1)),
                         [](const auto& info) {
                             return "rate" + std::to_string(static_cast<int>(std::get<0>(info.param))) + "_" +
                                    patternName(std::get<1>(info.param));
                         });

}  // namespace
