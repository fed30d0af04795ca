// Snap rules: every step rule lands on its grid and on the nearest point of
// it, at both fine settings; the beat grid follows its own section's switch;
// the centre detents; the vibrato depth snaps to whole semitones or cents of
// vibrato, symmetrically, and a slow editor drag moves it the way it is pulled.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <string>

#include "instrument/ParameterDisplay.h"
#include "instrument/ParameterSnap.h"
#include "instrument/ParameterTable.h"
#include "tests/instrument/ParameterTestSupport.h"

using namespace Vst;
using ParameterTest::StubInstrument;
using ParameterTest::textOf;

namespace {

struct GridCase {
    const char* rule;
    int index;
    bool fine;
    int steps;
};

std::ostream& operator<<(std::ostream& out, const GridCase& c) {
    return out << c.rule << " index " << c.index << (c.fine ? " fine" : " coarse") << " " << c.steps;
}

class StepGrids : public testing::TestWithParam<GridCase> {
protected:
    StubInstrument plugin;
};

// Over the whole travel (and a little beyond, as the editor passes value + delta
// before clamping) the result is a whole number of steps and the nearest one.
TEST_P(StepGrids, LandOnTheNearestStep) {
    const GridCase& c = GetParam();
    const ValueQuantizer snap = parameterSnapRule(c.index);
    ASSERT_NE(snap, nullptr);
    const int switchIndex = Snap::sectionSyncSwitch(c.index);
    if (switchIndex >= 0) plugin.store(switchIndex, 1.0f);
    const double d = c.steps;
    for (int i = 0; i <= 4000; ++i) {
        const float x = static_cast<float>(i) / 4000.0f;
        const double q = snap(x, c.index, c.fine, &plugin);
        const double stepCount = q * d;
        ASSERT_NEAR(stepCount, std::round(stepCount), 1e-3 * std::max(1.0, d / 240.0)) << x;
        ASSERT_LE(std::fabs(q - x), 0.5 / d + 1e-6) << x;
    }
    EXPECT_EQ(snap(0.0f, c.index, c.fine, &plugin), 0.0f);
    EXPECT_EQ(snap(1.0f, c.index, c.fine, &plugin), 1.0f);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rules, StepGrids, testing::Values(
    GridCase{"octave or semitone", kPitchTune, false, 20},
    GridCase{"octave or semitone", kPitchTune, true, 240},
    GridCase{"octave or semitone", kHpfDelayTune, false, 20},
    GridCase{"octave or semitone", kBpfDelayTune, true, 240},
    GridCase{"semitone or cent", kPitchLfoDepth, false, 240},
    GridCase{"semitone or cent", kTrillDepth, true, 24000},
    GridCase{"semitone or octave", kLpfTune, false, 240},
    GridCase{"semitone or octave", kLpfTune, true, 20},
    GridCase{"semitone or octave", kHpfLfo, false, 240},
    GridCase{"semitone or octave", kHpfEnv, true, 20},
    GridCase{"24 steps", kPitchBend, false, 24},
    GridCase{"24 steps", kPitchBend, true, 24},
    GridCase{"21 steps", kLfoRateSynced, false, 21},
    GridCase{"21 steps", kDelayRSynced, true, 21},
    GridCase{"7 steps", kEq1Type, false, 7},
    GridCase{"7 steps", kEq2Type, true, 7},
    GridCase{"beat grid", kAmpAtkSynced, false, 32},
    GridCase{"beat grid", kHpfRelSynced, true, 1024},
    GridCase{"beat grid", kLfoHoldSynced, false, 32},
    GridCase{"beat grid", kTrillFadeSynced, true, 1024}));
// clang-format on

TEST(StepSnap, RoundsHalfStepsUpInFloat) {
    // trunc(x * d + 0.5) / d: the half step goes up, just below it down.
    EXPECT_EQ(Snap::toSteps(0.525f, 20.0f), 0.55f);
    EXPECT_EQ(Snap::toSteps(0.52f, 20.0f), 0.5f);
    EXPECT_EQ(Snap::toSteps(0.5f + 1.4f / 240.0f, 240.0f), 121.0f / 240.0f);
}

// The 22 positions of the note-value snap: the top two both read "1/64 t".
TEST(StepSnap, NoteValueSnapGivesTwentyTwoPositions) {
    std::string previous;
    int distinct = 0;
    for (int k = 0; k <= 21; ++k) {
        const float q = Snap::noteValueSteps(static_cast<float>(k) / 21.0f, kLfoRateSynced, false, nullptr);
        const std::string text = textOf(Display::noteValue, q, nullptr);
        if (text != previous) ++distinct;
        previous = text;
    }
    EXPECT_EQ(distinct, 21);
    EXPECT_EQ(textOf(Display::noteValue, Snap::noteValueSteps(20.0f / 21.0f, 0, false, nullptr), nullptr), "1/64 t");
    EXPECT_EQ(textOf(Display::noteValue, Snap::noteValueSteps(1.0f, 0, false, nullptr), nullptr), "1/64 t");
}

// Fine snaps of Pitch: TUNE are semitones; the texts agree.
TEST(StepSnap, TuneSnapsReadAsWholeSemitonesAndOctaves) {
    for (int k = 0; k <= 240; ++k) {
        const float dragged = static_cast<float>(k) / 240.0f + 0.3f / 240.0f;
        const float q = Snap::octaveOrSemitone(dragged, kPitchTune, true, nullptr);
        const int semis = k - 120;
        char expected[32];
        if (semis == 0) {
            std::snprintf(expected, sizeof expected, "0oct");
        } else if (semis % 12 == 0) {
            std::snprintf(expected, sizeof expected, "%+doct", semis / 12);
        } else {
            std::snprintf(expected, sizeof expected, "%+dst", semis);
        }
        EXPECT_EQ(textOf(Display::coarseTune, q, nullptr), expected) << k;
    }
}

TEST(BeatGrid, UnchangedWhileTheSectionSwitchIsOff) {
    StubInstrument plugin;
    plugin.store(kAmpSyncEnable, 0.0f);
    EXPECT_EQ(Snap::beatGrid(0.3f, kAmpDcySynced, false, &plugin), 0.3f);
    EXPECT_EQ(Snap::beatGrid(0.3f, kAmpDcySynced, true, &plugin), 0.3f);
    plugin.store(kAmpSyncEnable, 1.0f);
    EXPECT_EQ(Snap::beatGrid(0.3f, kAmpDcySynced, false, &plugin), 10.0f / 32.0f);  // 2.5 beats
    EXPECT_EQ(Snap::beatGrid(0.3f, kAmpDcySynced, true, &plugin), 307.0f / 1024.0f);
    EXPECT_EQ(Snap::beatGrid(0.3f, kAmpDcySynced, false, nullptr), 0.3f);
}

// The switch each synced parameter follows, from the parameter list.
TEST(BeatGrid, EachParameterFollowsItsOwnSection) {
    const std::pair<int, int> expected[] = {
        {54, 47}, {55, 47}, {56, 47}, {69, 61}, {70, 61}, {71, 61}, {84, 76}, {85, 76}, {86, 76},
        {103, 97}, {104, 97}, {105, 97}, {106, 97}, {118, 112}, {119, 112}, {120, 112}, {121, 112},
        {130, 124}, {131, 124}, {132, 124}, {133, 124},
    };
    const int switches[] = {47, 61, 76, 97, 112, 124};
    for (const auto& [index, own] : expected) {
        ASSERT_EQ(parameterSnapRule(index), Snap::beatGrid) << index;
        StubInstrument plugin;
        for (int s : switches) plugin.store(s, s == own ? 0.0f : 1.0f);
        EXPECT_EQ(Snap::beatGrid(0.3f, index, false, &plugin), 0.3f) << index;
        plugin.store(own, 1.0f);
        EXPECT_EQ(Snap::beatGrid(0.3f, index, false, &plugin), 0.3125f) << index;
    }
}

TEST(SnapRuleTable, IndicesWithoutASnapRuleKeepTheDraggedValue) {
    const int snapped[] = {16, 17, 19, 20, 25, 26, 27, 34, 35, 36, 53, 54, 55, 56, 63, 68, 69, 70, 71, 78, 83,
                           84, 85, 86, 103, 104, 105, 106, 118, 119, 120, 121, 130, 131, 132, 133, 150, 151,
                           154, 157, 163, 167};
    int withRule = 0;
    for (int index = -1; index <= kParameterCount; ++index) {
        const bool expected = std::find(std::begin(snapped), std::end(snapped), index) != std::end(snapped);
        EXPECT_EQ(parameterSnapRule(index) != nullptr, expected) << index;
        withRule += parameterSnapRule(index) != nullptr;
    }
    EXPECT_EQ(withRule, 42);
    EXPECT_EQ(parameterSnapRule(kPitchEnvDepth), Snap::centreDetent);
    EXPECT_EQ(parameterSnapRule(kVibraDepth), Snap::vibratoDepth);
}

TEST(CentreDetent, CoarseDragsRestOnTheCentre) {
    EXPECT_EQ(Snap::centreDetent(0.502f, kPitchEnvDepth, false, nullptr), 0.5f);
    EXPECT_EQ(Snap::centreDetent(0.4976f, kPitchEnvDepth, false, nullptr), 0.5f);
    EXPECT_EQ(Snap::centreDetent(0.503f, kPitchEnvDepth, false, nullptr), 0.503f);
    EXPECT_EQ(Snap::centreDetent(0.497f, kPitchEnvDepth, false, nullptr), 0.497f);
    EXPECT_EQ(Snap::centreDetent(0.502f, kPitchEnvDepth, true, nullptr), 0.502f);
    EXPECT_EQ(Snap::centreDetent(0.9f, kPitchEnvDepth, false, nullptr), 0.9f);
}

// --- Vibrato depth -------------------------------------------------------------

// Vibrato in semitones of a value, from the depth curve.
double vibratoSemitones(float x) {
    const double y = static_cast<double>(x) - 0.5;
    if (std::fabs(y) < 0.2) return 5.0 * y;
    const double cube = y * y * y / 0.2359664;
    return 240.0 * (y > 0 ? cube - 0.02973647 : cube + 0.02973647);
}

TEST(VibratoDepthSnap, DetentAndLinearMiddleAsDragged) {
    EXPECT_EQ(Snap::vibratoDepth(0.502f, kVibraDepth, false, nullptr), 0.5f);
    EXPECT_EQ(Snap::vibratoDepth(0.502f, kVibraDepth, true, nullptr), 0.502f);
    EXPECT_EQ(Snap::vibratoDepth(0.6f, kVibraDepth, false, nullptr), 0.6f);
    EXPECT_EQ(Snap::vibratoDepth(0.35f, kVibraDepth, true, nullptr), 0.35f);
}

struct VibratoCase {
    bool fine;
    double step;  // semitones
};

std::ostream& operator<<(std::ostream& out, const VibratoCase& c) {
    return out << (c.fine ? "fine, " : "coarse, ") << c.step << " st";
}

class VibratoDepthSteps : public testing::TestWithParam<VibratoCase> {};

// Outside the linear middle the snapped value is a whole number of steps of
// vibrato, the nearest one, on either side of the centre alike.
TEST_P(VibratoDepthSteps, WholeStepsOfVibratoOnBothSides) {
    const auto [fine, step] = GetParam();
    for (int i = 0; i <= 3000; ++i) {
        const float x = 0.7f + 0.3f * static_cast<float>(i) / 3000.0f;
        for (const float dragged : {x, 1.0f - x}) {
            const float q = Snap::vibratoDepth(dragged, kVibraDepth, fine, nullptr);
            const double steps = vibratoSemitones(q) / step;
            ASSERT_NEAR(steps, std::round(steps), 0.02) << dragged;
            ASSERT_NEAR(vibratoSemitones(q), vibratoSemitones(dragged), 0.52 * step) << dragged;
        }
        // What the knob then reads: whole semitones, or whole cents when fine.
        const std::string shown =
            textOf(Display::vibratoDepth, Snap::vibratoDepth(x, kVibraDepth, fine, nullptr), nullptr);
        if (!fine) {
            // One semitone sits where the curve's two pieces meet and may read in cents.
            const std::string tail = shown.substr(shown.size() - 5);
            ASSERT_TRUE(tail == ".00st" || tail == "100ct") << x << " reads " << shown;
        }
        const float up = Snap::vibratoDepth(x, kVibraDepth, fine, nullptr);
        const float down = Snap::vibratoDepth(1.0f - x, kVibraDepth, fine, nullptr);
        ASSERT_NEAR(up - 0.5f, 0.5f - down, 2e-6f) << x;
    }
    EXPECT_NEAR(Snap::vibratoDepth(1.0f, kVibraDepth, fine, nullptr), 1.0f, 1e-6f);
    EXPECT_NEAR(Snap::vibratoDepth(0.0f, kVibraDepth, fine, nullptr), 0.0f, 1e-6f);
    EXPECT_EQ(textOf(Display::vibratoDepth, Snap::vibratoDepth(1.0f, kVibraDepth, fine, nullptr), nullptr),
              "+120.00st");
    EXPECT_EQ(textOf(Display::vibratoDepth, Snap::vibratoDepth(0.0f, kVibraDepth, fine, nullptr), nullptr),
              "-120.00st");
}

INSTANTIATE_TEST_SUITE_P(Fine, VibratoDepthSteps, testing::Values(VibratoCase{false, 1.0}, VibratoCase{true, 0.01}));

// The editor's knob drag: q = snap(value + delta); the value moves only when q
// differs. Regression: on the lower half the snap rounded toward the centre, so
// a downward drag stepped the value up and never reached the end.
TEST(VibratoDepthSnap, DraggingDownTheLowerHalfReachesTheEnd) {
    for (const bool fine : {false, true}) {
        // One pixel of knob travel per mouse event.
        const float delta = fine ? -0.005f / 25.0f : -0.005f;
        float value = 0.25f;
        for (int event = 0; event < 20000 && value > 0.0f; ++event) {
            const float q = Snap::vibratoDepth(value + delta, kVibraDepth, fine, nullptr);
            ASSERT_LE(q, value) << "drag down moved up at " << value << (fine ? " fine" : " coarse");
            value = std::max(q, 0.0f);
        }
        EXPECT_NEAR(value, 0.0f, 1e-6f) << (fine ? "fine" : "coarse");
    }
}

TEST(VibratoDepthSnap, DraggingUpTheUpperHalfReachesTheEnd) {
    float value = 0.75f;
    for (int event = 0; event < 20000 && value < 1.0f; ++event) {
        const float q = Snap::vibratoDepth(value + 0.01f, kVibraDepth, false, nullptr);
        ASSERT_GE(q, value) << value;
        value = std::min(q, 1.0f);
    }
    EXPECT_NEAR(value, 1.0f, 1e-6f);
}

}  // namespace
