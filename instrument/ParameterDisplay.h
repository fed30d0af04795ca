// The value texts of the instrument's parameters: one rule per kind of value
// (percent, time, note value, semitones, decibels ...), each turning a
// normalized value into the short text the editor shows. Rules that depend on
// another parameter (a section's sync switch) read it through the rule context
// (the plug-in, or an editor's copy of the values). Any thread; no rule
// allocates. Texts are shorter than 16 characters.
#pragma once

#include "frame/ValueRules.h"
#include "instrument/ParameterIndex.h"

namespace Vst::Display {

// The fixed name lists shared with the engine's indices.
extern const char* const kFilterTypeNames[7];
extern const char* const kNoteValueNames[21];

// Shared sub-rules.
void formatHertz(float hertz, char* text);
void formatMilliseconds(float ms, char* text);
void formatMilliseconds(double ms, char* text);

// The rules, each a DisplayFormatter.
void plain(float value, char* text, RuleContext* context);
void percent(float value, char* text, RuleContext* context);
void balance(float value, char* text, RuleContext* context);
void bipolarPercent(float value, char* text, RuleContext* context);
void filterType(float value, char* text, RuleContext* context);
void time(float value, char* text, RuleContext* context);
void coarseTune(float value, char* text, RuleContext* context);
void semitones(float value, char* text, RuleContext* context);
void semitoneDepth(float value, char* text, RuleContext* context);
void semitoneSpan(float value, char* text, RuleContext* context);
void vibratoDepth(float value, char* text, RuleContext* context);
void delayTune(float value, char* text, RuleContext* context);
void rate(float value, char* text, RuleContext* context);
void hertz(float value, char* text, RuleContext* context);
void sweepFrequency(float value, char* text, RuleContext* context);
void frequency(float value, char* text, RuleContext* context);
void gain(float value, char* text, RuleContext* context);
void level(float value, char* text, RuleContext* context);
void boostLevel(float value, char* text, RuleContext* context);
void onOff(float value, char* text, RuleContext* context);
void delayTime(float value, char* text, RuleContext* context);
void noteValue(float value, char* text, RuleContext* context);
void bendRange(float value, char* text, RuleContext* context);

// Beats (8 per full value) while the sync switch is on, else the Time text.
// A missing context reads as switch off.
void timeOrBeats(float value, char* text, RuleContext* context, int syncSwitch);
// "Inf" at exactly 1, else timeOrBeats.
void hold(float value, char* text, RuleContext* context, int syncSwitch);

// The same two bound to a section's switch, as DisplayFormatters.
template <int SyncSwitch>
void timeOrBeatsOf(float value, char* text, RuleContext* context) {
    timeOrBeats(value, text, context, SyncSwitch);
}
template <int SyncSwitch>
void holdOf(float value, char* text, RuleContext* context) {
    hold(value, text, context, SyncSwitch);
}

}  // namespace Vst::Display
