// The factory bank held to what a musician expects of it, through the built
// plug-in: every designed program's tail ends after the keys are released, no
// note starts with a transient far above the note itself, nothing peaks over
// -1 dBFS at full velocity in the program's register, and the programs sit
// within 3 LU of the bank's median loudness. Also checks the measurements.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "host/HostedPlugin.h"
#include "host/Renderer.h"
#include "tests/instrument/sound_rig.h"
#include "tests/support/ListeningMeasures.h"
#include "tools/gallery/PhraseRender.h"

#ifndef MORVELITH_PLUGIN_PATH
#define MORVELITH_PLUGIN_PATH ""
#endif

namespace {

using Gallery::Performance;
using Gallery::PhraseKind;
using Gallery::PhraseTake;

// Programs 0..74 are designed sounds; 75 is reference data and exempt.
constexpr int kDesignedCount = 75;
constexpr int kProgramsPerGroup = 15;
constexpr int kFullVelocity = 127;
// Rendered past the last note-off: the tail is judged from 1 s to 10 s after it.
constexpr double kTailRenderSeconds = 10.5;

constexpr double kMinTailFallDb = 10.0;
constexpr double kSilentTailDb = -90.0;
constexpr double kMaxOnsetExcessDb = 12.0;
constexpr double kMaxPeakDb = -1.0;
constexpr double kLoudnessWindowLu = 3.0;
constexpr double kRateHz = 44100.0;

// The takes every check of a program shares, rendered once per test process.
struct ProgramTakes {
    PhraseTake loudPreview;  // its preview phrase at full velocity, with a long tail
    PhraseTake loudHeld;     // long notes in its register at full velocity
};

const ProgramTakes& takesOf(int program) {
    static std::map<int, ProgramTakes> cache;
    auto found = cache.find(program);
    if (found == cache.end()) {
        const PhraseKind kind = Gallery::phraseFor(program);
        ProgramTakes t;
        t.loudPreview = Gallery::renderPhrase(MORVELITH_PLUGIN_PATH, program,
                                              Performance{kind, kFullVelocity, 0, kTailRenderSeconds});
        t.loudHeld = Gallery::renderPhrase(
            MORVELITH_PLUGIN_PATH, program,
            Performance{PhraseKind::Long, kFullVelocity, Gallery::heldTranspose(kind), 1.0});
        found = cache.emplace(program, std::move(t)).first;
    }
    return found->second;
}

// Integrated loudness of a program's preview as the gallery plays it (velocity 100).
double previewLoudness(int program) {
    static std::map<int, double> cache;
    auto found = cache.find(program);
    if (found == cache.end()) {
        const PhraseTake take = Gallery::renderPhrase(MORVELITH_PLUGIN_PATH, program,
                                                      Performance{Gallery::phraseFor(program)});
        const double lufs =
            TestSupport::measureLoudness(take.left, take.right, take.previewFrames, take.sampleRate).integratedLufs;
        found = cache.emplace(program, lufs).first;
    }
    return found->second;
}

class FactoryBank : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = SoundRig::missingPlugin();
        if (!why.empty()) GTEST_SKIP() << why;
    }
};

class BankLimits : public FactoryBank, public ::testing::WithParamInterface<int> {};

