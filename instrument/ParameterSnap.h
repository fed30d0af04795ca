// Snap rules the editor applies while a parameter is dragged: whole steps of
// semitones, octaves, cents, beats, note values or filter types, a detent at
// the centre of bipolar controls. Each is a ValueQuantizer taking the dragged
// value, the index, the fine flag (shift held) and the rule context. Any thread.
#pragma once

#include "frame/ValueRules.h"
#include "instrument/ParameterIndex.h"

namespace Vst::Snap {

// The nearest of d steps: trunc(x * d + 0.5) / d in float.
float toSteps(float x, float steps);

float octaveOrSemitone(float x, int index, bool fine, RuleContext* context);
float semitoneOrCent(float x, int index, bool fine, RuleContext* context);
float semitoneOrOctave(float x, int index, bool fine, RuleContext* context);
float bendSteps(float x, int index, bool fine, RuleContext* context);
float noteValueSteps(float x, int index, bool fine, RuleContext* context);
float filterTypeSteps(float x, int index, bool fine, RuleContext* context);
float centreDetent(float x, int index, bool fine, RuleContext* context);
// Quarter beats (1/128 beat when fine) while the section's sync switch of
// index is on; otherwise the value as dragged. A missing context reads as off.
float beatGrid(float x, int index, bool fine, RuleContext* context);
float vibratoDepth(float x, int index, bool fine, RuleContext* context);

// The SYNC ENABLE switch of the section a synced time parameter belongs to,
// or -1 for any other index.
int sectionSyncSwitch(int index);

}  // namespace Vst::Snap
