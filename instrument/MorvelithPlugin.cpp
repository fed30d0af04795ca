// Construction and opening sequence of the instrument.
#include "instrument/MorvelithPlugin.h"

#include "editor/MorvelithEditor.h"

namespace Vst {

namespace {
constexpr const char* kEffectName = "Morvelith";
constexpr const char* kProductString = "Morvelith VST Instrument";
constexpr const char* kVendorString = "Brastonel";
}  // namespace

MorvelithPlugin::MorvelithPlugin(audioMasterCallback audioMaster)
    : Synth(audioMaster, kUniqueID, kNumPrograms, kNumParams, kNumInputs, kNumOutputs) {
    setEffectName(kEffectName);
    setProductString(kProductString);
    setVendorString(kVendorString);
    setVendorVersion(kVendorVersion);
    setEditor(new MorvelithEditor(this));
}

void MorvelithPlugin::open() {
    Synth::open();
    initParameterNames();
    initDisplayFormatters();
    initPrograms();
    curProgram.store(0, std::memory_order_relaxed);
    applyProgram(getProgram());
    suspend();
}

const char* MorvelithPlugin::getProductName() { return kProductString; }

AudioEffect* createPluginInstance(audioMasterCallback audioMaster) { return new MorvelithPlugin(audioMaster); }

}  // namespace Vst
