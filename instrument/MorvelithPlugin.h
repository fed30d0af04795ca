// The instrument: Morvelith's identity (zq4k, 100 programs of 181 parameters,
// no inputs, two outputs) on the frame's Synth, its editor, and the opening
// sequence. Until the sound engine arrives it renders the frame's silence.
#pragma once

#include "frame/Synth.h"

namespace Vst {

class MorvelithPlugin : public Synth {
public:
    static constexpr VstInt32 kUniqueID = vstFourCC('z', 'q', '4', 'k');
    static constexpr VstInt32 kNumPrograms = 100;
    static constexpr VstInt32 kNumParams = 181;
    static constexpr VstInt32 kNumInputs = 0;
    static constexpr VstInt32 kNumOutputs = 2;
    static constexpr VstInt32 kVendorVersion = 1000;

    explicit MorvelithPlugin(audioMasterCallback audioMaster);

    // Host GUI thread, not processing: names, display rules, programs, then
    // program 0 applied, then suspended.
    void open() override;

    const char* getProductName() override;
};

}  // namespace Vst
