// The interface layer's 2.x base class: adds the opcodes of the extended
// interface (events, indexed program names, pin properties, category, names,
// canDo, version) with their published default answers, and the host
// callbacks a 2.x plug-in makes (time info, MIDI wish, edit gestures, display
// refresh).
#pragma once

#include "vst/AudioEffect.h"

class AudioEffectX : public AudioEffect {
public:
    AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    // Announces that MIDI input is wanted when the synthesizer flag is set.
    void resume() override;

    // Audio thread, just before processReplacing of the same block.
    virtual VstInt32 processEvents(VstEvents* events) { return 0; }
    virtual bool canParameterBeAutomated(VstInt32 index) { return true; }
    virtual bool string2parameter(VstInt32 index, char* text) { return false; }
    virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) { return false; }
    virtual bool getInputProperties(VstInt32 index, VstPinProperties* properties) { return false; }
    virtual bool getOutputProperties(VstInt32 index, VstPinProperties* properties) { return false; }
    virtual bool getParameterProperties(VstInt32 index, VstParameterProperties* properties) { return false; }
    virtual VstPlugCategory getPlugCategory();
    virtual bool getEffectName(char* name) { return false; }
    virtual bool getVendorString(char* text) { return false; }
    virtual bool getProductString(char* text) { return false; }
    virtual VstInt32 getVendorVersion() { return 0; }
    virtual VstInt32 canDo(char* text) { return 0; }
    virtual VstInt32 getGetTailSize() { return 0; }
    virtual VstInt32 getVstVersion() { return kVstVersion; }
    virtual bool setBypass(bool onOff) { return false; }
    virtual VstInt32 startProcess() { return 0; }
    virtual VstInt32 stopProcess() { return 0; }

    // Record set-up.
    virtual void isSynth(bool state = true) { setFlag(effFlagsIsSynth, state); }
    virtual void noTail(bool state = true) { setFlag(effFlagsNoSoundInStop, state); }

    // Host callbacks.
    virtual VstTimeInfo* getTimeInfo(VstInt32 filter);
    virtual bool wantEvents(VstInt32 filter = 1);
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);
    virtual bool updateDisplay();
    virtual bool ioChanged();
    virtual bool sizeWindow(VstInt32 width, VstInt32 height);
};
