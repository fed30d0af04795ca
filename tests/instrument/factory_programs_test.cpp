// The factory bank: the 100 names in order, every record in 0..1 with its
// reserved indices and spare floats at zero, the Init programs against the
// defaults, program 75 against its listed differences, and the designed
// sounds as a whole: together they move every parameter, and program 0 is
// the broad showcase it is meant to be.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "frame/ProgramRecord.h"
#include "instrument/FactoryPrograms.h"
#include "instrument/ParameterTable.h"

using namespace Vst;

namespace {

const char* const kNames[kFactoryProgramCount] = {
    "Insectoplasm", "Wonder Child", "Fatphase", "Stimulead", "Aggression", "Drillerlead", "Dronetrap",
    "Cannibal", "Bleeperlead", "Nice Bleeper", "Close Encounter", "Gunfun", "C-Driver", "Welcome", "Screamer",
    "Chaos", "Chippy", "Proton Chainsaw", "Monster", "Boombass", "Woofer", "Howler Bass", "Immaterial",
    "Nervous Wind", "Metallostad", "Bumperbounce 1", "Bumperbounce 2", "Bumperbounce 3", "Silverfall",
    "Didgee Oink", "Electrified 1", "Electrified 2", "Electrified 3", "Electrisweep", "Servocrush", "Servoload",
    "Toasted Circuit", "Drone Buzz", "Busycreature", "Nanoprobe", "Square Wobble", "Laserkick", "Roostack",
    "Scratch N Drums", "Visitor X", "Hornet Buzz", "Shy Bulb", "Retroblip", "Blazerlead", "Boosterlead",
    "Into the Trees", "Lost in a Forest", "Tremolonging", "Gamecreature", "Telehole", "Icy Rubber Keys",
    "Airy Rubber Keys", "Fragile", "Nice Bell", "Soft Pick", "Challenging", "Whipflush", "Whammy Bass",
    "Zappy Kickback Bass", "Sweeping Threat Bass", "Pumping Pull Bass", "Phaser Bass", "Dist Punch Bass",
    "Phased Bottom Bass", "Bleeping Siren Bass", "Wicked Witch", "Resonant Vibra Block", "Sleezoid",
    "Sneaky Worm", "Dist Sweeper", "Basic Reso Delay", "Init 76", "Init 77", "Init 78", "Init 79", "Init 80",
    "Init 81", "Init 82", "Init 83", "Init 84", "Init 85", "Init 86", "Init 87", "Init 88", "Init 89",
    "Init 90", "Init 91", "Init 92", "Init 93", "Init 94", "Init 95", "Init 96", "Init 97", "Init 98",
    "Init 99",
};

float defaultOf(int index) { return parameterInfo(index).defaultValue; }

TEST(FactoryNames, AllHundredInOrderAndFitTheRecord) {
    size_t longest = 0;
    for (int p = 0; p < kFactoryProgramCount; ++p) {
        ASSERT_NE(factoryProgramName(p), nullptr) << p;
        EXPECT_STREQ(factoryProgramName(p), kNames[p]) << p;
        const size_t length = std::strlen(factoryProgramName(p));
        EXPECT_LE(length, static_cast<size_t>(ProgramRecord::kMaxNameLength)) << p;
        longest = std::max(longest, length);
    }
    EXPECT_EQ(longest, 20u);
}

TEST(FactoryNames, OutsideTheBankThereIsNothing) {
    for (int p : {-1, kFactoryProgramCount, 1000}) {
        EXPECT_EQ(factoryProgramName(p), nullptr) << p;
        EXPECT_EQ(factoryProgramValues(p), nullptr) << p;
    }
}

// Records are 183 consecutive floats in program order, and stay put.
TEST(FactoryValues, RecordsFollowEachOtherInProgramOrder) {
    for (int p = 0; p + 1 < kFactoryProgramCount; ++p) {
        EXPECT_EQ(factoryProgramValues(p + 1) - factoryProgramValues(p), kFactoryRecordFloats) << p;
    }
    EXPECT_EQ(factoryProgramValues(42), factoryProgramValues(42));
}

class EveryProgram : public testing::TestWithParam<int> {};

TEST_P(EveryProgram, ValuesInRangeReservedAndSpareAtZero) {
    const int p = GetParam();
    const float* values = factoryProgramValues(p);
    ASSERT_NE(values, nullptr);
    for (int j = 0; j < kParameterCount; ++j) {
        EXPECT_TRUE(std::isfinite(values[j]) && values[j] >= 0.0f && values[j] <= 1.0f) << "index " << j;
        if (parameterInfo(j).type == kParameterReserved) {
            EXPECT_EQ(values[j], 0.0f) << "reserved " << j;
        }
        // Switches are on or off, never between.
        if (parameterInfo(j).type == kParameterSwitch) {
            EXPECT_TRUE(values[j] == 0.0f || values[j] == 1.0f) << parameterInfo(j).name;
        }
    }
    EXPECT_EQ(values[181], 0.0f);
    EXPECT_EQ(values[182], 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Bank, EveryProgram, testing::Range(0, kFactoryProgramCount));

TEST(InitPrograms, SeventySixToEightyAreTheDefaults) {
    for (int p = 76; p <= 80; ++p) {
        for (int j = 0; j < kParameterCount; ++j) EXPECT_EQ(factoryProgramValues(p)[j], defaultOf(j)) << p << ":" << j;
    }
}

TEST(InitPrograms, EightyOneToNinetyNineOpenThePhaserSweepOnly) {
    for (int p = 81; p <= 99; ++p) {
        for (int j = 0; j < kParameterCount; ++j) {
            const float expected = j == kPhaserRangeMax ? 1.0f : defaultOf(j);
            EXPECT_EQ(factoryProgramValues(p)[j], expected) << p << ":" << j;
        }
    }
    EXPECT_NE(defaultOf(kPhaserRangeMax), 1.0f);
}

TEST(BasicResoDelay, DiffersFromTheDefaultsExactlyAsListed) {
    const std::map<int, float> differences = {
        {0, 1.0f},     {8, 0.0f},    {9, 0.0f},     {25, 0.7f},       {28, 0.305f},  {34, 0.6f},  {47, 0.0f},
        {64, 0.5f},    {68, 0.475f}, {76, 0.0f},    {77, 0.0f},       {91, 0.408999f}, {100, 0.25f},
        {103, 0.05f},  {105, 0.25f}, {106, 0.1f},   {112, 0.0f},      {115, 0.25f},  {118, 0.05f},
        {120, 0.25f},  {121, 0.1f},  {124, 0.0f},   {127, 0.25f},     {130, 0.05f},  {132, 0.25f},
        {133, 0.1f},   {140, 1.0f},  {146, 1.0f},   {148, 0.675f},    {149, 0.71f},  {151, 0.29f},
        {154, 0.3f},   {155, 1.0f},  {157, 0.3f},
    };
    ASSERT_EQ(differences.size(), 34u);
    const float* values = factoryProgramValues(75);
    ASSERT_NE(values, nullptr);
    EXPECT_STREQ(factoryProgramName(75), "Basic Reso Delay");
    for (int j = 0; j < kParameterCount; ++j) {
        const auto listed = differences.find(j);
        const float expected = listed != differences.end() ? listed->second : defaultOf(j);
        EXPECT_EQ(values[j], expected) << j << " " << parameterInfo(j).name;
    }
    // Every listed value really differs from its default (none is a no-op).
    for (const auto& [index, value] : differences) EXPECT_NE(value, defaultOf(index)) << index;
}

// Programs 0..74 are this bank's own designs; together they must exercise the
// whole instrument, or some section would never be heard from the factory.
TEST(DesignedPrograms, TogetherMoveEveryRealParameter) {
    for (int j = 0; j < kParameterCount; ++j) {
        if (parameterInfo(j).type == kParameterReserved) continue;
        bool moved = false;
        for (int p = 0; p < 75 && !moved; ++p) moved = factoryProgramValues(p)[j] != defaultOf(j);
        EXPECT_TRUE(moved) << j << " " << parameterInfo(j).name;
    }
}

TEST(DesignedPrograms, InsectoplasmShowsOffMostSections) {
    const float* values = factoryProgramValues(0);
    int differences = 0;
    for (int j = 0; j < kParameterCount; ++j) differences += values[j] != defaultOf(j) ? 1 : 0;
    EXPECT_GE(differences, 50);
    EXPECT_LE(differences, 58);
    // Oscillator reset, tempo-synced vibrato, trill and amplitude stages, and every effect switched in.
    for (int sw : {kOscTrig, kVibraSyncEnable, kTrillSyncEnable, kAmpSyncEnable, kPhaserEnable, kDelayEnable,
                   kDelaySyncEnable, kEqEnable}) {
        EXPECT_EQ(values[sw], 1.0f) << parameterInfo(sw).name;
    }
    for (int moved : {kOscPhase, kPitchPorta, kPitchEnvDepth, kLpfTune, kHpfTune, kSpreadSpread, kLfoRateSynced,
                      kVibraDepth, kTrillDepth, kDriveAmount, kEq1Gain, kEq2Gain}) {
        EXPECT_NE(values[moved], defaultOf(moved)) << parameterInfo(moved).name;
    }
}

}  // namespace
