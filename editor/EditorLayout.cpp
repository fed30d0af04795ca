// The editor's layout tables and the few rules derived from them (label and
// value-text rectangles, command button rectangles).
#include "editor/EditorLayout.h"

#include <algorithm>
#include <array>

namespace Vst::EditorLayout {

namespace {

constexpr CColor kCyan{0, 255, 255, 255};
constexpr CColor kGreen{0, 255, 102, 255};
constexpr CColor kViolet{227, 118, 255, 255};
constexpr CColor kNoText = kNoValueText;

// Ascending by index; reserved indices have no entry.
constexpr ControlLayout kControls[] = {
    // Osc: TRIG
    {0, ControlKind::kSwitch, Orientation::kNone, CRect(155, 205, 210, 230), 10040, kNoText,
     "Reset oscillator phase and modulation when a note is played."},
    // Osc: PHASE
    {1, ControlKind::kKnob, Orientation::kNone, CRect(105, 170, 155, 220), 10016, kCyan,
     "The phase separation of the oscillators"},
    // Osc: DETUNE
    {2, ControlKind::kMicro, Orientation::kHorizontal, CRect(160, 244, 200, 257), 0, kCyan,
     "The separation in the tuning of the oscillators, modulates the relative phase"},
    // Osc: MULTI
    {3, ControlKind::kMicro, Orientation::kVertical, CRect(105, 80, 145, 90), 0, kCyan,
     "The level of additional osillators"},
    // Osc: SPREAD
    {4, ControlKind::kMicro, Orientation::kVertical, CRect(110, 135, 150, 148), 0, kCyan,
     "Stereo separation of the oscillators"},
    // Osc: LOW
    {5, ControlKind::kKnob, Orientation::kNone, CRect(40, 170, 90, 220), 10016, kCyan,
     "The level of the lowest harmonic i.e. the amplitude of the fundamental frequency"},
    // Osc: WAVEFORM
    {6, ControlKind::kKnob, Orientation::kNone, CRect(40, 90, 90, 140), 10023, kCyan, "Sawtooth/square wave balance"},
    // Osc: MASS AMOUNT
    {7, ControlKind::kMicro, Orientation::kVertical, CRect(160, 95, 205, 108), 0, kCyan,
     "The amount of fine tune modulation"},
    // Osc: MASS RATE
    {8, ControlKind::kMicro, Orientation::kVertical, CRect(160, 135, 205, 148), 0, kCyan,
     "The rate of the fine tune modulation"},
    // Osc: MASS VARI
    {9, ControlKind::kMicro, Orientation::kVertical, CRect(160, 175, 205, 188), 0, kCyan,
     "Adds variation to the modulation rates of the individual oscillators."},
    // Osc: TRIM
    {10, ControlKind::kMicro, Orientation::kVertical, CRect(40, 255, 90, 268), 0, kViolet,
     "The output level of the oscillator section"},
    // Pitch: PORTA
    {15, ControlKind::kMicro, Orientation::kVertical, CRect(235, 135, 285, 148), 0, kCyan,
     "Portamento controls the rate at which pitch changes when successive notes are played without "
     "releasing the previous note before playing the next."},
    // Pitch: TUNE
    {16, ControlKind::kMicro, Orientation::kVertical, CRect(235, 95, 285, 108), 0, kCyan,
     "Tuning (shift for semitone precision)"},
    // Pitch: BEND
    {17, ControlKind::kMicro, Orientation::kVertical, CRect(235, 175, 285, 188), 0, kCyan, "Pitch bend depth"},
    // Pitch: ENV TIME
    {18, ControlKind::kMicro, Orientation::kVertical, CRect(235, 250, 285, 263), 0, kCyan, "Pitch envelope time"},
    // Pitch: ENV DEPTH
    {19, ControlKind::kMicro, Orientation::kVertical, CRect(235, 290, 285, 303), 0, kCyan,
     "Pitch envelope depth up/down"},
    // Pitch: LFO DEPTH
    {20, ControlKind::kKnob, Orientation::kNone, CRect(290, 250, 340, 300), 10024, kGreen,
     "LFO depth (shift for precision, left for inverse)"},
    // LPF: TUNE
    {25, ControlKind::kKnob, Orientation::kNone, CRect(40, 410, 90, 460), 10012, kCyan,
     "Cutoff relative to pitch (shift for octave steps)"},
    // LPF: ENV
    {26, ControlKind::kKnob, Orientation::kNone, CRect(190, 410, 240, 460), 10012, kCyan,
     "Envelope depth (left for inverse, shift for octave steps)"},
    // LPF: LFO
    {27, ControlKind::kKnob, Orientation::kNone, CRect(140, 410, 190, 460), 10025, kGreen,
     "LFO depth (left for inverse, shift for octave steps)"},
    // LPF: RES
    {28, ControlKind::kKnob, Orientation::kNone, CRect(90, 410, 140, 460), 10020, kCyan,
     "Resonance at cutoff frequency"},
    // LPF: SPREAD
    {29, ControlKind::kMicro, Orientation::kHorizontal, CRect(85, 374, 125, 387), 0, kCyan, "LPF stereo spread width"},
    // HPF: TUNE
    {34, ControlKind::kKnob, Orientation::kNone, CRect(40, 490, 90, 540), 10013, kCyan,
     "Cutoff relative to pitch (shift for octave steps)"},
    // HPF: ENV
    {35, ControlKind::kKnob, Orientation::kNone, CRect(190, 490, 240, 540), 10013, kCyan,
     "Envelope depth (left for inverse, shift for octave steps)"},
    // HPF: LFO
    {36, ControlKind::kKnob, Orientation::kNone, CRect(140, 490, 190, 540), 10026, kGreen,
     "LFO depth (left for inverse, shift for octave steps)"},
    // HPF: RES
    {37, ControlKind::kKnob, Orientation::kNone, CRect(90, 490, 140, 540), 10022, kCyan,
     "Resonance at cutoff frequency"},
    // Spread: RATE
    {42, ControlKind::kMicro, Orientation::kHorizontal, CRect(85, 314, 125, 327), 0, kCyan,
     "Stereo spread modulation rate"},
    // Spread: SPREAD
    {43, ControlKind::kMicro, Orientation::kHorizontal, CRect(85, 334, 125, 347), 0, kCyan,
     "Stereo spread modulation width"},
    // LFO: SYNC ENABLE
    {47, ControlKind::kSwitch, Orientation::kNone, CRect(345, 262, 405, 287), 10034, kNoText, "LFO tempo sync"},
    // LFO: TRIG
    {48, ControlKind::kSwitch, Orientation::kNone, CRect(345, 287, 405, 312), 10039, kNoText,
     "Reset LFO phase when a note is played."},
    // LFO: RATE
    {49, ControlKind::kKnob, Orientation::kNone, CRect(405, 250, 455, 300), 10027, kGreen,
     "Source LFO rate (shift for precision)"},
    // LFO: DELAY
    {50, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 249, 540, 262), 0, kGreen,
     "Delay before modulation starts (shift for precision)"},
    // LFO: FADE
    {51, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 269, 540, 282), 0, kGreen,
     "Fade in/out time after delay/hold (shift for precision)"},
    // LFO: HOLD
    {52, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 289, 540, 302), 0, kGreen,
     "Duration of full depth modulation (shift for precision)"},
    // LFO: RATE SYNCED
    {53, ControlKind::kKnob, Orientation::kNone, CRect(405, 250, 455, 300), 10027, kGreen, "Source LFO rate"},
    // LFO: DELAY SYNCED
    {54, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 249, 540, 262), 0, kGreen,
     "Delay before modulation starts (shift for precision)"},
    // LFO: FADE SYNCED
    {55, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 269, 540, 282), 0, kGreen,
     "Fade in/out time after delay/hold (shift for precision)"},
    // LFO: HOLD SYNCED
    {56, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 289, 540, 302), 0, kGreen,
     "Duration of full depth modulation (shift for precision)"},
    // Vibra: SYNC ENABLE
    {61, ControlKind::kSwitch, Orientation::kNone, CRect(390, 90, 450, 115), 10036, kNoText, "Tempo sync"},
    // Vibra: TRIG
    {62, ControlKind::kSwitch, Orientation::kNone, CRect(390, 115, 450, 140), 10041, kNoText,
     "Reset modulator phase when a note is played."},
    // Vibra: DEPTH
    {63, ControlKind::kKnob, Orientation::kNone, CRect(290, 90, 340, 140), 10010, kCyan,
     "Modulation depth (shift for precision, left for inverse)"},
    // Vibra: RATE
    {64, ControlKind::kKnob, Orientation::kNone, CRect(340, 90, 390, 140), 10014, kCyan,
     "Modulation rate (shift for precision)"},
    // Vibra: DELAY
    {65, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 89, 540, 102), 0, kCyan,
     "Delay before modulation starts (shift for precision)"},
    // Vibra: FADE
    {66, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 109, 540, 122), 0, kCyan,
     "Fade in/out time after delay/hold (shift for precision)"},
    // Vibra: HOLD
    {67, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 129, 540, 142), 0, kCyan,
     "Duration of full depth modulation (shift for precision)"},
    // Vibra: RATE SYNCED
    {68, ControlKind::kKnob, Orientation::kNone, CRect(340, 90, 390, 140), 10014, kCyan, "Modulation rate"},
    // Vibra: DELAY SYNCED
    {69, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 89, 540, 102), 0, kCyan,
     "Delay before modulation starts (shift for precision)"},
    // Vibra: FADE SYNCED
    {70, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 109, 540, 122), 0, kCyan,
     "Fade in/out time after delay/hold (shift for precision)"},
    // Vibra: HOLD SYNCED
    {71, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 129, 540, 142), 0, kCyan,
     "Duration of full depth modulation (shift for precision)"},
    // Trill: SYNC ENABLE
    {76, ControlKind::kSwitch, Orientation::kNone, CRect(390, 170, 450, 195), 10032, kNoText, "Tempo sync"},
    // Trill: TRIG
    {77, ControlKind::kSwitch, Orientation::kNone, CRect(390, 195, 450, 220), 10038, kNoText,
     "Reset modulator phase when a note is played."},
    // Trill: DEPTH
    {78, ControlKind::kKnob, Orientation::kNone, CRect(290, 170, 340, 220), 10011, kCyan,
     "Modulation depth (shift for precision, left for inverse)"},
    // Trill: RATE
    {79, ControlKind::kKnob, Orientation::kNone, CRect(340, 170, 390, 220), 10015, kCyan,
     "Modulation rate (shift for precision)"},
    // Trill: DELAY
    {80, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 169, 540, 182), 0, kCyan,
     "Delay before modulation starts (shift for precision)"},
    // Trill: FADE
    {81, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 189, 540, 202), 0, kCyan,
     "Fade in/out time after delay/hold (shift for precision)"},
    // Trill: HOLD
    {82, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 209, 540, 222), 0, kCyan,
     "Duration of full depth modulation (shift for precision)"},
    // Trill: RATE SYNCED
    {83, ControlKind::kKnob, Orientation::kNone, CRect(340, 170, 390, 220), 10015, kCyan, "Modulation rate"},
    // Trill: DELAY SYNCED
    {84, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 169, 540, 182), 0, kCyan,
     "Delay before modulation starts (shift for precision)"},
    // Trill: FADE SYNCED
    {85, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 189, 540, 202), 0, kCyan,
     "Fade in/out time after delay/hold (shift for precision)"},
    // Trill: HOLD SYNCED
    {86, ControlKind::kMicro, Orientation::kHorizontal, CRect(500, 209, 540, 222), 0, kCyan,
     "Duration of full depth modulation (shift for precision)"},
    // Master: LEVEL
    {91, ControlKind::kKnob, Orientation::kNone, CRect(775, 450, 825, 500), 10030, kViolet, "Master level"},
    // Amp: LFO
    {96, ControlKind::kKnob, Orientation::kNone, CRect(140, 330, 190, 380), 10028, kGreen, "LFO depth"},
    // Amp: SYNC ENABLE
    {97, ControlKind::kSwitch, Orientation::kNone, CRect(240, 340, 300, 365), 10031, kNoText, "Envelope tempo sync"},
    // Amp: ATK
    {98, ControlKind::kKnob, Orientation::kNone, CRect(300, 330, 350, 380), 10019, kCyan,
     "Attack time (shift for precision)"},
    // Amp: HLD
    {99, ControlKind::kKnob, Orientation::kNone, CRect(350, 330, 400, 380), 10019, kCyan,
     "Hold time at peak (shift for precision)"},
    // Amp: DCY
    {100, ControlKind::kKnob, Orientation::kNone, CRect(400, 330, 450, 380), 10019, kCyan,
     "Decay time (shift for precision)"},
    // Amp: SUS
    {101, ControlKind::kKnob, Orientation::kNone, CRect(450, 330, 500, 380), 10019, kCyan, "Sustain level"},
    // Amp: REL
    {102, ControlKind::kKnob, Orientation::kNone, CRect(499, 330, 549, 380), 10019, kCyan,
     "Release time (shift for precision)"},
    // Amp: ATK SYNCED
    {103, ControlKind::kKnob, Orientation::kNone, CRect(300, 330, 350, 380), 10019, kCyan,
     "Attack time (shift for precision)"},
    // Amp: HLD SYNCED
    {104, ControlKind::kKnob, Orientation::kNone, CRect(350, 330, 400, 380), 10019, kCyan,
     "Hold time at peak (shift for precision)"},
    // Amp: DCY SYNCED
    {105, ControlKind::kKnob, Orientation::kNone, CRect(400, 330, 450, 380), 10019, kCyan,
     "Decay time (shift for precision)"},
    // Amp: REL SYNCED
    {106, ControlKind::kKnob, Orientation::kNone, CRect(499, 330, 549, 380), 10019, kCyan,
     "Release time (shift for precision)"},
    // Drive: AMOUNT
    {109, ControlKind::kKnob, Orientation::kNone, CRect(190, 330, 240, 380), 10029, kViolet, "Drive level"},
    // LPF: SYNC ENABLE
    {112, ControlKind::kSwitch, Orientation::kNone, CRect(240, 420, 300, 445), 10035, kNoText, "Envelope tempo sync"},
    // LPF: ATK
    {113, ControlKind::kKnob, Orientation::kNone, CRect(300, 410, 350, 460), 10020, kCyan,
     "Attack time (shift for precision)"},
    // LPF: HLD
    {114, ControlKind::kKnob, Orientation::kNone, CRect(350, 410, 400, 460), 10020, kCyan,
     "Hold time at peak (shift for precision)"},
    // LPF: DCY
    {115, ControlKind::kKnob, Orientation::kNone, CRect(400, 410, 450, 460), 10020, kCyan,
     "Decay time (shift for precision)"},
    // LPF: SUS
    {116, ControlKind::kKnob, Orientation::kNone, CRect(450, 410, 500, 460), 10020, kCyan, "Sustain level"},
    // LPF: REL
    {117, ControlKind::kKnob, Orientation::kNone, CRect(499, 410, 549, 460), 10020, kCyan,
     "Release time (shift for precision)"},
    // LPF: ATK SYNCED
    {118, ControlKind::kKnob, Orientation::kNone, CRect(300, 410, 350, 460), 10020, kCyan,
     "Attack time (shift for precision)"},
    // LPF: HLD SYNCED
    {119, ControlKind::kKnob, Orientation::kNone, CRect(350, 410, 400, 460), 10020, kCyan,
     "Hold time at peak (shift for precision)"},
    // LPF: DCY SYNCED
    {120, ControlKind::kKnob, Orientation::kNone, CRect(400, 410, 450, 460), 10020, kCyan,
     "Decay time (shift for precision)"},
    // LPF: REL SYNCED
    {121, ControlKind::kKnob, Orientation::kNone, CRect(499, 410, 549, 460), 10020, kCyan,
     "Release time (shift for precision)"},
    // HPF: SYNC ENABLE
    {124, ControlKind::kSwitch, Orientation::kNone, CRect(240, 500, 300, 525), 10033, kNoText, "Envelope tempo sync"},
    // HPF: ATK
    {125, ControlKind::kKnob, Orientation::kNone, CRect(300, 490, 350, 540), 10022, kCyan,
     "Attack time (shift for precision)"},
    // HPF: HLD
    {126, ControlKind::kKnob, Orientation::kNone, CRect(350, 490, 400, 540), 10022, kCyan,
     "Hold time at peak (shift for precision)"},
    // HPF: DCY
    {127, ControlKind::kKnob, Orientation::kNone, CRect(400, 490, 450, 540), 10022, kCyan,
     "Decay time (shift for precision)"},
    // HPF: SUS
    {128, ControlKind::kKnob, Orientation::kNone, CRect(450, 490, 500, 540), 10022, kCyan, "Sustain level"},
    // HPF: REL
    {129, ControlKind::kKnob, Orientation::kNone, CRect(499, 490, 549, 540), 10022, kCyan,
     "Release time (shift for precision)"},
    // HPF: ATK SYNCED
    {130, ControlKind::kKnob, Orientation::kNone, CRect(300, 490, 350, 540), 10022, kCyan,
     "Attack time (shift for precision)"},
    // HPF: HLD SYNCED
    {131, ControlKind::kKnob, Orientation::kNone, CRect(350, 490, 400, 540), 10022, kCyan,
     "Hold time at peak (shift for precision)"},
    // HPF: DCY SYNCED
    {132, ControlKind::kKnob, Orientation::kNone, CRect(400, 490, 450, 540), 10022, kCyan,
     "Decay time (shift for precision)"},
    // HPF : REL SYNCED
    {133, ControlKind::kKnob, Orientation::kNone, CRect(499, 490, 549, 540), 10022, kCyan,
     "Release time (shift for precision)"},
    // Phaser: ENABLE
    {136, ControlKind::kSwitch, Orientation::kNone, CRect(697, 415, 721, 439), 10053, kNoText, nullptr},
    // Phaser: DEPTH
    {137, ControlKind::kKnob, Orientation::kNone, CRect(565, 450, 615, 500), 10021, kCyan, "Mix level"},
    // Phaser: RATE
    {138, ControlKind::kKnob, Orientation::kNone, CRect(620, 450, 670, 500), 10021, kCyan, "Sweep rate"},
    // Phaser: RANGE MIN
    {139, ControlKind::kMicro, Orientation::kNone, CRect(575, 519, 620, 532), 0, kCyan,
     "Sweep range minimum frequency"},
    // Phaser: RANGE MAX
    {140, ControlKind::kMicro, Orientation::kNone, CRect(665, 519, 710, 532), 0, kCyan,
     "Sweep range maximum frequency"},
    // Phaser: FB
    {141, ControlKind::kKnob, Orientation::kNone, CRect(674, 450, 724, 500), 10021, kCyan, "Feedback level"},
    // Delay: ENABLE
    {146, ControlKind::kSwitch, Orientation::kNone, CRect(697, 180, 721, 204), 10051, kNoText, nullptr},
    // Delay: SYNC ENABLE
    {147, ControlKind::kSwitch, Orientation::kNone, CRect(635, 180, 695, 205), 10037, kNoText, "Delay tempo sync"},
    // Delay: L
    {148, ControlKind::kMicro, Orientation::kNone, CRect(590, 214, 630, 227), 0, kCyan, nullptr},
    // Delay: R
    {149, ControlKind::kMicro, Orientation::kNone, CRect(655, 214, 695, 227), 0, kCyan, nullptr},
    // Delay: L SYNCED
    {150, ControlKind::kMicro, Orientation::kNone, CRect(590, 214, 630, 227), 0, kCyan, nullptr},
    // Delay: R SYNCED
    {151, ControlKind::kMicro, Orientation::kNone, CRect(655, 214, 695, 227), 0, kCyan, nullptr},
    // HPF Delay: MIX
    {152, ControlKind::kKnob, Orientation::kNone, CRect(580, 250, 630, 300), 10017, kCyan, "HPF delay send level"},
    // HPF Delay: FB
    {153, ControlKind::kMicro, Orientation::kHorizontal, CRect(675, 285, 715, 298), 0, kCyan,
     "HPF delay feedback level"},
    // HPF Delay: TUNE
    {154, ControlKind::kMicro, Orientation::kHorizontal, CRect(675, 255, 715, 268), 0, kCyan,
     "HPF cutoff relative to pitch"},
    // BPF Delay: MIX
    {155, ControlKind::kKnob, Orientation::kNone, CRect(580, 330, 630, 380), 10018, kCyan, "BPF delay send level"},
    // BPF Delay: FB
    {156, ControlKind::kMicro, Orientation::kHorizontal, CRect(675, 365, 715, 378), 0, kCyan,
     "BPF delay feedback level"},
    // BPF Delay: TUNE
    {157, ControlKind::kMicro, Orientation::kHorizontal, CRect(675, 335, 715, 348), 0, kCyan,
     "BPF cutoff relative to pitch"},
    // Eq: ENABLE
    {162, ControlKind::kSwitch, Orientation::kNone, CRect(828, 180, 852, 204), 10052, kNoText, nullptr},
    // Eq 1: TYPE
    {163, ControlKind::kOption, Orientation::kNone, CRect(745, 205, 795, 245), 10050, kNoText, nullptr},
    // Eq 1: FRQ
    {164, ControlKind::kMicro, Orientation::kVertical, CRect(745, 275, 795, 288), 0, kCyan, nullptr},
    // Eq 1: Q
    {165, ControlKind::kMicro, Orientation::kVertical, CRect(745, 320, 795, 333), 0, kCyan, nullptr},
    // Eq 1: GAIN
    {166, ControlKind::kMicro, Orientation::kVertical, CRect(745, 365, 795, 378), 0, kCyan, nullptr},
    // Eq 2: TYPE
    {167, ControlKind::kOption, Orientation::kNone, CRect(795, 205, 845, 245), 10050, kNoText, nullptr},
    // Eq 2: FRQ
    {168, ControlKind::kMicro, Orientation::kVertical, CRect(795, 275, 845, 288), 0, kCyan, nullptr},
    // Eq 2: Q
    {169, ControlKind::kMicro, Orientation::kVertical, CRect(795, 320, 845, 333), 0, kCyan, nullptr},
    // Eq 2: GAIN
    {170, ControlKind::kMicro, Orientation::kVertical, CRect(795, 365, 845, 378), 0, kCyan, nullptr},
};

