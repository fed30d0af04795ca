// The value texts of the instrument's parameters: one rule per kind of value
// (percent, time, note value, semitones, decibels ...), each turning a
// normalized value into the short text the editor shows. Rules that depend on
// another parameter (a section's sync switch) read it through the plugin.
// Any thread; no rule allocates. Texts are shorter than 16 characters.
#pragma once

#include "frame/Plugin.h"
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
void plain(float value, char* text, Plugin* plugin);
void percent(float value, char* text, Plugin* plugin);
void balance(float value, char* text, Plugin* plugin);
void bipolarPercent(float value, char* text, Plugin* plugin);
void filterType(float value, char* text, Plugin* plugin);
void time(float value, char* text, Plugin* plugin);
void coarseTune(float value, char* text, Plugin* plugin);
void semitones(float value, char* text, Plugin* plugin);
void semitoneDepth(float value, char* text, Plugin* plugin);
void semitoneSpan(float value, char* text, Plugin* plugin);
void vibratoDepth(float value, char* text, Plugin* plugin);
void delayTune(float value, char* text, Plugin* plugin);
void rate(float value, char* text, Plugin* plugin);
void hertz(float value, char* text, Plugin* plugin);
void sweepFrequency(float value, char* text, Plugin* plugin);
void frequency(float value, char* text, Plugin* plugin);
void gain(float value, char* text, Plugin* plugin);
void level(float value, char* text, Plugin* plugin);
void boostLevel(float value, char* text, Plugin* plugin);
void onOff(float value, char* text, Plugin* plugin);
void delayTime(float value, char* text, Plugin* plugin);
void noteValue(float value, char* text, Plugin* plugin);
void bendRange(float value, char* text, Plugin* plugin);

// Beats (8 per full value) while the sync switch is on, else the Time text.
// A missing plugin reads as switch off.
void timeOrBeats(float value, char* text, Plugin* plugin, int syncSwitch);
// "Inf" at exactly 1, else timeOrBeats.
void hold(float value, char* text, Plugin* plugin, int syncSwitch);

// The same two bound to a section's switch, as DisplayFormatters.
template <int SyncSwitch>
void timeOrBeatsOf(float value, char* text, Plugin* plugin) {
    timeOrBeats(value, text, plugin, SyncSwitch);
}
template <int SyncSwitch>
void holdOf(float value, char* text, Plugin* plugin) {
    hold(value, text, plugin, SyncSwitch);
}

}  // namespace Vst::Display
