// Value texts: every rule at its ends, its centre and beside its branch
// points against texts worked out by hand from the rule's formula; the rules
// that read a sync switch, the sample rate or the tempo through a stub
// instrument; the index-to-rule table against the parameter list; and the
// texts of a fresh instrument's defaults.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "instrument/ParameterDisplay.h"
#include "instrument/ParameterTable.h"
#include "tests/instrument/ParameterTestSupport.h"
#include "tests/support/AllocationCounter.h"

using namespace Vst;
using ParameterTest::StubInstrument;
using ParameterTest::textOf;

namespace {

struct TextCase {
    const char* rule;
    DisplayFormatter format;
    float value;
    const char* expected;
};

std::ostream& operator<<(std::ostream& out, const TextCase& c) {
    return out << c.rule << "(" << c.value << ") -> \"" << c.expected << "\"";
}

class RuleTexts : public testing::TestWithParam<TextCase> {};

TEST_P(RuleTexts, WritesTheExpectedText) {
    const TextCase& c = GetParam();
    StubInstrument plugin;
    EXPECT_EQ(textOf(c.format, c.value, &plugin), c.expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rules, RuleTexts, testing::Values(
    TextCase{"plain", Display::plain, 0.0f, "0.000"},
    TextCase{"plain", Display::plain, 0.1234f, "0.123"},
    TextCase{"plain", Display::plain, 1.0f, "1.000"},

    TextCase{"percent", Display::percent, 0.0f, "Off"},
    TextCase{"percent", Display::percent, 0.001f, "0%"},
    TextCase{"percent", Display::percent, 0.25f, "25%"},
    TextCase{"percent", Display::percent, 0.5f, "50%"},
    TextCase{"percent", Display::percent, 0.999f, "99%"},
    TextCase{"percent", Display::percent, 1.0f, "100%"},

    TextCase{"balance", Display::balance, 0.0f, "100/0"},
    TextCase{"balance", Display::balance, 0.25f, "75/25"},
    TextCase{"balance", Display::balance, 0.5f, "50/50"},
    TextCase{"balance", Display::balance, 0.8f, "20/80"},
    TextCase{"balance", Display::balance, 1.0f, "0/100"},

    TextCase{"bipolarPercent", Display::bipolarPercent, 0.5f, "Off"},
    TextCase{"bipolarPercent", Display::bipolarPercent, 0.501f, "0%"},
    TextCase{"bipolarPercent", Display::bipolarPercent, 0.75f, "50%"},
    TextCase{"bipolarPercent", Display::bipolarPercent, 0.25f, "-50%"},
    TextCase{"bipolarPercent", Display::bipolarPercent, 0.0f, "-100%"},
    TextCase{"bipolarPercent", Display::bipolarPercent, 1.0f, "100%"},

    TextCase{"filterType", Display::filterType, 0.0f, "Low pass"},
    TextCase{"filterType", Display::filterType, 0.5f, "Notch"},
    TextCase{"filterType", Display::filterType, 0.9f, "Low shelf"},
    TextCase{"filterType", Display::filterType, 1.0f, "High shelf"},

    TextCase{"time", Display::time, 0.0f, "0ms"},
    TextCase{"time", Display::time, 0.1f, "10ms"},
    TextCase{"time", Display::time, 0.25f, "156ms"},
    TextCase{"time", Display::time, 0.3f, "270ms"},
    TextCase{"time", Display::time, 0.46f, "973ms"},
    TextCase{"time", Display::time, 0.47f, "1.0s"},
    TextCase{"time", Display::time, 0.5f, "1.2s"},  // 1.25 s, printf rounds half to even
    TextCase{"time", Display::time, 0.6f, "2.2s"},
    TextCase{"time", Display::time, 0.7f, "3.4s"},
    TextCase{"time", Display::time, 1.0f, "10.0s"},

    TextCase{"coarseTune", Display::coarseTune, 0.5f, "0oct"},
    TextCase{"coarseTune", Display::coarseTune, 0.5f + 1.0f / 240.0f, "+1st"},
    TextCase{"coarseTune", Display::coarseTune, 0.5f - 1.0f / 240.0f, "-1st"},
    TextCase{"coarseTune", Display::coarseTune, 0.5f + 12.0f / 240.0f, "+1oct"},
    TextCase{"coarseTune", Display::coarseTune, 0.5f - 12.0f / 240.0f, "-1oct"},
    TextCase{"coarseTune", Display::coarseTune, 0.5f + 13.0f / 240.0f, "+13st"},
    TextCase{"coarseTune", Display::coarseTune, 0.5f + 36.0f / 240.0f, "+3oct"},
    TextCase{"coarseTune", Display::coarseTune, 0.0f, "-10oct"},
    TextCase{"coarseTune", Display::coarseTune, 1.0f, "+10oct"},
    // 0.03 octave rounds to no semitone: still the centre.
    TextCase{"coarseTune", Display::coarseTune, 0.5015f, "0oct"},
    // 0.05 octave (0.6 semitone) rounds to one semitone.
    TextCase{"coarseTune", Display::coarseTune, 0.5025f, "+1st"},
    // Regression: 0.97 octave rounds to twelve semitones and once read "0oct".
    TextCase{"coarseTune", Display::coarseTune, 0.5f + 0.97f / 20.0f, "+1oct"},
    TextCase{"coarseTune", Display::coarseTune, 0.5f - 0.97f / 20.0f, "-1oct"},

    TextCase{"semitones", Display::semitones, 0.5f, "0"},
    TextCase{"semitones", Display::semitones, 0.75f, "+60st"},
    TextCase{"semitones", Display::semitones, 0.0f, "-120st"},
    TextCase{"semitones", Display::semitones, 1.0f, "+120st"},

    TextCase{"semitoneDepth", Display::semitoneDepth, 0.5f, "Off"},
    TextCase{"semitoneDepth", Display::semitoneDepth, 0.5f + 0.5f / 240.0f, "+0.50st"},
    TextCase{"semitoneDepth", Display::semitoneDepth, 0.5f - 1.0f / 240.0f, "-1.00st"},
    TextCase{"semitoneDepth", Display::semitoneDepth, 0.0f, "-120.00st"},
    TextCase{"semitoneDepth", Display::semitoneDepth, 1.0f, "+120.00st"},

    TextCase{"semitoneSpan", Display::semitoneSpan, 0.5f, "Off"},
    TextCase{"semitoneSpan", Display::semitoneSpan, 0.25f, "60st"},
    TextCase{"semitoneSpan", Display::semitoneSpan, 0.75f, "60st"},
    TextCase{"semitoneSpan", Display::semitoneSpan, 0.0f, "120st"},
    TextCase{"semitoneSpan", Display::semitoneSpan, 1.0f, "120st"},

    TextCase{"vibratoDepth", Display::vibratoDepth, 0.5f, "Off"},
    TextCase{"vibratoDepth", Display::vibratoDepth, 0.6f, "+50ct"},
    TextCase{"vibratoDepth", Display::vibratoDepth, 0.4f, "-50ct"},
    TextCase{"vibratoDepth", Display::vibratoDepth, 0.7f, "+100ct"},  // just inside the linear piece
    TextCase{"vibratoDepth", Display::vibratoDepth, 0.75f, "+8.76st"},
    TextCase{"vibratoDepth", Display::vibratoDepth, 0.25f, "-8.76st"},
    TextCase{"vibratoDepth", Display::vibratoDepth, 0.8f, "+20.32st"},
    TextCase{"vibratoDepth", Display::vibratoDepth, 0.9f, "+57.96st"},
    TextCase{"vibratoDepth", Display::vibratoDepth, 1.0f, "+120.00st"},
    TextCase{"vibratoDepth", Display::vibratoDepth, 0.0f, "-120.00st"},

    TextCase{"delayTune", Display::delayTune, 0.0f, "0"},
    TextCase{"delayTune", Display::delayTune, 0.5f, "+60st"},
    TextCase{"delayTune", Display::delayTune, 1.0f, "+120st"},

    TextCase{"rate", Display::rate, 0.0f, "0.01Hz"},
    TextCase{"rate", Display::rate, 0.1f, "0.02Hz"},
    TextCase{"rate", Display::rate, 0.3f, "0.14Hz"},
    TextCase{"rate", Display::rate, 0.5f, "1.0Hz"},
    TextCase{"rate", Display::rate, 0.73f, "10.0Hz"},  // 9.97 Hz, still under ten
    TextCase{"rate", Display::rate, 0.74f, "11Hz"},
    TextCase{"rate", Display::rate, 0.9f, "55Hz"},
    TextCase{"rate", Display::rate, 1.0f, "148Hz"},

    TextCase{"hertz", Display::hertz, 0.0f, "0.00Hz"},
    TextCase{"hertz", Display::hertz, 0.5f, "0.50Hz"},
    TextCase{"hertz", Display::hertz, 1.0f, "1.0Hz"},

    TextCase{"sweepFrequency", Display::sweepFrequency, 0.0f, "20Hz"},
    TextCase{"sweepFrequency", Display::sweepFrequency, 0.25f, "114Hz"},
    TextCase{"sweepFrequency", Display::sweepFrequency, 0.5f, "640Hz"},
    TextCase{"sweepFrequency", Display::sweepFrequency, 0.6f, "1kHz"},
    TextCase{"sweepFrequency", Display::sweepFrequency, 0.75f, "4kHz"},
    TextCase{"sweepFrequency", Display::sweepFrequency, 1.0f, "20kHz"},

    TextCase{"frequency", Display::frequency, 0.0f, "20Hz"},
    TextCase{"frequency", Display::frequency, 0.25f, "114Hz"},
    TextCase{"frequency", Display::frequency, 0.5f, "640Hz"},
    TextCase{"frequency", Display::frequency, 0.6f, "1.3kHz"},
    TextCase{"frequency", Display::frequency, 0.75f, "3.6kHz"},
    TextCase{"frequency", Display::frequency, 0.9f, "10kHz"},
    TextCase{"frequency", Display::frequency, 1.0f, "20kHz"},

    TextCase{"gain", Display::gain, 0.0f, "-50dB"},
    TextCase{"gain", Display::gain, 0.5f, "0dB"},
    TextCase{"gain", Display::gain, 0.62f, "12dB"},
    TextCase{"gain", Display::gain, 1.0f, "50dB"},

    TextCase{"level", Display::level, 0.0f, "-Inf dB"},
    TextCase{"level", Display::level, 0.1f, "-20.0dB"},
    TextCase{"level", Display::level, 0.5f, "-6.0dB"},
    TextCase{"level", Display::level, 1.0f, "0.0dB"},

    TextCase{"boostLevel", Display::boostLevel, 0.0f, "-Inf dB"},
    TextCase{"boostLevel", Display::boostLevel, 0.25f, "-24.0dB"},
    TextCase{"boostLevel", Display::boostLevel, 0.5f, "0.0dB"},
    TextCase{"boostLevel", Display::boostLevel, 0.75f, "14.0dB"},
    TextCase{"boostLevel", Display::boostLevel, 1.0f, "24.0dB"},

    TextCase{"onOff", Display::onOff, 0.0f, "Off"},
    TextCase{"onOff", Display::onOff, 0.999f, "Off"},
    TextCase{"onOff", Display::onOff, 1.0f, "On"},

    TextCase{"noteValue", Display::noteValue, 0.0f, "1 d"},
    TextCase{"noteValue", Display::noteValue, 0.125f, "1/2 d"},
    TextCase{"noteValue", Display::noteValue, 0.275f, "1/4 d"},
    TextCase{"noteValue", Display::noteValue, 0.325f, "1/4"},
    TextCase{"noteValue", Display::noteValue, 0.5f, "1/8"},
    TextCase{"noteValue", Display::noteValue, 20.0f / 21.0f, "1/64 t"},
    TextCase{"noteValue", Display::noteValue, 1.0f, "1/64 t"},

    TextCase{"bendRange", Display::bendRange, 0.0f, "0st"},
    TextCase{"bendRange", Display::bendRange, 0.5f, "12st"},
    TextCase{"bendRange", Display::bendRange, 23.5f / 24.0f, "23st"},
    TextCase{"bendRange", Display::bendRange, 1.0f, "24st"}));
// clang-format on

// The shared sub-rules beside each of their branch points.
struct UnitCase {
    float amount;
    const char* expected;
};

class HertzTexts : public testing::TestWithParam<UnitCase> {};
TEST_P(HertzTexts, ChangesFormatAtEachDecade) {
    char text[Plugin::kDisplayTextBytes];
    Display::formatHertz(GetParam().amount, text);
    EXPECT_STREQ(text, GetParam().expected) << GetParam().amount;
}
INSTANTIATE_TEST_SUITE_P(Branches, HertzTexts,
                         testing::Values(UnitCase{0.994f, "0.99Hz"}, UnitCase{0.999f, "1.00Hz"},
                                         UnitCase{1.0f, "1.0Hz"}, UnitCase{9.9f, "9.9Hz"},
                                         UnitCase{9.99f, "10.0Hz"}, UnitCase{10.0f, "10Hz"},
                                         UnitCase{999.4f, "999Hz"}, UnitCase{999.6f, "1000Hz"},
                                         UnitCase{1000.0f, "1.0kHz"}, UnitCase{9940.0f, "9.9kHz"},
                                         UnitCase{9999.0f, "10.0kHz"}, UnitCase{10000.0f, "10kHz"},
                                         UnitCase{19400.0f, "19kHz"}, UnitCase{19500.0f, "20kHz"}));

class MillisecondTexts : public testing::TestWithParam<UnitCase> {};
TEST_P(MillisecondTexts, SecondsOnlyAboveOneThousand) {
    char single[Plugin::kDisplayTextBytes];
    char twice[Plugin::kDisplayTextBytes];
    Display::formatMilliseconds(GetParam().amount, single);
    Display::formatMilliseconds(static_cast<double>(GetParam().amount), twice);
    EXPECT_STREQ(single, GetParam().expected) << GetParam().amount;
    EXPECT_STREQ(twice, GetParam().expected) << GetParam().amount;
}
INSTANTIATE_TEST_SUITE_P(Branches, MillisecondTexts,
                         testing::Values(UnitCase{0.0f, "0ms"}, UnitCase{0.49f, "0ms"}, UnitCase{0.5f, "1ms"},
                                         UnitCase{999.4f, "999ms"}, UnitCase{999.5f, "1000ms"},
                                         UnitCase{1000.0f, "1000ms"}, UnitCase{1000.1f, "1.0s"},
                                         UnitCase{1960.0f, "2.0s"}, UnitCase{10000.0f, "10.0s"}));

// --- Rules that read the plugin -------------------------------------------------

TEST(SyncedTimeTexts, BeatsWhileTheSwitchIsOnTimeOtherwise) {
    StubInstrument plugin;
    const auto rule = Display::timeOrBeatsOf<kAmpSyncEnable>;
    plugin.store(kAmpSyncEnable, 1.0f);
    EXPECT_EQ(textOf(rule, 1.0f, &plugin), "8.00bt");
    EXPECT_EQ(textOf(rule, 0.5f, &plugin), "4.00bt");
    EXPECT_EQ(textOf(rule, 0.0625f, &plugin), "0.50bt");
    EXPECT_EQ(textOf(rule, 0.0f, &plugin), "0.00bt");
    plugin.store(kAmpSyncEnable, 0.0f);
    EXPECT_EQ(textOf(rule, 1.0f, &plugin), "10.0s");
    EXPECT_EQ(textOf(rule, 0.25f, &plugin), "156ms");
    // A switch is on only at exactly 1.
    plugin.store(kAmpSyncEnable, 0.9999f);
    EXPECT_EQ(textOf(rule, 0.5f, &plugin), "1.2s");
}

TEST(SyncedTimeTexts, HoldIsInfiniteAtOneWhateverTheSwitch) {
    StubInstrument plugin;
    const auto rule = Display::holdOf<kLfoSyncEnable>;
    for (float sync : {0.0f, 1.0f}) {
        plugin.store(kLfoSyncEnable, sync);
        EXPECT_EQ(textOf(rule, 1.0f, &plugin), "Inf") << sync;
    }
    plugin.store(kLfoSyncEnable, 1.0f);
    EXPECT_EQ(textOf(rule, 0.5f, &plugin), "4.00bt");
    plugin.store(kLfoSyncEnable, 0.0f);
    EXPECT_EQ(textOf(rule, 0.5f, &plugin), "1.2s");
}

TEST(SyncedTimeTexts, WithoutAPluginTheSwitchReadsOff) {
    EXPECT_EQ(textOf(Display::timeOrBeatsOf<kLfoSyncEnable>, 0.25f, nullptr), "156ms");
    EXPECT_EQ(textOf(Display::holdOf<kLfoSyncEnable>, 1.0f, nullptr), "Inf");
}

struct DelayCase {
    double tempo;
    float sampleRate;
    float value;
    const char* expected;
};

class DelayTimeTexts : public testing::TestWithParam<DelayCase> {};
TEST_P(DelayTimeTexts, FollowTheHostTempoNotTheSampleRate) {
    const DelayCase& c = GetParam();
    StubInstrument plugin;
    plugin.setHostTempo(c.tempo);
    plugin.setSampleRate(c.sampleRate);
    EXPECT_EQ(textOf(Display::delayTime, c.value, &plugin), c.expected);
}
// 0.125 is one beat of the 8 a value spans.
INSTANTIATE_TEST_SUITE_P(Tempi, DelayTimeTexts,
                         testing::Values(DelayCase{120.0, 44100.0f, 0.125f, "500ms"},
                                         DelayCase{100.0, 44100.0f, 0.125f, "600ms"},
                                         DelayCase{100.0, 96000.0f, 0.125f, "600ms"},
                                         DelayCase{100.0, 44100.0f, 0.0f, "0ms"},
                                         DelayCase{100.0, 44100.0f, 1.0f, "4.8s"},
                                         DelayCase{60.0, 48000.0f, 0.125f, "1000ms"},
                                         DelayCase{90.0, 44100.0f, 0.25f, "1.3s"},
                                         DelayCase{240.0, 22050.0f, 0.0625f, "125ms"}));

TEST(DelayTimeTexts, AFreshInstrumentAssumesOneHundredBpm) {
    StubInstrument plugin;
    EXPECT_EQ(textOf(Display::delayTime, 0.125f, &plugin), "600ms");
}

// --- The index table ------------------------------------------------------------

struct Assignment {
    int index;
    DisplayFormatter rule;  // nullptr: the store's Plain rule
};

// The rule column of the parameter list, index by index.
const std::vector<Assignment>& expectedRules() {
    using namespace Display;
    static const std::vector<Assignment> rules = {
        {0, onOff}, {1, nullptr}, {2, percent}, {3, percent}, {4, percent}, {5, level}, {6, balance},
        {7, percent}, {8, percent}, {9, percent}, {10, boostLevel},
        {15, Display::time}, {16, coarseTune}, {17, bendRange}, {18, Display::time}, {19, bipolarPercent},
        {20, semitoneDepth},
        {25, semitones}, {26, semitoneSpan}, {27, semitoneSpan}, {28, percent}, {29, percent},
        {34, semitones}, {35, semitoneSpan}, {36, semitoneSpan}, {37, percent}, {42, rate}, {43, percent},
        {47, onOff}, {48, onOff}, {49, rate}, {50, timeOrBeatsOf<47>}, {51, timeOrBeatsOf<47>},
        {52, holdOf<47>}, {53, noteValue}, {54, timeOrBeatsOf<47>}, {55, timeOrBeatsOf<47>},
        {56, holdOf<47>},
        {61, onOff}, {62, onOff}, {63, vibratoDepth}, {64, rate}, {65, timeOrBeatsOf<61>},
        {66, timeOrBeatsOf<61>}, {67, holdOf<61>}, {68, noteValue}, {69, timeOrBeatsOf<61>},
        {70, timeOrBeatsOf<61>}, {71, holdOf<61>},
        {76, onOff}, {77, onOff}, {78, semitoneDepth}, {79, rate}, {80, timeOrBeatsOf<76>},
        {81, timeOrBeatsOf<76>}, {82, holdOf<76>}, {83, noteValue}, {84, timeOrBeatsOf<76>},
        {85, timeOrBeatsOf<76>}, {86, holdOf<76>},
        {91, boostLevel}, {96, percent}, {97, onOff},
        {98, timeOrBeatsOf<97>}, {99, timeOrBeatsOf<97>}, {100, timeOrBeatsOf<97>}, {101, percent},
        {102, timeOrBeatsOf<97>}, {103, timeOrBeatsOf<97>}, {104, timeOrBeatsOf<97>},
        {105, timeOrBeatsOf<97>}, {106, timeOrBeatsOf<97>}, {109, percent}, {112, onOff},
        {113, timeOrBeatsOf<112>}, {114, timeOrBeatsOf<112>}, {115, timeOrBeatsOf<112>}, {116, percent},
        {117, timeOrBeatsOf<112>}, {118, timeOrBeatsOf<112>}, {119, timeOrBeatsOf<112>},
        {120, timeOrBeatsOf<112>}, {121, timeOrBeatsOf<112>}, {124, onOff},
        {125, timeOrBeatsOf<124>}, {126, timeOrBeatsOf<124>}, {127, timeOrBeatsOf<124>}, {128, percent},
        {129, timeOrBeatsOf<124>}, {130, timeOrBeatsOf<124>}, {131, timeOrBeatsOf<124>},
        {132, timeOrBeatsOf<124>}, {133, timeOrBeatsOf<124>},
        {136, nullptr}, {137, percent}, {138, hertz}, {139, sweepFrequency}, {140, sweepFrequency},
        {141, percent}, {146, nullptr}, {147, onOff}, {148, delayTime}, {149, delayTime}, {150, noteValue},
        {151, noteValue}, {152, percent}, {153, percent}, {154, delayTune}, {155, percent}, {156, percent},
        {157, delayTune}, {162, nullptr}, {163, filterType}, {164, frequency}, {165, percent}, {166, gain},
        {167, filterType}, {168, frequency}, {169, percent}, {170, gain},
    };
    return rules;
}

TEST(DisplayRuleTable, EveryRealIndexHasItsRule) {
    ASSERT_EQ(expectedRules().size(), 120u);
    for (const Assignment& a : expectedRules()) {
        EXPECT_NE(parameterInfo(a.index).type, kParameterReserved) << a.index;
        EXPECT_EQ(parameterDisplayRule(a.index), a.rule) << "index " << a.index << " " << parameterInfo(a.index).name;
    }
}

TEST(DisplayRuleTable, ReservedAndOutOfRangeIndicesKeepThePlainRule) {
    for (int index = -2; index < kParameterCount + 3; ++index) {
        if (parameterInfo(index).type == kParameterReserved) {
            EXPECT_EQ(parameterDisplayRule(index), nullptr) << index;
        }
    }
}

// Each synced time reads its own section's switch and no other.
TEST(DisplayRuleTable, SyncedTimesReadTheirOwnSectionSwitch) {
    const int switches[] = {kLfoSyncEnable, kVibraSyncEnable, kTrillSyncEnable,
                            kAmpSyncEnable, kLpfSyncEnable,   kHpfSyncEnable};
    const std::pair<int, int> members[] = {
        {kLfoDelay, kLfoSyncEnable},       {kLfoFadeSynced, kLfoSyncEnable},   {kLfoHold, kLfoSyncEnable},
        {kVibraFade, kVibraSyncEnable},    {kVibraHoldSynced, kVibraSyncEnable},
        {kTrillDelaySynced, kTrillSyncEnable}, {kTrillHold, kTrillSyncEnable},
        {kAmpAtk, kAmpSyncEnable},         {kAmpRelSynced, kAmpSyncEnable},    {kLpfDcy, kLpfSyncEnable},
        {kLpfHldSynced, kLpfSyncEnable},   {kHpfRel, kHpfSyncEnable},          {kHpfRelSynced, kHpfSyncEnable},
    };
    for (const auto& [index, own] : members) {
        StubInstrument plugin;
        const DisplayFormatter rule = parameterDisplayRule(index);
        ASSERT_NE(rule, nullptr) << index;
        for (int s : switches) plugin.store(s, s == own ? 0.0f : 1.0f);
        EXPECT_EQ(textOf(rule, 0.5f, &plugin), "1.2s") << index;
        plugin.store(own, 1.0f);
        EXPECT_EQ(textOf(rule, 0.5f, &plugin), "4.00bt") << index;
    }
}

// --- Texts of the defaults ---------------------------------------------------------

TEST(DefaultTexts, AFreshInstrumentReadsItsDefaults) {
    StubInstrument plugin;
    for (int i = 0; i < kParameterCount; ++i) plugin.store(i, parameterInfo(i).defaultValue);
    auto shown = [&](int index) {
        return textOf(parameterDisplayRule(index), parameterInfo(index).defaultValue, &plugin);
    };
    EXPECT_EQ(shown(kMasterLevel), "0.0dB");
    EXPECT_EQ(shown(kPitchBend), "12st");
    EXPECT_EQ(shown(kLfoRateSynced), "1/2 d");
    EXPECT_EQ(shown(kDelayLSynced), "1/4");
    EXPECT_EQ(shown(kDelayRSynced), "1/4 d");
    EXPECT_EQ(shown(kPitchTune), "0oct");
    EXPECT_EQ(shown(kEq1Type), "Low shelf");
    EXPECT_EQ(shown(kEq2Type), "High shelf");
    EXPECT_EQ(shown(kLfoHoldSynced), "Inf");
    EXPECT_EQ(shown(kAmpDcySynced), "2ms");  // Amp runs free by default: T(0.0625)
    EXPECT_EQ(shown(kLpfDcySynced), "0.50bt");  // the LPF envelope is synced by default
    EXPECT_EQ(shown(kDelayL), "600ms");
}

// --- Properties over the whole travel of every index ---------------------------

TEST(AllTexts, ShortNonEmptyAndWithoutAllocation) {
    StubInstrument plugin;
    std::vector<std::pair<int, float>> failures;
    for (int pass = 0; pass < 2; ++pass) {
        // Both switch states of every section.
        for (int i = 0; i < kParameterCount; ++i) {
            if (parameterInfo(i).type == kParameterSwitch) plugin.store(i, pass == 0 ? 0.0f : 1.0f);
        }
#if MORVELITH_COUNTS_ALLOCATIONS
        TestSupport::AllocationScope scope;
#endif
        for (int index = 0; index < kParameterCount; ++index) {
            const DisplayFormatter rule = parameterDisplayRule(index);
            if (rule == nullptr) continue;
            for (int step = 0; step <= 1000; ++step) {
                char text[Plugin::kDisplayTextBytes];
                std::memset(text, 'x', sizeof text);
                rule(static_cast<float>(step) / 1000.0f, text, &plugin);
                const size_t length = strnlen(text, sizeof text);
                if (length == 0 || length >= 16) failures.emplace_back(index, step / 1000.0f);
            }
        }
#if MORVELITH_COUNTS_ALLOCATIONS
        EXPECT_EQ(scope.stop().allocations, 0) << "pass " << pass;
#endif
    }
    EXPECT_TRUE(failures.empty()) << "first failure: index " << failures.front().first << " at "
                                  << failures.front().second;
}

// The filter-type button adds a sixth per press from 0; each press lands on
// the next type.
TEST(AllTexts, EachFilterTypeButtonStepShowsTheNextType) {
    float value = 0.0f;
    for (int press = 0; press < 7; ++press) {
        EXPECT_EQ(textOf(Display::filterType, value, nullptr), Display::kFilterTypeNames[press]) << press;
        value += 1.0f / 6.0f;
    }
}

}  // namespace
