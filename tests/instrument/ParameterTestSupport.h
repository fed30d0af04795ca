// A bare instrument for the value-text and snap suites: the frame's Synth
// with one program whose stored values, sample rate and host tempo a test
// sets directly, so rules that read other parameters can be steered.
#pragma once

#include <string>

#include "frame/Synth.h"
#include "instrument/ParameterIndex.h"

namespace ParameterTest {

inline VstIntPtr VSTCALLBACK silentHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

class StubInstrument : public Vst::Synth {
public:
    StubInstrument() : Synth(silentHost, vstFourCC('p', 'r', 'm', 't'), 1, Vst::kParameterCount, 0, 2) {}

    const char* getProductName() override { return "Parameter Stub"; }

    void store(int index, float value) { getBank().program(0).setValue(index, value); }
    void setHostTempo(double bpm) { tempo.store(bpm); }
};

// The text a rule writes, read back as a string.
template <typename Rule>
std::string textOf(Rule rule, float value, Vst::Plugin* plugin) {
    char text[Vst::Plugin::kDisplayTextBytes] = {};
    rule(value, text, plugin);
    return text;
}

}  // namespace ParameterTest
