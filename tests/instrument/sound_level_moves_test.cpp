// Level moves during play, through the built instrument: "Master: LEVEL",
// "Osc: TRIM", "Phaser: DEPTH" and "HPF Delay: MIX" jumped under a held note glide over 5 ms,
// with no sample-to-sample step beyond the signal's own; the glide ends on
// exactly the output a held value gives, whatever the host's block split; and
// a level reached by a glide renders bit for bit as the same level applied
// with its program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/instrument/sound_rig.h"

using namespace SoundRig;
using namespace Vst;

namespace {

// The instrument's glide time for its level stages.
constexpr double kGlideSeconds = 0.005;
constexpr int kNote = 57;  // 220 Hz
constexpr int64_t kMove = 13230;  // 0.3 s into the note, past its attack
constexpr int64_t kSteady = 4410; // 0.1 s of steady signal either side
constexpr int64_t kFrames = kMove + 3 * kSteady;

int64_t glideFrames(double rate) { return std::llround(rate * kGlideSeconds); }

// Largest |x[i] - x[i - 1]| for i in [begin, end), over both channels.
double largestStep(const Take& take, int64_t begin, int64_t end) {
    double largest = 0.0;
    for (const std::vector<float>* x : {&take.left, &take.right})
        for (int64_t i = std::max<int64_t>(begin, 1); i < end; ++i)
            largest = std::max(largest, std::fabs(static_cast<double>((*x)[static_cast<size_t>(i)]) -
                                                  (*x)[static_cast<size_t>(i - 1)]));
    return largest;
}

// Frames from `from` on at which two takes differ in either channel, and the last of them.
struct Difference {
    int64_t count = 0;
    int64_t last = -1;
};
Difference differences(const Take& a, const Take& b, int64_t from = 0) {
    Difference d;
    for (int64_t i = from; i < a.frames(); ++i) {
        const auto k = static_cast<size_t>(i);
        if (a.left[k] != b.left[k] || a.right[k] != b.right[k]) {
            ++d.count;
            d.last = i;
        }
    }
    return d;
}

// Largest |a[i] - b[i]| for i in [begin, end), over both channels.
double largestDifference(const Take& a, const Take& b, int64_t begin, int64_t end = -1) {
    if (end < 0) end = a.frames();
    double largest = 0.0;
    for (int64_t i = begin; i < end; ++i) {
        const auto k = static_cast<size_t>(i);
        largest = std::max({largest, std::fabs(static_cast<double>(a.left[k]) - b.left[k]),
                            std::fabs(static_cast<double>(a.right[k]) - b.right[k])});
    }
    return largest;
}

// The take's largest magnitude over [begin, begin + frames), both channels.
double windowPeak(const Take& take, int64_t begin, int64_t frames) {
    double peak = 0.0;
    for (int64_t i = begin; i < begin + frames; ++i)
        for (const std::vector<float>* x : {&take.left, &take.right})
            peak = std::max(peak, std::fabs(static_cast<double>((*x)[static_cast<size_t>(i)])));
    return peak;
}

// The signal's own steepest step either side of a change that reaches the
// output at `at` and glides for `glide` frames, and the steepest step across it.
struct Steps {
    double steady;
    double across;
};
Steps stepsAround(const Take& take, int64_t at, int64_t glide) {
    const double before = largestStep(take, at - kSteady, at);
    const double after = largestStep(take, at + glide + 1, at + glide + kSteady);
    return {std::max(before, after), largestStep(take, at - 1, at + glide + 1)};
}

class SoundLevelMoves : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = missingPlugin();
        if (!why.empty()) GTEST_SKIP() << why;
    }
};

// A round tone (the low-pass at the played pitch): its own steepest step is a
// small part of its amplitude, so a level that jumped would stand out.
void roundTone(Rig& rig) { rig.set(kLpfTune, 0.5f); }

}  // namespace

