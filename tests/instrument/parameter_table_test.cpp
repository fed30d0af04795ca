// The parameter table row by row: every real index with its
// name, control, type and default; the 61 reserved indices; the exact
// nine-digit defaults; free/SYNCED twins; rules only where a control is.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "instrument/ParameterDisplay.h"
#include "instrument/ParameterSnap.h"
#include "instrument/ParameterTable.h"

using namespace Vst;

namespace {

struct Row {
    int index;
    const char* name;
    ControlKind control;
    ParameterType type;
    float defaultValue;
};

// clang-format off
const Row kRows[] = {
    {0, "Osc: TRIG", ControlKind::kSwitch, kParameterSwitch, 0.0f},
    {1, "Osc: PHASE", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {2, "Osc: DETUNE", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {3, "Osc: MULTI", ControlKind::kMicro, kParameterContinuous, 1.0f},
    {4, "Osc: SPREAD", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {5, "Osc: LOW", ControlKind::kKnob, kParameterContinuous, 1.0f},
    {6, "Osc: WAVEFORM", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {7, "Osc: MASS AMOUNT", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {8, "Osc: MASS RATE", ControlKind::kMicro, kParameterContinuous, 0.25f},
    {9, "Osc: MASS VARI", ControlKind::kMicro, kParameterContinuous, 0.25f},
    {10, "Osc: TRIM", ControlKind::kMicro, kParameterContinuous, 0.5f},
    {15, "Pitch: PORTA", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {16, "Pitch: TUNE", ControlKind::kMicro, kParameterContinuous, 0.5f},
    {17, "Pitch: BEND", ControlKind::kMicro, kParameterContinuous, 0.5f},
    {18, "Pitch: ENV TIME", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {19, "Pitch: ENV DEPTH", ControlKind::kMicro, kParameterContinuous, 0.5f},
    {20, "Pitch: LFO DEPTH", ControlKind::kKnob, kParameterContinuous, 0.5f},
    {25, "LPF: TUNE", ControlKind::kKnob, kParameterContinuous, 1.0f},
    {26, "LPF: ENV", ControlKind::kKnob, kParameterContinuous, 0.5f},
    {27, "LPF: LFO", ControlKind::kKnob, kParameterContinuous, 0.5f},
    {28, "LPF: RES", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {29, "LPF: SPREAD", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {34, "HPF: TUNE", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {35, "HPF: ENV", ControlKind::kKnob, kParameterContinuous, 0.5f},
    {36, "HPF: LFO", ControlKind::kKnob, kParameterContinuous, 0.5f},
    {37, "HPF: RES", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {42, "Spread: RATE", ControlKind::kMicro, kParameterContinuous, 0.5f},
    {43, "Spread: SPREAD", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {47, "LFO: SYNC ENABLE", ControlKind::kSwitch, kParameterSwitch, 1.0f},
    {48, "LFO: TRIG", ControlKind::kSwitch, kParameterSwitch, 0.0f},
    {49, "LFO: RATE", ControlKind::kKnob, kParameterContinuous, 0.5f},
    {50, "LFO: DELAY", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {51, "LFO: FADE", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {52, "LFO: HOLD", ControlKind::kMicro, kParameterContinuous, 1.0f},
    {53, "LFO: RATE SYNCED", ControlKind::kKnob, kParameterContinuous, 0.125f},
    {54, "LFO: DELAY SYNCED", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {55, "LFO: FADE SYNCED", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {56, "LFO: HOLD SYNCED", ControlKind::kMicro, kParameterContinuous, 1.0f},
    {61, "Vibra: SYNC ENABLE", ControlKind::kSwitch, kParameterSwitch, 0.0f},
    {62, "Vibra: TRIG", ControlKind::kSwitch, kParameterSwitch, 0.0f},
    {63, "Vibra: DEPTH", ControlKind::kKnob, kParameterContinuous, 0.5f},
    {64, "Vibra: RATE", ControlKind::kKnob, kParameterContinuous, 0.659999847f},
    {65, "Vibra: DELAY", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {66, "Vibra: FADE", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {67, "Vibra: HOLD", ControlKind::kMicro, kParameterContinuous, 1.0f},
    {68, "Vibra: RATE SYNCED", ControlKind::kKnob, kParameterContinuous, 0.625f},
    {69, "Vibra: DELAY SYNCED", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {70, "Vibra: FADE SYNCED", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {71, "Vibra: HOLD SYNCED", ControlKind::kMicro, kParameterContinuous, 1.0f},
    {76, "Trill: SYNC ENABLE", ControlKind::kSwitch, kParameterSwitch, 1.0f},
    {77, "Trill: TRIG", ControlKind::kSwitch, kParameterSwitch, 1.0f},
    {78, "Trill: DEPTH", ControlKind::kKnob, kParameterContinuous, 0.5f},
    {79, "Trill: RATE", ControlKind::kKnob, kParameterContinuous, 0.5f},
    {80, "Trill: DELAY", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {81, "Trill: FADE", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {82, "Trill: HOLD", ControlKind::kMicro, kParameterContinuous, 1.0f},
    {83, "Trill: RATE SYNCED", ControlKind::kKnob, kParameterContinuous, 0.625f},
    {84, "Trill: DELAY SYNCED", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {85, "Trill: FADE SYNCED", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {86, "Trill: HOLD SYNCED", ControlKind::kMicro, kParameterContinuous, 1.0f},
    {91, "Master: LEVEL", ControlKind::kKnob, kParameterContinuous, 0.5f},
    {96, "Amp: LFO", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {97, "Amp: SYNC ENABLE", ControlKind::kSwitch, kParameterSwitch, 0.0f},
    {98, "Amp: ATK", ControlKind::kKnob, kParameterContinuous, 0.05f},
    {99, "Amp: HLD", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {100, "Amp: DCY", ControlKind::kKnob, kParameterContinuous, 0.215200126f},
    {101, "Amp: SUS", ControlKind::kKnob, kParameterContinuous, 1.0f},
    {102, "Amp: REL", ControlKind::kKnob, kParameterContinuous, 0.1f},
    {103, "Amp: ATK SYNCED", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {104, "Amp: HLD SYNCED", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {105, "Amp: DCY SYNCED", ControlKind::kKnob, kParameterContinuous, 0.0625f},
    {106, "Amp: REL SYNCED", ControlKind::kKnob, kParameterContinuous, 0.0625f},
    {109, "Drive: AMOUNT", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {112, "LPF: SYNC ENABLE", ControlKind::kSwitch, kParameterSwitch, 1.0f},
    {113, "LPF: ATK", ControlKind::kKnob, kParameterContinuous, 0.05f},
    {114, "LPF: HLD", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {115, "LPF: DCY", ControlKind::kKnob, kParameterContinuous, 0.215200126f},
    {116, "LPF: SUS", ControlKind::kKnob, kParameterContinuous, 1.0f},
    {117, "LPF: REL", ControlKind::kKnob, kParameterContinuous, 0.1f},
    {118, "LPF: ATK SYNCED", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {119, "LPF: HLD SYNCED", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {120, "LPF: DCY SYNCED", ControlKind::kKnob, kParameterContinuous, 0.0625f},
    {121, "LPF: REL SYNCED", ControlKind::kKnob, kParameterContinuous, 0.0625f},
    {124, "HPF: SYNC ENABLE", ControlKind::kSwitch, kParameterSwitch, 1.0f},
    {125, "HPF: ATK", ControlKind::kKnob, kParameterContinuous, 0.05f},
    {126, "HPF: HLD", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {127, "HPF: DCY", ControlKind::kKnob, kParameterContinuous, 0.215200126f},
    {128, "HPF: SUS", ControlKind::kKnob, kParameterContinuous, 1.0f},
    {129, "HPF: REL", ControlKind::kKnob, kParameterContinuous, 0.1f},
    {130, "HPF: ATK SYNCED", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {131, "HPF: HLD SYNCED", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {132, "HPF: DCY SYNCED", ControlKind::kKnob, kParameterContinuous, 0.0625f},
    {133, "HPF : REL SYNCED", ControlKind::kKnob, kParameterContinuous, 0.0625f},
    {136, "Phaser: ENABLE", ControlKind::kSwitch, kParameterSwitch, 0.0f},
    {137, "Phaser: DEPTH", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {138, "Phaser: RATE", ControlKind::kKnob, kParameterContinuous, 0.5f},
    {139, "Phaser: RANGE MIN", ControlKind::kMicro, kParameterContinuous, 0.5f},
    {140, "Phaser: RANGE MAX", ControlKind::kMicro, kParameterContinuous, 0.75f},
    {141, "Phaser: FB", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {146, "Delay: ENABLE", ControlKind::kSwitch, kParameterSwitch, 0.0f},
    {147, "Delay: SYNC ENABLE", ControlKind::kSwitch, kParameterSwitch, 1.0f},
    {148, "Delay: L", ControlKind::kMicro, kParameterContinuous, 0.125000224f},
    {149, "Delay: R", ControlKind::kMicro, kParameterContinuous, 0.187600240f},
    {150, "Delay: L SYNCED", ControlKind::kMicro, kParameterContinuous, 0.325f},
    {151, "Delay: R SYNCED", ControlKind::kMicro, kParameterContinuous, 0.275f},
    {152, "HPF Delay: MIX", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {153, "HPF Delay: FB", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {154, "HPF Delay: TUNE", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {155, "BPF Delay: MIX", ControlKind::kKnob, kParameterContinuous, 0.0f},
    {156, "BPF Delay: FB", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {157, "BPF Delay: TUNE", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {162, "Eq: ENABLE", ControlKind::kSwitch, kParameterSwitch, 0.0f},
    {163, "Eq 1: TYPE", ControlKind::kOption, kParameterContinuous, 0.9f},
    {164, "Eq 1: FRQ", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {165, "Eq 1: Q", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {166, "Eq 1: GAIN", ControlKind::kMicro, kParameterContinuous, 0.5f},
    {167, "Eq 2: TYPE", ControlKind::kOption, kParameterContinuous, 1.0f},
    {168, "Eq 2: FRQ", ControlKind::kMicro, kParameterContinuous, 1.0f},
    {169, "Eq 2: Q", ControlKind::kMicro, kParameterContinuous, 0.0f},
    {170, "Eq 2: GAIN", ControlKind::kMicro, kParameterContinuous, 0.5f},
};
// clang-format on

const std::set<int>& reservedIndices() {
    static const std::set<int> reserved = [] {
        std::set<int> out;
        const std::pair<int, int> spans[] = {{11, 14},   {21, 24},   {30, 33},   {38, 41},   {44, 46},
                                             {57, 60},   {72, 75},   {87, 90},   {92, 95},   {107, 108},
                                             {110, 111}, {122, 123}, {134, 135}, {142, 145}, {158, 161},
                                             {171, 180}};
        for (const auto& [first, last] : spans)
            for (int i = first; i <= last; ++i) out.insert(i);
        return out;
    }();
    return reserved;
}

class TableRows : public testing::TestWithParam<Row> {};

TEST_P(TableRows, MatchTheParameterList) {
    const Row& row = GetParam();
    const ParameterInfo& info = parameterInfo(row.index);
    EXPECT_STREQ(info.name, row.name);
    EXPECT_EQ(info.type, row.type);
    EXPECT_EQ(info.control, row.control);
    // Exact: the nine-digit defaults are float values, not approximations.
    EXPECT_EQ(info.defaultValue, row.defaultValue);
}

INSTANTIATE_TEST_SUITE_P(Parameters, TableRows, testing::ValuesIn(kRows), [](const auto& info) {
    return "Index" + std::to_string(info.param.index);
});

TEST(ParameterTable, ReservedIndicesAreEmptyTypeZeroDefaultZero) {
    ASSERT_EQ(reservedIndices().size(), 61u);
    for (int index : reservedIndices()) {
        const ParameterInfo& info = parameterInfo(index);
        EXPECT_STREQ(info.name, "") << index;
        EXPECT_EQ(info.type, kParameterReserved) << index;
        EXPECT_EQ(info.defaultValue, 0.0f) << index;
        EXPECT_EQ(info.control, ControlKind::kNone) << index;
        EXPECT_EQ(parameterDisplayRule(index), nullptr) << index;
        EXPECT_EQ(parameterSnapRule(index), nullptr) << index;
    }
}

TEST(ParameterTable, EveryOtherIndexIsReal) {
    int real = 0;
    for (int index = 0; index < kParameterCount; ++index) {
        if (reservedIndices().count(index) != 0) continue;
        ++real;
        EXPECT_NE(parameterInfo(index).type, kParameterReserved) << index;
        EXPECT_GT(std::strlen(parameterInfo(index).name), 0u) << index;
    }
    EXPECT_EQ(real, 120);
    EXPECT_EQ(std::size(kRows), 120u);
}

TEST(ParameterTable, IndicesOutsideTheTableAnswerTheReservedEntry) {
    for (int index : {-1, static_cast<int>(kParameterCount), kParameterCount + 1, 100000}) {
        EXPECT_STREQ(parameterInfo(index).name, "") << index;
        EXPECT_EQ(parameterInfo(index).type, kParameterReserved) << index;
        EXPECT_EQ(parameterDisplayRule(index), nullptr) << index;
        EXPECT_EQ(parameterSnapRule(index), nullptr) << index;
    }
}

TEST(ParameterTable, NamesAreUniqueAndTheLongestHasNineteenCharacters) {
    std::set<std::string> names;
    size_t longest = 0;
    std::string longestName;
    for (const Row& row : kRows) {
        const std::string name = parameterInfo(row.index).name;
        EXPECT_TRUE(names.insert(name).second) << name;
        if (name.size() > longest) {
            longest = name.size();
            longestName = name;
        }
    }
    EXPECT_EQ(longest, 19u);
    EXPECT_EQ(longestName, "Vibra: DELAY SYNCED");
    EXPECT_STREQ(parameterInfo(kHpfRelSynced).name, "HPF : REL SYNCED");
}

int floatStepsBetween(float a, float b) {
    std::int32_t ia;
    std::int32_t ib;
    std::memcpy(&ia, &a, sizeof ia);
    std::memcpy(&ib, &b, sizeof ib);
    return std::abs(ia - ib);
}

// The defaults printed with nine digits sit a few float steps off the round
// numbers; a table that rounded them would pass a loose comparison.
TEST(ParameterTable, NineDigitDefaultsAreAFewStepsOffTheRoundNumbers) {
    const std::pair<int, float> cases[] = {
        {kAmpDcy, 0.2152f}, {kLpfDcy, 0.2152f}, {kHpfDcy, 0.2152f},
        {kDelayL, 0.125f},  {kDelayR, 0.1876f}, {kVibraRate, 0.66f},
    };
    for (const auto& [index, round] : cases) {
        const float stored = parameterInfo(index).defaultValue;
        EXPECT_NE(stored, round) << parameterInfo(index).name;
        EXPECT_LE(floatStepsBetween(stored, round), 64) << parameterInfo(index).name;
    }
    EXPECT_EQ(parameterInfo(kPitchBend).defaultValue, 12.0f / 24.0f);
}

TEST(ParameterTable, SwitchesAreSwitchControlsAndOptionsAreFilterTypes) {
    for (int index = 0; index < kParameterCount; ++index) {
        const ParameterInfo& info = parameterInfo(index);
        EXPECT_EQ(info.type == kParameterSwitch, info.control == ControlKind::kSwitch) << index;
        if (info.type == kParameterSwitch) {
            EXPECT_EQ(parameterSnapRule(index), nullptr) << index;
            const DisplayFormatter rule = parameterDisplayRule(index);
            EXPECT_TRUE(rule == nullptr || rule == Display::onOff) << index;
        }
        if (info.control == ControlKind::kOption) {
            EXPECT_EQ(parameterDisplayRule(index), Display::filterType) << index;
        }
    }
}

// Each SYNCED parameter has its free-running twin, and each twin pair lives in
// a section with a SYNC ENABLE switch.
TEST(ParameterTable, EverySyncedParameterHasAFreeTwinAndASectionSwitch) {
    std::set<std::string> names;
    for (const Row& row : kRows) names.insert(parameterInfo(row.index).name);
    int synced = 0;
    for (const Row& row : kRows) {
        std::string name = parameterInfo(row.index).name;
        const std::string suffix = " SYNCED";
        if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        ++synced;
        std::string twin = name.substr(0, name.size() - suffix.size());
        if (twin == "HPF : REL") twin = "HPF: REL";  // the one name with a blank before its colon
        EXPECT_EQ(names.count(twin), 1u) << name;
        const std::string section = twin.substr(0, twin.find(':'));
        EXPECT_EQ(names.count(section + ": SYNC ENABLE"), 1u) << name;
    }
    EXPECT_EQ(synced, 26);
}

}  // namespace
