// Record glue of the first interface base: static entries that find the
// instance through the record's object field, and the opcode defaults.
#include "vst/AudioEffect.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "vst/VstText.h"
#include "vst/VstLimits.h"

AudioEffect::AudioEffect(audioMasterCallback host, VstInt32 programs, VstInt32 params)
    : audioMaster(host), numPrograms(programs), numParams(params) {
    std::memset(&cEffect, 0, sizeof cEffect);
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = processClass;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = programs;
    cEffect.numParams = params;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = vstFourCC('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processReplacingClass;
    cEffect.processDoubleReplacing = processDoubleReplacingClass;
}

AudioEffect::~AudioEffect() { delete editor; }

void AudioEffect::setFlag(VstInt32 flag, bool state) {
    if (state)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    if (newEditor != editor) delete editor;
    editor = newEditor;
    setFlag(effFlagsHasEditor, editor != nullptr);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (audioMaster == nullptr) return 0;
    return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
    const VstIntPtr version = callHost(audioMasterVersion);
    return version == 0 ? 1 : static_cast<VstInt32>(version);
}

VstInt32 AudioEffect::getCurrentUniqueId() { return static_cast<VstInt32>(callHost(audioMasterCurrentId)); }

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

void AudioEffect::float2string(float value, char* text, VstInt32 maxChars) { Vst::float2string(value, text, maxChars); }

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxChars) {
    if (text == nullptr || maxChars <= 0) return;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value));
    if (static_cast<VstInt32>(std::strlen(buffer)) > maxChars)
        Vst::copyString(text, "Huge!", static_cast<size_t>(maxChars) + 1);
    else
        Vst::copyString(text, buffer, static_cast<size_t>(maxChars) + 1);
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    // Text answers are built in a staging buffer and copied bounded, so no
    // override can write past what the host's buffer is documented to hold.
    char staging[Vst::kStagingBytes];
    switch (opcode) {
        case effOpen:
            open();
            return 0;
        case effClose:
            close();
            delete this;
            return 1;
        case effSetProgram:
            if (value >= 0 && value < numPrograms) setProgram(static_cast<VstInt32>(value));
            return 0;
        case effGetProgram:
            return getProgram();
        case effSetProgramName:
            if (ptr != nullptr) {
                Vst::copyString(staging, static_cast<const char*>(ptr), Vst::kProgramNameBytes);
                setProgramName(staging);
            }
            return 0;
        case effGetProgramName:
            if (ptr == nullptr) return 0;
            staging[0] = 0;
            getProgramName(staging);
            Vst::copyString(static_cast<char*>(ptr), staging, Vst::kProgramNameBytes);
            return 0;
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName: {
            if (ptr == nullptr) return 0;
            char* out = static_cast<char*>(ptr);
            staging[0] = 0;
            if (index >= 0 && index < numParams) {
                if (opcode == effGetParamLabel)
                    getParameterLabel(index, staging);
                else if (opcode == effGetParamDisplay)
                    getParameterDisplay(index, staging);
                else
                    getParameterName(index, staging);
            }
            Vst::copyString(out, staging, opcode == effGetParamName ? Vst::kParamNameBytes : Vst::kParamStrBytes);
            return 0;
        }
        case effSetSampleRate:
            setSampleRate(opt);
            return 0;
        case effSetBlockSize:
            if (value > 0 && value <= std::numeric_limits<VstInt32>::max()) setBlockSize(static_cast<VstInt32>(value));
            return 0;
        case effMainsChanged:
            if (value == 0)
                suspend();
            else
                resume();
            return 0;
        case effEditGetRect:
            if (editor == nullptr) return 0;
            return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
        case effEditOpen:
            if (editor == nullptr) return 0;
            return editor->open(ptr) ? 1 : 0;
        case effEditClose:
            if (editor != nullptr) editor->close();
            return 0;
        case effEditIdle:
            if (editor != nullptr) editor->idle();
            return 0;
        case effIdentify:
            return kEffectIdentifyAnswer;
        case effGetChunk:
            if (ptr == nullptr) return 0;
            return getChunk(static_cast<void**>(ptr), index != 0);
        case effSetChunk:
            if (ptr == nullptr || value < 0 || value > std::numeric_limits<VstInt32>::max()) return 0;
            return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
        default:
            return 0;
    }
}

// The record's entries. Nothing may be thrown across the host interface.

namespace {
// Runs `call` on the instance behind the record; `fallback` when there is
// none or the call throws.
template <class Result, class Call>
Result callInstance(AEffect* e, Result fallback, Call&& call) {
    if (e == nullptr || e->object == nullptr) return fallback;
    try {
        return call(*static_cast<AudioEffect*>(e->object));
    } catch (...) {
        return fallback;
    }
}

template <class Call>
void callInstance(AEffect* e, Call&& call) {
    if (e == nullptr || e->object == nullptr) return;
    try {
        call(*static_cast<AudioEffect*>(e->object));
    } catch (...) {
    }
}
}  // namespace

VstIntPtr VSTCALLBACK AudioEffect::dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                       void* ptr, float opt) {
    return callInstance(e, VstIntPtr{0}, [&](AudioEffect& fx) { return fx.dispatcher(opcode, index, value, ptr, opt); });
}

float VSTCALLBACK AudioEffect::getParameterClass(AEffect* e, VstInt32 index) {
    return callInstance(e, 0.0f, [&](AudioEffect& fx) { return fx.getParameter(index); });
}

void VSTCALLBACK AudioEffect::setParameterClass(AEffect* e, VstInt32 index, float value) {
    callInstance(e, [&](AudioEffect& fx) { fx.setParameter(index, value); });
}

// The accumulating process call is deprecated in 2.4: present, does nothing.
void VSTCALLBACK AudioEffect::processClass(AEffect*, float**, float**, VstInt32) {}

void VSTCALLBACK AudioEffect::processReplacingClass(AEffect* e, float** inputs, float** outputs,
                                                    VstInt32 sampleFrames) {
    callInstance(e, [&](AudioEffect& fx) { fx.processReplacing(inputs, outputs, sampleFrames); });
}

void VSTCALLBACK AudioEffect::processDoubleReplacingClass(AEffect* e, double** inputs, double** outputs,
                                                          VstInt32 sampleFrames) {
    callInstance(e, [&](AudioEffect& fx) { fx.processDoubleReplacing(inputs, outputs, sampleFrames); });
}