// Before the glide a jump from 0.2 to 0.8 multiplied the output by 250
// (+48 dB) between two adjacent samples.
TEST_F(SoundLevelMoves, MasterLevelJumpGlidesWithoutAStepAndEndsOnTheHeldLevel) {
    const int64_t glide = glideFrames(kRate);
    for (const auto& [from, to] : {std::pair{0.2f, 0.8f}, std::pair{0.8f, 0.2f}}) {
        SCOPED_TRACE(testing::Message() << from << " -> " << to);
        Rig moved;
        roundTone(moved);
        moved.set(kMasterLevel, from);
        const Take a = moved.play(Score().noteOn(0, kNote).parameter(kMove, kMasterLevel, to), kFrames);
        Rig held;
        roundTone(held);
        held.set(kMasterLevel, to);
        const Take b = held.play(Score().noteOn(0, kNote), kFrames);

        const Steps steps = stepsAround(a, kMove, glide);
        ASSERT_GT(steps.steady, 1e-3);
        EXPECT_LE(steps.across, steps.steady);
        // It glides (the first frame is not yet at the new level) and the last
        // frame of the glide carries exactly the held level's output.
        EXPECT_NE(a.left[kMove], b.left[kMove]);
        const Difference d = differences(a, b, kMove);
        EXPECT_EQ(d.last, kMove + glide - 2);
        EXPECT_EQ(differences(a, b, kMove + glide - 1).count, 0);
    }
}

// The phaser's wet level is set inside its own loop; before its glide a jump
// from 0.2 to 0.8 quadrupled the wet part between two adjacent samples. Its
// loop does not depend on the wet level, so after the glide the output is
// that of a depth held from the start.
TEST_F(SoundLevelMoves, PhaserDepthJumpGlidesWithoutAStepAndEndsOnTheHeldDepth) {
    const int64_t glide = glideFrames(kRate);
    const auto phased = [](Rig& rig, float depth) {
        roundTone(rig);
        rig.set({{kPhaserEnable, 1.0f}, {kPhaserFb, 0.5f}, {kPhaserDepth, depth}});
    };
    for (const auto& [from, to] : {std::pair{0.2f, 0.8f}, std::pair{0.8f, 0.2f}}) {
        SCOPED_TRACE(testing::Message() << from << " -> " << to);
        Rig moved;
        phased(moved, from);
        const Take a = moved.play(Score().noteOn(0, kNote).parameter(kMove, kPhaserDepth, to), kFrames);
        Rig held;
        phased(held, to);
        const Take b = held.play(Score().noteOn(0, kNote), kFrames);

        const Steps steps = stepsAround(a, kMove, glide);
        ASSERT_GT(steps.steady, 1e-3);
        EXPECT_LE(steps.across, steps.steady);
        // Before the move the depth is audibly other than the held one's; from
        // the glide's last frame on the output is the held depth's, but for
        // what the units after the phaser remember of the other history
        // (below -60 dB of the signal; an instant jump leaves the same).
        const double peak = windowPeak(b, kMove, kSteady);
        const double before = largestDifference(a, b, kMove - kSteady, kMove);
        const double after = largestDifference(a, b, kMove + glide - 1, kFrames);
        EXPECT_GT(before, 0.05 * peak);
        EXPECT_NE(a.left[kMove], b.left[kMove]);
        EXPECT_LT(largestDifference(a, b, kMove + glide - 2, kMove + glide - 1), before);
        EXPECT_LT(after, 1e-3 * peak) << after / peak;
    }
}

TEST_F(SoundLevelMoves, OscillatorTrimJumpGlidesWithoutAStep) {
    Rig rig;
    roundTone(rig);
    rig.set(kOscTrim, 0.2f);
    const Take a = rig.play(Score().noteOn(0, kNote).parameter(kMove, kOscTrim, 0.8f), kFrames);
    const Steps steps = stepsAround(a, kMove, glideFrames(kRate));
    ASSERT_GT(steps.steady, 1e-3);
    EXPECT_LE(steps.across, steps.steady);
    // The trim did move the level: 0.8 is 48 dB above 0.2.
    const double quiet = windowRms(a.left, kMove - kSteady, kSteady);
    const double loud = windowRms(a.left, kMove + kSteady, kSteady);
    EXPECT_GT(loud, 100.0 * quiet);
}