// The three checks of one program share its renders, so they run together;
// the bank is cut into groups that ctest can run side by side.
TEST_P(BankLimits, TailsEndOnsetsStayNearTheirNotesAndPeaksStayUnderMinusOneDbfs) {
    const int first = GetParam() * kProgramsPerGroup;
    for (int program = first; program < std::min(first + kProgramsPerGroup, kDesignedCount); ++program) {
        const ProgramTakes& t = takesOf(program);
        const std::string who = std::to_string(program) + " " + t.loudPreview.programName;

        const TestSupport::Tail tail = TestSupport::measureTail(t.loudPreview.left, t.loudPreview.right,
                                                                t.loudPreview.lastNoteOffFrame,
                                                                t.loudPreview.sampleRate);
        EXPECT_TRUE(tail.at10sDb < kSilentTailDb || tail.at1sDb - tail.at10sDb >= kMinTailFallDb)
            << who << ": tail " << tail.at1sDb << " dBFS 1 s after the last note-off, " << tail.at10sDb
            << " dBFS at 10 s";

        for (const PhraseTake* take : {&t.loudPreview, &t.loudHeld}) {
            for (int64_t on : take->noteOnFrames) {
                const double excess = TestSupport::onsetExcessDb(take->left, take->right, on, take->sampleRate);
                EXPECT_LE(excess, kMaxOnsetExcessDb) << who << ": note-on at frame " << on;
            }
            const double peak =
                TestSupport::measureLoudness(take->left, take->right, take->previewFrames, take->sampleRate)
                    .samplePeakDb;
            EXPECT_LE(peak, kMaxPeakDb) << who << (take == &t.loudHeld ? ", held notes" : ", preview phrase");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Groups, BankLimits,
                         testing::Range(0, (kDesignedCount + kProgramsPerGroup - 1) / kProgramsPerGroup));

TEST_F(FactoryBank, EveryDesignedProgramLiesWithinThreeLuOfTheMedianLoudness) {
    std::vector<double> loudness;
    for (int program = 0; program < kDesignedCount; ++program) loudness.push_back(previewLoudness(program));
    std::vector<double> sorted = loudness;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (int program = 0; program < kDesignedCount; ++program)
        EXPECT_NEAR(loudness[static_cast<size_t>(program)], median, kLoudnessWindowLu)
            << program << ": median " << median << " LUFS";
    std::printf("Bank loudness: median %.1f LUFS, %.1f to %.1f (spread %.1f LU)\n", median, sorted.front(),
                sorted.back(), sorted.back() - sorted.front());
}

// Regression: "Lost in a Forest" fed its band-pass echoes back where the
// pitched loop sustains itself at its limiter; after one short note it grew
// from -57 to -9 dBFS over about 50 s and never stopped.
TEST_F(FactoryBank, LostInAForestFallsQuietAfterASingleNote) {
    constexpr int kProgram = 51;
    Host::HostedPlugin plugin(MORVELITH_PLUGIN_PATH);
    plugin.open({kRateHz, 512, kProgram});
    ASSERT_EQ(plugin.programName(), "Lost in a Forest");
    Host::Timeline note;
    Host::MidiMessage on;
    on.bytes[0] = 0x90, on.bytes[1] = 48, on.bytes[2] = 100, on.size = 3;
    Host::MidiMessage off = on;
    off.bytes[0] = 0x80, off.bytes[2] = 0;
    note.events = {{0, on}, {static_cast<int64_t>(kRateHz), off}};
    const Host::StereoRender r = Host::renderTimeline(plugin, note, static_cast<int64_t>(60 * kRateHz), {512});
    const auto second = static_cast<int64_t>(kRateHz);
    const double early = TestSupport::levelDb(r.left, r.right, second, 2 * second);
    for (int from = 10; from < 60; from += 10) {
        const double later = TestSupport::levelDb(r.left, r.right, from * second, 10 * second);
        EXPECT_LT(later, early - 10.0 * from / 10) << "from " << from << " s: " << later << " dBFS, after the note "
                                                    << early;
    }
}

// --- the measurements themselves --------------------------------------------

constexpr double kRate = 44100.0;

std::vector<float> sine(double hz, double amplitude, double seconds) {
    std::vector<float> x(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / kRate));
    return x;
}

TEST(ListeningMeasures, LoudnessAndPeaksOfKnownTones) {
    // BS.1770: a 997 Hz sine at -20 dBFS in both channels reads -20 LUFS.
    const std::vector<float> tone = sine(997.0, 0.1, 5.0);
    const TestSupport::Loudness both = TestSupport::measureLoudness(tone, tone, tone.size(), kRate);
    EXPECT_NEAR(both.integratedLufs, -20.0, 0.1);
    EXPECT_NEAR(both.samplePeakDb, -20.0, 0.05);
    EXPECT_NEAR(both.truePeakDb, -20.0, 0.1);
    // One channel alone is 3 dB less loud; silence is not gated in.
    std::vector<float> silence(tone.size(), 0.0f), withPause = tone;
    withPause.insert(withPause.end(), tone.size(), 0.0f);
    EXPECT_NEAR(TestSupport::measureLoudness(tone, silence, tone.size(), kRate).integratedLufs, -23.01, 0.1);
    // (the 400 ms gating blocks that straddle the pause lower it a little)
    EXPECT_NEAR(TestSupport::measureLoudness(withPause, withPause, withPause.size(), kRate).integratedLufs, -20.0,
                0.2);
    // Between samples: a quarter-rate sine sampled at its zero crossings'
    // midpoints peaks 3 dB above its samples; the true peak sees it.
    std::vector<float> offset(static_cast<size_t>(kRate));
    for (size_t i = 0; i < offset.size(); ++i)
        offset[i] = static_cast<float>(0.5 * std::sin(std::numbers::pi / 2.0 * static_cast<double>(i) + 0.25 * std::numbers::pi));
    const TestSupport::Loudness between = TestSupport::measureLoudness(offset, offset, offset.size(), kRate);
    EXPECT_NEAR(between.samplePeakDb, 20.0 * std::log10(0.5 * std::sqrt(0.5)), 0.05);
    EXPECT_GT(between.truePeakDb, between.samplePeakDb + 2.5);
}

TEST(ListeningMeasures, TailLevelsAndLengthOfADecay) {
    // A 0 dBFS sine (-3 dBFS RMS) released at 1 s, then falling 6 dB per second.
    const double release = 1.0;
    std::vector<float> x = sine(440.0, 1.0, 13.0);
    for (size_t i = static_cast<size_t>(release * kRate); i < x.size(); ++i)
        x[i] *= static_cast<float>(std::pow(10.0, -6.0 / 20.0 * (static_cast<double>(i) / kRate - release)));
    const TestSupport::Tail tail = TestSupport::measureTail(x, x, static_cast<int64_t>(release * kRate), kRate);
    EXPECT_NEAR(tail.at1sDb, -3.0 - 6.0, 0.2);
    EXPECT_NEAR(tail.at10sDb, -3.0 - 60.0, 0.2);
    // It passes -60 dBFS 9.5 s after the release.
    EXPECT_NEAR(tail.seconds, 9.5, 0.06);
}

TEST(ListeningMeasures, OnsetExcessComparesTheFirstTwentyMillisecondsWithTheNote) {
    std::vector<float> x = sine(440.0, 0.1, 1.0);
    const auto on = static_cast<int64_t>(0.2 * kRate);
    std::fill(x.begin(), x.begin() + on, 0.0f);
    EXPECT_NEAR(TestSupport::onsetExcessDb(x, x, on, kRate), 0.0, 0.1);
    x[static_cast<size_t>(on + 14)] = 1.0f;  // a one-sample spike 20 dB over the note
    EXPECT_NEAR(TestSupport::onsetExcessDb(x, x, on, kRate), 20.0, 0.1);
    x[static_cast<size_t>(on + static_cast<int64_t>(0.1 * kRate))] = 1.0f;  // the same later is the note itself
    EXPECT_NEAR(TestSupport::onsetExcessDb(x, x, on, kRate), 0.0, 0.1);
}

}  // namespace
