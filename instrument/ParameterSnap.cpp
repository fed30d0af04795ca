// Snap rules of the parameters and the table that assigns one to each index.
// Steps are counted in float as the editor's drag expects; the vibrato depth
// snaps on its depth curve so that its steps are whole semitones (cents when
// fine) of vibrato, not equal slices of travel.
#include "instrument/ParameterSnap.h"

#include <cmath>

#include "instrument/Curves.h"
#include "instrument/ParameterTable.h"

namespace Vst::Snap {

namespace {

// Within this distance of the centre a coarse drag rests on the centre.
constexpr float kDetentWidth = 0.0025f;
// The vibrato depth is linear (and not snapped) this close to the centre.
constexpr float kVibratoLinearSpan = 0.2f;
// Inverse of the depth curve's cubic piece y^3 / kCubeScale -+ kCubeOffset.
constexpr float kCubeScale = 0.2359664f;
constexpr float kCubeOffset = 0.02973647f;
constexpr float kOneThird = 1.0f / 3.0f;

float cubeRoot(float v) { return static_cast<float>(std::pow(static_cast<double>(v), static_cast<double>(kOneThird))); }

bool switchIsOn(RuleContext* context, int index) { return context != nullptr && context->ruleParameter(index) == 1.0f; }

}  // namespace

float toSteps(float x, float steps) { return std::trunc(x * steps + 0.5f) / steps; }

float octaveOrSemitone(float x, int, bool fine, RuleContext*) { return toSteps(x, fine ? 240.0f : 20.0f); }

float semitoneOrCent(float x, int, bool fine, RuleContext*) { return toSteps(x, fine ? 24000.0f : 240.0f); }

// These span 240 semitones, so 20 steps are octaves: the fine drag takes the
// coarse musical step here.
float semitoneOrOctave(float x, int, bool fine, RuleContext*) { return toSteps(x, fine ? 20.0f : 240.0f); }

float bendSteps(float x, int, bool, RuleContext*) { return toSteps(x, 24.0f); }

float noteValueSteps(float x, int, bool, RuleContext*) { return toSteps(x, 21.0f); }

float filterTypeSteps(float x, int, bool, RuleContext*) { return toSteps(x, 7.0f); }

float centreDetent(float x, int, bool fine, RuleContext*) {
    if (!fine && std::fabs(x - 0.5f) < kDetentWidth) return 0.5f;
    return x;
}

float beatGrid(float x, int index, bool fine, RuleContext* context) {
    const int syncSwitch = sectionSyncSwitch(index);
    if (syncSwitch < 0 || !switchIsOn(context, syncSwitch)) return x;
    // A value spans 8 beats: 32 steps are quarter beats, 1024 are 1/128 beat.
    return toSteps(x, fine ? 1024.0f : 32.0f);
}

float vibratoDepth(float x, int, bool fine, RuleContext*) {
    const float offset = x - 0.5f;
    if (!fine && std::fabs(offset) < kDetentWidth) return 0.5f;
    if (std::fabs(offset) < kVibratoLinearSpan) return x;
    const float steps = fine ? 24000.0f : 240.0f;
    const float depth = Curves::depthCurve(x);
    // Round the magnitude: rounding a negative depth with trunc(d * steps + 0.5)
    // would move it toward the centre, so a downward drag on the lower half
    // stepped up and its far end was out of reach.
    const float snapped = depth >= 0.0f ? toSteps(depth, steps) : -toSteps(-depth, steps);
    if (x > 0.5f) return 0.5f + cubeRoot((snapped + kCubeOffset) * kCubeScale);
    return 0.5f - cubeRoot(-(snapped - kCubeOffset) * kCubeScale);
}

int sectionSyncSwitch(int index) {
    switch (index) {
        case kLfoDelaySynced:
        case kLfoFadeSynced:
        case kLfoHoldSynced:
            return kLfoSyncEnable;
        case kVibraDelaySynced:
        case kVibraFadeSynced:
        case kVibraHoldSynced:
            return kVibraSyncEnable;
        case kTrillDelaySynced:
        case kTrillFadeSynced:
        case kTrillHoldSynced:
            return kTrillSyncEnable;
        case kAmpAtkSynced:
        case kAmpHldSynced:
        case kAmpDcySynced:
        case kAmpRelSynced:
            return kAmpSyncEnable;
        case kLpfAtkSynced:
        case kLpfHldSynced:
        case kLpfDcySynced:
        case kLpfRelSynced:
            return kLpfSyncEnable;
        case kHpfAtkSynced:
        case kHpfHldSynced:
        case kHpfDcySynced:
        case kHpfRelSynced:
            return kHpfSyncEnable;
        default:
            return -1;
    }
}

}  // namespace Vst::Snap

namespace Vst {

ValueQuantizer parameterSnapRule(int index) {
    using namespace Snap;
    switch (index) {
        case kPitchTune:
        case kHpfDelayTune:
        case kBpfDelayTune:
            return octaveOrSemitone;
        case kPitchLfoDepth:
        case kTrillDepth:
            return semitoneOrCent;
        case kLpfTune:
        case kLpfEnv:
        case kLpfLfo:
        case kHpfTune:
        case kHpfEnv:
        case kHpfLfo:
            return semitoneOrOctave;
        case kPitchBend:
            return bendSteps;
        case kLfoRateSynced:
        case kVibraRateSynced:
        case kTrillRateSynced:
        case kDelayLSynced:
        case kDelayRSynced:
            return noteValueSteps;
        case kEq1Type:
        case kEq2Type:
            return filterTypeSteps;
        case kPitchEnvDepth:
            return centreDetent;
        case kVibraDepth:
            return vibratoDepth;
        default:
            return sectionSyncSwitch(index) >= 0 ? beatGrid : nullptr;
    }
}

}  // namespace Vst
