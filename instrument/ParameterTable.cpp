// The parameter table: name, type, default and editor control of every
// index. Defaults written with nine digits are exact float values a few
// steps away from the round numbers (0.2152, 0.125, 0.1876, 0.66).
#include "instrument/ParameterTable.h"

namespace Vst {

namespace {

constexpr ParameterInfo kReserved{"", kParameterReserved, 0.0f, ControlKind::kNone};

constexpr ParameterInfo kParameters[kParameterCount] = {
    {"Osc: TRIG", kParameterSwitch, 0.0f, ControlKind::kSwitch},  // 0
    {"Osc: PHASE", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 1
    {"Osc: DETUNE", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 2
    {"Osc: MULTI", kParameterContinuous, 1.0f, ControlKind::kMicro},  // 3
    {"Osc: SPREAD", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 4
    {"Osc: LOW", kParameterContinuous, 1.0f, ControlKind::kKnob},  // 5
    {"Osc: WAVEFORM", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 6
    {"Osc: MASS AMOUNT", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 7
    {"Osc: MASS RATE", kParameterContinuous, 0.25f, ControlKind::kMicro},  // 8
    {"Osc: MASS VARI", kParameterContinuous, 0.25f, ControlKind::kMicro},  // 9
    {"Osc: TRIM", kParameterContinuous, 0.5f, ControlKind::kMicro},  // 10
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    {"Pitch: PORTA", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 15
    {"Pitch: TUNE", kParameterContinuous, 0.5f, ControlKind::kMicro},  // 16
    {"Pitch: BEND", kParameterContinuous, 0.5f, ControlKind::kMicro},  // 17
    {"Pitch: ENV TIME", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 18
    {"Pitch: ENV DEPTH", kParameterContinuous, 0.5f, ControlKind::kMicro},  // 19
    {"Pitch: LFO DEPTH", kParameterContinuous, 0.5f, ControlKind::kKnob},  // 20
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    {"LPF: TUNE", kParameterContinuous, 1.0f, ControlKind::kKnob},  // 25
    {"LPF: ENV", kParameterContinuous, 0.5f, ControlKind::kKnob},  // 26
    {"LPF: LFO", kParameterContinuous, 0.5f, ControlKind::kKnob},  // 27
    {"LPF: RES", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 28
    {"LPF: SPREAD", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 29
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    {"HPF: TUNE", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 34
    {"HPF: ENV", kParameterContinuous, 0.5f, ControlKind::kKnob},  // 35
    {"HPF: LFO", kParameterContinuous, 0.5f, ControlKind::kKnob},  // 36
    {"HPF: RES", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 37
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    {"Spread: RATE", kParameterContinuous, 0.5f, ControlKind::kMicro},  // 42
    {"Spread: SPREAD", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 43
    kReserved,
    kReserved,
    kReserved,
    {"LFO: SYNC ENABLE", kParameterSwitch, 1.0f, ControlKind::kSwitch},  // 47
    {"LFO: TRIG", kParameterSwitch, 0.0f, ControlKind::kSwitch},  // 48
    {"LFO: RATE", kParameterContinuous, 0.5f, ControlKind::kKnob},  // 49
    {"LFO: DELAY", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 50
    {"LFO: FADE", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 51
    {"LFO: HOLD", kParameterContinuous, 1.0f, ControlKind::kMicro},  // 52
    {"LFO: RATE SYNCED", kParameterContinuous, 0.125f, ControlKind::kKnob},  // 53
    {"LFO: DELAY SYNCED", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 54
    {"LFO: FADE SYNCED", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 55
    {"LFO: HOLD SYNCED", kParameterContinuous, 1.0f, ControlKind::kMicro},  // 56
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    {"Vibra: SYNC ENABLE", kParameterSwitch, 0.0f, ControlKind::kSwitch},  // 61
    {"Vibra: TRIG", kParameterSwitch, 0.0f, ControlKind::kSwitch},  // 62
    {"Vibra: DEPTH", kParameterContinuous, 0.5f, ControlKind::kKnob},  // 63
    {"Vibra: RATE", kParameterContinuous, 0.659999847f, ControlKind::kKnob},  // 64
    {"Vibra: DELAY", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 65
    {"Vibra: FADE", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 66
    {"Vibra: HOLD", kParameterContinuous, 1.0f, ControlKind::kMicro},  // 67
    {"Vibra: RATE SYNCED", kParameterContinuous, 0.625f, ControlKind::kKnob},  // 68
    {"Vibra: DELAY SYNCED", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 69
    {"Vibra: FADE SYNCED", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 70
    {"Vibra: HOLD SYNCED", kParameterContinuous, 1.0f, ControlKind::kMicro},  // 71
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    {"Trill: SYNC ENABLE", kParameterSwitch, 1.0f, ControlKind::kSwitch},  // 76
    {"Trill: TRIG", kParameterSwitch, 1.0f, ControlKind::kSwitch},  // 77
    {"Trill: DEPTH", kParameterContinuous, 0.5f, ControlKind::kKnob},  // 78
    {"Trill: RATE", kParameterContinuous, 0.5f, ControlKind::kKnob},  // 79
    {"Trill: DELAY", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 80
    {"Trill: FADE", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 81
    {"Trill: HOLD", kParameterContinuous, 1.0f, ControlKind::kMicro},  // 82
    {"Trill: RATE SYNCED", kParameterContinuous, 0.625f, ControlKind::kKnob},  // 83
    {"Trill: DELAY SYNCED", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 84
    {"Trill: FADE SYNCED", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 85
    {"Trill: HOLD SYNCED", kParameterContinuous, 1.0f, ControlKind::kMicro},  // 86
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    {"Master: LEVEL", kParameterContinuous, 0.5f, ControlKind::kKnob},  // 91
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    {"Amp: LFO", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 96
    {"Amp: SYNC ENABLE", kParameterSwitch, 0.0f, ControlKind::kSwitch},  // 97
    {"Amp: ATK", kParameterContinuous, 0.05f, ControlKind::kKnob},  // 98
    {"Amp: HLD", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 99
    {"Amp: DCY", kParameterContinuous, 0.215200126f, ControlKind::kKnob},  // 100
    {"Amp: SUS", kParameterContinuous, 1.0f, ControlKind::kKnob},  // 101
    {"Amp: REL", kParameterContinuous, 0.1f, ControlKind::kKnob},  // 102
    {"Amp: ATK SYNCED", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 103
    {"Amp: HLD SYNCED", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 104
    {"Amp: DCY SYNCED", kParameterContinuous, 0.0625f, ControlKind::kKnob},  // 105
    {"Amp: REL SYNCED", kParameterContinuous, 0.0625f, ControlKind::kKnob},  // 106
    kReserved,
    kReserved,
    {"Drive: AMOUNT", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 109
    kReserved,
    kReserved,
    {"LPF: SYNC ENABLE", kParameterSwitch, 1.0f, ControlKind::kSwitch},  // 112
    {"LPF: ATK", kParameterContinuous, 0.05f, ControlKind::kKnob},  // 113
    {"LPF: HLD", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 114
    {"LPF: DCY", kParameterContinuous, 0.215200126f, ControlKind::kKnob},  // 115
    {"LPF: SUS", kParameterContinuous, 1.0f, ControlKind::kKnob},  // 116
    {"LPF: REL", kParameterContinuous, 0.1f, ControlKind::kKnob},  // 117
    {"LPF: ATK SYNCED", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 118
    {"LPF: HLD SYNCED", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 119
    {"LPF: DCY SYNCED", kParameterContinuous, 0.0625f, ControlKind::kKnob},  // 120
    {"LPF: REL SYNCED", kParameterContinuous, 0.0625f, ControlKind::kKnob},  // 121
    kReserved,
    kReserved,
    {"HPF: SYNC ENABLE", kParameterSwitch, 1.0f, ControlKind::kSwitch},  // 124
    {"HPF: ATK", kParameterContinuous, 0.05f, ControlKind::kKnob},  // 125
    {"HPF: HLD", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 126
    {"HPF: DCY", kParameterContinuous, 0.215200126f, ControlKind::kKnob},  // 127
    {"HPF: SUS", kParameterContinuous, 1.0f, ControlKind::kKnob},  // 128
    {"HPF: REL", kParameterContinuous, 0.1f, ControlKind::kKnob},  // 129
    {"HPF: ATK SYNCED", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 130
    {"HPF: HLD SYNCED", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 131
    {"HPF: DCY SYNCED", kParameterContinuous, 0.0625f, ControlKind::kKnob},  // 132
    {"HPF : REL SYNCED", kParameterContinuous, 0.0625f, ControlKind::kKnob},  // 133
    kReserved,
    kReserved,
    {"Phaser: ENABLE", kParameterSwitch, 0.0f, ControlKind::kSwitch},  // 136
    {"Phaser: DEPTH", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 137
    {"Phaser: RATE", kParameterContinuous, 0.5f, ControlKind::kKnob},  // 138
    {"Phaser: RANGE MIN", kParameterContinuous, 0.5f, ControlKind::kMicro},  // 139
    {"Phaser: RANGE MAX", kParameterContinuous, 0.75f, ControlKind::kMicro},  // 140
    {"Phaser: FB", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 141
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    {"Delay: ENABLE", kParameterSwitch, 0.0f, ControlKind::kSwitch},  // 146
    {"Delay: SYNC ENABLE", kParameterSwitch, 1.0f, ControlKind::kSwitch},  // 147
    {"Delay: L", kParameterContinuous, 0.125000224f, ControlKind::kMicro},  // 148
    {"Delay: R", kParameterContinuous, 0.187600240f, ControlKind::kMicro},  // 149
    {"Delay: L SYNCED", kParameterContinuous, 0.325f, ControlKind::kMicro},  // 150
    {"Delay: R SYNCED", kParameterContinuous, 0.275f, ControlKind::kMicro},  // 151
    {"HPF Delay: MIX", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 152
    {"HPF Delay: FB", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 153
    {"HPF Delay: TUNE", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 154
    {"BPF Delay: MIX", kParameterContinuous, 0.0f, ControlKind::kKnob},  // 155
    {"BPF Delay: FB", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 156
    {"BPF Delay: TUNE", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 157
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    {"Eq: ENABLE", kParameterSwitch, 0.0f, ControlKind::kSwitch},  // 162
    {"Eq 1: TYPE", kParameterContinuous, 0.9f, ControlKind::kOption},  // 163
    {"Eq 1: FRQ", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 164
    {"Eq 1: Q", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 165
    {"Eq 1: GAIN", kParameterContinuous, 0.5f, ControlKind::kMicro},  // 166
    {"Eq 2: TYPE", kParameterContinuous, 1.0f, ControlKind::kOption},  // 167
    {"Eq 2: FRQ", kParameterContinuous, 1.0f, ControlKind::kMicro},  // 168
    {"Eq 2: Q", kParameterContinuous, 0.0f, ControlKind::kMicro},  // 169
    {"Eq 2: GAIN", kParameterContinuous, 0.5f, ControlKind::kMicro},  // 170
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    kReserved,
    kReserved,
};

}  // namespace

const ParameterInfo& parameterInfo(int index) {
    return index >= 0 && index < kParameterCount ? kParameters[index] : kReserved;
}

}  // namespace Vst