constexpr VisibilityRule kRules[] = {
    {47, {{49, 53}, {51, 55}, {52, 56}, {50, 54}}, 4, {{49, 53}}, 1},
    {61, {{64, 68}, {66, 70}, {67, 71}, {65, 69}}, 4, {{64, 68}}, 1},
    {76, {{79, 83}, {81, 85}, {82, 86}, {80, 84}}, 4, {{79, 83}}, 1},
    {97, {{98, 103}, {99, 104}, {100, 105}, {102, 106}}, 4, {{98, 103}, {99, 104}, {100, 105}, {102, 106}}, 4},
    {112, {{113, 118}, {114, 119}, {115, 120}, {117, 121}}, 4, {{113, 118}, {114, 119}, {115, 120}, {117, 121}}, 4},
    {124, {{125, 130}, {126, 131}, {127, 132}, {129, 133}}, 4, {{125, 130}, {126, 131}, {127, 132}, {129, 133}}, 4},
    {147, {{148, 150}, {149, 151}}, 2, {}, 0},
};

constexpr HelpArea kHelpAreas[] = {
    {CRect(35, 50, 95, 75),
     "Waveform, low cut and trim parameters control the elementary characteristics of the "
     "oscillator.\n\n"
     "The multi section allows to mix in four additional oscillators with similar characteristics. "
     "The relative phase and tune of the oscillators can be set to produce a variety of sounds and "
     "modulated for vivid timbre. The spread parameter increases the left/right separation of the "
     "additional oscillators.\n\n"
     "The mass section enables additional modulation producing a sense of massiveness to the sound."},
    {CRect(230, 50, 300, 70),
     "Pitch section controls the basic tuning of the instrument as well as some pitch modulation "
     "effects.\n\n"
     "The vibra and trill effects have parameters to control how the modulation depth evolves in time "
     "when a note is played.\n\n"
     "For the duration of DELAY the depth is zero and no modulation is applied. During FADE the "
     "modulation reaches full depth and is held there for the duration of HOLD, after which it fades "
     "out during another FADE. The modulation depths are specified by the VIBRA and TRILL "
     "parameters.\n\n"
     "The LFO effect behaves similarly, but unlike vibra and trill, the LFO is not dedicated only to "
     "pitch modulation. The LFO pitch modulation depth is specified by the LFO parameter."},
    {CRect(235, 205, 285, 225),
     "The pitch envelope section controls how the pitch glides when a note is played. The DEPTH "
     "parameter controls the interval to glide. The TIME parameter controls the duration to reach the "
     "note. The interval may be positive resulting in a downwards glide, or negative resulting in an "
     "upwards glide."},
    {CRect(340, 235, 400, 260),
     "LFO modulation source\n\n"
     "The LFO source is shared among the PITCH, AMP, LPF and HPF sections. The amount of modulation "
     "is controlled separately by the LFO parameter in each section."},
    {CRect(140, 285, 215, 310),
     "The amplitude section controls the amplitude envelope, amplitude LFO modulation and drive. The "
     "LFO parameter controls the amount of modulation from the shared LFO source."},
    {CRect(35, 285, 130, 305),
     "The spread section produces variation in the spatial perception of the sound.The sound "
     "oscillates between left and right at the specified rate and width."},
    {CRect(5, 405, 30, 465),
     "The lowpass filter's cutoff frequency is always tuned relative to the current pitch. The cutoff "
     "tuning can be modulated by LFO, envelope and spread.\n\n"
     "The LFO-parameter controls the amount of modulation from the shared LFO source. The SPRD "
     "parameter controls the amount of left/right separation of the cutoff frequency. The spread "
     "modulation rate is synchronized with the spatial spread section above."},
    {CRect(5, 485, 30, 545),
     "The highpass filter's cutoff frequency is always tuned relative to the current pitch. The "
     "cutoff tuning can be modulated by LFO and envelope.\n\n"
     "The LFO-parameter controls the amount of modulation from the shared LFO source."},
    {CRect(565, 180, 635, 205),
     "The delay section runs two delay units in parallel, a highpass filter delay and a bandpass "
     "filter delay. The highpass filter precedes the delay unit in the signal chain of the highpass "
     "delay whereas the bandpass filter follows the delay unit within the feedback chain of the "
     "bandpass delay.\n\n"
     "The cutoff frequencies of the filters are always relative to the current pitch. The HPF cutoff "
     "is above the current pitch by the interval set by the tuning. The BPF cutoff oscillates around "
     "the tuning."},
    {CRect(740, 180, 790, 205),
     "The equalizer section has two units. The mode can be selected independently for both units by "
     "clicking through the selection. The Q and GAIN parameters have effect only in certain modes."},
    {CRect(565, 415, 635, 435),
     "The phaser effect's sweep is controlled by the modulation rate and frequency range. The DEPTH "
     "parameter controls the amount of effect mixed with the input signal. The additional intensity "
     "i.e. the amount of feedback is controlled by the FB parameter."},
};

