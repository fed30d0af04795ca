// Frame construction, identity and the host-facing answers of the dispatcher.
#include "frame/Plugin.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "frame/ModulePath.h"
#include "vst/Editor.h"
#include "vst/VstText.h"

namespace Vst {

Plugin::Plugin(audioMasterCallback host, VstInt32 uniqueID, VstInt32 programs, VstInt32 params, VstInt32 inputs,
               VstInt32 outputs)
    : AudioEffectX(host, programs, params),
      controlQueue(new Queue),
      midiQueue(new EventQueue),
      bank(new Bank(programs, params)),
      effectName(new char[kIdentityBytes]),
      productString(new char[kIdentityBytes]),
      vendorString(new char[kIdentityBytes]) {
    setNumInputs(inputs);
    setNumOutputs(outputs);
    canProcessReplacing(true);
    setUniqueID(uniqueID);

    setEffectName("Default Name");
    setProductString("Default Name VST Plug-in");
    setVendorString("Default Vendor Name");
    vendorVersion = 1000;

    if (inputs > 0) inputPointers.reset(new float*[inputs]());
    if (outputs > 0) outputPointers.reset(new float*[outputs]());

    findModuleDirectory(pluginDirectory, sizeof pluginDirectory);

    const int recordSize = ProgramRecord::sizeFor(params);
    scratchStorage.reset(new unsigned char[recordSize]);
    scratchProgram = ProgramRecord(scratchStorage.get());
    scratchProgram.initialise(1, params);
    chunkSnapshots.reserve(kChunkSnapshotThreads);
}

Plugin::~Plugin() = default;

// --- Identity -----------------------------------------------------------------

void Plugin::setEffectName(const char* text) { copyString(effectName.get(), text, kIdentityBytes); }

void Plugin::setProductString(const char* text) { copyString(productString.get(), text, kIdentityBytes); }

void Plugin::setVendorString(const char* text) { copyString(vendorString.get(), text, kIdentityBytes); }

bool Plugin::getEffectName(char* name) {
    copyString(name, effectName.get(), kIdentityBytes);
    return true;
}

bool Plugin::getVendorString(char* text) {
    copyString(text, vendorString.get(), kIdentityBytes);
    return true;
}

bool Plugin::getProductString(char* text) {
    copyString(text, productString.get(), kIdentityBytes);
    return true;
}

VstInt32 Plugin::getVendorVersion() { return vendorVersion; }

VstPlugCategory Plugin::getPlugCategory() { return kPlugCategSynth; }

VstInt32 Plugin::canDo(char* text) {
    if (text == nullptr) return -1;
    if (std::strcmp(text, "receiveVstEvents") == 0) return 1;
    if (std::strcmp(text, "receiveVstMidiEvent") == 0) return 1;
    return -1;
}

bool Plugin::getInputProperties(VstInt32, VstPinProperties*) { return false; }

bool Plugin::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (properties == nullptr || index < 0 || index >= cEffect.numOutputs) return false;
    char number[16];
    std::snprintf(number, sizeof number, " %1d", static_cast<int>(index + 1));
    copyString(properties->label, effectName.get(), sizeof properties->label);
    appendString(properties->label, number, sizeof properties->label);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

VstInt32 Plugin::getNumParams() { return numParams; }
VstInt32 Plugin::getNumPrograms() { return numPrograms; }
VstInt32 Plugin::getNumInputs() { return cEffect.numInputs; }
VstInt32 Plugin::getNumOutputs() { return cEffect.numOutputs; }
const char* Plugin::getPluginDirectory() { return pluginDirectory; }
ValueQuantizer Plugin::getValueQuantizer(VstInt32) { return nullptr; }
double Plugin::getTempo() { return tempo.load(std::memory_order_relaxed); }

// --- Lifecycle ----------------------------------------------------------------

VstIntPtr Plugin::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    // Some hosts open twice; the second open must not rebuild the bank or
    // undo settings made in between.
    if (opcode == effOpen) {
        if (opened) return 0;
        opened = true;
    }
    return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
}

void Plugin::open() { programsAreChunks(true); }

void Plugin::suspend() {}

void Plugin::resume() {
    AudioEffectX::resume();
    lock.lock();
    controlQueue->clear();
    lock.unlock();
    midiQueue->clear();
    timeInfoCountdown = 0;
    // The application itself happens on the audio thread at the next
    // sub-block start, so a host that processes while resuming cannot race it.
    if (numPrograms > 0) programApplyPending.store(true, std::memory_order_release);
}

void Plugin::setSampleRate(float rate) {
    // A rate that is not a positive number would make every fade and
    // countdown meaningless; keep the previous one.
    if (!(rate > 0.0f) || !std::isfinite(rate)) return;
    AudioEffectX::setSampleRate(rate);
}

// --- Editor notifications -------------------------------------------------------

void Plugin::notifyProgramSelected(VstInt32 program) {
    if (auto* frameEditor = dynamic_cast<Editor*>(editor)) frameEditor->programSelected(program);
}

void Plugin::notifyProgramDataChanged() {
    if (auto* frameEditor = dynamic_cast<Editor*>(editor)) frameEditor->programDataChanged();
}

}  // namespace Vst
