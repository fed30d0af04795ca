// Held-note list of the instrument base.
#include "frame/Synth.h"

namespace Vst {

Synth::Synth(audioMasterCallback host, VstInt32 uniqueID, VstInt32 programs, VstInt32 params, VstInt32 inputs,
             VstInt32 outputs)
    : Plugin(host, uniqueID, programs, params, inputs, outputs) {
    isSynth(true);
    heldNotes.reset(new int[kHeldNoteCapacity]);
    for (int i = 0; i < kHeldNoteCapacity; ++i) heldNotes[i] = -1;
}

void Synth::suspend() {
    Plugin::suspend();
    allNotesOff();
}

void Synth::noteOn(int note, int velocity) {
    if (heldCount >= kHeldNoteCapacity - 1) return;
    heldNotes[heldCount] = note;
    ++heldCount;
}

void Synth::noteOff(int note) {
    for (int i = 0; i < heldCount; ++i) {
        if (heldNotes[i] != note) continue;
        for (int j = i; j < heldCount - 1; ++j) heldNotes[j] = heldNotes[j + 1];
        heldNotes[heldCount - 1] = -1;
        --heldCount;
        return;
    }
}

void Synth::allNotesOff() {
    for (int i = 0; i <= heldCount && i < kHeldNoteCapacity; ++i) heldNotes[i] = -1;
    heldCount = 0;
}

int Synth::getHeldNoteCount() { return heldCount; }

}  // namespace Vst