constexpr CommandButton kCommandButtons[] = {
    {CPoint(565, 60), 5001, 10060, "Load bank from file"},
    {CPoint(565, 90), 5003, 10061, "Save bank to file"},
    {CPoint(650, 60), 5000, 10060, "Load instrument from file, overwrites current instrument"},
    {CPoint(650, 90), 5002, 10061, "Save current instrument to file"},
    {CPoint(715, 60), 5004, 10062, "Store a copy of current instrument to clipboard"},
    {CPoint(715, 90), 5005, 10063, "Paste instrument from clipboard, overwrites current instrument"},
    {CPoint(782, 60), 5006, 10064, "Rename current instrument"},
    {CPoint(782, 135), 5007, 10065, "Initialize current instrument, set all parameters to default"},
};

bool inRange(int index, int first, int last) { return index >= first && index <= last; }

}  // namespace

std::span<const ControlLayout> controlLayouts() { return kControls; }

const ControlLayout* controlLayout(int index) {
    const auto* found = std::lower_bound(std::begin(kControls), std::end(kControls), index,
                                         [](const ControlLayout& entry, int i) { return entry.index < i; });
    return found != std::end(kControls) && found->index == index ? found : nullptr;
}

float fineFactor(int index) {
    if (index == 1 || inRange(index, 54, 56) || inRange(index, 69, 71) || inRange(index, 84, 86)) return 0.25f;
    if (inRange(index, 15, 20) || inRange(index, 25, 27) || inRange(index, 34, 36) || index == 63 || index == 78)
        return 0.125f;
    return 1.0f;
}

