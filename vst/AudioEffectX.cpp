// Opcode glue of the 2.x base: staged, bounded copies of every text the host
// receives, and the host callbacks of the extended interface.
#include "vst/AudioEffectX.h"

#include <cstring>

#include "vst/VstLimits.h"
#include "vst/VstText.h"

AudioEffectX::AudioEffectX(audioMasterCallback host, VstInt32 programs, VstInt32 params)
    : AudioEffect(host, programs, params) {}

VstPlugCategory AudioEffectX::getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}

void AudioEffectX::resume() {
    if ((cEffect.flags & effFlagsIsSynth) != 0) wantEvents();
}

namespace {

// Copies a staged pin record into the host's, bounding its two texts.
void deliverPin(VstPinProperties* out, VstPinProperties& staged) {
    staged.label[Vst::kLabelBytes - 1] = 0;
    staged.shortLabel[Vst::kShortLabelBytes - 1] = 0;
    std::memcpy(out, &staged, sizeof staged);
}

}  // namespace

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    char staging[Vst::kStagingBytes];
    staging[0] = 0;
    switch (opcode) {
        case effProcessEvents:
            if (ptr == nullptr) return 1;
            return processEvents(static_cast<VstEvents*>(ptr));
        case effCanBeAutomated:
            if (index < 0 || index >= numParams) return 0;
            return canParameterBeAutomated(index) ? 1 : 0;
        case effString2Parameter:
            if (index < 0 || index >= numParams) return 0;
            if (ptr == nullptr) return 0;
            Vst::copyString(staging, static_cast<const char*>(ptr), sizeof staging);
            return string2parameter(index, staging) ? 1 : 0;
        case effGetProgramNameIndexed: {
            if (ptr == nullptr) return 0;
            const bool known = getProgramNameIndexed(static_cast<VstInt32>(value), index, staging);
            if (known) Vst::copyString(static_cast<char*>(ptr), staging, Vst::kProgramNameBytes);
            return known ? 1 : 0;
        }
        case effGetInputProperties:
        case effGetOutputProperties: {
            if (ptr == nullptr) return 0;
            VstPinProperties staged;
            std::memcpy(&staged, ptr, sizeof staged);
            const bool known = opcode == effGetInputProperties ? getInputProperties(index, &staged)
                                                               : getOutputProperties(index, &staged);
            if (known) deliverPin(static_cast<VstPinProperties*>(ptr), staged);
            return known ? 1 : 0;
        }
        case effGetParameterProperties: {
            if (ptr == nullptr || index < 0 || index >= numParams) return 0;
            VstParameterProperties staged;
            std::memcpy(&staged, ptr, sizeof staged);
            const bool known = getParameterProperties(index, &staged);
            if (known) {
                staged.label[Vst::kLabelBytes - 1] = 0;
                staged.shortLabel[Vst::kShortLabelBytes - 1] = 0;
                staged.categoryLabel[Vst::kCategoryLabelBytes - 1] = 0;
                std::memcpy(ptr, &staged, sizeof staged);
            }
            return known ? 1 : 0;
        }
        case effGetPlugCategory:
            return getPlugCategory();
        case effGetEffectName:
        case effGetVendorString:
        case effGetProductString: {
            if (ptr == nullptr) return 0;
            bool known = false;
            size_t limit = 0;
            if (opcode == effGetEffectName) {
                known = getEffectName(staging);
                limit = Vst::kEffectNameBytes;
            } else if (opcode == effGetVendorString) {
                known = getVendorString(staging);
                limit = Vst::kVendorStringBytes;
            } else {
                known = getProductString(staging);
                limit = Vst::kProductStringBytes;
            }
            if (known) Vst::copyString(static_cast<char*>(ptr), staging, limit);
            return known ? 1 : 0;
        }
        case effGetVendorVersion:
            return getVendorVersion();
        case effCanDo:
            if (ptr == nullptr) return 0;
            Vst::copyString(staging, static_cast<const char*>(ptr), sizeof staging);
            return canDo(staging);
        case effGetTailSize:
            return getGetTailSize();
        case effGetVstVersion:
            return getVstVersion();
        case effSetBypass:
            return setBypass(value != 0) ? 1 : 0;
        case effStartProcess:
            return startProcess();
        case effStopProcess:
            return stopProcess();
        default:
            return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::wantEvents(VstInt32 filter) { return callHost(audioMasterWantMidi, 0, filter) != 0; }

bool AudioEffectX::beginEdit(VstInt32 index) { return callHost(audioMasterBeginEdit, index) != 0; }

bool AudioEffectX::endEdit(VstInt32 index) { return callHost(audioMasterEndEdit, index) != 0; }

bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }

bool AudioEffectX::ioChanged() { return callHost(audioMasterIOChanged) != 0; }

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}