// The send sits before the delay line, so its move reaches the output one
// delay length (4096 frames, the line's shortest) after it is made.
TEST_F(SoundLevelMoves, DelayMixJumpGlidesWithoutAStepInTheEcho) {
    constexpr int64_t kDelayFrames = 4096;
    Rig rig;
    roundTone(rig);
    rig.set({{kDelayEnable, 1.0f}, {kDelaySyncEnable, 0.0f}, {kDelayL, 0.0f}, {kDelayR, 0.0f}, {kHpfDelayMix, 0.2f}, {kBpfDelayMix, 0.0f},
             {kHpfDelayFb, 0.0f}, {kBpfDelayFb, 0.0f}, {kHpfDelayTune, 0.0f}});
    rig.settle(8820);  // the delay mutes open over 0.1 s
    const int64_t frames = kFrames + kDelayFrames;
    const Take a = rig.play(Score().noteOn(0, kNote).parameter(kMove, kHpfDelayMix, 0.8f), frames);
    const Steps steps = stepsAround(a, kMove + kDelayFrames, glideFrames(kRate));
    ASSERT_GT(steps.steady, 1e-3);
    EXPECT_LE(steps.across, steps.steady);

    // The echo alone (the output less the dry signal of an instance without a
    // send) grew fourfold with the send.
    Rig dry;
    roundTone(dry);
    dry.set({{kDelayEnable, 1.0f}, {kDelaySyncEnable, 0.0f}, {kDelayL, 0.0f}, {kDelayR, 0.0f}, {kHpfDelayMix, 0.0f}, {kBpfDelayMix, 0.0f},
             {kHpfDelayFb, 0.0f}, {kBpfDelayFb, 0.0f}, {kHpfDelayTune, 0.0f}});
    dry.settle(8820);
    const Take d = dry.play(Score().noteOn(0, kNote), frames);
    std::vector<float> echo(a.left.size());
    for (size_t i = 0; i < echo.size(); ++i) echo[i] = a.left[i] - d.left[i];
    const double low = windowRms(echo, kMove + kDelayFrames - kSteady, kSteady);
    const double high = windowRms(echo, kMove + kDelayFrames + kSteady, kSteady);
    ASSERT_GT(low, 1e-4);
    EXPECT_NEAR(high / low, 4.0, 0.4);
}

// Parameter changes reach the instrument between host blocks; from there on
// the glide runs sample by sample, so any split gives the same samples.
TEST_F(SoundLevelMoves, TheGlideIsTheSameWhateverTheBlockSplit) {
    const Score score = Score().noteOn(0, kNote).parameter(kMove, kMasterLevel, 0.8f).parameter(
        kMove + 100, kMasterLevel, 0.3f);  // a second move in mid-glide starts from where the first one was
    Take reference;
    for (int block : {4096, 1, 7, 64, 256}) {
        SCOPED_TRACE(block);
        Rig rig(kRate, kDefaultsProgram, 4096);
        roundTone(rig);
        rig.set(kMasterLevel, 0.2f);
        const Take take = rig.play(score, kFrames, block);
        if (reference.frames() == 0) {
            reference = take;
            continue;
        }
        EXPECT_EQ(differences(take, reference).count, 0);
    }
}

// The unsmoothed path: a program's values applied at once. The same levels
// reached by moving the controls render the same samples. Both instances
// apply a program at the same frame, so every other setting has been through
// the same handlers. (The trim is left out: it sits before the filters, which
// run on in silence, so a trim moved later leaves them another history.)
TEST_F(SoundLevelMoves, ALevelReachedByAGlideRendersAsTheSameLevelAppliedWithItsProgram) {
    const auto prepare = [](Rig& rig) {
        rig.set({{kDelayEnable, 1.0f}, {kHpfDelayFb, 0.3f}, {kHpfDelayTune, 0.0f}});
        rig.settle(8820);  // the delay mutes open over 0.1 s
    };
    Rig moved;
    prepare(moved);
    const std::vector<uint8_t> before = moved.plugin().getChunk(true);
    ASSERT_EQ(moved.plugin().setChunk(before, true), 1);
    moved.settle();
    moved.set({{kMasterLevel, 0.8f}, {kHpfDelayMix, 0.6f}, {kBpfDelayMix, 0.4f}});

    Rig applied;
    prepare(applied);
    ASSERT_EQ(applied.plugin().setChunk(moved.plugin().getChunk(true), true), 1);
    applied.settle();
    applied.settle();
    for (int index : {kMasterLevel, kHpfDelayMix, kBpfDelayMix})
        ASSERT_EQ(applied.plugin().getParameter(index), moved.plugin().getParameter(index)) << index;

    const Score score = Score().noteOn(0, kNote).noteOff(kMove, kNote);
    const Take a = moved.play(score, kFrames);
    const Take b = applied.play(score, kFrames);
    ASSERT_GT(windowRms(a.left, kMove, kSteady), 1e-3);  // the echoes are in it
    EXPECT_EQ(differences(a, b).count, 0);
}
