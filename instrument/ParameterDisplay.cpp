// Value texts of the parameters and the table that assigns a rule to each
// index. Arithmetic is float, as the texts expect; pow, exp and log10
// run in double (through the shared curves) and come back as float, so the
// text shows what the engine does with the same value.
#include "instrument/ParameterDisplay.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "instrument/Curves.h"
#include "instrument/ParameterTable.h"

namespace Vst::Display {

const char* const kFilterTypeNames[7] = {
    "Low pass", "High pass", "Band pass", "Notch", "Peak EQ", "Low shelf", "High shelf",
};

const char* const kNoteValueNames[21] = {
    "1/64 t", "1/64", "1/64 d", "1/32 t", "1/32", "1/32 d", "1/16 t", "1/16", "1/16 d", "1/8 t", "1/8",
    "1/8 d",  "1/4 t", "1/4",   "1/4 d",  "1/2 t", "1/2",   "1/2 d",  "1 t",    "1",     "1 d",
};

namespace {

constexpr int kTextBytes = kDisplayTextBytes;
// Samples in a second when no context answers (only tests format without one).
constexpr float kFallbackSampleRate = 44100.0f;
constexpr double kFallbackTempo = 100.0;

// trunc() toward zero; a value beyond int (or not a number) cannot reach the
// conversion, whose result would be undefined.
template <typename Real>
int truncate(Real value) {
    if (!(value == value)) return 0;
    if (value >= static_cast<Real>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<Real>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

void copyText(char* text, const char* constant) { std::memcpy(text, constant, std::strlen(constant) + 1); }

template <typename Real>
void formatMillisecondsOf(Real ms, char* text) {
    if (ms > static_cast<Real>(1000)) {
        std::snprintf(text, kTextBytes, "%.1fs", static_cast<double>(ms / static_cast<Real>(1000)));
    } else {
        std::snprintf(text, kTextBytes, "%dms", truncate(ms + static_cast<Real>(0.5)));
    }
}

bool switchIsOn(RuleContext* context, int index) { return context != nullptr && context->ruleParameter(index) == 1.0f; }

}  // namespace

void formatHertz(float f, char* text) {
    if (f < 1.0f) {
        std::snprintf(text, kTextBytes, "%.2fHz", static_cast<double>(f));
    } else if (f < 10.0f) {
        std::snprintf(text, kTextBytes, "%.1fHz", static_cast<double>(f));
    } else if (f < 1000.0f) {
        std::snprintf(text, kTextBytes, "%dHz", truncate(f + 0.5f));
    } else if (f < 10000.0f) {
        std::snprintf(text, kTextBytes, "%.1fkHz", static_cast<double>(f / 1000.0f));
    } else {
        std::snprintf(text, kTextBytes, "%dkHz", truncate(f / 1000.0f + 0.5f));
    }
}

void formatMilliseconds(float ms, char* text) { formatMillisecondsOf(ms, text); }
void formatMilliseconds(double ms, char* text) { formatMillisecondsOf(ms, text); }

void plain(float x, char* text, RuleContext*) { std::snprintf(text, kTextBytes, "%.3f", static_cast<double>(x)); }

void percent(float x, char* text, RuleContext*) {
    if (x == 0.0f) return copyText(text, "Off");
    std::snprintf(text, kTextBytes, "%d%%", truncate(100.0f * x));
}

void balance(float x, char* text, RuleContext*) {
    const int a = truncate((1.0f - x) * 100.0f + 0.5f);
    std::snprintf(text, kTextBytes, "%d/%d", a, 100 - a);
}

void bipolarPercent(float x, char* text, RuleContext*) {
    if (x == 0.5f) return copyText(text, "Off");
    std::snprintf(text, kTextBytes, "%d%%", truncate((x - 0.5f) * 200.0f));
}

void filterType(float x, char* text, RuleContext*) { copyText(text, kFilterTypeNames[Curves::filterTypeIndex(x)]); }

void time(float x, char* text, RuleContext*) { formatMilliseconds(Curves::timeMs(x), text); }

void timeOrBeats(float x, char* text, RuleContext* context, int syncSwitch) {
    if (switchIsOn(context, syncSwitch)) {
        std::snprintf(text, kTextBytes, "%.2fbt", static_cast<double>(8.0f * x));
    } else {
        time(x, text, context);
    }
}

void hold(float x, char* text, RuleContext* context, int syncSwitch) {
    if (x == 1.0f) return copyText(text, "Inf");
    timeOrBeats(x, text, context, syncSwitch);
}

void coarseTune(float x, char* text, RuleContext* context) {
    const float octaves = (x - 0.5f) * 20.0f;
    const int semitoneCount = truncate(std::floor(octaves * 12.0f + 0.5f));
    if (semitoneCount % 12 != 0) return semitones(x, text, context);
    // Whole octaves. Only a count of zero reads "0oct": a tuning just short
    // of an octave that rounds to twelve semitones is one octave, not none.
    if (semitoneCount == 0) return copyText(text, "0oct");
    std::snprintf(text, kTextBytes, "%+doct", truncate(std::floor(octaves + 0.5f)));
}

void semitones(float x, char* text, RuleContext*) {
    if (x - 0.5f == 0.0f) return copyText(text, "0");
    std::snprintf(text, kTextBytes, "%+.0fst", static_cast<double>((x - 0.5f) * 240.0f));
}

void semitoneDepth(float x, char* text, RuleContext*) {
    if (x == 0.5f) return copyText(text, "Off");
    std::snprintf(text, kTextBytes, "%+.2fst", static_cast<double>((x - 0.5f) * 240.0f));
}

void semitoneSpan(float x, char* text, RuleContext*) {
    if (x == 0.5f) return copyText(text, "Off");
    std::snprintf(text, kTextBytes, "%.0fst", static_cast<double>(std::fabs(x - 0.5f) * 240.0f));
}

void vibratoDepth(float x, char* text, RuleContext*) {
    const float semitoneCount = 12.0f * (20.0f * Curves::depthCurve(x));
    if (x == 0.5f) return copyText(text, "Off");
    if (std::fabs(x - 0.5f) < 0.2f) {
        std::snprintf(text, kTextBytes, "%+.0fct", static_cast<double>(100.0f * semitoneCount));
    } else {
        std::snprintf(text, kTextBytes, "%+.2fst", static_cast<double>(semitoneCount));
    }
}

void delayTune(float x, char* text, RuleContext*) {
    if (x == 0.0f) return copyText(text, "0");
    std::snprintf(text, kTextBytes, "%+.0fst", static_cast<double>((0.5f * x + 0.5f - 0.5f) * 240.0f));
}

void rate(float x, char* text, RuleContext*) { formatHertz(Curves::rateHz(x), text); }

void hertz(float x, char* text, RuleContext*) { formatHertz(x, text); }

void sweepFrequency(float x, char* text, RuleContext*) {
    const float f = Curves::pitchFrequency(x);
    if (f < 1000.0f) {
        std::snprintf(text, kTextBytes, "%dHz", truncate(f + 0.5f));
    } else {
        std::snprintf(text, kTextBytes, "%.0fkHz", static_cast<double>(f / 1000.0f));
    }
}

void frequency(float x, char* text, RuleContext*) { formatHertz(Curves::pitchFrequency(x), text); }

void gain(float x, char* text, RuleContext*) {
    std::snprintf(text, kTextBytes, "%.0fdB", static_cast<double>((x - 0.5f) * 100.0f));
}

void level(float x, char* text, RuleContext*) {
    if (x == 0.0f) return copyText(text, "-Inf dB");
    // The small offset keeps a level a hair under unity from reading -0.0dB.
    const float decibels = 20.0f * static_cast<float>(std::log10(static_cast<double>(x))) + 0.00001f;
    std::snprintf(text, kTextBytes, "%.1fdB", static_cast<double>(decibels));
}

void boostLevel(float x, char* text, RuleContext* context) { level(Curves::level(x), text, context); }

void onOff(float x, char* text, RuleContext*) { copyText(text, x == 1.0f ? "On" : "Off"); }

void delayTime(float x, char* text, RuleContext* context) {
    const float sampleRate = context != nullptr ? context->ruleSampleRate() : kFallbackSampleRate;
    const double tempo = context != nullptr ? context->ruleTempo() : kFallbackTempo;
    // The length in samples the engine sets, back in milliseconds.
    const double ms = 1000.0 * (8.0f * x * sampleRate / (tempo / 60.0)) / sampleRate;
    formatMilliseconds(ms, text);
}

void noteValue(float x, char* text, RuleContext*) { copyText(text, kNoteValueNames[Curves::noteValueIndex(x)]); }

void bendRange(float x, char* text, RuleContext*) { std::snprintf(text, kTextBytes, "%dst", truncate(24.0f * x)); }

}  // namespace Vst::Display

namespace Vst {

DisplayFormatter parameterDisplayRule(int index) {
    using namespace Display;
    switch (index) {
        case kOscTrig:
        case kLfoSyncEnable:
        case kLfoTrig:
        case kVibraSyncEnable:
        case kVibraTrig:
        case kTrillSyncEnable:
        case kTrillTrig:
        case kAmpSyncEnable:
        case kLpfSyncEnable:
        case kHpfSyncEnable:
        case kDelaySyncEnable:
            return onOff;

        case kOscDetune:
        case kOscMulti:
        case kOscSpread:
        case kOscMassAmount:
        case kOscMassRate:
        case kOscMassVari:
        case kLpfRes:
        case kLpfSpread:
        case kHpfRes:
        case kSpreadSpread:
        case kAmpLfo:
        case kAmpSus:
        case kDriveAmount:
        case kLpfSus:
        case kHpfSus:
        case kPhaserDepth:
        case kPhaserFb:
        case kHpfDelayMix:
        case kHpfDelayFb:
        case kBpfDelayMix:
        case kBpfDelayFb:
        case kEq1Q:
        case kEq2Q:
            return percent;

        case kOscLow:
            return level;
        case kOscWaveform:
            return balance;
        case kOscTrim:
        case kMasterLevel:
            return boostLevel;

        case kPitchPorta:
        case kPitchEnvTime:
            return Display::time;
        case kPitchTune:
            return coarseTune;
        case kPitchBend:
            return bendRange;
        case kPitchEnvDepth:
            return bipolarPercent;
        case kPitchLfoDepth:
        case kTrillDepth:
            return semitoneDepth;

        case kLpfTune:
        case kHpfTune:
            return semitones;
        case kLpfEnv:
        case kLpfLfo:
        case kHpfEnv:
        case kHpfLfo:
            return semitoneSpan;

        case kSpreadRate:
        case kLfoRate:
        case kVibraRate:
        case kTrillRate:
            return rate;

        case kLfoDelay:
        case kLfoFade:
        case kLfoDelaySynced:
        case kLfoFadeSynced:
            return timeOrBeatsOf<kLfoSyncEnable>;
        case kLfoHold:
        case kLfoHoldSynced:
            return holdOf<kLfoSyncEnable>;

        case kVibraDepth:
            return vibratoDepth;
        case kVibraDelay:
        case kVibraFade:
        case kVibraDelaySynced:
        case kVibraFadeSynced:
            return timeOrBeatsOf<kVibraSyncEnable>;
        case kVibraHold:
        case kVibraHoldSynced:
            return holdOf<kVibraSyncEnable>;

        case kTrillDelay:
        case kTrillFade:
        case kTrillDelaySynced:
        case kTrillFadeSynced:
            return timeOrBeatsOf<kTrillSyncEnable>;
        case kTrillHold:
        case kTrillHoldSynced:
            return holdOf<kTrillSyncEnable>;

        case kLfoRateSynced:
        case kVibraRateSynced:
        case kTrillRateSynced:
        case kDelayLSynced:
        case kDelayRSynced:
            return noteValue;

        case kAmpAtk:
        case kAmpHld:
        case kAmpDcy:
        case kAmpRel:
        case kAmpAtkSynced:
        case kAmpHldSynced:
        case kAmpDcySynced:
        case kAmpRelSynced:
            return timeOrBeatsOf<kAmpSyncEnable>;

        case kLpfAtk:
        case kLpfHld:
        case kLpfDcy:
        case kLpfRel:
        case kLpfAtkSynced:
        case kLpfHldSynced:
        case kLpfDcySynced:
        case kLpfRelSynced:
            return timeOrBeatsOf<kLpfSyncEnable>;

        case kHpfAtk:
        case kHpfHld:
        case kHpfDcy:
        case kHpfRel:
        case kHpfAtkSynced:
        case kHpfHldSynced:
        case kHpfDcySynced:
        case kHpfRelSynced:
            return timeOrBeatsOf<kHpfSyncEnable>;

        case kPhaserRate:
            return hertz;
        case kPhaserRangeMin:
        case kPhaserRangeMax:
            return sweepFrequency;

        case kDelayL:
        case kDelayR:
            return delayTime;
        case kHpfDelayTune:
        case kBpfDelayTune:
            return delayTune;

        case kEq1Type:
        case kEq2Type:
            return filterType;
        case kEq1Frq:
        case kEq2Frq:
            return frequency;
        case kEq1Gain:
        case kEq2Gain:
            return gain;

        default:
            // Osc: PHASE, the three ENABLE switches and the reserved indices
            // keep the store's Plain rule.
            return nullptr;
    }
}

}  // namespace Vst
