// The monophonic instrument base: the frame plus the synthesizer flag and the
// list of held notes, oldest first, that last-note priority and legato need.
// The list changes only on the audio thread (and at suspend).
#pragma once

#include <memory>

#include "frame/Plugin.h"

namespace Vst {

class Synth : public Plugin {
public:
    static constexpr int kHeldNoteCapacity = 1024;

    Synth(audioMasterCallback audioMaster, VstInt32 uniqueID, VstInt32 numPrograms, VstInt32 numParams,
          VstInt32 numInputs, VstInt32 numOutputs);

    void suspend() override;

    // Audio thread. A note already held is added again; a 1024th is not recorded.
    void noteOn(int note, int velocity) override;
    // Audio thread. Removes only the oldest occurrence of note.
    void noteOff(int note) override;
    void allNotesOff() override;

    virtual int getHeldNoteCount();

    // Entry i of the held-note list (-1 for a vacated place).
    int getHeldNote(int i) const { return i >= 0 && i < kHeldNoteCapacity ? heldNotes[i] : -1; }

protected:
    std::unique_ptr<int[]> heldNotes;
    int heldCount = 0;
};

}  // namespace Vst
