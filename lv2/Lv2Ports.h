// The LV2 plug-in's port layout: MIDI/atom input, the DSP-to-UI notify
// output, two audio outputs, then one control input per real parameter in
// ascending parameter index order. Port indices and symbols are a stored-file
// contract (hosts save sessions by symbol): append, never reorder or rename.
// Plain constexpr data, shared by the DSP glue, the UI and the Turtle writer.
#pragma once

#include <array>
#include <string_view>

#include "instrument/ParameterIndex.h"

namespace MorvelithLv2 {

inline constexpr const char* kPluginUri = "urn:morvelith:instrument";
inline constexpr const char* kUiUri = "urn:morvelith:instrument#ui";
// Factory preset N (0..75) is kPresetUriPrefix followed by two digits.
inline constexpr const char* kPresetUriPrefix = "urn:morvelith:instrument#preset-";
inline constexpr int kFactoryPresetCount = 76;

enum PortIndex : int {
    kMidiInPort = 0,    // atom:Sequence in: MIDI, time:Position, patch messages from the UI
    kNotifyPort = 1,    // atom:Sequence out: patch messages to the UI
    kOutLeftPort = 2,
    kOutRightPort = 3,
    kFirstControlPort = 4,
};

inline constexpr int kControlPortCount = 120;
inline constexpr int kPortCount = kFirstControlPort + kControlPortCount;
inline constexpr int kParameterCount = Vst::kParameterCount;  // 181, reserved indices included

// The notify output's minimum buffer (rsz:minimumSize): the largest burst the
// DSP writes in one run (program, 100 names, 181 values) with room to spare.
inline constexpr int kNotifyBufferBytes = 16384;

// The parameter index behind each control port, ascending.
inline constexpr std::array<int, kControlPortCount> kParameterOfControl = {
    Vst::kOscTrig, Vst::kOscPhase, Vst::kOscDetune, Vst::kOscMulti, Vst::kOscSpread, Vst::kOscLow,
    Vst::kOscWaveform, Vst::kOscMassAmount, Vst::kOscMassRate, Vst::kOscMassVari, Vst::kOscTrim,
    Vst::kPitchPorta, Vst::kPitchTune, Vst::kPitchBend, Vst::kPitchEnvTime, Vst::kPitchEnvDepth,
    Vst::kPitchLfoDepth, Vst::kLpfTune, Vst::kLpfEnv, Vst::kLpfLfo, Vst::kLpfRes, Vst::kLpfSpread,
    Vst::kHpfTune, Vst::kHpfEnv, Vst::kHpfLfo, Vst::kHpfRes, Vst::kSpreadRate, Vst::kSpreadSpread,
    Vst::kLfoSyncEnable, Vst::kLfoTrig, Vst::kLfoRate, Vst::kLfoDelay, Vst::kLfoFade, Vst::kLfoHold,
    Vst::kLfoRateSynced, Vst::kLfoDelaySynced, Vst::kLfoFadeSynced, Vst::kLfoHoldSynced,
    Vst::kVibraSyncEnable, Vst::kVibraTrig, Vst::kVibraDepth, Vst::kVibraRate, Vst::kVibraDelay,
    Vst::kVibraFade, Vst::kVibraHold, Vst::kVibraRateSynced, Vst::kVibraDelaySynced, Vst::kVibraFadeSynced,
    Vst::kVibraHoldSynced, Vst::kTrillSyncEnable, Vst::kTrillTrig, Vst::kTrillDepth, Vst::kTrillRate,
    Vst::kTrillDelay, Vst::kTrillFade, Vst::kTrillHold, Vst::kTrillRateSynced, Vst::kTrillDelaySynced,
    Vst::kTrillFadeSynced, Vst::kTrillHoldSynced, Vst::kMasterLevel, Vst::kAmpLfo, Vst::kAmpSyncEnable,
    Vst::kAmpAtk, Vst::kAmpHld, Vst::kAmpDcy, Vst::kAmpSus, Vst::kAmpRel, Vst::kAmpAtkSynced,
    Vst::kAmpHldSynced, Vst::kAmpDcySynced, Vst::kAmpRelSynced, Vst::kDriveAmount, Vst::kLpfSyncEnable,
    Vst::kLpfAtk, Vst::kLpfHld, Vst::kLpfDcy, Vst::kLpfSus, Vst::kLpfRel, Vst::kLpfAtkSynced,
    Vst::kLpfHldSynced, Vst::kLpfDcySynced, Vst::kLpfRelSynced, Vst::kHpfSyncEnable, Vst::kHpfAtk,
    Vst::kHpfHld, Vst::kHpfDcy, Vst::kHpfSus, Vst::kHpfRel, Vst::kHpfAtkSynced, Vst::kHpfHldSynced,
    Vst::kHpfDcySynced, Vst::kHpfRelSynced, Vst::kPhaserEnable, Vst::kPhaserDepth, Vst::kPhaserRate,
    Vst::kPhaserRangeMin, Vst::kPhaserRangeMax, Vst::kPhaserFb, Vst::kDelayEnable, Vst::kDelaySyncEnable,
    Vst::kDelayL, Vst::kDelayR, Vst::kDelayLSynced, Vst::kDelayRSynced, Vst::kHpfDelayMix, Vst::kHpfDelayFb,
    Vst::kHpfDelayTune, Vst::kBpfDelayMix, Vst::kBpfDelayFb, Vst::kBpfDelayTune, Vst::kEqEnable,
    Vst::kEq1Type, Vst::kEq1Frq, Vst::kEq1Q, Vst::kEq1Gain, Vst::kEq2Type, Vst::kEq2Frq, Vst::kEq2Q,
    Vst::kEq2Gain,
};

// The control port (offset from kFirstControlPort) of each parameter index, -1 for reserved ones.
inline constexpr std::array<int, kParameterCount> kControlOfParameter = [] {
    std::array<int, kParameterCount> table{};
    for (int& entry : table) entry = -1;
    for (int control = 0; control < kControlPortCount; ++control) table[kParameterOfControl[control]] = control;
    return table;
}();

// Port index -> parameter index, -1 for the four non-control ports or out of range.
constexpr int parameterOfPort(int port) {
    const int control = port - kFirstControlPort;
    return control >= 0 && control < kControlPortCount ? kParameterOfControl[control] : -1;
}

// Parameter index -> port index, -1 for reserved indices or out of range.
constexpr int portOfParameter(int parameter) {
    if (parameter < 0 || parameter >= kParameterCount) return -1;
    const int control = kControlOfParameter[parameter];
    return control < 0 ? -1 : kFirstControlPort + control;
}

// A port symbol: lower-case letters and digits of the host name, every run of
// anything else one '_', none leading or trailing; a leading digit gets a '_'
// in front (LV2 symbols match [_a-zA-Z][_a-zA-Z0-9]*). "Osc: DETUNE" ->
// "osc_detune", "HPF : REL SYNCED" -> "hpf_rel_synced", "Eq 1: Q" -> "eq_1_q".
inline constexpr int kSymbolBytes = 48;
struct PortSymbol {
    std::array<char, kSymbolBytes> text{};
    constexpr std::string_view view() const { return std::string_view(text.data()); }
};

constexpr PortSymbol symbolFromName(std::string_view name) {
    PortSymbol symbol;
    int length = 0;
    bool pendingSeparator = false;
    for (char c : name) {
        const bool upper = c >= 'A' && c <= 'Z';
        const bool keep = upper || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!keep) {
            pendingSeparator = length > 0;
            continue;
        }
        if (length == 0 && c >= '0' && c <= '9') symbol.text[length++] = '_';
        if (pendingSeparator && length < kSymbolBytes - 2) symbol.text[length++] = '_';
        pendingSeparator = false;
        if (length < kSymbolBytes - 1) symbol.text[length++] = upper ? static_cast<char>(c - 'A' + 'a') : c;
    }
    symbol.text[length] = 0;
    return symbol;
}

static_assert(symbolFromName("Osc: DETUNE").view() == "osc_detune");
static_assert(symbolFromName("HPF : REL SYNCED").view() == "hpf_rel_synced");
static_assert(parameterOfPort(kFirstControlPort) == Vst::kOscTrig);
static_assert(portOfParameter(Vst::kEq2Gain) == kPortCount - 1);

}  // namespace MorvelithLv2