float fineDivisor(int index) {
    if (index == 20 || index == 63 || index == 78) return 50.0f;
    if (inRange(index, 25, 27) || inRange(index, 34, 36)) return 1.0f;
    return 25.0f;
}

CRect valueTextRect(const ControlLayout& layout) {
    const CRect& r = layout.rect;
    return CRect(r.left, r.bottom, r.right, r.bottom + kValueTextHeight);
}

bool hasLabel(const ControlLayout& layout) {
    return layout.tooltip != nullptr && (layout.kind == ControlKind::kKnob || layout.kind == ControlKind::kMicro);
}

CRect labelRect(const ControlLayout& layout) {
    const CRect& r = layout.rect;
    if (layout.kind == ControlKind::kKnob) return CRect(r.left, r.top - 15, r.right, r.top);
    if (layout.kind != ControlKind::kMicro) return CRect();
    switch (layout.orientation) {
        case Orientation::kVertical:
            return CRect(r.left, r.top - 20, r.right, r.top);
        case Orientation::kHorizontal:
            return CRect(r.left - 40, r.top, r.left, r.bottom);
        case Orientation::kNone:
            break;
    }
    return CRect();
}

std::span<const VisibilityRule> visibilityRules() { return kRules; }

const VisibilityRule* visibilityRule(int switchIndex) {
    for (const VisibilityRule& rule : kRules)
        if (rule.switchIndex == switchIndex) return &rule;
    return nullptr;
}

std::span<const HelpArea> helpAreas() { return kHelpAreas; }

std::span<const CommandButton> commandButtons() { return kCommandButtons; }

CRect commandButtonRect(const CommandButton& button) {
    CPoint inPanel = button.position - kCommandPanelRect.getTopLeft();
    return CRect(inPanel, kCommandButtonSize);
}

}  // namespace Vst::EditorLayout
